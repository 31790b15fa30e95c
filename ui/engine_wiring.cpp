#include "ui/engine_wiring.h"

#include <windows.h>

#include "platform/win32/win_proxy.h"
#include "platform/win32/win_wininet.h"
#include "platform/win32/win_winsock.h"
#include "ui/control_ids.h"
#include "ui/master_window.h"

#define PRAVONELL_WIDEN2(x) L##x
#define PRAVONELL_WIDEN(x) PRAVONELL_WIDEN2(x)

namespace pravonell::ui {

namespace {

#ifdef PRAVONELL_TEST_HOOKS
// Test builds only: a name lookup as slow as a test wants. While
// C:\standin\resolve.hold exists, a lookup writes C:\standin\resolving and
// waits (a minute at most) for the hold to go, as a slow DNS server would.
class HeldLookups final : public http::Network {
 public:
  explicit HeldLookups(std::shared_ptr<http::Network> inner) : inner_(std::move(inner)) {}
  std::string Resolve(const std::string& host) override {
    const wchar_t* const hold = L"C:\\standin\\resolve.hold";
    if (GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES) {
      CloseHandle(CreateFileW(L"C:\\standin\\resolving", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      for (int i = 0; i < 600 && GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    }
    return inner_->Resolve(host);
  }
  std::unique_ptr<http::Connection> Connect(const std::string& address, std::uint16_t port) override {
    return inner_->Connect(address, port);
  }

 private:
  std::shared_ptr<http::Network> inner_;
};
#endif

// The vendor's hosts as the build names them. A test build may be pointed at
// other hosts when it starts (PRAVONELL_TEST_DOWNLOAD_HOST, _SITE_HOST), so
// scenarios can each have a stand-in vendor of their own, and one can use a
// download host only a proxy resolves; the shipped program reads nothing.
std::wstring VendorHost(const wchar_t* built, [[maybe_unused]] const wchar_t* testVariable) {
#ifdef PRAVONELL_TEST_HOOKS
  wchar_t given[256] = {};
  const DWORD length = GetEnvironmentVariableW(testVariable, given, 256);
  if (length > 0 && length < 256) return given;
#endif
  return built;
}

std::shared_ptr<http::Network> MakeNetwork() {
  auto network = std::make_shared<win32::WinsockNetwork>();
#ifdef PRAVONELL_TEST_HOOKS
  return std::make_shared<HeldLookups>(network);
#else
  return network;
#endif
}

}  // namespace

std::optional<VendorKey> Engine::BuiltVendorKey() {
  // The build checked the setting's form; an empty one means no key.
  const std::optional<std::array<std::uint8_t, 64>> key = PublicKeyFromHex(PRAVONELL_VENDOR_KEY);
  if (!key) return std::nullopt;
  return VendorKey{*key, PRAVONELL_VENDOR_LIST_FLOOR};
}

Engine::Engine(MasterWindow& window)
    : ports(window),
      client(MakeNetwork(), pump, waits),
      downloader(client, VendorHost(PRAVONELL_WIDEN(PRAVONELL_DOWNLOAD_HOST), L"PRAVONELL_TEST_DOWNLOAD_HOST"),
                 progress,
                 std::make_shared<win32::WinHttpProxyLookup>(), &waits),
      probe(std::make_shared<win32::WinInetProbe>(),
            VendorHost(PRAVONELL_WIDEN(PRAVONELL_SITE_HOST), L"PRAVONELL_TEST_SITE_HOST"), waits),
      proxyPrompt([&window] { return window.hwnd(); }) {
  downloader.UseProxyAuthentication(&proxyAuth);
}

}  // namespace pravonell::ui
