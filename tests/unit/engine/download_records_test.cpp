// The record of an unfinished installation's downloads: what it keeps, what
// a run started again does with each file, and how it reads a record that
// is not what it should be.
#include "engine/download_records.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/fakes/recording_events.h"
#include "tests/fakes/text.h"

namespace pravonell::testing {
namespace {

// Files in memory, with a write time that moves on at every change.
class MemoryFiles final : public RecordFiles {
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
  void WriteWhole(const std::wstring& path, const std::string& bytes) override { Put(path, bytes); }
  std::unique_ptr<OutputFile> OpenKeeping(const std::wstring&, std::uint64_t) override { return nullptr; }
  void Put(const std::wstring& path, const std::string& bytes) {
    files[path] = bytes;
    ++times[path];
  }
};

const std::wstring kFolder = L"C:\\VARNISCA\\";
const std::wstring kRecord = L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.downloads";

TEST(DownloadRecords, WhatARunStartedAgainDoesWithEachFile) {
  MemoryFiles disk;
  {
    // The first run: one file whole, one cut after 5 of its 9 bytes, one
    // whose server sent no validator.
    DownloadRecords first(disk, kFolder, kRecord);
    disk.Put(kFolder + L"Kestrimo.rar", "123456789");
    first.Began(L"Kestrimo.rar", "\"k1\"", "", 9);
    first.Completed(L"Kestrimo.rar");
    disk.Put(kFolder + L"Dados.rar", std::string(9, 'd'));  // pre-sized to its length
    first.Began(L"Dados.rar", "", "Tue, 01 Dec 2026 10:00:00 GMT", 9);
    first.Written(L"Dados.rar", 5);
    disk.Put(kFolder + L"DLL.rar", "dll");
    first.Began(L"DLL.rar", "", "", 3);
    first.Completed(L"DLL.rar");
    disk.Put(kFolder + L"Polvarin.rar", "polvarin");
    first.Began(L"Polvarin.rar", "\"p1\"", "", 8);
    first.Completed(L"Polvarin.rar");
  }
  disk.Put(kFolder + L"Polvarin.rar", "polvarim");  // changed on disk since, same size

  DownloadRecords again(disk, kFolder, kRecord);
  again.Load();
  const FetchPlan kept = again.PlanFor(L"Kestrimo.rar");
  ASSERT_TRUE(kept.known.has_value());
  EXPECT_TRUE(kept.known->complete);
  EXPECT_EQ(kept.known->etag, "\"k1\"");
  EXPECT_EQ(kept.keep, std::optional<std::uint64_t>(9));  // confirmed with If-None-Match

  const FetchPlan partial = again.PlanFor(L"Dados.rar");
  ASSERT_TRUE(partial.known.has_value());
  EXPECT_FALSE(partial.known->complete);
  EXPECT_EQ(partial.known->have, 5u);
  EXPECT_EQ(partial.known->lastModified, "Tue, 01 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(partial.keep, std::optional<std::uint64_t>(5));  // continued from its fifth byte

  for (const wchar_t* whole : {L"DLL.rar", L"Polvarin.rar", L"Ferramentas.rar"}) {
    SCOPED_TRACE(Utf8(whole));  // no validator; touched since; never fetched
    const FetchPlan plan = again.PlanFor(whole);
    EXPECT_FALSE(plan.keep.has_value());
    EXPECT_FALSE(plan.known.has_value());
  }

  // A partial file shorter than what the record says it holds is fetched whole.
  disk.Put(kFolder + L"Dados.rar", "dd");
  EXPECT_FALSE(again.PlanFor(L"Dados.rar").keep.has_value());

  // Without Load (the mark was not there), nothing an earlier run left counts.
  DownloadRecords fresh(disk, kFolder, kRecord);
  EXPECT_FALSE(fresh.PlanFor(L"Kestrimo.rar").known.has_value());
}

TEST(DownloadRecords, RecordThatIsNotWhatItShouldBeGivesNoRecordForThatFile) {
  const std::string head = "pravonell-downloads 2\r\nlista 12\r\n";
  const std::string good = "Kestrimo.rar\tcomplete\t9\t9\t\"k1\"\t\t9\t7\r\n";
  const struct {
    const char* name;
    std::string text;
    std::size_t records;
  } rows[] = {
      {"a good record", head + good, 1},
      {"another format", "pravonell-downloads 1\r\n" + good, 0},
      {"no first line", good, 0},
      {"no list line", "pravonell-downloads 2\r\n" + good, 0},
      {"a list line that is not a number", "pravonell-downloads 2\r\nlista doze\r\n" + good, 0},
      {"a field missing", head + "Kestrimo.rar\tcomplete\t9\t9\t\"k1\"\t\t9\r\n", 0},
      {"a path, not a name", head + "..\\Windows\\x.dll\tcomplete\t9\t9\t\"k1\"\t\t9\t7\r\n", 0},
      {"an unknown state", head + "Kestrimo.rar\thalf\t9\t9\t\"k1\"\t\t9\t7\r\n", 0},
      {"a number with letters", head + "Kestrimo.rar\tcomplete\t9\t9x\t\"k1\"\t\t9\t7\r\n", 0},
      {"a number too long", head + "Kestrimo.rar\tpartial\t-\t99999999999999999999\t\"k1\"\t\t9\t7\r\n", 0},
      {"more bytes than the whole", head + "Dados.rar\tpartial\t9\t10\t\"d\"\t\t9\t7\r\n", 0},
      {"complete but short", head + "Dados.rar\tcomplete\t9\t5\t\"d\"\t\t9\t7\r\n", 0},
      {"a validator with a control character", head + "Kestrimo.rar\tcomplete\t9\t9\t\"k\x01\"\t\t9\t7\r\n", 0},
      {"the same file twice", head + good + good, 0},
      {"the same file three times", head + good + good + good, 0},
      {"the same file twice among others",
       head + good + "DLL.rar\tpartial\t-\t3\t\"d\"\t\t3\t1\r\n" + good, 1},
      {"complete, but its stamp is not its length", head + "Kestrimo.rar\tcomplete\t9\t9\t\"k1\"\t\t8\t7\r\n", 0},
      {"complete without a length", head + "Kestrimo.rar\tcomplete\t-\t9\t\"k1\"\t\t9\t7\r\n", 0},
      {"lines ended by LF alone", "pravonell-downloads 2\nlista 12\n" + good.substr(0, good.size() - 2) + "\n", 1},
      {"an unpacked archive besides", head + "descompactado\tDLL.rar\r\n" + good, 1},
      {"a bad line among good ones", head + good + "garbage\r\n" + "DLL.rar\tpartial\t-\t3\t\"d\"\t\t3\t1\r\n", 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ParseRecordText(row.text).size(), row.records);
  }
  const RecordContents parsed = ParseRecord(head + "descompactado\tDLL.rar\r\n" + good);
  ASSERT_EQ(parsed.files.size(), 1u);
  EXPECT_EQ(parsed.listSerial, 12u);
  EXPECT_EQ(parsed.extracted, std::set<std::string>{"DLL.rar"});
  EXPECT_EQ(RecordText(parsed), head + "descompactado\tDLL.rar\r\n" + good);  // read back as written

  // A record larger than any a run writes is no record at all, not its
  // first megabyte.
  MemoryFiles disk;
  std::string large = head + good;
  while (large.size() <= DownloadRecords::kLargest) large += "x";
  disk.Put(kRecord, large);
  disk.Put(kFolder + L"Kestrimo.rar", "123456789");
  DownloadRecords records(disk, kFolder, kRecord);
  records.Load();
  EXPECT_TRUE(records.records().empty());
}

// A hostile record of the largest size, its names each written several
// times: none is trusted (and reading it takes time in proportion to its
// length, on the window's thread).
TEST(DownloadRecords, LargestHostileRecordTrustsNoRepeatedName) {
  std::string text = "pravonell-downloads 2\r\nlista 0\r\n";
  for (int i = 0; text.size() < DownloadRecords::kLargest - 64; ++i) {
    text += 'f';
    text += std::to_string(i % 10000);
    text += "\tpartial\t-\t3\t\"d\"\t\t3\t1\r\n";
  }
  const std::vector<DownloadRecord> parsed = ParseRecordText(text);
  // Every name came more than once (the counter wrapped): none is trusted.
  EXPECT_TRUE(parsed.empty());
}

// While a file comes in, its progress is saved every few MiB, each time
// after the bytes were put on the disk.
TEST(DownloadRecords, ProgressIsSavedEveryFewMegabytesAfterAFlush) {
  MemoryFiles disk;
  DownloadRecords records(disk, kFolder, kRecord);
  MemoryFile output;
  RecordingTransfer transfer(records, L"Dados.rar", output);
  transfer.Began("\"d1\"", "", 20u * 1024 * 1024);
  const auto have = [&] {
    const auto parsed = ParseRecordText(disk.files[kRecord]);
    return parsed.empty() ? ~0ull : parsed[0].known.have;
  };
  EXPECT_EQ(have(), 0u);
  for (std::uint64_t at = 32768; at <= 10u * 1024 * 1024; at += 32768) transfer.Written(at);
  EXPECT_EQ(have(), 8u * 1024 * 1024);  // at most 4 MiB behind
  EXPECT_EQ(output.flushes, 2);
}

}  // namespace
}  // namespace pravonell::testing
