// One file fetched by several runs of the installer in a row, as a person
// who runs it again after a stop does: each run has a client and a record
// of its own, read from the one disk the earlier runs left (the file and the
// record, in memory), against a loopback server that answers by the run and
// by what a request carries (Range, If-Range, If-None-Match). The faults
// these rows are about appear only across runs: a record that claims more
// than the file holds, or a refusal that every later run meets again.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>

#include "engine/download_records.h"
#include "engine/error.h"
#include "engine/http/http_client.h"
#include "platform/posix/posix_network.h"
#include "tests/fakes/recording_events.h"
#include "tests/fakes/text.h"
#include "tests/server/test_server.h"

namespace pravonell::testing {
namespace {

using testserver::Reply;
using testserver::Request;
using testserver::Respond;
using testserver::Server;

const std::wstring kFolder = L"C:\\VARNISCA\\";
const std::wstring kName = L"Dados.rar";
const std::wstring kRecord = L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.downloads";

// The disk the runs share: files by path, each with a write time that moves
// on whenever the file changes.
class Disk final : public RecordFiles {
 public:
  std::map<std::wstring, std::string> files;
  std::map<std::wstring, std::uint64_t> times;

  std::optional<FileStamp> Stamp(const std::wstring& path) override {
    if (files.count(path) == 0) return std::nullopt;
    return FileStamp{files[path].size(), times[path]};
  }
  std::optional<std::string> ReadWhole(const std::wstring& path, std::size_t limit) override {
    if (files.count(path) == 0 || files[path].size() > limit) return std::nullopt;
    return files[path];
  }
  void WriteWhole(const std::wstring& path, const std::string& bytes) override {
    files[path] = bytes;
    ++times[path];
  }
  std::unique_ptr<OutputFile> OpenKeeping(const std::wstring& path, std::uint64_t keep) override {
    std::string& bytes = files[path];
    if (bytes.size() != keep) {
      bytes.resize(keep);
      ++times[path];
    }
    return std::make_unique<File>(*this, path);
  }
  std::unique_ptr<OutputFile> Create(const std::wstring& path) {
    files[path].clear();
    ++times[path];
    return std::make_unique<File>(*this, path);
  }

 private:
  class File final : public OutputFile {
   public:
    File(Disk& disk, std::wstring path) : disk_(disk), path_(std::move(path)) {
      position_ = disk_.files[path_].size();
    }
    void Write(std::span<const char> data) override {
      std::string& bytes = disk_.files[path_];
      if (bytes.size() < position_ + data.size()) bytes.resize(position_ + data.size());
      bytes.replace(position_, data.size(), data.data(), data.size());
      position_ += data.size();
      ++disk_.times[path_];
    }
    void SetLength(std::uint64_t length) override {
      disk_.files[path_].resize(length);
      ++disk_.times[path_];
    }
    void Restart() override {
      disk_.files[path_].clear();
      position_ = 0;
      ++disk_.times[path_];
    }
    void Flush() override {}
    void EnsureRoom(std::uint64_t) override {}
    void Close() override {}

   private:
    Disk& disk_;
    std::wstring path_;
    std::size_t position_ = 0;
  };
};

// One run of the installer for the file, as the run does it: the record
// read, the plan for the file, the fetch, the file closed and, when its end
// was known, recorded as complete. The run's error, "" when it ended well.
std::string RunOnce(Disk& disk, std::uint16_t port) {
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  http::ClientOptions options;
  options.resumePausesMs = {1, 1, 1};
  http::HttpClient client(std::make_shared<posix::PosixNetwork>(), pump, waits, options);
  DownloadRecords records(disk, kFolder, kRecord);
  records.Load();
  const FetchPlan plan = records.PlanFor(kName);
  std::unique_ptr<OutputFile> file =
      plan.keep ? disk.OpenKeeping(kFolder + kName, *plan.keep) : disk.Create(kFolder + kName);
  // The progress is saved every few KiB, as it is every few MiB of a real
  // file, so a cut leaves the record with part of the file.
  RecordingTransfer recorder(records, kName, *file, 4096);
  RecordingEvents events;
  try {
    client.Get("127.0.0.1", port, "/dados", *file, events, std::nullopt, plan.known ? &*plan.known : nullptr,
               &recorder);
  } catch (const Error& e) {
    file->Close();
    return Utf8(e.message());
  }
  file->Close();
  if (recorder.whole()) records.Completed(kName);
  return "";
}

std::string Version(char tag, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(tag + i % 7);
  return bytes;
}

constexpr std::size_t kSize = 60000;
const std::string kV1 = Version('a', kSize), kV2 = Version('n', kSize);

bool Asks(const Request& request, const std::string& header) { return request.head.find(header) != std::string::npos; }

std::uint64_t RangeStart(const Request& request) {
  const auto at = request.head.find("Range: bytes=");
  return at == std::string::npos ? 0 : std::stoull(request.head.substr(at + 13));
}

std::string Head(const std::string& status, const std::string& etag, const std::string& more) {
  return "HTTP/1.1 " + status + "\r\n" + (etag.empty() ? "" : "ETag: " + etag + "\r\n") + more + "\r\n";
}

// A whole answer of the body, cut after `cut` bytes when cut is less.
Reply Whole(const std::string& body, const std::string& etag, std::size_t cut = kSize) {
  Reply reply = Reply().Send(Head("200 OK", etag, "Content-Length: " + std::to_string(body.size()) + "\r\n") +
                             body.substr(0, cut));
  return cut < body.size() ? reply.Close() : reply;
}

// What a server that answers ranges sends for the request: the rest from
// the asked byte when If-Range names its version, else the whole file.
Reply Honest(const Request& request, const std::string& body, const std::string& etag) {
  if (Asks(request, "If-None-Match: " + etag)) return Reply().Send(Head("304 Not Modified", etag, ""));
  if (!Asks(request, "Range:") || !Asks(request, "If-Range: " + etag)) return Whole(body, etag);
  const std::uint64_t from = RangeStart(request);
  return Reply().Send(Head("206 Partial Content", etag,
                           "Content-Length: " + std::to_string(body.size() - from) + "\r\nContent-Range: bytes " +
                               std::to_string(from) + "-" + std::to_string(body.size() - 1) + "/" +
                               std::to_string(body.size()) + "\r\n") +
                      body.substr(from));
}

TEST(RunsStartedAgain, EachSequenceEndsWithTheServersFile) {
  const struct {
    const char* name;
    // How the server answers in each run (1, 2, 3).
    std::function<Reply(int run, const Request&)> server;
    int runs;
    // What the person gets: from this run on the run ends well with the
    // server's file, and no run before ends well with a file that is not.
    int wholeFrom;
    std::string file;  // the server's file by then
  } rows[] = {
      {"run 1 cut mid-file; from then on a filter answers every Range with 403",
       [](int run, const Request& request) {
         if (run == 1) return Whole(kV1, "\"v1\"", kSize / 2);
         if (Asks(request, "Range:")) return Respond("403 Forbidden", "<html>Acesso bloqueado</html>");
         return Whole(kV1, "\"v1\"");
       },
       3, 2, kV1},
      {"run 1 cut; the continuation is a 206 whose range has no total",
       [](int run, const Request& request) {
         if (run == 1) return Whole(kV1, "\"v1\"", kSize / 3);
         if (!Asks(request, "Range:")) return Whole(kV1, "\"v1\"");
         const std::uint64_t from = RangeStart(request);
         return Reply().Send(Head("206 Partial Content", "\"v1\"",
                                  "Content-Length: " + std::to_string(kSize - from) + "\r\nContent-Range: bytes " +
                                      std::to_string(from) + "-" + std::to_string(kSize - 1) + "/*\r\n") +
                             kV1.substr(from));
       },
       3, 2, kV1},
      {"run 1 cut; the continuation is a 206 with Content-Length 0",
       [](int run, const Request& request) {
         if (run == 1) return Whole(kV1, "\"v1\"", kSize / 3);
         if (!Asks(request, "Range:")) return Whole(kV1, "\"v1\"");
         const std::uint64_t from = RangeStart(request);
         return Reply().Send(Head("206 Partial Content", "\"v1\"",
                                  "Content-Length: 0\r\nContent-Range: bytes " + std::to_string(from) + "-" +
                                      std::to_string(kSize - 1) + "/" + std::to_string(kSize) + "\r\n"));
       },
       3, 2, kV1},
      {"a whole answer without Content-Length, ended early by a close",
       [](int run, const Request& request) {
         if (run == 1) return Reply().Send(Head("200 OK", "\"v1\"", "") + kV1.substr(0, kSize / 2)).Close();
         return Honest(request, kV1, "\"v1\"");
       },
       3, 2, kV1},
      {"run 2 starts over on a 206 of another version and is cut; run 3 reaches an edge with the first",
       [](int run, const Request& request) {
         if (run == 1) return Whole(kV1, "\"v1\"", kSize / 3);
         if (run == 2) {
           // The origin has the second version, ignores If-Range, and the
           // network breaks every transfer of it, so the run ends cut.
           if (!Asks(request, "Range:")) return Whole(kV2, "\"v2\"", 2 * kSize / 3);
           if (Asks(request, "If-Range: \"v2\"")) return Reply().Close();
           const std::uint64_t from = RangeStart(request);
           return Reply().Send(Head("206 Partial Content", "\"v2\"",
                                    "Content-Length: " + std::to_string(kSize - from) + "\r\nContent-Range: bytes " +
                                        std::to_string(from) + "-" + std::to_string(kSize - 1) + "/" +
                                        std::to_string(kSize) + "\r\n") +
                               kV2.substr(from));
         }
         return Honest(request, kV1, "\"v1\"");  // an edge that still has the first
       },
       3, 3, kV1},
      {"a 203 with a body answers the confirm of a whole file",
       [](int run, const Request& request) {
         if (run == 1) return Whole(kV1, "\"v1\"");
         if (Asks(request, "If-None-Match:")) {
           return Reply().Send(Head("203 Non-Authoritative Information", "\"v2\"",
                                    "Content-Length: " + std::to_string(kSize) + "\r\n") +
                               kV2);
         }
         return Honest(request, kV2, "\"v2\"");
       },
       3, 2, kV2},
      {"run 1 cut; the continuation is a 416 of another total",
       [](int run, const Request& request) {
         if (run == 1) return Whole(kV1, "\"v1\"", kSize / 2);
         if (Asks(request, "Range:")) {
           return Reply().Send(Head("416 Range Not Satisfiable", "", "Content-Range: bytes */10\r\nContent-Length: 0\r\n"));
         }
         return Whole(kV2, "\"v2\"");
       },
       3, 2, kV2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::atomic<int> run{0};
    Server server([&](const Request& request) { return row.server(run.load(), request); });
    Disk disk;
    for (int i = 1; i <= row.runs; ++i) {
      SCOPED_TRACE("run " + std::to_string(i));
      run = i;
      const std::string error = RunOnce(disk, server.port());
      const std::string& file = disk.files[kFolder + kName];
      if (i >= row.wholeFrom) {
        EXPECT_EQ(error, "");
        EXPECT_TRUE(file == row.file) << file.size() << " bytes";
      } else if (error.empty() && i > 1) {
        EXPECT_TRUE(file == row.file) << "a run ended well with another file, " << file.size() << " bytes";
      }
    }
  }
}

// The record never says more than the file holds: when a file starts over,
// the record is told before the new answer comes, so a run cut at that very
// moment (here: stopped while it waits for the whole file after a refused
// continuation) leaves a record that claims no byte of the old version.
TEST(RunsStartedAgain, RecordIsToldAtOnceWhenTheFileStartsOver) {
  Disk disk;
  {
    DownloadRecords records(disk, kFolder, kRecord);
    disk.Create(kFolder + kName)->Write(std::span(kV1.data(), kSize / 2));
    records.Began(kName, "\"v1\"", "", kSize);
    records.Written(kName, kSize / 2);
  }
  Server server([](const Request& request) {
    if (Asks(request, "Range:")) return Respond("403 Forbidden", "");
    return Reply().Stall();
  });
  CountingPump pump;
  pump.stopAt = 1;  // the first time the window is served: waiting for the whole file
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  http::HttpClient client(std::make_shared<posix::PosixNetwork>(), pump, waits);
  DownloadRecords records(disk, kFolder, kRecord);
  records.Load();
  const FetchPlan plan = records.PlanFor(kName);
  ASSERT_TRUE(plan.keep.has_value());
  auto file = disk.OpenKeeping(kFolder + kName, *plan.keep);
  RecordingTransfer recorder(records, kName, *file, 4096);
  RecordingEvents events;
  EXPECT_THROW(client.Get("127.0.0.1", server.port(), "/dados", *file, events, std::nullopt, &*plan.known, &recorder),
               RunStopped);
  ASSERT_EQ(server.requests().size(), 2u);
  const std::vector<DownloadRecord> left = ParseRecordText(disk.files[kRecord]);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].known.etag, "");
  EXPECT_EQ(left[0].known.have, 0u);
  EXPECT_EQ(disk.files[kFolder + kName], "");
}

}  // namespace
}  // namespace pravonell::testing
