// The one pumped wait of the window's thread, against a fake clock and a
// window that records each time it is served.
#include "engine/waiting.h"

#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/run_control.h"
#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {
namespace {

struct WaitFixture {
  FakeRunPorts fake{World{}};
  RunControl control{fake};
  PumpedWaits waits{control, fake, 50};
  std::vector<unsigned> slices;  // what each call of ready was given

  // Something that is there after the given number of calls.
  std::function<bool(unsigned)> ReadyAfter(int calls) {
    return [this, calls](unsigned ms) mutable {
      slices.push_back(ms);
      fake.Sleep(ms);
      return --calls <= 0;
    };
  }
  long Pumps() const { return std::count(fake.log.begin(), fake.log.end(), "ProcessMessages"); }
};

TEST(PumpedWaits, ServesTheWindowBetweenSlicesUntilReady) {
  WaitFixture f;
  EXPECT_TRUE(f.waits.Until(f.ReadyAfter(4), Waits::kNoLimit));
  EXPECT_EQ(f.slices, (std::vector<unsigned>{50, 50, 50, 50}));
  EXPECT_EQ(f.Pumps(), 3);  // after each slice that ended without it

  WaitFixture at;
  EXPECT_TRUE(at.waits.Until(at.ReadyAfter(1), Waits::kNoLimit));
  EXPECT_EQ(at.Pumps(), 0);  // ready at once: nothing to wait for
}

TEST(PumpedWaits, LimitEndsTheWaitWithItsLastSliceCut) {
  WaitFixture f;
  EXPECT_FALSE(f.waits.Until(f.ReadyAfter(100), 120));
  EXPECT_EQ(f.slices, (std::vector<unsigned>{50, 50, 20}));
  EXPECT_EQ(f.fake.NowMs(), 120u);
}

TEST(PumpedWaits, PauseLastsItsLengthAndServesTheWindow) {
  WaitFixture f;
  f.waits.Pause(2000);
  EXPECT_EQ(f.fake.NowMs(), 2000u);
  EXPECT_EQ(f.Pumps(), 40);
}

// A close during a download or a pause ends the wait at once; during a
// setup, the wait runs to the setup's end and the stop comes after it.
TEST(PumpedWaits, StopUnwindsAtOnceOrAfterTheEnd) {
  {
    WaitFixture f;
    f.fake.CloseAtNextPump(f.control);
    EXPECT_THROW(f.waits.Until(f.ReadyAfter(10), Waits::kNoLimit, OnStop::Unwind), RunStopped);
    EXPECT_EQ(f.slices.size(), 1u);
  }
  {
    WaitFixture f;
    f.fake.CloseAtNextPump(f.control);
    EXPECT_THROW(f.waits.Until(f.ReadyAfter(10), Waits::kNoLimit, OnStop::Finish), RunStopped);
    EXPECT_EQ(f.slices.size(), 10u);  // waited to the end
    EXPECT_EQ(f.Pumps(), 9);          // and the window was served between the slices
  }
  {
    WaitFixture f;
    f.fake.CloseAtNextPump(f.control);
    EXPECT_THROW(f.waits.Pause(1000), RunStopped);
    EXPECT_EQ(f.fake.NowMs(), 50u);
  }
}

TEST(RetryWhileHeld, TriesAgainOnlyWhileHeldAndWithinTheBound) {
  const struct {
    const char* name;
    std::vector<std::uint32_t> answers;  // the last one repeats
    std::uint32_t result;
    int tries;
  } rows[] = {
      {"free at once", {0}, 0, 1},
      {"held twice, then free", {32, 33, 0}, 0, 3},
      {"another error is final", {32, 5}, 5, 2},
      {"held for ever", {32}, 32, 46},  // at 0 s, 1 s, ... 45 s
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WaitFixture f;
    int tries = 0;
    const std::uint32_t result = RetryWhileHeld(
        f.waits, f.fake, HeldFileRetry{},
        [&] { return row.answers[std::min<std::size_t>(tries++, row.answers.size() - 1)]; }, IsHeldError);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(tries, row.tries);
  }
}

}  // namespace
}  // namespace pravonell::testing
