#include "engine/progress.h"

#include <gtest/gtest.h>

#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {
namespace {

TEST(RetornaPorcentagem, RoundsTwiceWithTiesToEven) {
  const struct {
    std::int64_t maximum, current;
    const wchar_t* text;
  } rows[] = {
      {8, 1, L"12%"},   {8, 3, L"38%"},  {8, 8, L"100%"}, {8, 0, L"0%"},
      {200, 1, L"0%"},  {200, 3, L"2%"}, {200, 5, L"2%"}, {3, 1, L"33%"},
      {3, 2, L"67%"},   {16, 1, L"6%"},  // 6.25 → 6
      {40000, 18001, L"45%"},            // 45.0025 stored as 45.0025, then 45
      {2147483647, 2147483647, L"100%"},
      {1000, 1500, L"150%"},  // counts past the maximum are shown as they are
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.current) + "/" + std::to_string(row.maximum));
    EXPECT_EQ(RetornaPorcentagem(Currency::FromInteger(row.maximum), Currency::FromInteger(row.current)),
              row.text);
  }
}

TEST(AmountText, ReadsInKilobytesMegabytesAndGigabytes) {
  EXPECT_EQ(AmountText(0), L"0,0 KB");
  EXPECT_EQ(AmountText(1536), L"1,5 KB");
  EXPECT_EQ(AmountText(1572864), L"1,5 MB");
  EXPECT_EQ(AmountText(3LL * 1024 * 1024 * 1024), L"3,0 GB");
}

struct Display {
  FakeRunPorts fake{World{}};
  ProgressDisplay progress{fake, L"Pravonell"};
};

TEST(ProgressDisplay, BeginSetsOnlyTheMaximum) {
  Display d;
  d.progress.IdHttpWorkBegin(8);
  EXPECT_EQ(Lines(d.fake.log), Lines({"progress max 8"}));
}

// The fake's bar always reads back 0, as a bar does after a begin without a length.
TEST(ProgressDisplay, UnknownLengthShowsTheAmountAndTheEndRestoresTheCaption) {
  Display d;
  d.progress.IdHttpWorkBegin(0);
  d.progress.IdHttpWork(1572864);
  d.progress.IdHttpWorkEnd();
  EXPECT_EQ(Lines(d.fake.log), Lines({"progress max 0", "progress 1572864",
                                      "status: Download ... 1,5 MB", "caption: Download ... 1,5 MB",
                                      "progress 0", "status: Download Finalizado ...",
                                      "caption: Pravonell"}));
}

// A display whose bar keeps its maximum, to see the percentage path.
class BarDisplay final : public StatusDisplay {
 public:
  std::vector<std::string> log;
  std::int32_t max = 0;
  std::wstring status;
  void SetModuleText(const std::wstring&) override {}
  void SetModuleVisible(bool) override {}
  void SetStatusText(const std::wstring& t) override {
    status = t;
    log.push_back("status: " + Utf8(t));
  }
  std::wstring StatusText() override { return status; }
  void SetStatusVisible(bool) override {}
  void SetProgressMax(std::int32_t m) override { max = m; }
  std::int32_t ProgressMax() override { return max; }
  void SetProgressPosition(std::int32_t p) override { log.push_back("position " + std::to_string(p)); }
  void SetCaption(const std::wstring& c) override { log.push_back("caption: " + Utf8(c)); }
};

TEST(ProgressDisplay, PercentagesFollowTheCount) {
  BarDisplay bar;
  ProgressDisplay progress(bar, L"Pravonell");
  progress.IdHttpWorkBegin(8);
  for (int count : {1, 3, 8}) progress.IdHttpWork(count);
  EXPECT_EQ(Lines(bar.log),
            Lines({"position 1", "status: Download ... 12%", "caption: Download ... 12%",
                   "position 3", "status: Download ... 38%", "caption: Download ... 38%",
                   "position 8", "status: Download ... 100%", "caption: Download ... 100%"}));
}

TEST(ProgressDisplay, LowThirtyTwoBitsOfHugeCounts) {
  BarDisplay bar;
  ProgressDisplay progress(bar, L"Pravonell");
  progress.IdHttpWorkBegin((1LL << 32) + 8);
  EXPECT_EQ(bar.max, 8);
  progress.IdHttpWork((1LL << 32) + 4);
  EXPECT_EQ(bar.log.front(), "position 4");
}

}  // namespace
}  // namespace pravonell::testing
