#include "meter/peaks.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace varnow {
namespace {

// Packed 24-bit little-endian samples.
std::vector<std::int8_t> pack(const std::vector<std::int32_t>& samples) {
  std::vector<std::int8_t> bytes;
  for (const std::int32_t sample : samples) {
    const auto bits = static_cast<std::uint32_t>(sample);
    for (int shift = 0; shift < 24; shift += 8)
      bytes.push_back(static_cast<std::int8_t>(static_cast<std::uint8_t>(bits >> shift)));
  }
  return bytes;
}

TEST(CheckPeak, RaisesChannelAndOverallPeaksStrictly) {
  ChannelPeaks peaks{};
  std::int64_t overallMax = 0;
  int maxChannel = 1;

  // Channel 3 (index 2): the magnitudes 5, 7, 3 and the decoding of bytes
  // whose top byte carries the sign (-1 is FF FF FF).
  const auto third = pack({5, -7, 3, -1});
  CheckPeak(2, 4, peaks, third.data(), overallMax, maxChannel);
  EXPECT_EQ(peaks[2], 7);
  EXPECT_EQ(overallMax, 7);
  EXPECT_EQ(maxChannel, 3);

  // Channel 1 reaches the same 7: its own peak rises, but the first channel
  // to reach the level keeps the maximum.
  const auto first = pack({7, -6});
  CheckPeak(0, 2, peaks, first.data(), overallMax, maxChannel);
  EXPECT_EQ(peaks[0], 7);
  EXPECT_EQ(overallMax, 7);
  EXPECT_EQ(maxChannel, 3);

  // Only `count` samples are scanned: the 900 after them is not.
  const auto second = pack({200, 900});
  CheckPeak(1, 1, peaks, second.data(), overallMax, maxChannel);
  EXPECT_EQ(peaks[1], 200);
  EXPECT_EQ(overallMax, 200);
  EXPECT_EQ(maxChannel, 2);

  // Negative full scale (00 00 80) is the largest magnitude: 8388608.
  const auto extremes = pack({8388607, -8388608, 8388607});
  CheckPeak(255, 3, peaks, extremes.data(), overallMax, maxChannel);
  EXPECT_EQ(peaks[255], 8388608);
  EXPECT_EQ(overallMax, 8388608);
  EXPECT_EQ(maxChannel, 256);

  // A count of 0 and an index outside the table change nothing.
  const ChannelPeaks before = peaks;
  CheckPeak(0, 0, peaks, extremes.data(), overallMax, maxChannel);
  CheckPeak(256, 3, peaks, extremes.data(), overallMax, maxChannel);
  CheckPeak(-1, 3, peaks, extremes.data(), overallMax, maxChannel);
  EXPECT_EQ(peaks, before);
  EXPECT_EQ(maxChannel, 256);
}

}  // namespace
}  // namespace varnow
