// Downloads one URL into a file with the installer's HTTP client, the way a
// run does (progress handlers included), and reports the time it took and
// the process's peak resident memory.
//   pravonell-fetch http://HOST[:PORT]/PATH FILE
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "engine/download.h"
#include "engine/error.h"
#include "engine/progress.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_network.h"

namespace {

using namespace pravonell;

// The status display of a window that is not there.
class NoDisplay final : public StatusDisplay {
 public:
  void SetModuleText(const std::wstring&) override {}
  void SetModuleVisible(bool) override {}
  void SetStatusText(const std::wstring& text) override { status_ = text; }
  std::wstring StatusText() override { return status_; }
  void SetStatusVisible(bool) override {}
  void SetProgressMax(std::int32_t max) override { max_ = max; }
  std::int32_t ProgressMax() override { return max_; }
  void SetProgressPosition(std::int32_t) override {}
  void SetCaption(const std::wstring&) override {}

 private:
  std::wstring status_;
  std::int32_t max_ = 0;
};

struct NoPump final : MessagePump {
  void ProcessMessages() override {}
};

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s http://HOST[:PORT]/PATH FILE\n", argv[0]);
    return 2;
  }
  std::string url = argv[1];
  if (url.rfind("http://", 0) != 0) {
    std::fprintf(stderr, "only http:// addresses\n");
    return 2;
  }
  url.erase(0, 7);
  const auto slash = url.find('/');
  const std::string hostPort = url.substr(0, slash);
  const std::string path = slash == std::string::npos ? "/" : url.substr(slash);

  NoDisplay display;
  NoPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  ProgressDisplay progress(display, L"Pravonell");
  http::HttpClient client(std::make_shared<posix::PosixNetwork>(), pump, waits);
  try {
    HttpDownloader downloader(client, std::wstring(hostPort.begin(), hostPort.end()), progress);
    auto file = posix::CreateOutputFile(argv[2]);
    const auto started = std::chrono::steady_clock::now();
    downloader.BaixarArquivo(std::wstring(path.begin(), path.end()), *file);
    file->Close();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("seconds: %.3f\npeak_rss_kib: %ld\n", seconds, PeakResidentKiB());
  } catch (const Error& e) {
    std::fprintf(stderr, "%ls\n", e.message().c_str());
    return 1;
  }
  return 0;
}
