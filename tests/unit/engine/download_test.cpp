#include "engine/download.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "engine/error.h"
#include "platform/posix/posix_network.h"
#include "tests/fakes/recording_events.h"
#include "tests/fakes/downloader_rig.h"
#include "tests/fakes/run_fakes.h"
#include "tests/server/test_server.h"

namespace pravonell::testing {
namespace {

TEST(ParseHostPort, HostOrHostAndPortOnly) {
  EXPECT_EQ(ParseHostPort(L"download.varnisca.com.br").host, "download.varnisca.com.br");
  EXPECT_EQ(ParseHostPort(L"download.varnisca.com.br").port, 80);
  EXPECT_EQ(ParseHostPort(L"127.0.0.1:47081").host, "127.0.0.1");
  EXPECT_EQ(ParseHostPort(L"127.0.0.1:47081").port, 47081);
  for (const wchar_t* bad : {L"", L"host:", L"host:0", L"host:99999", L"host:65536", L"host:abc",
                             L"host:80x", L"host:-80", L":80", L"bad host", L"host:80:81"}) {
    SCOPED_TRACE(Utf8(bad));
    EXPECT_THROW(ParseHostPort(bad), Error);
  }
}

TEST(HttpDownloader, FetchesFromTheDownloadHostWithTheProgressShown) {
  testserver::Server server(
      [](const testserver::Request&) { return testserver::Respond("200 OK", "12345678"); });
  DownloaderRig rig;
  HttpDownloader downloader(rig.client, L"127.0.0.1:" + std::to_wstring(server.port()), rig.progress);
  MemoryFile file;
  downloader.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", file);
  EXPECT_EQ(file.bytes, "12345678");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].path, "/uploads/download/file/73/quilmarde.ini");
  // The announced length gives the percentage; the end restores the caption.
  EXPECT_EQ(Lines(rig.display.log),
            Lines({"progress max 8", "progress 8", "status: Download ... 100%",
                   "caption: Download ... 100%", "progress 0", "status: Download Finalizado ...",
                   "caption: Pravonell"}));
}

class ScriptedStatus final : public StatusProbe {
 public:
  std::vector<std::wstring> asked;
  std::wstring answer;
  bool raise = false;
  std::wstring QueryStatus(const std::wstring& address) override {
    asked.push_back(address);
    if (raise) throw Error(L"boom");
    return answer;
  }
};

TEST(SiteProbe, AddressesAndAnswers) {
  const struct {
    const wchar_t* url;
    int varnisca;
    const wchar_t* address;
  } addresses[] = {
      {L"", 1, L"http://www.varnisca.com.br/users/sign_in"},
      {L"ignored", 1, L"http://www.varnisca.com.br/users/sign_in"},
      {L"example.com/x", 0, L"http://example.com/x"},
      {L"HTTP://Example.com", 2, L"HTTP://Example.com"},
      {L"see http://a", 0, L"see http://a"},
      {L"https://secure", 0, L"http://https://secure"},
  };
  auto shared = std::make_shared<ScriptedStatus>();
  ScriptedStatus& status = *shared;
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  SiteProbe probe(shared, L"www.varnisca.com.br", waits);
  for (const auto& row : addresses) EXPECT_EQ(probe.AddressFor(row.url, row.varnisca), row.address);

  const struct {
    const wchar_t* answer;
    bool raise;
    bool reachable;
  } answers[] = {{L"200", false, true}, {L"302", false, true}, {L"301", false, false},
                 {L"404", false, false}, {L"", false, false},   {L"2000", false, false},
                 {L"200", true, false},  {L"407", false, true}};
  for (const auto& row : answers) {
    status.answer = row.answer;
    status.raise = row.raise;
    EXPECT_EQ(probe.CheckURL(L"", 1), row.reachable);
  }
}

// A probe that never answers, as WinINet waiting on a silent server.
class SilentStatus final : public StatusProbe {
 public:
  std::wstring QueryStatus(const std::wstring&) override {
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return release_; });
    return L"200";
  }
  void Release() {
    std::lock_guard lock(mutex_);
    release_ = true;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool release_ = false;
};

TEST(SiteProbe, RunsBesideTheWindowAndGivesUpAtItsLimit) {
  auto silent = std::make_shared<SilentStatus>();
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  SiteProbe probe(silent, L"www.varnisca.com.br", waits, /*limitMs=*/300);
  EXPECT_FALSE(probe.CheckURL(L"", 1));  // no answer in time: not reachable
  EXPECT_GE(pump.pumps, 1);              // the window was served while it waited

  pump.stopAt = pump.pumps + 1;  // the window closes while the probe waits
  EXPECT_THROW(probe.CheckURL(L"", 1), RunStopped);
  silent->Release();  // the abandoned probes end on their own
}

}  // namespace
}  // namespace pravonell::testing
