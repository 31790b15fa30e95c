// The heading's line while a file comes in: what it says, and how often.
#include "engine/download_line.h"

#include <gtest/gtest.h>

#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {
namespace {

TEST(DownloadLine, TextInBrazilianStyle) {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  const struct {
    const char* name;
    std::uint64_t received;
    std::optional<std::uint64_t> total;
    std::optional<double> speed;
    bool waiting;
    const char* text;
  } rows[] = {
      {"seconds left", 12897484, 85 * kMiB, 2.1 * kMiB, false,
       "Arquivo 3 de 11 · 12,3 de 85,0 MB · 2,1 MB/s · cerca de 35 s"},
      {"minutes left", 12897484, 500 * kMiB, 2.1 * kMiB, false,
       "Arquivo 3 de 11 · 12,3 de 500,0 MB · 2,1 MB/s · cerca de 4 min"},
      {"nothing yet", 0, std::nullopt, std::nullopt, false, "Arquivo 3 de 11"},
      {"the length known, no speed yet", 0, 85 * kMiB, std::nullopt, false, "Arquivo 3 de 11 · 0,0 de 85,0 MB"},
      {"no length: no time left", 12897484, std::nullopt, 2.1 * kMiB, false, "Arquivo 3 de 11 · 12,3 MB · 2,1 MB/s"},
      {"a silent server", 12897484, 85 * kMiB, 2.1 * kMiB, true,
       "Arquivo 3 de 11 · 12,3 de 85,0 MB · aguardando o servidor…"},
      {"silent before anything came", 0, std::nullopt, std::nullopt, true, "Arquivo 3 de 11 · aguardando o servidor…"},
      {"small file, slow line", 100 * 1024, 300 * 1024, 20 * 1024.0, false,
       "Arquivo 1 de 11 · 100,0 de 300,0 KB · 20 KB/s · cerca de 10 s"},
      {"under a minute and a half", 80 * kMiB, 85 * kMiB, 0.1 * kMiB, false,
       "Arquivo 3 de 11 · 80,0 de 85,0 MB · 102 KB/s · cerca de 50 s"},
      {"gigabytes", 3 * 1024 * kMiB / 2, 2 * 1024 * kMiB, 10.0 * kMiB, false,
       "Arquivo 3 de 11 · 1,5 de 2,0 GB · 10,0 MB/s · cerca de 55 s"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::wstring prefix = std::string(row.text).rfind("Arquivo 1 ", 0) == 0 ? L"Arquivo 1 de 11" : L"Arquivo 3 de 11";
    EXPECT_EQ(Utf8(DownloadLine::Text(prefix, row.received, row.total, row.speed, row.waiting)), row.text);
  }
}

// A clock only the test moves.
struct TestClock final : Pauses {
  std::uint64_t now = 1000;
  std::uint64_t NowMs() override { return now; }
  void Sleep(unsigned ms) override { now += ms; }
};

TEST(DownloadLine, FollowsTheTransferAFewTimesASecondAtMost) {
  FakeRunPorts heading{World{}};
  TestClock clock;
  RunControl control(heading);
  DownloadLine line(heading, clock, control);
  line.SetStep(InstallStep::Download, L"Arquivo 3 de 11");
  line.Begin(10 * 1024 * 1024);
  // A block every 10 ms for 2 s: 1 MiB/s.
  for (int i = 1; i <= 200; ++i) {
    clock.now += 10;
    line.Work(i * 5243);
  }
  const std::size_t shown = heading.overview.size();
  EXPECT_LE(shown, 2u + 2000 / DownloadLine::kShowEveryMs + 1);  // never more than four a second
  EXPECT_EQ(heading.overview.back(), "download Arquivo 3 de 11 · 1,0 de 10,0 MB · 512 KB/s · cerca de 20 s")
      << heading.overview.back();

  // The server goes silent: after 5 s the line says so, on a tick.
  clock.now += 4000;
  line.Tick();
  EXPECT_EQ(heading.overview.back().find("aguardando"), std::string::npos);
  clock.now += 1000;
  line.Tick();
  EXPECT_EQ(heading.overview.back(), "download Arquivo 3 de 11 · 1,0 de 10,0 MB · aguardando o servidor…");

  // Another step passes through, and the line no longer writes.
  line.SetStep(InstallStep::Extract, L"");
  const std::size_t after = heading.overview.size();
  clock.now += 10000;
  line.Tick();
  line.Work(6000000);
  EXPECT_EQ(heading.overview.size(), after);
  EXPECT_EQ(heading.overview.back(), "extract");

  // A stopped run: nothing more is written.
  line.SetStep(InstallStep::Download, L"Arquivo 4 de 11");
  control.RequestStop();
  clock.now += 10000;
  line.Tick();
  EXPECT_EQ(heading.overview.back(), "download Arquivo 4 de 11");
}

}  // namespace
}  // namespace pravonell::testing
