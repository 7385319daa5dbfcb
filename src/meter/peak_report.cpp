#include "meter/peak_report.hpp"

#include <cstddef>

#include "core/print.hpp"

namespace varnow {

void ShowPeaks(std::int64_t peak, int number, int kind) {
  if (kind != kChannelPeak && kind != kBusLeftPeak && kind != kBusRightPeak) return;
  if (peak < 1) {
    if (kind == kChannelPeak) print("channel %i: -144 dBFS\n", number);
    if (kind == kBusLeftPeak) print("Bus %i L: -144 dBFS\n", number);
    if (kind == kBusRightPeak) print("Bus %i R: -144 dBFS\n", number);
    return;
  }
  const double peakDecibels = reportDecibels(peak);
  if (kind == kChannelPeak) print("channel %i: %.2f dBFS", number, peakDecibels);
  if (kind == kBusLeftPeak) print("Bus %i L: %.2f dBFS", number, peakDecibels);
  if (kind == kBusRightPeak) print("Bus %i R: %.2f dBFS", number, peakDecibels);
  // Positive full scale (8388607) is exactly 0 dBFS; only -8388608 lies above.
  if (peakDecibels == 0.0) {
    printLine(" WARNING!");
  } else if (peakDecibels > 0.0) {
    printLine(" OVER!! ");
  } else {
    printLine("");
  }
}

namespace {

void printInputPeaks(const PassPeaks& peaks) {
  printLine("\n\nInput Channel Peaks:");
  if (peaks.armed == nullptr || peaks.inputPeaks == nullptr) return;
  const int inputs = peaks.inputs < kMaxChannels ? peaks.inputs : kMaxChannels;
  for (int i = 0; i < inputs; ++i) {
    const auto index = static_cast<std::size_t>(i);
    if ((*peaks.armed)[index] == 0) continue;
    // A silent channel prints "-inf": the report shows what it measured.
    print("\tchannel %i: %.2f dBFS\n", i + 1, reportDecibels((*peaks.inputPeaks)[index]));
  }
}

void printBusPeaks(const PassPeaks& peaks) {
  printLine("\nBus Peaks:\n");
  if (peaks.busOn == nullptr || peaks.busLeft == nullptr || peaks.busRight == nullptr) return;
  // Bus 1 is the master; it appears among the output channel peaks instead.
  for (int bus = 2; bus <= kMaxBusses; ++bus) {
    const auto index = static_cast<std::size_t>(bus - 1);
    if ((*peaks.busOn)[index] != 1) continue;
    ShowPeaks((*peaks.busLeft)[index], bus, kBusLeftPeak);
    ShowPeaks((*peaks.busRight)[index], bus, kBusRightPeak);
    printLine("");
  }
}

void printOutputPeaks(const PassPeaks& peaks) {
  printLine("\nOutput Channel Peaks:");
  // Mode 0 sends every track to its own output and measures nothing.
  if (peaks.mixMode >= 1 && peaks.mixMode <= 3) {
    ShowPeaks(peaks.masterLeft, 1, kChannelPeak);
    ShowPeaks(peaks.masterRight, 2, kChannelPeak);
  }
  printLine("");
}

}  // namespace

void printPassPeaks(const PassPeaks& peaks) {
  if (peaks.recorded && peaks.checkedPeaks) printInputPeaks(peaks);
  const bool busMix = peaks.mixMode == 2 || peaks.mixMode == 3;
  if (peaks.played && busMix) printBusPeaks(peaks);
  if (peaks.played) printOutputPeaks(peaks);
}

void printMonitorLine(int inputs, bool allInputs,
                      const std::array<std::int32_t, kMaxChannels>& armed,
                      const ChannelPeaks& inputPeaks) {
  const int channels = inputs < kMaxChannels ? inputs : kMaxChannels;
  print("\r");
  for (int i = 0; i < channels; ++i) {
    const auto index = static_cast<std::size_t>(i);
    if (!allInputs && armed[index] == 0) continue;
    print("(%i/%.0f) ", i + 1, reportDecibels(inputPeaks[index]));
  }
  // Trailing spaces clear what a longer previous line left behind.
  for (int i = 0; i < channels; ++i)
    print(" ");
  flushOutput();
}

}  // namespace varnow
