// How slowly an upload's body may come: a trickle that never falls silent
// for the whole silence still ends, and a fast body is never cut.
#include <gtest/gtest.h>

#include "http/body_reader.h"

namespace {

using Clock = BodyPace::Clock;
using std::chrono::milliseconds;

// Windows of 1 s that need 1,000 bytes; 10 s for the whole.
constexpr BodyLimits limits{1000, 1000, 10000};

}  // namespace

TEST(BodyPace, ATrickleEndsAtTheFirstShortWindow) {
  const Clock::time_point t0{};
  BodyPace pace(limits, 1 << 20, t0);
  EXPECT_EQ(pace.wait_ms(t0), 1000);
  // One byte every 400 ms: never silent for a second, but short of 1,000
  // bytes when the window ends.
  pace.took(1, t0 + milliseconds(400));
  EXPECT_EQ(pace.wait_ms(t0 + milliseconds(400)), 600);
  pace.took(1, t0 + milliseconds(800));
  EXPECT_EQ(pace.wait_ms(t0 + milliseconds(1000)), 0);
}

TEST(BodyPace, SilenceEndsItAcrossAWindowsEnd) {
  const Clock::time_point t0{};
  BodyPace pace(limits, 1 << 20, t0);
  pace.took(5000, t0 + milliseconds(900));
  // The next window began at 1 s; a second without bytes ends at 1.9 s.
  EXPECT_EQ(pace.wait_ms(t0 + milliseconds(1200)), 700);
  EXPECT_EQ(pace.wait_ms(t0 + milliseconds(1900)), 0);
}

TEST(BodyPace, ASteadyBodyIsEndedOnlyByTheWholeBound) {
  const Clock::time_point t0{};
  BodyPace pace(limits, 1 << 20, t0);
  for (int half = 0; half < 19; ++half) {
    const auto now = t0 + milliseconds(half * 500 + 250);
    ASSERT_GT(pace.wait_ms(now), 0) << half;
    pace.took(500, now);
  }
  EXPECT_EQ(pace.wait_ms(t0 + milliseconds(9800)), 200);
  EXPECT_EQ(pace.wait_ms(t0 + milliseconds(10000)), 0);
}

TEST(BodyPace, TheLastWindowOwesOnlyWhatIsLeft) {
  const Clock::time_point t0{};
  BodyLimits long_total = limits;
  long_total.total_ms = 60000;
  BodyPace pace(long_total, 1300, t0);
  pace.took(1000, t0 + milliseconds(500));
  EXPECT_GT(pace.wait_ms(t0 + milliseconds(1000)), 0);  // the second window owes 300
  BodyPace short_of_it = pace;
  short_of_it.took(200, t0 + milliseconds(1500));
  EXPECT_EQ(short_of_it.wait_ms(t0 + milliseconds(2000)), 0);
  pace.took(300, t0 + milliseconds(1500));
  EXPECT_GT(pace.wait_ms(t0 + milliseconds(2000)), 0);
}
