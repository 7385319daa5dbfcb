// The gain and pan laws to the bit, the clamping messages, and the bus gains.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "mixer/channel_mixer.hpp"

namespace varnow {
namespace {

constexpr float kCentre = 0.70794576f;  // 10^(-3/20), bit pattern 3F353BEF

// The laws as written down: ratios through the double-precision power
// function, everything stored rounded to single precision.
float volumeGain(float volume) {
  return static_cast<float>(std::pow(10.0, static_cast<double>(volume) / 20.0) * 256.0);
}
float risingSide(float pan) {  // pan as a magnitude 0..100
  const float decibels = pan * 3.0f / 100.0f;
  return static_cast<float>(static_cast<double>(kCentre) *
                            std::pow(10.0, static_cast<double>(decibels) / 20.0));
}

struct Gains {
  float left;
  float right;
};

Gains gainsFor(float volume, float pan) {
  std::array<float, kMaxChannels> pans{};
  std::array<float, kMaxChannels> volumes{};
  PlayFlags flags{};
  ChannelGains gains;
  pans[0] = pan;
  volumes[0] = volume;
  flags[0] = 1;
  SetVolume(pans, volumes, gains, 1, flags);
  return {gains.left[0], gains.right[0]};
}

std::string captured() {
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

TEST(GainLaw, CentreRightLeftAndIntermediatePans) {
  // Centre at 0 dB: both sides 256 x c, the integer gain 181.
  const Gains centre = gainsFor(0.0f, 0.0f);
  EXPECT_EQ(centre.left, 256.0f * kCentre);
  EXPECT_EQ(centre.right, 256.0f * kCentre);
  EXPECT_EQ(static_cast<std::int64_t>(centre.left), 181);

  // Fully right: left silent, right 0 dB within single-precision rounding.
  const Gains right = gainsFor(0.0f, 100.0f);
  EXPECT_EQ(right.left, 0.0f);
  EXPECT_EQ(right.right, 256.0f * risingSide(100.0f));
  EXPECT_NEAR(right.right, 256.0f, 0.0001f);
  const Gains left = gainsFor(0.0f, -100.0f);
  EXPECT_EQ(left.right, 0.0f);
  EXPECT_EQ(left.left, 256.0f * risingSide(100.0f));

  // Pan 37 at -6 dB: the falling side is linear in amplitude, the rising
  // side linear in dB.
  const Gains p37 = gainsFor(-6.0f, 37.0f);
  EXPECT_EQ(p37.left, volumeGain(-6.0f) * ((100.0f - 37.0f) * kCentre / 100.0f));
  EXPECT_EQ(p37.right, volumeGain(-6.0f) * risingSide(37.0f));
  EXPECT_EQ(static_cast<std::int64_t>(p37.left), 57);    // 128.3 x 0.446
  EXPECT_EQ(static_cast<std::int64_t>(p37.right), 103);  // 128.3 x 0.8046

  const Gains m63 = gainsFor(3.5f, -63.0f);
  EXPECT_EQ(m63.left, volumeGain(3.5f) * risingSide(63.0f));
  EXPECT_EQ(m63.right, volumeGain(3.5f) * (kCentre * (-63.0f + 100.0f) / 100.0f));
  EXPECT_EQ(static_cast<std::int64_t>(m63.left), 337);   // 383.0 x 0.880
  EXPECT_EQ(static_cast<std::int64_t>(m63.right), 100);  // 383.0 x 0.262

  // The extremes SetVolume allows.
  EXPECT_EQ(static_cast<std::int64_t>(gainsFor(12.0f, 100.0f).right), 1019);
  EXPECT_EQ(static_cast<std::int64_t>(gainsFor(-144.0f, 0.0f).left), 0);
}

TEST(GainLaw, SetVolumeClampsWithMessagesAndSkipsChannelsThatDoNotPlay) {
  std::array<float, kMaxChannels> pans{};
  std::array<float, kMaxChannels> volumes{};
  PlayFlags flags{};
  ChannelGains gains;
  gains.left.fill(-1.0f);
  gains.right.fill(-1.0f);
  volumes[0] = 13.0f;
  volumes[1] = -200.0f;
  pans[2] = 150.0f;
  pans[3] = -150.0f;
  volumes[4] = 99.0f;  // beyond the channel count: neither clamped nor told
  flags[0] = 1;
  flags[2] = 1;
  flags[3] = 1;
  ::testing::internal::CaptureStdout();
  SetVolume(pans, volumes, gains, 4, flags);
  EXPECT_EQ(captured(),
            "Volume of channel 1 is too high.\n"
            "It has been reset to 12 dB, the maximum.\n"
            "Volume of channel 2 is too low.\n"
            "It has been reset to -144 dB, the minimum.\n"
            "Pan of channel 3 is too extreme.\n"
            "It has been reset to 100, fully right\n"
            "Pan of channel 4 is too extreme.\n"
            "It has been reset to -100, fully left\n");
  EXPECT_EQ(volumes[0], 12.0f);
  EXPECT_EQ(volumes[1], -144.0f);
  EXPECT_EQ(pans[2], 100.0f);
  EXPECT_EQ(pans[3], -100.0f);
  EXPECT_EQ(volumes[4], 99.0f);
  EXPECT_EQ(gains.left[0], volumeGain(12.0f) * kCentre);
  EXPECT_EQ(gains.left[1], -1.0f);  // not playing: gains untouched
  EXPECT_EQ(gains.left[2], 0.0f);
  EXPECT_EQ(gains.right[3], 0.0f);
  EXPECT_EQ(gains.left[3], 256.0f * risingSide(100.0f));

  // Values already in range print nothing.
  ::testing::internal::CaptureStdout();
  SetVolume(pans, volumes, gains, 4, flags);
  EXPECT_EQ(captured(), "");
}

TEST(GainLaw, BusGainsCarryOneOver256) {
  BusGains gains;
  gains.fill(1.0f);
  EXPECT_EQ(SetBusVolume(gains, 0.0f, 0), 1);
  EXPECT_EQ(gains[0], 0.00390625f);
  EXPECT_EQ(SetBusVolume(gains, 15.0f, 63), 1);
  EXPECT_EQ(gains[63], static_cast<float>(std::pow(10.0, 0.75)) / 256.0f);
  EXPECT_EQ(SetBusVolume(gains, -144.0f, 5), 1);
  // Outside -144..15 dB or outside the table: nothing changes.
  EXPECT_EQ(SetBusVolume(gains, -200.0f, 0), 0);
  EXPECT_EQ(SetBusVolume(gains, 15.5f, 0), 0);
  EXPECT_EQ(SetBusVolume(gains, 0.0f, 64), 0);
  EXPECT_EQ(SetBusVolume(gains, 0.0f, -1), 0);
  EXPECT_EQ(gains[0], 0.00390625f);

  std::array<float, kMaxBusses> levels{};
  levels[1] = -6.0f;
  levels[2] = 20.0f;    // out of range: keeps 1.0
  levels[3] = -145.0f;  // likewise
  BusGains start;
  start.fill(1.0f);
  initialBusGains(levels, start);
  EXPECT_EQ(start[0], 0.00390625f);
  EXPECT_EQ(start[1], static_cast<float>(std::pow(10.0, -0.3)) * 0.00390625f);
  EXPECT_EQ(start[2], 1.0f);
  EXPECT_EQ(start[3], 1.0f);
  EXPECT_EQ(start[63], 0.00390625f);
}

}  // namespace
}  // namespace varnow
