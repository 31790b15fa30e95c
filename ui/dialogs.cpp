#include "ui/dialogs.h"

#include <shlobj.h>
#include <wincred.h>

#include <vector>

#include "customer/page_check.h"
#include "platform/win32/system_library.h"
#include "ui/barrier.h"
#include "ui/control_ids.h"

namespace pravonell::ui {

POINT CentredOnMonitorOf(HWND window, int width, int height) {
  MONITORINFO monitor{sizeof monitor};
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return {monitor.rcWork.left + (monitor.rcWork.right - monitor.rcWork.left - width) / 2,
          monitor.rcWork.top + (monitor.rcWork.bottom - monitor.rcWork.top - height) / 2};
}

namespace {

// Moves a dialog, keeping its size, to the centre of the owner's monitor.
void CentreOnMonitorOf(HWND dialog, HWND owner, UINT flags) {
  RECT rect;
  GetWindowRect(dialog, &rect);
  const POINT at = CentredOnMonitorOf(owner, rect.right - rect.left, rect.bottom - rect.top);
  SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | flags);
}

// A message box is centred as it is activated, through a hook of this thread.
HHOOK centringHook = nullptr;
HWND centringOwner = nullptr;

LRESULT CALLBACK CentreMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  Barrier(0, [&] {
    if (code != HCBT_ACTIVATE) return 0;
    CentreOnMonitorOf(reinterpret_cast<HWND>(wParam), centringOwner, SWP_NOZORDER | SWP_NOACTIVATE);
    UnhookWindowsHookEx(centringHook);
    centringHook = nullptr;
    return 0;
  });
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int CALLBACK CentreFolderDialog(HWND dialog, UINT message, LPARAM, LPARAM owner) {
  return Barrier(0, [&] {
    if (message == BFFM_INITIALIZED) CentreOnMonitorOf(dialog, reinterpret_cast<HWND>(owner), SWP_NOZORDER);
    return 0;
  });
}

}  // namespace

void CentredMessageBox(HWND owner, const std::wstring& text, UINT type) {
  centringOwner = owner;
  centringHook = SetWindowsHookExW(WH_CBT, CentreMessageBox, nullptr, GetCurrentThreadId());
  MessageBoxW(owner, text.c_str(), kMainWindowCaption, type);
  if (centringHook != nullptr) UnhookWindowsHookEx(centringHook);
  centringHook = nullptr;
}

std::wstring SelectADirectory(HWND owner, const std::wstring& title) {
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
  browse.lpfn = CentreFolderDialog;
  browse.lParam = reinterpret_cast<LPARAM>(owner);
  std::wstring path;
  if (LPITEMIDLIST items = SHBrowseForFolderW(&browse)) {
    wchar_t buffer[MAX_PATH] = {};
    if (SHGetPathFromIDListW(items, buffer)) path = buffer;
    CoTaskMemFree(items);
  }
  return WithTrailingBackslash(path);
}

std::optional<http::Credentials> AskProxyCredentials(HWND owner, const std::string& proxyHost, int attempt) {
  // credui.dll is not a KnownDLL: it comes from the system folder only.
  const auto prompt =
      win32::SystemFunctionAs<decltype(&CredUIPromptForCredentialsW)>(L"credui.dll", "CredUIPromptForCredentialsW");
  if (prompt == nullptr) return std::nullopt;
  const std::wstring host(proxyHost.begin(), proxyHost.end());
  const std::wstring message =
      attempt <= 1 ? L"O proxy " + host + L" pede usuário e senha para que o Pravonell baixe os arquivos do sistema. "
                         L"Informe-os (DOMÍNIO\\usuário, se a rede tiver um domínio)."
                   : L"O proxy " + host + L" recusou o usuário e a senha. Tente de novo (tentativa " +
                         std::to_wstring(attempt) + L" de " + std::to_wstring(http::ProxyAuthenticator::kMostPrompts) +
                         L").";
  CREDUI_INFOW info{sizeof info, owner, message.c_str(), L"Proxy da rede", nullptr};
  std::vector<wchar_t> user(CREDUI_MAX_USERNAME_LENGTH + 1, L'\0');
  std::vector<wchar_t> password(CREDUI_MAX_PASSWORD_LENGTH + 1, L'\0');
  BOOL save = FALSE;
  const DWORD answer = prompt(&info, host.c_str(), nullptr, 0, user.data(), static_cast<ULONG>(user.size()),
                              password.data(), static_cast<ULONG>(password.size()), &save,
                              CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_DO_NOT_PERSIST |
                                  CREDUI_FLAGS_ALWAYS_SHOW_UI | CREDUI_FLAGS_EXCLUDE_CERTIFICATES);
  std::optional<http::Credentials> typed;
  if (answer == NO_ERROR) {
    // Some prompts (Wine's) complete a user typed without a domain with the
    // target's name, as for a server's own accounts; a proxy's host is no
    // domain, so that completion goes.
    std::wstring typedUser = user.data();
    const std::wstring completed = host + L"\\";
    if (typedUser.size() > completed.size() && _wcsnicmp(typedUser.c_str(), completed.c_str(), completed.size()) == 0) {
      typedUser.erase(0, completed.size());
    }
    std::wstring typedPassword = password.data();
    typed = http::CredentialsOf(typedUser, typedPassword);
    SecureZeroMemory(typedPassword.data(), typedPassword.size() * sizeof(wchar_t));
  }
  SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
  return typed;
}

}  // namespace pravonell::ui
