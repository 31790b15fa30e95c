#include "engine/download_records.h"

#include <sstream>

#include "engine/error.h"
#include "engine/text.h"

namespace pravonell {

namespace {

constexpr const char* kFormat = "pravonell-downloads 1";

// A validator is kept only as plain visible text: it goes back into a
// request header and into the record's tab-separated line.
std::string Validator(const std::string& value) {
  for (char c : value) {
    if (c < 0x20 || c > 0x7E || c == '\t') return "";
  }
  return value;
}

std::optional<std::uint64_t> Number(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// A name of a file in the installation folder itself, nothing more.
bool PlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line) {
    if (c == '\t') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  return fields;
}

std::optional<DownloadRecord> ParseLine(const std::string& line) {
  const std::vector<std::string> f = Fields(line);
  if (f.size() != 8 || !PlainName(f[0]) || (f[1] != "complete" && f[1] != "partial")) return std::nullopt;
  DownloadRecord record;
  record.file = f[0];
  record.known.complete = f[1] == "complete";
  if (f[2] != "-") {
    record.known.total = Number(f[2]);
    if (!record.known.total) return std::nullopt;
  }
  const auto have = Number(f[3]), size = Number(f[6]), time = Number(f[7]);
  if (!have || !size || !time) return std::nullopt;
  record.known.have = *have;
  if (record.known.total && *have > *record.known.total) return std::nullopt;
  if (record.known.complete && record.known.total && *have != *record.known.total) return std::nullopt;
  record.known.etag = Validator(f[4]);
  record.known.lastModified = Validator(f[5]);
  if (record.known.etag != f[4] || record.known.lastModified != f[5]) return std::nullopt;
  record.stamp = FileStamp{*size, *time};
  return record;
}

}  // namespace

std::string RecordText(const std::vector<DownloadRecord>& records) {
  std::string text = std::string(kFormat) + "\r\n";
  for (const DownloadRecord& r : records) {
    text += r.file + "\t" + (r.known.complete ? "complete" : "partial") + "\t" +
            (r.known.total ? std::to_string(*r.known.total) : "-") + "\t" + std::to_string(r.known.have) + "\t" +
            r.known.etag + "\t" + r.known.lastModified + "\t" + std::to_string(r.stamp.size) + "\t" +
            std::to_string(r.stamp.writeTime) + "\r\n";
  }
  return text;
}

std::vector<DownloadRecord> ParseRecordText(const std::string& text) {
  std::vector<DownloadRecord> records;
  std::istringstream lines(text);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      if (line != kFormat) return {};
      first = false;
      continue;
    }
    if (line.empty()) continue;
    std::optional<DownloadRecord> record = ParseLine(line);
    if (!record) continue;
    // A name recorded twice is trusted in neither line.
    bool twice = false;
    for (auto it = records.begin(); it != records.end(); ++it) {
      if (it->file == record->file) {
        records.erase(it);
        twice = true;
        break;
      }
    }
    if (!twice) records.push_back(*record);
  }
  return records;
}

void DownloadRecords::Load() {
  const std::optional<std::string> text = files_.ReadWhole(path_);
  records_ = text ? ParseRecordText(*text) : std::vector<DownloadRecord>{};
}

DownloadRecord* DownloadRecords::Find(const std::string& file) {
  for (DownloadRecord& record : records_) {
    if (record.file == file) return &record;
  }
  return nullptr;
}

FetchPlan DownloadRecords::PlanFor(const std::wstring& file) {
  const DownloadRecord* record = Find(Utf8Of(file));
  if (record == nullptr) return {};
  const std::optional<FileStamp> stamp = files_.Stamp(folder_ + file);
  if (!stamp) return {};
  const KnownFile& known = record->known;
  const bool validated = !known.etag.empty() || !known.lastModified.empty();
  if (!validated) return {};
  if (known.complete) {
    // Only a file nobody has touched since is confirmed; the server then
    // says whether it is still its own.
    if (*stamp != record->stamp) return {};
    return FetchPlan{stamp->size, known};
  }
  // A partial file goes on from the bytes known to be in it, if they still are.
  if (known.have == 0 || stamp->size < known.have) return {};
  return FetchPlan{known.have, known};
}

void DownloadRecords::Began(const std::wstring& file, const std::string& etag, const std::string& lastModified,
                            std::optional<std::uint64_t> total) {
  DownloadRecord fresh;
  fresh.file = Utf8Of(file);
  fresh.known.etag = Validator(etag);
  fresh.known.lastModified = Validator(lastModified);
  fresh.known.total = total;
  if (DownloadRecord* record = Find(fresh.file)) {
    *record = fresh;
  } else {
    records_.push_back(fresh);
  }
  Save();
}

void DownloadRecords::Written(const std::wstring& file, std::uint64_t bytes) {
  if (DownloadRecord* record = Find(Utf8Of(file))) {
    record->known.have = bytes;
    Save();
  }
}

void DownloadRecords::Completed(const std::wstring& file) {
  DownloadRecord* record = Find(Utf8Of(file));
  const std::optional<FileStamp> stamp = files_.Stamp(folder_ + file);
  if (record == nullptr || !stamp) return;
  record->known.complete = true;
  record->known.have = stamp->size;
  if (!record->known.total) record->known.total = stamp->size;
  record->stamp = *stamp;
  Save();
}

// The record only ever saves a later run some bytes: a disk too full to
// write it must not stop this run, and an older record left in its place
// is still safe (a changed file fails its stamp, a changed server its
// validators).
void DownloadRecords::Save() {
  try {
    files_.WriteWhole(path_, RecordText(records_));
  } catch (const Error&) {
  }
}

void RecordingTransfer::Began(const std::string& etag, const std::string& lastModified,
                              std::optional<std::uint64_t> total) {
  saved_ = 0;
  records_.Began(file_, etag, lastModified, total);
}

void RecordingTransfer::Written(std::uint64_t bytes) {
  if (bytes < saved_ + DownloadRecords::kSaveEvery) return;
  // The bytes go to the disk before the record says they are there.
  output_.Flush();
  records_.Written(file_, bytes);
  saved_ = bytes;
}

}  // namespace pravonell
