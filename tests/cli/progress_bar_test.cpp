#include "cli/progress_bar.h"

#include <gtest/gtest.h>

namespace tarnwick::cli {
namespace {

using Clock = ProgressBar::Clock;
using std::chrono::milliseconds;

// News every millisecond for two seconds: drawn no more than 20 times a second. Without news the
// line is due again 250 ms after the last draw: at least 4 a second.
TEST(ProgressBarTest, DrawnFourToTwentyTimesASecond) {
  const Clock::time_point start{};
  ProgressBar bar(2'000'000, 4, start);
  EXPECT_EQ(bar.DueAnyway(), start + milliseconds(250));
  for (int ms = 0; ms < 2000; ++ms) {
    const Clock::time_point now = start + milliseconds(ms);
    bar.Set(1, ms * 1000);
    if (bar.DueOnNews(now)) static_cast<void>(bar.Draw(now));
  }
  EXPECT_EQ(bar.draws(), 40);
  EXPECT_EQ(bar.DueAnyway(), start + milliseconds(1950 + 250));
  EXPECT_FALSE(bar.DueOnNews(start + milliseconds(1999)));
  EXPECT_TRUE(bar.DueOnNews(start + milliseconds(2000)));
}

TEST(ProgressBarTest, LineShowsBytesResourcesAndRate) {
  const Clock::time_point start{};
  ProgressBar bar(70'000, 9, start);
  bar.Set(3, 35'000);
  EXPECT_EQ(bar.Draw(start + milliseconds(500)),
            "[############            ]  50%  35.0 kB of 70.0 kB  resource 3 of 9  70.0 kB/s");
  // Icons copy more than their payloads: the bar stops at full.
  bar.Set(9, 2'500'000);
  EXPECT_EQ(bar.Draw(start + milliseconds(1000)),
            "[########################] 100%  2.5 MB of 70.0 kB  resource 9 of 9  2.5 MB/s");
}

}  // namespace
}  // namespace tarnwick::cli
