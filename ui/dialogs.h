// The window's dialogs: message boxes and the folder dialog, each centred on
// the work area of the monitor the window is on.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "engine/http/proxy_auth.h"

namespace pravonell::ui {

// The top-left corner that centres a width x height rectangle on the work
// area of the monitor that `window` is on.
POINT CentredOnMonitorOf(HWND window, int width, int height);

// A message box with the program's caption, centred on the owner's monitor.
void CentredMessageBox(HWND owner, const std::wstring& text, UINT type);

// The folder dialog: the chosen folder with its final backslash, or "".
std::wstring SelectADirectory(HWND owner, const std::wstring& title);

// The system's own prompt for a user and a password, for a proxy that asks
// (it follows the system's keyboard, screen-reader and contrast settings).
// What is typed is never saved. Nothing when the person cancels.
std::optional<http::Credentials> AskProxyCredentials(HWND owner, const std::string& proxyHost, int attempt);

// The prompt, as the engine asks for it.
class ProxyPrompt final : public http::CredentialsPrompt {
 public:
  explicit ProxyPrompt(std::function<HWND()> owner) : owner_(std::move(owner)) {}
  std::optional<http::Credentials> Ask(const std::string& proxyHost, int attempt) override {
    return AskProxyCredentials(owner_(), proxyHost, attempt);
  }

 private:
  std::function<HWND()> owner_;
};

}  // namespace pravonell::ui
