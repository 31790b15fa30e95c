#include "engine/vendor_list.h"

#include <set>

namespace pravonell {

namespace {

constexpr std::string_view kHeader = "pravonell-lista 1\n";
constexpr std::string_view kSignatureWord = "assinatura ";
constexpr std::size_t kMostFiles = 1000;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // lower case only: one spelling of each list
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> FromHex(std::string_view hex) {
  if (hex.size() != 2 * N) return std::nullopt;
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i) {
    const int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

// A count of bytes: decimal digits, no leading zero, below 10^15.
std::optional<std::uint64_t> Count(std::string_view text) {
  if (text.empty() || text.size() > 15 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// A path on the download host: "/" and then letters, digits, '.', '_', '-'
// and '/', with no empty, "." or ".." part.
bool PlainPath(std::string_view path) {
  if (path.size() < 2 || path.size() > 200 || path[0] != '/' || path.back() == '/') return false;
  std::size_t partStart = 1;
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      const std::string_view part = path.substr(partStart, i - partStart);
      if (part.empty() || part == "." || part == "..") return false;
      partStart = i + 1;
      continue;
    }
    const char c = path[i];
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

bool PlainDate(std::string_view date) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (date[i] < '0' || date[i] > '9') return false;
  }
  const int year = std::stoi(std::string(date.substr(0, 4)));
  const int month = std::stoi(std::string(date.substr(5, 2)));
  const int day = std::stoi(std::string(date.substr(8, 2)));
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 2000 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == ' ') {
      words.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  return words;
}

// The signed part of a well-formed list, strictly: every line in its place,
// each exactly as the vendor's tool writes it.
std::optional<VendorList> ParseBody(std::string_view body) {
  if (body.substr(0, kHeader.size()) != kHeader) return std::nullopt;
  std::vector<std::string_view> lines;
  std::size_t at = kHeader.size();
  while (at < body.size()) {
    const std::size_t end = body.find('\n', at);
    if (end == std::string_view::npos) return std::nullopt;
    lines.push_back(body.substr(at, end - at));
    at = end + 1;
  }
  if (lines.size() < 3 || lines.size() - 2 > kMostFiles) return std::nullopt;
  VendorList list;
  const std::vector<std::string_view> serial = Words(lines[0]), date = Words(lines[1]);
  if (serial.size() != 2 || serial[0] != "serie" || date.size() != 2 || date[0] != "data") return std::nullopt;
  const std::optional<std::uint64_t> number = Count(serial[1]);
  if (!number || *number == 0 || !PlainDate(date[1])) return std::nullopt;
  list.serial = *number;
  list.date = std::string(date[1]);
  std::set<std::string_view> paths;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::vector<std::string_view> words = Words(lines[i]);
    if (words.size() != 5 || words[0] != "arquivo" || !PlainPath(words[1]) || !paths.insert(words[1]).second) {
      return std::nullopt;
    }
    ListedFile file;
    file.path = std::string(words[1]);
    const std::optional<std::uint64_t> size = Count(words[2]);
    const auto sha = FromHex<32>(words[3]);
    if (!size || !sha) return std::nullopt;
    file.size = *size;
    file.sha256 = *sha;
    if (words[4] != "-") {
      file.room = Count(words[4]);
      if (!file.room) return std::nullopt;
    }
    list.files.push_back(std::move(file));
  }
  return list;
}

std::string Decimal(std::uint64_t value) { return std::to_string(value); }

}  // namespace

const ListedFile* VendorList::Find(std::string_view path) const {
  for (const ListedFile& file : files) {
    if (file.path == path) return &file;
  }
  return nullptr;
}

std::optional<std::array<std::uint8_t, 64>> PublicKeyFromHex(std::string_view hex) { return FromHex<64>(hex); }

std::string HexOf(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

ListCheck CheckVendorList(std::string_view bytes, Crypto& crypto, const VendorKey& key, std::uint64_t usedBefore,
                          const std::vector<std::string>& required) {
  ListCheck check;
  const auto refuse = [&](ListProblem problem, std::string detail = {}) {
    check.problem = problem;
    check.detail = std::move(detail);
    return check;
  };
  // A block page, a portal's login form, another file: not a list at all.
  if (bytes.size() > kLargestList) return refuse(ListProblem::Unreadable);
  if (bytes.substr(0, kHeader.size()) != kHeader) {
    return kHeader.substr(0, bytes.size()) == bytes ? refuse(ListProblem::Cut) : refuse(ListProblem::Unreadable);
  }
  // The signature is the last line; without it whole, the list was cut.
  const std::size_t line = bytes.rfind("\nassinatura ");
  if (line == std::string_view::npos || bytes.back() != '\n') return refuse(ListProblem::Cut);
  const std::string_view body = bytes.substr(0, line + 1);
  const std::string_view signatureHex =
      bytes.substr(line + 1 + kSignatureWord.size(), bytes.size() - line - 2 - kSignatureWord.size());
  const auto signature = FromHex<64>(signatureHex);
  if (!signature) {
    return signatureHex.size() < 128 ? refuse(ListProblem::Cut) : refuse(ListProblem::Unreadable);
  }
  std::unique_ptr<Sha256> hash = crypto.NewSha256();
  hash->Add(std::span(body.data(), body.size()));
  if (!crypto.VerifyP256(key.publicKey, hash->Finish(), *signature)) return refuse(ListProblem::NotTheVendors);
  // Signed by the vendor and still not readable: a list of a format this
  // installer does not know.
  std::optional<VendorList> list = ParseBody(body);
  if (!list) return refuse(ListProblem::Unreadable);
  if (list->serial < key.floor) return refuse(ListProblem::BelowFloor);
  if (list->serial < usedBefore) return refuse(ListProblem::OlderThanUsed);
  for (const std::string& path : required) {
    if (list->Find(path) == nullptr) return refuse(ListProblem::LacksFile, path);
  }
  check.list = std::move(list);
  return check;
}

std::string ListBody(const VendorList& list) {
  std::string text(kHeader);
  text += "serie " + Decimal(list.serial) + "\n";
  text += "data " + list.date + "\n";
  for (const ListedFile& file : list.files) {
    text += "arquivo " + file.path + " " + Decimal(file.size) + " " + HexOf(file.sha256) + " " +
            (file.room ? Decimal(*file.room) : "-") + "\n";
  }
  return text;
}

std::string SignedListText(const VendorList& list, const std::array<std::uint8_t, 64>& signature) {
  return ListBody(list) + std::string(kSignatureWord) + HexOf(signature) + "\n";
}

}  // namespace pravonell
