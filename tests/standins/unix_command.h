// Running a Linux command from a Windows program under Wine and waiting for
// it. Wine starts Linux programs but cannot wait on them, so the command
// writes its exit code into a file that is polled through drive Z:.
#pragma once

#include <windows.h>

#include <string>

namespace pravonell::standin {

// The Linux path of a Windows path (Wine's kernel32 knows it); "" if none.
inline std::string UnixPathOf(const std::wstring& windowsPath) {
  using Convert = char*(__cdecl*)(const wchar_t*);
  static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return "";
  char* unixPath = convert(windowsPath.c_str());
  if (unixPath == nullptr) return "";
  std::string result = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

// 'text' for the shell, whatever it holds.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::wstring Widen(const std::string& text) {
  std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  wide.resize(wide.size() - 1);
  return wide;
}

// Runs `script` with /bin/sh; its output (stdout and stderr) goes to
// *output when given. Returns the exit code, or -1 when it could not run.
inline int RunUnixCommand(const std::string& script, std::string* output = nullptr,
                          DWORD timeoutMs = 120000) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static LONG counter = 0;
  const std::wstring base = std::wstring(temp) + L"unixcmd-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(InterlockedIncrement(&counter));
  const std::wstring done = base + L".rc", out = base + L".out";
  const std::string unixBase = UnixPathOf(base);
  if (unixBase.empty()) return -1;
  const std::string full = "(" + script + ") >" + ShellQuote(unixBase + ".out") + " 2>&1; echo $? >" +
                           ShellQuote(unixBase + ".tmp") + "; mv " + ShellQuote(unixBase + ".tmp") +
                           " " + ShellQuote(unixBase + ".rc");
  // The script is one argument, quoted by the Windows rules.
  std::wstring line = L"/bin/sh -c \"";
  for (wchar_t c : Widen(full)) {
    if (c == L'"' || c == L'\\') line += L'\\';
    line += c;
  }
  line += L"\"";
  // A start that Wine could not finish (ERROR_INTERNAL_ERROR, now and then
  // on a loaded machine) is tried again: the real archiver starts no other
  // program, so a failure of this stand-in's own helper must not pass for
  // one of the archive.
  PROCESS_INFORMATION info{};
  for (int attempt = 1;; ++attempt) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring copy = line;
    if (CreateProcessW(nullptr, copy.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) break;
    if (attempt == 10) return -1;
    Sleep(500);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() > deadline) return -1;
    Sleep(20);
  }
  int code = -1;
  HANDLE h = CreateFileW(done.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    char text[32] = {};
    DWORD got = 0;
    ReadFile(h, text, sizeof text - 1, &got, nullptr);
    CloseHandle(h);
    code = atoi(text);
  }
  if (output != nullptr) {
    output->clear();
    h = CreateFileW(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      char chunk[4096];
      DWORD got = 0;
      while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) output->append(chunk, got);
      CloseHandle(h);
    }
  }
  DeleteFileW(done.c_str());
  DeleteFileW(out.c_str());
  return code;
}

}  // namespace pravonell::standin
