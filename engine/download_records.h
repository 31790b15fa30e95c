// What an unfinished installation keeps of each file it fetches, so that a
// run started again fetches only what is missing.
//
// It also keeps the serial of the vendor's list the installation used, so a
// run started again refuses an older one, and the archives already unpacked.
//
// For each file: the server's validators (ETag, Last-Modified), the whole
// length, how many bytes are known to be in the file, and whether it is
// complete, with the file's stamp (size and write time) when it was. A run
// started again confirms a complete file with the server (a 304 keeps it)
// when its stamp is still the recorded one, continues a partial one with a
// range, and fetches anything else whole. Size alone is never trusted.
//
// The record lives beside the mark of an unfinished installation and goes
// with it. It is written whole or not at all (RecordFiles::WriteWhole), and
// while a file comes in, every few MiB after its bytes are put on the disk,
// so a run cut off at any instant loses at most that much.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/ports.h"

namespace pravonell {

struct DownloadRecord {
  std::string file;  // the local file's name (UTF-8)
  KnownFile known;
  FileStamp stamp;  // the file's stamp once complete
};

// All a record holds: the serial of the vendor's list the installation
// used (0 for none), the archives an earlier run of it unpacked, and a line
// per file.
struct RecordContents {
  std::uint64_t listSerial = 0;
  std::set<std::string> extracted;  // local names (UTF-8)
  std::vector<DownloadRecord> files;
};

// The record's text: a first line naming the format, the list's serial,
// then a line per unpacked archive and a line per file.
std::string RecordText(const RecordContents& contents);
// What a text holds. A file line that cannot be read gives no record for
// that file (it is then fetched whole), and a text in another format no
// record at all: the record only ever saves a transfer, never decides what
// a file holds.
RecordContents ParseRecord(const std::string& text);
// The file lines of a text alone.
inline std::vector<DownloadRecord> ParseRecordText(const std::string& text) { return ParseRecord(text).files; }

// How a run is to fetch one file.
struct FetchPlan {
  std::optional<std::uint64_t> keep;  // open the file keeping these bytes; else empty it
  std::optional<KnownFile> known;     // what to tell the downloader
};

class DownloadRecords {
 public:
  // Bytes written between two saves of a transfer's progress.
  static constexpr std::uint64_t kSaveEvery = 4 * 1024 * 1024;
  // A record of the plan's files takes a few KiB; one far larger was not
  // written by a run, and none of it is read.
  static constexpr std::size_t kLargest = 1 << 20;

  // folder: where the files are (ending in a separator); record: the
  // record's own path.
  DownloadRecords(RecordFiles& files, std::wstring folder, std::wstring record)
      : files_(files), folder_(std::move(folder)), path_(std::move(record)) {}

  // The records an earlier run left; without this, the run starts with none.
  void Load();
  FetchPlan PlanFor(const std::wstring& file);

  // The transfer of one file, as the downloader tells it.
  void Began(const std::wstring& file, const std::string& etag, const std::string& lastModified,
             std::optional<std::uint64_t> total);
  void Written(const std::wstring& file, std::uint64_t bytes);
  // The file is whole and closed: its stamp is taken now.
  void Completed(const std::wstring& file);
  // The file could not be used (it did not extract, its setup failed): a
  // run started again fetches it whole.
  void Forget(const std::wstring& file);

  // The serial of the vendor's list an earlier run of this installation
  // used (0 for none), and the list this run uses from now on.
  std::uint64_t ListSerial() const { return contents_.listSerial; }
  void UseList(std::uint64_t serial);
  // Archives an earlier run of this installation unpacked.
  bool WasExtracted(const std::wstring& file) const;
  void Extracted(const std::wstring& file);

  const std::vector<DownloadRecord>& records() const { return contents_.files; }

 private:
  DownloadRecord* Find(const std::string& file);
  void Save();

  RecordFiles& files_;
  std::wstring folder_;
  std::wstring path_;
  RecordContents contents_;
};

// The recorder of one file's transfer: it saves the progress every few MiB,
// once the bytes are on the disk.
class RecordingTransfer final : public TransferRecorder {
 public:
  RecordingTransfer(DownloadRecords& records, std::wstring file, OutputFile& output,
                    std::uint64_t saveEvery = DownloadRecords::kSaveEvery)
      : records_(records), file_(std::move(file)), output_(output), saveEvery_(saveEvery) {}
  void Began(const std::string& etag, const std::string& lastModified, std::optional<std::uint64_t> total) override;
  void Written(std::uint64_t bytes) override;
  void Whole() override { whole_ = true; }

  // The transfer reached an end its answer marks: the file may be recorded
  // as complete once it is closed.
  bool whole() const { return whole_; }

 private:
  DownloadRecords& records_;
  std::wstring file_;
  OutputFile& output_;
  std::uint64_t saveEvery_;
  std::uint64_t saved_ = 0;
  bool whole_ = false;
};

}  // namespace pravonell
