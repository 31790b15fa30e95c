#include "platform/win32/win_bitness.h"

#include <windows.h>

namespace pravonell::win32 {

bool Win32Bitness::IsWindows64() {
#if defined(_WIN64)
  // A 64-bit build only runs on 64-bit Windows; it takes the same paths as the
  // 32-bit installer does there under WOW64.
  return true;
#else
  bool result = false;
  HMODULE kernel = LoadLibraryW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64Process =
      reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  if (isWow64Process != nullptr) {
    BOOL wow64 = FALSE;
    if (isWow64Process(GetCurrentProcess(), &wow64)) result = wow64 != FALSE;
  }
  FreeLibrary(kernel);
  return result;
#endif
}

bool Win32Bitness::IsWindows32Only() {
  // IsWow64Process2 names the machine Windows itself runs on (an x86 program
  // on ARM64 Windows included); older systems answer through
  // GetNativeSystemInfo.
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
    USHORT process = 0, native = 0;
    if (isWow64Process2 != nullptr && isWow64Process2(GetCurrentProcess(), &process, &native)) {
      return native == IMAGE_FILE_MACHINE_I386;
    }
  }
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL;
}

}  // namespace pravonell::win32
