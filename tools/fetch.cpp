// Downloads one URL into a file with the installer's HTTP client, the way a
// run does (progress handlers included), and reports the time it took and
// the process's peak resident memory, and how many bytes it received from
// the network (heads included; a broken transfer's resumes too), and the
// SHA-256 of the body, computed as it was written.
//   pravonell-fetch [--record RECORD] http://HOST[:PORT]/PATH FILE
// With --record, the fetch keeps a record of the file in RECORD as a run of
// the installer does, and a second fetch into the same FILE behaves as a run
// started again does for that file: a whole file is confirmed with the
// server (and kept on a 304), a partial one continued.
//   pravonell-fetch --hash FILE
// reports the time the platform's SHA-256 takes over a file already on
// disk, read in the blocks a run reads a kept file in, and its digest.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/download.h"
#include "engine/download_records.h"
#include "engine/error.h"
#include "engine/file_hash.h"
#include "engine/progress.h"
#include "engine/vendor_list.h"
#include "engine/text.h"
#include "platform/posix/posix_crypto.h"
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

// The network, counting every byte received.
class CountingNetwork final : public http::Network {
 public:
  std::uint64_t received = 0;
  std::string Resolve(const std::string& host) override { return inner_.Resolve(host); }
  std::unique_ptr<http::Connection> Connect(const std::string& address, std::uint16_t port) override {
    return std::make_unique<Counted>(inner_.Connect(address, port), received);
  }

 private:
  class Counted final : public http::Connection {
   public:
    Counted(std::unique_ptr<http::Connection> inner, std::uint64_t& received)
        : inner_(std::move(inner)), received_(received) {}
    void SendAll(std::span<const char> bytes) override { inner_->SendAll(bytes); }
    bool WaitReadable(int ms) override { return inner_->WaitReadable(ms); }
    std::optional<std::size_t> TryReceive(std::span<char> buffer) override {
      const auto got = inner_->TryReceive(buffer);
      if (got) received_ += *got;
      return got;
    }

   private:
    std::unique_ptr<http::Connection> inner_;
    std::uint64_t& received_;
  };
  posix::PosixNetwork inner_;
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

int HashFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return 1;
  }
  posix::OpenSslCrypto crypto;
  const auto started = std::chrono::steady_clock::now();
  auto sha = crypto.NewSha256();
  std::vector<char> block(1 << 20);
  std::uint64_t bytes = 0;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    sha->Add(std::span(block.data(), static_cast<std::size_t>(in.gcount())));
    bytes += static_cast<std::uint64_t>(in.gcount());
  }
  const Digest digest = sha->Finish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("seconds: %.3f\nbytes: %llu\nsha256: %s\n", seconds, static_cast<unsigned long long>(bytes),
              HexOf(digest).c_str());
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--hash") return HashFile(argv[2]);
  std::string record;
  if (argc == 5 && std::string(argv[1]) == "--record") {
    record = argv[2];
    argv += 2;
    argc -= 2;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s [--record RECORD] http://HOST[:PORT]/PATH FILE\n", argv[0]);
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
  const std::string out = argv[2];
  const auto cut = out.find_last_of('/');
  const std::wstring folder = cut == std::string::npos ? L"" : WidenLatin1(out.substr(0, cut + 1));
  const std::wstring name = WidenLatin1(cut == std::string::npos ? out : out.substr(cut + 1));

  NoDisplay display;
  NoPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  ProgressDisplay progress(display, L"Pravonell");
  auto network = std::make_shared<CountingNetwork>();
  http::HttpClient client(network, pump, waits);
  posix::PosixRecordFiles files;
  DownloadRecords records(files, folder, WidenLatin1(record));
  try {
    HttpDownloader downloader(client, std::wstring(hostPort.begin(), hostPort.end()), progress);
    FetchPlan plan;
    if (!record.empty()) {
      records.Load();
      plan = records.PlanFor(name);
    }
    auto raw = plan.keep ? files.OpenKeeping(folder + name, *plan.keep) : posix::CreateOutputFile(out);
    // The file's SHA-256 is computed as it is written, as a run does it.
    posix::OpenSslCrypto crypto;
    auto file = std::make_unique<HashingFile>(*raw, crypto, std::nullopt);
    if (plan.keep) {
      std::ifstream kept(out, std::ios::binary);
      std::vector<char> block(1 << 20);
      for (std::uint64_t left = *plan.keep; left > 0;) {
        kept.read(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), left)));
        if (kept.gcount() <= 0) break;
        file->AddKept(std::span(block.data(), static_cast<std::size_t>(kept.gcount())));
        left -= static_cast<std::uint64_t>(kept.gcount());
      }
    }
    RecordingTransfer recorder(records, name, *file);
    const auto started = std::chrono::steady_clock::now();
    const Fetched fetched = downloader.Fetch(std::wstring(path.begin(), path.end()), *file,
                                             plan.known ? &*plan.known : nullptr, record.empty() ? nullptr : &recorder);
    const Digest digest = file->Finish();
    file->Close();
    if (!record.empty() && recorder.whole()) records.Completed(name);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("seconds: %.3f\npeak_rss_kib: %ld\nreceived_bytes: %llu\nfetched: %s\n", seconds, PeakResidentKiB(),
                static_cast<unsigned long long>(network->received), fetched == Fetched::Kept ? "kept" : "body");
    if (fetched == Fetched::Body) std::printf("sha256: %s\n", HexOf(digest).c_str());
    // With a record: whether the file reached an end its answer marks, and
    // so is recorded as complete.
    if (!record.empty()) std::printf("recorded_whole: %s\n", recorder.whole() ? "yes" : "no");
  } catch (const Error& e) {
    std::fprintf(stderr, "%ls\n", e.message().c_str());
    return 1;
  }
  return 0;
}
