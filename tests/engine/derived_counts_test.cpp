#include "engine/derived_counts.hpp"

#include <gtest/gtest.h>

#include "engine/audio_device.hpp"

namespace varnow {
namespace {

TEST(DerivedCounts, FromSettingsAndPeriod) {
  ProjectSettings s;
  s.sampleRate = 48000;
  s.tracks = 9;
  s.nudge = 0.25f;
  s.preroll = 0.0f;
  s.crossfade = 10.0f;
  s.auditionLength = 3.0f;
  DerivedCounts c = computeDerivedCounts(s, 1024);
  EXPECT_EQ(c.nudgeSamples, 12288);  // 12000 frames rounded up to whole periods
  EXPECT_EQ(c.prerollSamples, 0);
  EXPECT_EQ(c.xfadeHalf, 240);
  EXPECT_EQ(c.xfadeLength, 480);
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

TEST(AudioDevice, PeriodRequestIsLimitedTo16Through4096) {
  for (const auto& [requested, limited] :
       {std::pair{4097, 4096}, std::pair{100000, 4096}, std::pair{4096, 4096}, std::pair{16, 16},
        std::pair{15, 16}, std::pair{-1, 16}, std::pair{1000, 1000}}) {
    std::int32_t frames = requested;
    AudioDevice::clampPeriodRequest(frames);
    EXPECT_EQ(frames, limited) << requested;
  }
}

}  // namespace
}  // namespace varnow
