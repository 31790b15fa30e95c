#include "engine/http/response_parser.h"

#include "engine/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace pravonell::http {

namespace {

constexpr std::size_t kMaxLine = 8 * 1024;

std::string Trim(std::string_view text) { return TrimBlanks(text); }

// Calls take(member) for each comma-separated member of a header value,
// trimmed. Empty members count too, so "5," is not read as "5".
template <typename Take>
void ForEachMember(std::string_view list, Take take) {
  std::size_t start = 0;
  for (;;) {
    auto end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    const std::string member = Trim(list.substr(start, end - start));
    if (!(member.empty() && end == list.size() && start == 0)) take(std::string_view(member));
    if (end == list.size()) return;
    start = end + 1;
  }
}

// 1*DIGIT that fits in 63 bits; nothing else (no sign, blank or suffix).
std::optional<std::uint64_t> DecimalLength(std::string_view text) {
  if (text.empty()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// A chunk-size line: hex digits, optional blanks, then nothing or
// ";extensions". Anything else ("0x10", "10zz", "") is not a size.
std::optional<std::uint64_t> ChunkSizeOf(std::string_view line) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::uint64_t size = 0;
  std::size_t at = 0;
  for (; at < line.size(); ++at) {
    const char c = line[at];
    std::uint64_t value;
    if (c >= '0' && c <= '9') value = static_cast<std::uint64_t>(c - '0');
    else if (c >= 'a' && c <= 'f') value = static_cast<std::uint64_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') value = static_cast<std::uint64_t>(c - 'A' + 10);
    else break;
    if (size > (kMax - value) / 16) return std::nullopt;
    size = size * 16 + value;
  }
  if (at == 0) return std::nullopt;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  if (at < line.size() && line[at] != ';') return std::nullopt;
  return size;
}

// "HTTP/1.1 200 OK" gives 200; anything else gives 0.
int StatusOf(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") != 0) return 0;
  const auto space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 4) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return 0;
  return status;
}

}  // namespace

std::optional<std::string> ResponseHead::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

std::vector<std::string> ResponseHead::All(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoringCase(key, name)) values.push_back(value);
  }
  return values;
}

std::size_t HeadParser::Feed(std::span<const char> data) {
  std::size_t used = 0;
  while (used < data.size() && !done_) {
    const char* start = data.data() + used;
    const void* lf = std::memchr(start, '\n', data.size() - used);
    const std::size_t take =
        lf != nullptr ? static_cast<const char*>(lf) - start + 1 : data.size() - used;
    size_ += take;
    if (size_ > kMaxHead) throw ProtocolError{L"Response head too large."};
    sawAnything_ = true;
    line_.append(start, lf != nullptr ? take - 1 : take);
    used += take;
    if (lf != nullptr) {
      if (!line_.empty() && line_.back() == '\r') line_.pop_back();
      TakeLine(std::move(line_));
      line_.clear();
    }
  }
  return used;
}

void HeadParser::TakeLine(std::string line) {
  if (!haveStatus_) {
    head_.statusLine = std::move(line);
    head_.status = StatusOf(head_.statusLine);
    haveStatus_ = true;
    done_ = head_.status == 0;  // not HTTP: no headers to look for
    return;
  }
  if (line.empty()) {
    done_ = true;
    return;
  }
  if ((line[0] == ' ' || line[0] == '\t') && !head_.headers.empty()) {
    head_.headers.back().second += ' ' + Trim(line);  // a folded continuation
    return;
  }
  const auto colon = line.find(':');
  // A line that is not "name: value" means the head is not what it claims to be.
  if (colon == std::string::npos || colon == 0 || line[colon - 1] == ' ' || line[colon - 1] == '\t') {
    throw ProtocolError{L"Invalid response header."};
  }
  head_.headers.emplace_back(Trim(std::string_view(line).substr(0, colon)),
                             Trim(std::string_view(line).substr(colon + 1)));
}

// Content-Length and Transfer-Encoding as a hostile server may send them:
// several lines, comma lists, signs, blanks, codings we cannot decode. A
// length or coding that cannot be read for certain fails the response rather
// than being guessed at, since a guess is a wrong file passed as complete.
BodyFraming FramingOf(const ResponseHead& head) {
  if ((head.status >= 100 && head.status < 200) || head.status == 204 || head.status == 304) {
    return {Framing::None, 0};
  }
  std::vector<std::string> codings;
  for (const std::string& line : head.All("Transfer-Encoding")) {
    ForEachMember(line, [&](std::string_view member) { codings.emplace_back(member); });
  }
  if (!head.All("Transfer-Encoding").empty()) {
    // Only chunked, once and last: we ask for no coding and decode none.
    if (codings.size() != 1 || !EqualsIgnoringCase(codings[0], "chunked")) {
      throw ProtocolError{L"Unsupported Transfer-Encoding."};
    }
    return {Framing::Chunked, 0};  // it overrides any Content-Length
  }
  const auto lengths = head.All("Content-Length");
  if (lengths.empty()) return {Framing::UntilClose, 0};
  std::optional<std::uint64_t> length;
  for (const std::string& line : lengths) {
    bool any = false;
    ForEachMember(line, [&](std::string_view member) {
      any = true;
      const auto value = DecimalLength(member);
      if (!value || (length && *length != *value)) throw ProtocolError{L"Invalid Content-Length."};
      length = value;
    });
    if (!any) throw ProtocolError{L"Invalid Content-Length."};
  }
  return {*length == 0 ? Framing::None : Framing::Length, *length};
}

BodyDecoder::BodyDecoder(BodyFraming framing) {
  switch (framing.framing) {
    case Framing::None:
      state_ = State::Done;
      break;
    case Framing::Length:
      state_ = State::Length;
      remaining_ = framing.length;
      break;
    case Framing::Chunked:
      state_ = State::ChunkSize;
      break;
    case Framing::UntilClose:
      state_ = State::UntilClose;
      break;
  }
}

std::size_t BodyDecoder::Feed(std::span<const char> data, const Payload& payload) {
  switch (state_) {
    case State::Done:
      return 0;
    case State::UntilClose:
      if (!data.empty()) payload(data);
      return data.size();
    case State::Length: {
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, data.size()));
      if (take > 0) payload(data.first(take));
      remaining_ -= take;
      if (remaining_ == 0) state_ = State::Done;
      return take;
    }
    default:
      return FeedChunked(data, payload);
  }
}

std::size_t BodyDecoder::FeedChunked(std::span<const char> data, const Payload& payload) {
  std::size_t used = 0;
  auto takeLine = [&](std::string& line) {
    // Appends up to the next line feed; true when the line is complete.
    const char* start = data.data() + used;
    const void* lf = std::memchr(start, '\n', data.size() - used);
    const std::size_t take = lf != nullptr ? static_cast<const char*>(lf) - start + 1 : data.size() - used;
    line.append(start, take);
    used += take;
    if (line.size() > kMaxLine) throw ProtocolError{L"Invalid chunked encoding."};
    if (lf == nullptr) return false;
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  };
  while (used < data.size() && state_ != State::Done) {
    switch (state_) {
      case State::ChunkSize: {
        if (!takeLine(line_)) break;
        const auto size = ChunkSizeOf(line_);
        if (!size) throw ProtocolError{L"Invalid chunked encoding."};
        line_.clear();
        remaining_ = *size;
        state_ = *size == 0 ? State::Trailer : State::ChunkData;
        break;
      }
      case State::ChunkData: {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, data.size() - used));
        payload(data.subspan(used, take));
        used += take;
        remaining_ -= take;
        if (remaining_ == 0) state_ = State::ChunkDataEnd;
        break;
      }
      case State::ChunkDataEnd:
        if (!takeLine(line_)) break;
        if (!line_.empty()) throw ProtocolError{L"Invalid chunked encoding."};
        state_ = State::ChunkSize;
        break;
      case State::Trailer:
        if (!takeLine(line_)) break;
        if (line_.empty()) state_ = State::Done;
        line_.clear();
        break;
      default:
        break;
    }
  }
  return used;
}

bool BodyDecoder::FinishAtClose() {
  if (state_ == State::UntilClose) state_ = State::Done;
  return state_ == State::Done;
}

}  // namespace pravonell::http

namespace pravonell::http {

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  const std::string text = Trim(value);
  std::string_view rest = text;
  constexpr std::string_view kUnit = "bytes ";
  if (rest.size() < kUnit.size() || !EqualsIgnoringCase(rest.substr(0, kUnit.size()), kUnit)) return std::nullopt;
  rest.remove_prefix(kUnit.size());
  const auto dash = rest.find('-');
  const auto slash = rest.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = DecimalLength(rest.substr(0, dash));
  const auto last = DecimalLength(rest.substr(dash + 1, slash - dash - 1));
  const auto total = DecimalLength(rest.substr(slash + 1));
  if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

std::optional<std::uint64_t> ParseUnsatisfiedRange(std::string_view value) {
  const std::string text = Trim(value);
  std::string_view rest = text;
  constexpr std::string_view kUnit = "bytes */";
  if (rest.size() < kUnit.size() || !EqualsIgnoringCase(rest.substr(0, kUnit.size()), kUnit)) return std::nullopt;
  return DecimalLength(rest.substr(kUnit.size()));
}

}  // namespace pravonell::http
