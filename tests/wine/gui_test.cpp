// The real pravonell.exe under Wine, started and driven through its window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring WindowsPathOf(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* c = unixPath; *c != '\0'; ++c) path += *c == '/' ? L'\\' : wchar_t(*c);
  return path;
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = 20000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

TEST(Startup, StartsShowsItsWindowAndClosesCleanly) {
  std::wstring commandLine = L"\"" + WindowsPathOf(PRAVONELL_EXE) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));
  HWND window = nullptr;
  EXPECT_TRUE(WaitFor([&] {
    window = FindWindowW(L"TfrmMaster", L"Pravonell");
    return window != nullptr && IsWindowVisible(window);
  }));
  if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  if (exitCode == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
