#include "platform/win32/win_shell.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "engine/error.h"
#include "platform/win32/com_ptr.h"
#include "platform/win32/win_text.h"

namespace pravonell::win32 {

std::wstring Win32Shell::DesktopFolder() {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &items)) || items == nullptr) {
    return L"";
  }
  wchar_t path[MAX_PATH] = {};
  const BOOL found = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  return found ? std::wstring(path) : std::wstring();
}

void Win32Shell::SaveShellLink(const ShellLink& link, const std::wstring& file) {
  ComPtr<IUnknown> object;
  const HRESULT created = CoCreateInstance(CLSID_ShellLink, nullptr,
                                           CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                           object.OutVoid());
  if (FAILED(created)) throw Error(SystemMessage(static_cast<unsigned long>(created)));
  ComPtr<IShellLinkW> shellLink;
  ComPtr<IPersistFile> persist;
  if (FAILED(object->QueryInterface(IID_IShellLinkW, shellLink.OutVoid())) ||
      FAILED(object->QueryInterface(IID_IPersistFile, persist.OutVoid()))) {
    throw Error(L"Interface not supported");
  }
  shellLink->SetDescription(link.description.c_str());
  shellLink->SetPath(link.target.c_str());
  shellLink->SetArguments(link.arguments.c_str());
  shellLink->SetWorkingDirectory(link.workingDirectory.c_str());
  persist->Save(file.c_str(), FALSE);
}

}  // namespace pravonell::win32
