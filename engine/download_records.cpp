#include "engine/download_records.h"

#include <unordered_map>

#include "engine/error.h"
#include "engine/text.h"

namespace pravonell {

namespace {

constexpr const char* kFormat = "pravonell-downloads 2";

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
  // A complete file is as long as its total, and its stamp says so too.
  if (record.known.complete && (!record.known.total || *have != *record.known.total || *size != *have)) {
    return std::nullopt;
  }
  record.known.etag = Validator(f[4]);
  record.known.lastModified = Validator(f[5]);
  if (record.known.etag != f[4] || record.known.lastModified != f[5]) return std::nullopt;
  record.stamp = FileStamp{*size, *time};
  return record;
}

}  // namespace

std::string RecordText(const RecordContents& contents) {
  std::string text = std::string(kFormat) + "\r\nlista " + std::to_string(contents.listSerial) + "\r\n";
  for (const std::string& name : contents.extracted) text += "descompactado\t" + name + "\r\n";
  for (const DownloadRecord& r : contents.files) {
    text += r.file + "\t" + (r.known.complete ? "complete" : "partial") + "\t" +
            (r.known.total ? std::to_string(*r.known.total) : "-") + "\t" + std::to_string(r.known.have) + "\t" +
            r.known.etag + "\t" + r.known.lastModified + "\t" + std::to_string(r.stamp.size) + "\t" +
            std::to_string(r.stamp.writeTime) + "\r\n";
  }
  return text;
}

RecordContents ParseRecord(const std::string& text) {
  RecordContents contents;
  std::vector<DownloadRecord>& records = contents.files;
  // A name that comes more than once is trusted in none of its lines: the
  // record was not written by a run, or not whole.
  std::unordered_map<std::string, std::size_t> seen;  // name -> its line's record, or kRefused
  constexpr std::size_t kRefused = ~std::size_t{0};
  std::size_t at = 0, number = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number;
    if (number == 1) {
      if (line != kFormat) return {};
      continue;
    }
    if (number == 2) {
      // The list's serial, always the second line.
      const std::optional<std::uint64_t> serial = line.rfind("lista ", 0) == 0 ? Number(line.substr(6)) : std::nullopt;
      if (!serial) return {};
      contents.listSerial = *serial;
      continue;
    }
    if (line.empty()) continue;
    if (line.rfind("descompactado\t", 0) == 0) {
      const std::string name = line.substr(14);
      if (PlainName(name)) contents.extracted.insert(name);
      continue;
    }
    const std::string name = line.substr(0, line.find('\t'));
    const auto [where, fresh] = seen.try_emplace(name, kRefused);
    if (!fresh) {
      where->second = kRefused;
      continue;
    }
    if (std::optional<DownloadRecord> record = ParseLine(line)) {
      where->second = records.size();
      records.push_back(std::move(*record));
    }
  }
  if (number < 2) return {};
  std::vector<DownloadRecord> trusted;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (seen[records[i].file] == i) trusted.push_back(std::move(records[i]));
  }
  records = std::move(trusted);
  return contents;
}

void DownloadRecords::Load() {
  const std::optional<std::string> text = files_.ReadWhole(path_, kLargest);
  contents_ = text ? ParseRecord(*text) : RecordContents{};
}

void DownloadRecords::UseList(std::uint64_t serial) {
  contents_.listSerial = serial;
  Save();
}

bool DownloadRecords::WasExtracted(const std::wstring& file) const {
  return contents_.extracted.count(Utf8Of(file)) != 0;
}

void DownloadRecords::Extracted(const std::wstring& file) {
  if (contents_.extracted.insert(Utf8Of(file)).second) Save();
}

DownloadRecord* DownloadRecords::Find(const std::string& file) {
  for (DownloadRecord& record : contents_.files) {
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
    contents_.files.push_back(fresh);
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

void DownloadRecords::Forget(const std::wstring& file) {
  const std::string name = Utf8Of(file);
  const auto before = contents_.files.size();
  std::erase_if(contents_.files, [&](const DownloadRecord& record) { return record.file == name; });
  if (contents_.files.size() != before) Save();
}

// The record only ever saves a later run some bytes: a disk too full to
// write it must not stop this run, and an older record left in its place
// is still safe (a changed file fails its stamp, a changed server its
// validators).
void DownloadRecords::Save() {
  try {
    files_.WriteWhole(path_, RecordText(contents_));
  } catch (const Error&) {
  }
}

void RecordingTransfer::Began(const std::string& etag, const std::string& lastModified,
                              std::optional<std::uint64_t> total) {
  saved_ = 0;
  whole_ = false;
  records_.Began(file_, etag, lastModified, total);
}

void RecordingTransfer::Written(std::uint64_t bytes) {
  if (bytes < saved_ + saveEvery_) return;
  // The bytes go to the disk before the record says they are there.
  output_.Flush();
  records_.Written(file_, bytes);
  saved_ = bytes;
}

}  // namespace pravonell
