#include "engine/http/response_parser.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace pravonell::http {

namespace {

constexpr std::size_t kMaxLine = 8 * 1024;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

bool ContainsToken(std::string_view list, std::string_view token) {
  std::size_t start = 0;
  while (start <= list.size()) {
    auto end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    if (EqualsIgnoringCase(Trim(list.substr(start, end - start)), token)) return true;
    start = end + 1;
  }
  return false;
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
  if (colon == std::string::npos) return;  // not a header; ignored
  head_.headers.emplace_back(Trim(std::string_view(line).substr(0, colon)),
                             Trim(std::string_view(line).substr(colon + 1)));
}

bool HeadParser::FinishAtClose() {
  if (!line_.empty()) {
    std::string last = std::move(line_);
    line_.clear();
    if (!last.empty() && last.back() == '\r') last.pop_back();
    TakeLine(std::move(last));
  }
  done_ = haveStatus_;
  return haveStatus_;
}

BodyFraming FramingOf(const ResponseHead& head) {
  if ((head.status >= 100 && head.status < 200) || head.status == 204 || head.status == 304) {
    return {Framing::None, 0};
  }
  if (auto te = head.Header("Transfer-Encoding"); te && ContainsToken(*te, "chunked")) {
    return {Framing::Chunked, 0};
  }
  if (auto cl = head.Header("Content-Length")) {
    std::uint64_t length = 0;
    bool valid = !cl->empty() && cl->size() <= 18;
    for (char c : *cl) {
      if (c < '0' || c > '9') valid = false;
      length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    // An unreadable length counts as none: the body runs to the close.
    if (valid) return {length == 0 ? Framing::None : Framing::Length, length};
  }
  return {Framing::UntilClose, 0};
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
        std::uint64_t size = 0;
        std::size_t digits = 0;
        for (char c : line_) {
          int value;
          if (c >= '0' && c <= '9') value = c - '0';
          else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
          else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
          else break;  // chunk extensions and blanks after the size are ignored
          if (++digits > 15) throw ProtocolError{L"Invalid chunked encoding."};
          size = size * 16 + static_cast<std::uint64_t>(value);
        }
        if (digits == 0) throw ProtocolError{L"Invalid chunked encoding."};
        line_.clear();
        remaining_ = size;
        state_ = size == 0 ? State::Trailer : State::ChunkData;
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
