// Starts the archiver stand-in again and again, the way an installation run
// starts the archiver, and tells how each start ended: whether the start
// itself failed (and with which system error), whether the program ran but
// never wrote its log line, which exit code the wait saw, and whether the
// extracted file is there. For finding starts that fail only now and then
// on a loaded machine.
//   start-loop.exe [--retry] TRIES ARCHIVER ARCHIVE FOLDER
// With --retry, each start goes through the program's own retrying start (a
// start that fails for a passing reason is tried again), and the starts
// that needed more than one attempt are counted.
// ARCHIVER is started as "ARCHIVER x -y ARCHIVE NAME.exe FOLDER\" through
// the program's own process port, and must log in C:\standin\archiver.log.
// An ARCHIVE that does not exist makes each try quick: the archiver logs
// its command line and ends with 6 (open error), which is then the outcome
// expected.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "engine/command_line.h"
#include "engine/program_start.h"
#include "platform/win32/win_pauses.h"
#include "platform/win32/win_processes.h"

namespace {

std::size_t LogLines() {
  HANDLE h = CreateFileW(L"C:\\standin\\archiver.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  std::size_t lines = 0;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) lines += buffer[i] == '\n';
  }
  CloseHandle(h);
  return lines;
}

}  // namespace

struct NoWindow final : pravonell::MessagePump {
  void ProcessMessages() override {}
};

int wmain(int argc, wchar_t** argv) {
  const bool retry = argc > 1 && std::wstring(argv[1]) == L"--retry";
  if (retry) {
    ++argv;
    --argc;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: start-loop.exe [--retry] TRIES ARCHIVER ARCHIVE FOLDER\n");
    return 2;
  }
  const int tries = _wtoi(argv[1]);
  // The installer is a program without a console; its children get none
  // of its own either.
  FreeConsole();
  const std::wstring archiver = argv[2], archive = argv[3], folder = std::wstring(argv[4]) + L"\\";
  std::wstring name = archive.substr(archive.find_last_of(L'\\') + 1);
  name = name.substr(0, name.find_last_of(L'.')) + L".exe";
  const std::wstring line = pravonell::QuoteArgument(archiver) + L" x -y " + pravonell::QuoteArgument(archive) +
                            L" " + pravonell::QuoteArgument(name) + L" " + pravonell::QuoteArgument(folder);
  const bool quick = GetFileAttributesW(archive.c_str()) == INVALID_FILE_ATTRIBUTES;
  pravonell::win32::Win32Processes processes;
  pravonell::win32::Win32Pauses pauses;
  NoWindow window;
  pravonell::PumpedWaits waits(window, pauses);
  std::map<std::string, int> outcomes;
  int failures = 0, retried = 0;
  for (int i = 1; i <= tries; ++i) {
    DeleteFileW((folder + name).c_str());
    const std::size_t before = LogLines();
    int attempts = 0;
    const auto start = [&] {
      ++attempts;
      pravonell::Started outcome = processes.Start(line, /*hidden=*/true);
      if (!outcome.process) std::printf("try %d: a start failed with %lu\n", i, static_cast<unsigned long>(outcome.error));
      return outcome;
    };
    pravonell::Started started = retry ? pravonell::StartRetrying(waits, pauses, {}, start) : start();
    if (attempts > 1) ++retried;
    std::string outcome;
    if (!started.process) {
      outcome = "start failed, error " + std::to_string(started.error);
    } else {
      while (!started.process->Wait(50)) {
      }
      const std::uint32_t code = started.process->ExitCode();
      const bool logged = LogLines() > before;
      const bool extracted = GetFileAttributesW((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
      char text[128];
      std::snprintf(text, sizeof text, "exit 0x%lx, %s, %s", static_cast<unsigned long>(code),
                    logged ? "logged" : "NOT logged", extracted ? "extracted" : "NOT extracted");
      outcome = text;
      if (quick ? code == 6 && logged : code == 0 && logged && extracted) outcome = "ok";
    }
    if (outcome != "ok") {
      ++failures;
      std::printf("try %d: %s\n", i, outcome.c_str());
      std::fflush(stdout);
    }
    ++outcomes[outcome];
  }
  for (const auto& [outcome, count] : outcomes) std::printf("%6d  %s\n", count, outcome.c_str());
  std::printf("start_loop_tries: %d\nstart_loop_failures: %d\n", tries, failures);
  if (retry) std::printf("start_loop_tries_started_again: %d\n", retried);
  return failures == 0 ? 0 : 1;
}
