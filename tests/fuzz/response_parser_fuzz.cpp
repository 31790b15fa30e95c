// libFuzzer target: one response read from arbitrary bytes, cut into
// arbitrary pieces the way receives cut it. The outcome (status, payload,
// error, where the body ended) must not depend on the cut, and nothing may
// crash or overflow. The cookies a response sets go through the jar too.
//
// Input: byte 0 picks "the server closes at the end"; bytes 1-4 seed the
// piece sizes; the rest is the response.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/http/cookies.h"
#include "tests/fakes/response_reader.h"

using pravonell::testing::ReadAtOnce;
using pravonell::testing::ReadOutcome;
using pravonell::testing::ReadResponse;

namespace {

void CheckSame(const ReadOutcome& a, const ReadOutcome& b) {
  if (!(a == b)) std::abort();  // the outcome depended on how the bytes came
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const bool closeAtEnd = (data[0] & 1) != 0;
  std::uint32_t seed;
  std::memcpy(&seed, data + 1, sizeof seed);
  const std::string wire(reinterpret_cast<const char*>(data) + 5, size - 5);

  const ReadOutcome whole = ReadAtOnce(wire, closeAtEnd);
  // Pieces of 1 to 64 bytes from a small generator, and sometimes one byte each.
  std::uint32_t state = seed | 1;
  const ReadOutcome pieces = ReadResponse(wire, closeAtEnd, [&](std::size_t, std::size_t) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<std::size_t>(state % 64) + 1;
  });
  CheckSame(whole, pieces);
  if (wire.size() < 4096 && (seed & 0x10000) != 0) {
    CheckSame(whole, pravonell::testing::ReadPerByte(wire, closeAtEnd));
  }

  // The Set-Cookie lines of the head, stored and read back.
  pravonell::http::HeadParser head;
  try {
    head.Feed(wire);
  } catch (const pravonell::http::ProtocolError&) {
  }
  pravonell::http::CookieJar jar;
  const auto now = pravonell::http::CookieJar::Clock::time_point(std::chrono::seconds(seed));
  jar.Store(head.head().All("Set-Cookie"), "download.varnisca.com.br", "/uploads/file", now);
  (void)jar.HeaderFor("download.varnisca.com.br", "/uploads/file/x", now);
  return 0;
}
