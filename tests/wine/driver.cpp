#include "tests/wine/driver.h"

#include <wincodec.h>

#include <cstdio>

#include "platform/win32/com_ptr.h"
#include "tests/wine/site.h"

namespace pravonell::testing {

namespace {

struct Search {
  int id;
  HWND found;
};

BOOL CALLBACK FindById(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (GetDlgCtrlID(window) == search->id) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

struct DialogSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (process == search->process && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK LongestStatic(HWND window, LPARAM data) {
  auto* best = reinterpret_cast<std::wstring*>(data);
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (std::wstring(className) == L"Static") {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    if (wcslen(text) > best->size()) *best = text;
  }
  return TRUE;
}

bool SavePng(HBITMAP bitmap, int width, int height, const std::wstring& path) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<BYTE> pixels(static_cast<std::size_t>(width) * height * 4);
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;

  win32::ComPtr<IWICImagingFactory> factory;
  win32::ComPtr<IWICStream> stream;
  win32::ComPtr<IWICBitmapEncoder> encoder;
  win32::ComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, factory.OutVoid())) &&
            SUCCEEDED(factory->CreateStream(stream.Out())) &&
            SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
            SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) &&
            SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
            SUCCEEDED(encoder->CreateNewFrame(frame.Out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
            SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
            SUCCEEDED(frame->SetPixelFormat(&format)) &&
            SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                         static_cast<UINT>(pixels.size()), pixels.data())) &&
            SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

Driver::~Driver() {
  if (process_.hProcess != nullptr) {
    // Ended and gone before the next program starts: a second copy would
    // otherwise find this one still there and give way to it.
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

bool Driver::Start(const std::wstring& exe) {
  if (!Launch(exe)) return false;
  return WaitFor([&] {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, ui::kMainWindowClass, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(candidate, &owner);
      if (owner == process_.dwProcessId && IsWindowVisible(candidate)) {
        window_ = candidate;
        return true;
      }
    }
    return false;
  }, 60000);
}

bool Driver::Launch(const std::wstring& exe) { return StartProcess(L"\"" + exe + L"\"", process_); }

bool Driver::HasMainWindow() const {
  HWND candidate = nullptr;
  while ((candidate = FindWindowExW(nullptr, candidate, ui::kMainWindowClass, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(candidate, &owner);
    if (owner == process_.dwProcessId) return true;
  }
  return false;
}

long Driver::WaitForExit(DWORD timeoutMs) {
  if (WaitForSingleObject(process_.hProcess, timeoutMs * WaitFactor()) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<long>(code);
}

bool Driver::Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

long Driver::Counter(ui::TestCounter counter) const {
  DWORD_PTR value = 0;
  if (!SendMessageTimeoutW(window_, ui::kTestCounterMessage, counter, 0, SMTO_NORMAL, 1000, &value)) return -1;
  return static_cast<long>(value);
}

HWND Driver::Control(ui::ControlId id) const {
  Search search{id, nullptr};
  EnumChildWindows(window_, FindById, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Driver::PostKey(WPARAM key) const {
  const HWND focus = Focus();
  PostMessageW(focus, WM_KEYDOWN, key, 1);
  PostMessageW(focus, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

void Driver::PostAltKey(wchar_t letter) const {
  const HWND focus = Focus();
  const LPARAM alt = 1 | (1 << 29);  // the context code: Alt is down
  PostMessageW(focus, WM_SYSKEYDOWN, static_cast<WPARAM>(letter), alt);
  PostMessageW(focus, WM_SYSKEYUP, static_cast<WPARAM>(letter), alt | (1u << 30) | (1u << 31));
}

void Driver::PostChars(const std::wstring& text) const {
  const HWND focus = Focus();
  for (wchar_t c : text) PostMessageW(focus, WM_CHAR, c, 1);
}

bool Driver::Settle() const {
  const long before = Counter(ui::kMarksSeen);
  PostMessageW(window_, ui::kTestCounterMessage, ui::kMarksSeen, 1);
  return WaitFor([&] { return Counter(ui::kMarksSeen) > before; });
}

HWND Driver::Focus() const {
  GUITHREADINFO info{sizeof info};
  GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info);
  return info.hwndFocus;
}

std::wstring Driver::Text(HWND control) const {
  const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

std::wstring Driver::WindowText(HWND window) {
  wchar_t text[512] = {};
  InternalGetWindowText(window, text, 512);
  return text;
}

void Driver::SetText(HWND control, const std::wstring& text) const {
  SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Driver::ClickInto(HWND control) const {
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
  SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  WaitFor([&] { return Focus() == control; }, 5000);
}

void Driver::Type(HWND edit, const std::wstring& text) const {
  ClickInto(edit);
  const LRESULT end = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(edit, EM_SETSEL, end, end);
  for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

void Driver::Press(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

HWND Driver::OpenDialog() const {
  DialogSearch search{process_.dwProcessId, nullptr};
  EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Driver::WaitForDialog(DWORD timeoutMs) const {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = OpenDialog()) != nullptr; }, timeoutMs);
  return dialog;
}

std::wstring Driver::DialogText(HWND dialog) const {
  std::wstring best;
  EnumChildWindows(dialog, LongestStatic, reinterpret_cast<LPARAM>(&best));
  return best;
}

bool Driver::DialogShowsIcon(HWND dialog) const {
  // A message box's icon is a Static without text that holds an icon.
  const HWND icon = FindWindowExW(dialog, nullptr, L"Static", L"");
  return icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
}

void Driver::Answer(HWND dialog, int command) const {
  PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
  WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000);
}

bool Driver::Screenshot(const std::wstring& name) const {
  const std::string folder = Env("PRAVONELL_SCREENSHOTS");
  if (folder.empty()) return true;
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  RECT rect;
  GetWindowRect(window_, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  CoInitialize(nullptr);
  const std::string prefix = Env("PRAVONELL_SCREENSHOT_PREFIX");
  const std::wstring file = std::wstring(prefix.begin(), prefix.end()) + name + L".png";
  const bool saved = width > 0 && height > 0 && SavePng(bitmap, width, height, WindowsPathOf(folder) + L"\\" + file);
  DeleteObject(bitmap);
  if (!saved) {
    std::fprintf(stderr, "screenshot %ls could not be saved in %s\n", file.c_str(), folder.c_str());
  }
  return saved;
}

}  // namespace pravonell::testing
