// The peak reports after a pass and the level line of a monitor pass.
#pragma once

#include <array>
#include <cstdint>

#include "core/project_settings.hpp"
#include "meter/peaks.hpp"

namespace varnow {

enum PeakKind : int { kChannelPeak = 1, kBusLeftPeak = 2, kBusRightPeak = 3 };

using BusPeaks = std::array<std::int64_t, kMaxBusses>;

// One report line: "channel %i: %.2f dBFS", "Bus %i L: ..." or "Bus %i R: ...",
// with " WARNING!" at exactly 0 dBFS and " OVER!! " above it; "-144 dBFS" for
// a peak below 1.
void ShowPeaks(std::int64_t peak, int number, int kind);

// What a pass measured, for the reports after it.
struct PassPeaks {
  bool recorded = false;
  bool checkedPeaks = false;  // 'cp'
  bool played = false;
  int mixMode = 0;
  int inputs = 0;
  const std::array<std::int32_t, kMaxChannels>* armed = nullptr;
  const ChannelPeaks* inputPeaks = nullptr;
  const std::array<std::int32_t, kMaxBusses>* busOn = nullptr;
  const BusPeaks* busLeft = nullptr;
  const BusPeaks* busRight = nullptr;
  std::int64_t masterLeft = 0;
  std::int64_t masterRight = 0;
};

// The three reports in order: input channel peaks (recorded with 'cp'), bus
// peaks (played in mix mode 2 or 3), output channel peaks (played).
void printPassPeaks(const PassPeaks& peaks);

// The monitor pass's level line: a carriage return, "(%i/%.0f) " for each
// monitored input, one space per input channel, then a flush.
void printMonitorLine(int inputs, bool allInputs,
                      const std::array<std::int32_t, kMaxChannels>& armed,
                      const ChannelPeaks& inputPeaks);

}  // namespace varnow
