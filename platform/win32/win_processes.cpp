#include "platform/win32/win_processes.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "engine/error.h"
#include "platform/win32/win_text.h"

namespace pravonell::win32 {

namespace {

class Win32Process final : public Process {
 public:
  explicit Win32Process(const PROCESS_INFORMATION& info) : info_(info) {}
  ~Win32Process() override {
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
  bool Wait(unsigned milliseconds) override {
    return WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0;
  }
  std::uint32_t ExitCode() override {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_;
};

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComPtr {
 public:
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

}  // namespace

std::unique_ptr<Process> Win32Processes::Start(const std::wstring& commandLine, bool hidden) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION info{};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');  // CreateProcessW may write into the command line
  const DWORD flags = hidden ? CREATE_NO_WINDOW : 0;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                      &startup, &info)) {
    return nullptr;
  }
  return std::make_unique<Win32Process>(info);
}

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
