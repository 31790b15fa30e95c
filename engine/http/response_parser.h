// Parsing an HTTP/1.1 response without any I/O: bytes go in, the head and
// the body's payload come out. The client's read loop feeds these.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pravonell::http {

struct ResponseHead {
  std::string statusLine;  // as received, without its line end
  int status = 0;          // 0 when the status line is not HTTP
  std::vector<std::pair<std::string, std::string>> headers;

  // The first header of that name (ignoring case), its value trimmed.
  std::optional<std::string> Header(std::string_view name) const;
  std::vector<std::string> All(std::string_view name) const;
};

// Reads the status line and the header lines up to the empty line.
class HeadParser {
 public:
  // Consumes bytes up to and including the line that ends the head.
  std::size_t Feed(std::span<const char> data);
  bool done() const { return done_; }
  bool empty() const { return !sawAnything_; }
  const ResponseHead& head() const { return head_; }
  void Reset() { *this = HeadParser(); }

  static constexpr std::size_t kMaxHead = 64 * 1024;

 private:
  void TakeLine(std::string line);

  ResponseHead head_;
  std::string line_;
  std::size_t size_ = 0;
  bool haveStatus_ = false;
  bool sawAnything_ = false;
  bool done_ = false;
};

enum class Framing { None, Length, Chunked, UntilClose };

// How the body of a response is delimited, from its status and headers.
struct BodyFraming {
  Framing framing = Framing::UntilClose;
  std::uint64_t length = 0;  // for Framing::Length
};
BodyFraming FramingOf(const ResponseHead& head);

// A 206 answer's "Content-Range: bytes FIRST-LAST/TOTAL", every number in
// digits; nothing when the value is anything else ("*" totals included).
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t total = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

// A 416 answer's "Content-Range: bytes */TOTAL": the whole file's length.
std::optional<std::uint64_t> ParseUnsatisfiedRange(std::string_view value);

// Takes the body's bytes off the wire and hands over its payload.
class BodyDecoder {
 public:
  using Payload = std::function<void(std::span<const char>)>;

  explicit BodyDecoder(BodyFraming framing);

  // Consumes body bytes (stopping at the body's end) and returns how many;
  // the payload pieces go to the callback as they are found.
  std::size_t Feed(std::span<const char> data, const Payload& payload);
  bool done() const { return state_ == State::Done; }
  // The peer closed: true when that properly ends the body.
  bool FinishAtClose();

 private:
  enum class State { Length, UntilClose, ChunkSize, ChunkData, ChunkDataEnd, Trailer, Done };
  std::size_t FeedChunked(std::span<const char> data, const Payload& payload);

  State state_;
  std::uint64_t remaining_ = 0;
  std::string line_;
};

// Raised for a response that is not HTTP as this client understands it.
struct ProtocolError {
  const wchar_t* message;
};

}  // namespace pravonell::http
