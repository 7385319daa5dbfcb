#include "meter/clock.hpp"

#include <gtest/gtest.h>

#include <string>

namespace varnow {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::string clockText(int clockMode, std::int64_t position, std::int64_t startOffset,
                      int timeMode) {
  CaptureStdout();
  UpdateClock(clockMode, position, startOffset, 44100, timeMode, 120.0f, 4);
  return GetCapturedStdout();
}

TEST(UpdateClock, SecondsAndMeasureBeatWithCarriageReturnOrLineFeed) {
  // Seconds: 'uc' rewrites the line, 'sc' starts a new one.
  EXPECT_EQ(clockText(1, 66150, 0, 0), "\rclock = 1.50 sec");
  EXPECT_EQ(clockText(2, 66150, 0, 0), "\nclock = 1.50 sec");
  // The start offset of a partial take audition is added to the position.
  EXPECT_EQ(clockText(1, 22050, 44100, 0), "\rclock = 1.50 sec");
  EXPECT_EQ(clockText(1, 0, 0, 0), "\rclock = 0.00 sec");

  // Measure.beat at 120 bpm, 4 beats per measure: 22050 frames is one beat,
  // 88200 frames is one measure.
  EXPECT_EQ(clockText(1, 0, 0, 1), "\rmeasure.beat = 1.1.00 ");
  EXPECT_EQ(clockText(1, 22050, 0, 1), "\rmeasure.beat = 1.2.00 ");
  EXPECT_EQ(clockText(2, 88200, 0, 1), "\nmeasure.beat = 2.1.00 ");
  EXPECT_EQ(clockText(2, 44100, 55125, 1), "\nmeasure.beat = 2.1.50 ");

  // Any other time mode prints nothing at all.
  EXPECT_EQ(clockText(1, 66150, 0, 2), "");
  EXPECT_EQ(clockText(2, 66150, 0, -1), "");
}

}  // namespace
}  // namespace varnow
