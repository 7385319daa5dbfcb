#include "meter/peaks.hpp"

#include <cmath>
#include <limits>

namespace varnow {

void CheckPeak(int channelIndex, std::int64_t count, ChannelPeaks& peaks, const std::int8_t* packed,
               std::int64_t& overallMax, int& maxChannel) {
  if (channelIndex < 0 || channelIndex >= kMaxChannels || packed == nullptr) return;
  std::int64_t& channelPeak = peaks[static_cast<std::size_t>(channelIndex)];
  // One packed sample is three bytes, low byte first; only the top byte
  // carries the sign:
  //
  //   | b0 b1 b2 |   value = b0 + 256 b1 + 65536 b2   (b0, b1 unsigned; b2 signed)
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int8_t* sample = packed + 3 * i;
    const std::int64_t value =
        static_cast<std::int64_t>(static_cast<std::uint8_t>(sample[0])) +
        256 * static_cast<std::int64_t>(static_cast<std::uint8_t>(sample[1])) +
        65536 * static_cast<std::int64_t>(sample[2]);
    const std::int64_t magnitude = value < 0 ? -value : value;
    // Strict comparisons: the first channel to reach a level keeps it.
    if (magnitude > channelPeak) channelPeak = magnitude;
    if (magnitude > overallMax) {
      overallMax = magnitude;
      maxChannel = channelIndex + 1;
    }
  }
}

namespace {

// -20 x log10(fullScale / peak). Written this way round on purpose: a peak of
// exactly full scale gives -0.0, which the reports print as "-0.00".
double decibelsBelow(double fullScale, std::int64_t peak) {
  if (peak == 0) return -std::numeric_limits<double>::infinity();
  return -20.0 * std::log10(fullScale / static_cast<double>(peak));
}

}  // namespace

double reportDecibels(std::int64_t peak) {
  return decibelsBelow(kReportFullScale, peak);
}

double meterDecibels(std::int64_t peak) {
  return decibelsBelow(kMeterFullScale, peak);
}

}  // namespace varnow
