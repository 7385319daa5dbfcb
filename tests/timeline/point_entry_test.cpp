#include "timeline/point_entry.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "timeline/musical_time.hpp"
#include "timeline/scripted_replies.hpp"

namespace varnow {
namespace {

using testing::printedBy;

// The first k of P, 2P, 3P, ... with rate * seconds <= k, k compared as a
// float: the stepping that the closed form must reproduce.
Position steppedFromSeconds(float seconds, std::uint32_t rate, std::int64_t period) {
  const float x = static_cast<float>(rate) * seconds;
  if (x <= 0.0f) return 0;
  Position k = period;
  while (x > static_cast<float>(k))
    k += period;
  return k;
}

PointEntry entryAt(std::uint32_t rate, std::int64_t period) {
  PointEntry entry;
  entry.rate = rate;
  entry.periodFrames = period;
  return entry;
}

PointEntry commandEntry(std::string_view word, std::uint32_t rate = 48000,
                        std::int64_t period = 1024) {
  PointEntry entry = entryAt(rate, period);
  entry.mode = EntryMode::kCommandText;
  entry.commandText = word;
  return entry;
}

TEST(PointEntry, SecondsRoundUpToWholePeriods) {
  // 43 periods are 44032 frames, less than 44100: one second needs 44.
  EXPECT_EQ(positionFromSeconds(1.0f, 44100, 1024), 45056);
  EXPECT_EQ(positionFromSeconds(0.001f, 44100, 1024), 1024);
  EXPECT_EQ(positionFromSeconds(0.0f, 44100, 1024), 0);
  EXPECT_EQ(positionFromSeconds(-3.0f, 44100, 1024), 0);
  EXPECT_EQ(positionFromSeconds(std::nanf(""), 44100, 1024), 0);

  // The comparison is made in float: 16777219 rounds to the float 16777220,
  // so it already reaches a time of 16777220 frames.
  EXPECT_EQ(positionFromSeconds(16777220.0f, 1, 1), 16777219);
  struct Time {
    float seconds;
    std::uint32_t rate;
  };
  for (const Time time : {Time{1.0f, 44100}, Time{0.99f, 44100}, Time{12.5f, 48000},
                          Time{0.0213f, 96000}, Time{3000.0001f, 48000}, Time{16777220.0f, 1}}) {
    for (const std::int64_t period : {64, 441, 1024}) {
      EXPECT_EQ(positionFromSeconds(time.seconds, time.rate, period),
                steppedFromSeconds(time.seconds, time.rate, period))
          << time.seconds << " s at " << time.rate << " Hz, period " << period;
    }
  }
}

TEST(PointEntry, MeasuresRoundUpAndNearBarLines) {
  const PointEntry at44100 = entryAt(44100, 1024);
  // Measure 2 at 120 bpm in 4/4 is 4 beats, 88200 frames: 87 periods.
  EXPECT_EQ(positionFromMeasures(2, 1.0f, at44100), 89088);
  // Measure 0 and below lie before the start (beats below 1 and measure 0
  // typed at the prompts are checked end to end in points_test.cpp).
  EXPECT_EQ(positionFromMeasures(-7, 1.0f, at44100), 0);

  // A bar line that falls on a period boundary is taken as it is (k >= x).
  EXPECT_EQ(positionFromMeasures(2, 1.0f, entryAt(48000, 1000)), 96000);
  EXPECT_EQ(positionFromMeasures(2, 1.0f, entryAt(48000, 1024)), 96256);

  // Just before the bar line, with a one-frame period: beat 4.99999 is
  // 88199.78 frames, truncated, and shows in measure 1; the bar itself shows
  // as 2.1.00.
  const PointEntry framewise = entryAt(44100, 1);
  const Position beforeBar = positionFromMeasures(1, 4.99999f, framewise);
  EXPECT_EQ(beforeBar, 88199);
  EXPECT_EQ(toMusical(beforeBar, 4, 120.0f, 44100).measure, 1);
  const Position bar = positionFromMeasures(2, 1.0f, framewise);
  EXPECT_EQ(bar, 88200);
  EXPECT_EQ(toMusical(bar, 4, 120.0f, 44100).measure, 2);
  EXPECT_FLOAT_EQ(toMusical(bar, 4, 120.0f, 44100).beat, 1.0f);
}

// The prompts, the replies that are not numbers, the direct-set forms and the
// out point's exclusions are checked end to end in tests/e2e/points_test.cpp;
// these are the command-text limits no transcript there reaches.
TEST(PointEntry, CommandTextKeepsSixteenCharacters) {
  Position point = 5;
  // Only the first 16 characters count: the beat after them is lost.
  PointEntry longWord = commandEntry("e00000000000002.3");
  SetPunchPointMeas(longWord, point);
  EXPECT_EQ(point, 96256);  // measure 2, beat 1
  PointEntry huge = commandEntry("e-99999999999999");
  SetPunchPointMeas(huge, point);
  EXPECT_EQ(point, 0);

  // The held value is entered again without asking.
  PointEntry held = entryAt(44100, 1024);
  held.mode = EntryMode::kHeldValue;
  held.seconds = 1.0f;
  EXPECT_EQ(printedBy([&] { SetInPoint(held, point); }), "");
  EXPECT_EQ(point, 45056);
}

}  // namespace
}  // namespace varnow
