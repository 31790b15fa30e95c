// Drives the real pravonell.exe from another process: starts it, finds its
// window and controls, types, clicks, reads texts and answers message boxes.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/control_ids.h"

namespace pravonell::testing {

// Every wait is stretched by PRAVONELL_WAIT_FACTOR (default 1): an emulated
// 32-bit program takes many times longer to start and answer.
inline DWORD WaitFactor() {
  const char* factor = std::getenv("PRAVONELL_WAIT_FACTOR");
  const int value = factor != nullptr ? std::atoi(factor) : 1;
  return value > 0 ? static_cast<DWORD>(value) : 1;
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = 20000, DWORD pollMs = 50) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs) * WaitFactor();
  while (GetTickCount64() < deadline) {
    if (condition()) return true;
    Sleep(pollMs);
  }
  return condition();
}

// CreateProcessW, tried again a few times when it fails: under Wine on a
// loaded machine a start fails now and then with ERROR_INTERNAL_ERROR (the
// new process ended while it was being made), and a test must not fail
// for a start the system could not finish. False when every try failed.
inline bool StartProcess(std::wstring commandLine, PROCESS_INFORMATION& process) {
  for (int attempt = 1;; ++attempt) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring line = commandLine;  // CreateProcessW may write into it
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return true;
    }
    if (attempt == 10) return false;
    Sleep(500);
  }
}

class Driver {
 public:
  Driver() = default;
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Starts the program and waits for its window (a minute at most: a first
  // start in a prefix, on a loaded machine, takes its time).
  bool Start(const std::wstring& exe);
  // Starts the program without waiting for a window (one that should show
  // none of its own).
  bool Launch(const std::wstring& exe);
  // True when the program has made its main window.
  bool HasMainWindow() const;
  // Waits for the program to end; its exit code, or -1 when it did not end.
  long WaitForExit(DWORD timeoutMs = 20000);
  bool Running() const;
  // One of the window's test counters (runs finished, clicks ignored), or -1
  // when the window did not answer within a second.
  long Counter(ui::TestCounter counter) const;

  HWND window() const { return window_; }
  HWND Control(ui::ControlId id) const;
  HWND FrontPage() const { return GetWindow(Control(ui::kPnPrincipal), GW_CHILD); }
  HWND Focus() const;

  std::wstring Text(HWND control) const;
  // A window's own text without asking its program, so it can be read while
  // the program is busy and not answering messages (labels, the caption).
  static std::wstring WindowText(HWND window);
  void SetText(HWND control, const std::wstring& text) const;
  // Puts the focus into the control by clicking it, as a person would.
  void ClickInto(HWND control) const;
  // Types at the end of an edit's text, one character at a time.
  void Type(HWND edit, const std::wstring& text) const;
  // Presses a button without waiting for what it opens.
  void Press(HWND button) const;

  // Keys as a keyboard sends them: posted to the control that has the focus.
  void PostKey(WPARAM key) const;
  void PostAltKey(wchar_t letter) const;
  void PostChars(const std::wstring& text) const;
  // Posts a mark behind everything posted so far and waits until the window
  // has handled it (test builds): what was posted before has been handled.
  bool Settle() const;

  // The message box (or other dialog) the program has open, or nullptr.
  HWND OpenDialog() const;
  HWND WaitForDialog(DWORD timeoutMs = 20000) const;
  // The text of a message box: its longest static text.
  std::wstring DialogText(HWND dialog) const;
  // True for the error display (error icon); the program's own messages show none.
  bool DialogShowsIcon(HWND dialog) const;
  void Answer(HWND dialog, int command) const;

  // Saves the window as a PNG file in the screenshot folder, if one is set
  // (PRAVONELL_SCREENSHOTS; PRAVONELL_SCREENSHOT_PREFIX goes before the
  // name). False, with a line on stderr, when the file could not be saved.
  bool Screenshot(const std::wstring& name) const;

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

}  // namespace pravonell::testing
