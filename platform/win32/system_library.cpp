#include "platform/win32/system_library.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

namespace pravonell::win32 {

namespace {

// By its full name in the system folder: a bare name would be looked for
// wherever the loader's search goes first.
HMODULE LoadFromSystemFolder(const wchar_t* dll) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryExW((std::wstring(folder) + L"\\" + dll).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Each DLL is loaded once and stays loaded. The window's thread asks, and
// so do the helper threads of the probe and the proxy lookup.
HMODULE SystemModule(const wchar_t* dll) {
  static std::mutex lock;
  static std::map<std::wstring, HMODULE> loaded;
  const std::lock_guard guard(lock);
  auto found = loaded.find(dll);
  if (found == loaded.end()) found = loaded.emplace(dll, LoadFromSystemFolder(dll)).first;
  return found->second;
}

}  // namespace

void LoadDllsFromSystemFolderOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories != nullptr) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The common controls load UxTheme by name when they first draw a themed
  // control, and UxTheme loads MSIMG32 the same way, each with a search of
  // its own that not every loader limits as asked above. Loaded now from the
  // system folder, they are the ones those later loads by name get.
  for (const wchar_t* dll : {L"uxtheme.dll", L"msimg32.dll"}) SystemModule(dll);
}

void* CommonControlsFunction(const char* name) {
  static HMODULE commonControls = LoadLibraryW(L"comctl32.dll");
  return commonControls != nullptr ? reinterpret_cast<void*>(GetProcAddress(commonControls, name)) : nullptr;
}

void* SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = SystemModule(dll);
  return module != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

}  // namespace pravonell::win32
