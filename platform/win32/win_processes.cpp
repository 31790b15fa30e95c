#include "platform/win32/win_processes.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "engine/error.h"
#include "platform/win32/win_text.h"

namespace pravonell::win32 {

namespace {

class Win32Process final : public Process {
 public:
  explicit Win32Process(HANDLE process) : process_(process) {}
  ~Win32Process() override { CloseHandle(process_); }
  bool Wait(unsigned milliseconds) override {
    return WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
  }
  std::uint32_t ExitCode() override {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
  }
  void Terminate() override {
    // 255 is what the archiver itself answers when it is stopped.
    TerminateProcess(process_, 255);
    WaitForSingleObject(process_, 5000);
  }

 private:
  HANDLE process_;
};

}  // namespace

Started Win32Processes::Start(const std::wstring& commandLine, bool hidden) {
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
    const DWORD error = GetLastError();
    return {nullptr, static_cast<std::uint32_t>(error), SystemMessage(error)};
  }
  CloseHandle(info.hThread);
  return {std::make_unique<Win32Process>(info.hProcess), 0, {}};
}

Started Win32Processes::StartElevated(const std::wstring& program) {
  // The same working folder a plain start would have had: ours. An elevated
  // program is otherwise started in the system folder.
  std::wstring folder(MAX_PATH, L'\0');
  folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  execute.hwnd = GetActiveWindow();  // the prompt comes up in front of the installer
  execute.lpVerb = L"runas";
  execute.lpFile = program.c_str();
  execute.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&execute)) {
    const DWORD error = GetLastError();
    return {nullptr, static_cast<std::uint32_t>(error), SystemMessage(error)};
  }
  // Without a process handle there is nothing to wait for or to ask how it
  // ended, so it cannot count as installed.
  if (execute.hProcess == nullptr) return {nullptr, ERROR_INVALID_HANDLE, SystemMessage(ERROR_INVALID_HANDLE)};
  return {std::make_unique<Win32Process>(execute.hProcess), 0, {}};
}

}  // namespace pravonell::win32
