// Peak measurement and the decibel arithmetic of the reports and the meter.
#pragma once

#include <array>
#include <cstdint>

#include "core/project_settings.hpp"

namespace varnow {

using ChannelPeaks = std::array<std::int64_t, kMaxChannels>;

// Full-scale references: reports measure against 8388607 (so positive full
// scale is exactly 0 dBFS), the running meter against 8388608.
inline constexpr double kReportFullScale = 8388607.0;
inline constexpr double kMeterFullScale = 8388608.0;
inline constexpr double kSilenceDecibels = -144.0;

// The peak rule over `count` packed samples of channel `channelIndex`
// (0-based): each absolute value raises the channel's peak and the overall
// maximum when it is strictly greater; the maximum remembers channel index + 1.
void CheckPeak(int channelIndex, std::int64_t count, ChannelPeaks& peaks, const std::int8_t* packed,
               std::int64_t& overallMax, int& maxChannel);

// 20 x log10(peak / 8388607), computed as -20 x log10(8388607 / peak);
// minus infinity for 0.
double reportDecibels(std::int64_t peak);

// 20 x log10(peak / 8388608), computed as -20 x log10(8388608 / peak).
double meterDecibels(std::int64_t peak);

}  // namespace varnow
