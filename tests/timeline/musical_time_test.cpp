#include "timeline/musical_time.hpp"

#include <gtest/gtest.h>

#include "timeline/period_rounding.hpp"

namespace varnow {
namespace {

TEST(MusicalTime, PositionsShowAsMeasureAndBeat) {
  int measure = 0;
  float beat = 0.0f;
  EXPECT_EQ(SampleToMeasures(4, 120.0f, 0, measure, beat, 44100), 0);
  EXPECT_EQ(measure, 1);
  EXPECT_FLOAT_EQ(beat, 1.0f);
  EXPECT_EQ(SampleToMeasures(4, 120.0f, 88200, measure, beat, 44100), 1);
  EXPECT_EQ(measure, 2);
  EXPECT_FLOAT_EQ(beat, 1.0f);
  SampleToMeasures(4, 120.0f, 22050, measure, beat, 44100);
  EXPECT_EQ(measure, 1);
  EXPECT_FLOAT_EQ(beat, 2.0f);
  // Three beats and a half into measure 3 at 3/4, 90 bpm, 48000 Hz.
  const Position p = MeasuresToSample(3, 90.0f, 3, 3.5f, 48000);
  EXPECT_EQ(p, 272000);
  const MusicalPosition back = toMusical(p, 3, 90.0f, 48000);
  EXPECT_EQ(back.measure, 3);
  EXPECT_FLOAT_EQ(back.beat, 3.5f);
}

TEST(MusicalTime, SinglePrecisionDecidesTheBarLine) {
  // One frame before 2 seconds at 44100 Hz is 3.99991 beats, which single
  // precision keeps below 4: still measure 1. A position whose beats round
  // to exactly 4.0 in single precision shows as the next bar.
  const MusicalPosition before = toMusical(88199, 4, 120.0f, 44100);
  EXPECT_EQ(before.measure, 1);
  EXPECT_NEAR(before.beat, 4.99995f, 1e-5f);
  // At 1 Hz and 60 bpm a frame is a beat: 2^24 + 1 frames are not
  // representable in single precision and read as 2^24 beats exactly.
  const MusicalPosition far = toMusical((1 << 24) + 1, 4, 60.0f, 1);
  EXPECT_EQ(far.measure, (1 << 22) + 1);
  EXPECT_FLOAT_EQ(far.beat, 1.0f);
}

TEST(MusicalTime, DegenerateRatesDoNotTrap) {
  const MusicalPosition zeroRate = toMusical(0, 4, 120.0f, 0);
  EXPECT_EQ(zeroRate.measure, 1);
  EXPECT_GT(toMusical(1000, 4, 120.0f, 0).measure, 1000);
}

// In, out, punch and memory points are rounded end to end in
// tests/e2e/startup_test.cpp.
TEST(PeriodRounding, StoredPointsRoundUpToWholePeriods) {
  ProjectSettings s;
  s.punchPoint = -5;
  s.rangeIn[0] = 100;
  s.rangeOut[63] = 8191;
  s.locateTimes[10] = 3'000'000'000LL;
  roundStoredPointsToPeriod(s, 4096);
  EXPECT_EQ(s.punchPoint, 0);
  EXPECT_EQ(s.rangeIn[0], 4096);
  EXPECT_EQ(s.rangeOut[63], 8192);
  EXPECT_EQ(s.rangeOut[0], 0);
  EXPECT_EQ(s.locateTimes[10], 3'000'000'512LL);
}

}  // namespace
}  // namespace varnow
