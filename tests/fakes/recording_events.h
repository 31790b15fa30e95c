// Work events and a file held in memory, for tests of the HTTP client.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/http/http_client.h"
#include "engine/ports.h"
#include "engine/run_control.h"

namespace pravonell::testing {

struct RecordingEvents final : http::WorkEvents {
  std::vector<std::string> log;  // "begin N", "work N", "end"
  void IdHttpWorkBegin(std::int64_t max) override { log.push_back("begin " + std::to_string(max)); }
  void IdHttpWork(std::int64_t count) override { log.push_back("work " + std::to_string(count)); }
  void IdHttpWorkEnd() override { log.push_back("end"); }
  void OnReconnect(int attempt, int attempts) override {
    log.push_back("reconnect " + std::to_string(attempt) + " of " + std::to_string(attempts));
  }
};

struct MemoryFile final : OutputFile {
  std::string bytes;
  std::size_t position = 0;
  std::vector<std::uint64_t> lengths;  // every length set, in order
  // The most the disk can hold of this file's data, when it is limited.
  std::optional<std::uint64_t> capacity;
  void Write(std::span<const char> data) override {
    if (capacity && position + data.size() > *capacity) throw DiskFull(L"Disk full.", 0);
    if (bytes.size() < position + data.size()) bytes.resize(position + data.size());
    bytes.replace(position, data.size(), data.data(), data.size());
    position += data.size();
  }
  void Restart() override {
    bytes.clear();
    position = 0;
    lengths.push_back(0);
  }
  void SetLength(std::uint64_t length) override {
    lengths.push_back(length);
    bytes.resize(length);
  }
  void Flush() override { ++flushes; }
  int flushes = 0;
  void EnsureRoom(std::uint64_t more) override {
    if (capacity && more > *capacity - position) throw DiskFull(L"Disk full.", more - (*capacity - position));
  }
  void Close() override {}
};

// Counts the pumps; asks the run to stop at the pump numbered stopAt.
struct CountingPump final : MessagePump {
  int pumps = 0;
  int stopAt = -1;
  void ProcessMessages() override {
    if (++pumps == stopAt) throw RunStopped{};
  }
};

}  // namespace pravonell::testing
