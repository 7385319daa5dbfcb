#include "engine/derived_counts.hpp"

#include <gtest/gtest.h>

namespace varnow {
namespace {

// The nudge (points e2e) and crossfade (take menu e2e) lengths are checked
// through the binary; the period limit by the e2e later-run start-up.
TEST(DerivedCounts, FromSettingsAndPeriod) {
  ProjectSettings s;
  s.sampleRate = 48000;
  s.tracks = 9;
  s.nudge = 0.25f;
  s.preroll = 0.0f;
  s.crossfade = 10.0f;
  s.auditionLength = 3.0f;
  DerivedCounts c = computeDerivedCounts(s, 1024);
  EXPECT_EQ(c.prerollSamples, 0);
  EXPECT_EQ(c.auditionSamples, 144000);
  EXPECT_EQ(c.unstreamedClockInterval, 4000);
  EXPECT_EQ(c.streamedClockInterval, 1000);
  EXPECT_EQ(c.busCount, 4);

  s.crossfade = -3.0f;
  s.preroll = 0.001f;
  s.auditionLength = -1.0f;
  c = computeDerivedCounts(s, 1024);
  EXPECT_EQ(c.xfadeHalf, 0);
  EXPECT_EQ(c.xfadeLength, 0);
  EXPECT_EQ(c.prerollSamples, 1024);  // any positive time is at least one period
  EXPECT_EQ(c.auditionSamples, 0);
}

}  // namespace
}  // namespace varnow
