#include "meter/peak_report.hpp"

#include <gtest/gtest.h>

#include <string>

namespace varnow {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::string showPeaks(std::int64_t peak, int number, int kind) {
  CaptureStdout();
  ShowPeaks(peak, number, kind);
  return GetCapturedStdout();
}

TEST(ShowPeaks, LinesForEveryKindAndTheFullScaleWarnings) {
  // -8388608 lies above 8388607 = 0 dBFS.
  EXPECT_EQ(showPeaks(8388608, 1, kChannelPeak), "channel 1: 0.00 dBFS OVER!! \n");
  // Exactly 0 dBFS; the value is computed as -20 log10(8388607 / peak).
  EXPECT_EQ(showPeaks(8388607, 2, kChannelPeak), "channel 2: -0.00 dBFS WARNING!\n");
  EXPECT_EQ(showPeaks(838861, 5, kChannelPeak), "channel 5: -20.00 dBFS\n");
  // Below 1 the value is not computed.
  EXPECT_EQ(showPeaks(0, 1, kChannelPeak), "channel 1: -144 dBFS\n");
  EXPECT_EQ(showPeaks(-3, 1, kChannelPeak), "channel 1: -144 dBFS\n");
  EXPECT_EQ(showPeaks(1, 1, kChannelPeak), "channel 1: -138.47 dBFS\n");

  // A bus whose left side stayed silent still reports its right side.
  EXPECT_EQ(showPeaks(0, 7, kBusLeftPeak) + showPeaks(4194304, 7, kBusRightPeak),
            "Bus 7 L: -144 dBFS\nBus 7 R: -6.02 dBFS\n");

  EXPECT_EQ(showPeaks(100, 1, 0), "");
  EXPECT_EQ(showPeaks(0, 1, 4), "");
}

struct PassFixture {
  std::array<std::int32_t, kMaxChannels> armed{};
  ChannelPeaks inputPeaks{};
  std::array<std::int32_t, kMaxBusses> busOn{};
  BusPeaks busLeft{};
  BusPeaks busRight{};
  PassPeaks peaks;

  PassFixture() {
    peaks.armed = &armed;
    peaks.inputPeaks = &inputPeaks;
    peaks.busOn = &busOn;
    peaks.busLeft = &busLeft;
    peaks.busRight = &busRight;
  }
  std::string report() const {
    CaptureStdout();
    printPassPeaks(peaks);
    return GetCapturedStdout();
  }
};

TEST(PassPeaksReport, InputBusAndOutputSections) {
  PassFixture pass;
  pass.peaks.inputs = 3;
  pass.armed = {1, 0, 1};
  pass.inputPeaks = {838861, 8388607, 0};

  // A recording without playback, peaks checked: armed inputs only; a silent
  // one prints what "%.2f" makes of minus infinity.
  pass.peaks.recorded = true;
  pass.peaks.checkedPeaks = true;
  const std::string inputs =
      "\n\nInput Channel Peaks:\n\tchannel 1: -20.00 dBFS\n\tchannel 3: -inf dBFS\n";
  EXPECT_EQ(pass.report(), inputs);

  // 'np': no input report.
  pass.peaks.checkedPeaks = false;
  EXPECT_EQ(pass.report(), "");

  // A recording with playback in mix mode 1: the master as channels 1 and 2.
  pass.peaks.checkedPeaks = true;
  pass.peaks.played = true;
  pass.peaks.mixMode = 1;
  pass.peaks.masterLeft = 8388607;
  pass.peaks.masterRight = 4194304;
  EXPECT_EQ(pass.report(), inputs +
                               "\nOutput Channel Peaks:\nchannel 1: -0.00 dBFS WARNING!\n"
                               "channel 2: -6.02 dBFS\n\n");

  // Playback in mix mode 2 with busses 1 and 2 on: bus 1 is the master and
  // appears only as the output channels (the caller passes its peaks).
  pass.peaks.recorded = false;
  pass.peaks.mixMode = 2;
  pass.busOn[0] = 1;
  pass.busOn[1] = 1;
  pass.busLeft = {5000, 0};
  pass.busRight = {6000, 8388608};
  pass.peaks.masterLeft = 5000;
  pass.peaks.masterRight = 6000;
  EXPECT_EQ(pass.report(),
            "\nBus Peaks:\n\nBus 2 L: -144 dBFS\nBus 2 R: 0.00 dBFS OVER!! \n\n"
            "\nOutput Channel Peaks:\nchannel 1: -64.49 dBFS\nchannel 2: -62.91 dBFS\n\n");

  // Mode 3 lists the busses the same way; the last bus, 64, is included.
  pass.peaks.mixMode = 3;
  pass.busOn[1] = 0;
  pass.busOn[63] = 1;
  pass.busLeft[63] = 1;
  pass.busRight[63] = 0;
  pass.peaks.masterLeft = 0;
  pass.peaks.masterRight = 0;
  EXPECT_EQ(pass.report(),
            "\nBus Peaks:\n\nBus 64 L: -138.47 dBFS\nBus 64 R: -144 dBFS\n\n"
            "\nOutput Channel Peaks:\nchannel 1: -144 dBFS\nchannel 2: -144 dBFS\n\n");

  // Mode 0: the heading and the empty line only.
  pass.peaks.mixMode = 0;
  EXPECT_EQ(pass.report(), "\nOutput Channel Peaks:\n\n");
}

// Armed-only and all inputs are shown end to end; here the values at full
// scale and silence.
TEST(MonitorLine, FullScaleAndSilentInputs) {
  std::array<std::int32_t, kMaxChannels> armed{};
  ChannelPeaks peaks{};
  peaks = {838861, 8388607, 0};
  CaptureStdout();
  printMonitorLine(3, true, armed, peaks);
  EXPECT_EQ(GetCapturedStdout(), "\r(1/-20) (2/-0) (3/-inf)    ");
}

}  // namespace
}  // namespace varnow
