// A DLL of the kind a hostile page leaves in the Downloads folder beside an
// installer, under the name of a system DLL. Loaded, it leaves a mark:
// C:\standin\planted\<its file name>. The tests copy it as wininet.dll,
// uxtheme.dll and msimg32.dll and check that no mark appears.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L'\\') + 1);
    CreateDirectoryW(L"C:\\standin", nullptr);
    CreateDirectoryW(L"C:\\standin\\planted", nullptr);
    HANDLE mark = CreateFileW((L"C:\\standin\\planted\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
  }
  return TRUE;
}
