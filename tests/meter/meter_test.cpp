// Peaks, the level meter line, the clock line and the peak reports.

#include "core/unit_fixture.hpp"
#include "meter/clock.hpp"
#include "meter/level_meter.hpp"
#include "meter/peak_report.hpp"
#include "meter/peaks.hpp"

namespace varnow {
namespace {

using testing::meterLine;
using testing::printedBy;

// Peaks at a span of 30 dB, where one position is 1.25 dB.
constexpr std::int64_t kMinus6 = 4204263;   // 19.19 positions
constexpr std::int64_t kMinus15 = 1491728;  // 11.99 positions
constexpr std::int64_t kMinus18 = 1056063;  // 9.59 positions

TEST(LevelMeter, BarsFallHoldTheirPeakAndMarkAnOverUntilReset) {
  LevelMeter meter;
  int reset = 1;
  const auto draw = [&](std::int64_t peak, int channel, int cr = 0) {
    return printedBy([&] { meter.Meter(peak, 30.0f, reset, cr, channel, 7.5f); });
  };
  const struct {
    std::int64_t peak;
    int channel;
    std::string shown;
  } updates[] = {
      {0, 1, meterLine(0, 0, "1", "-144 dB")},
      {kMinus15, 1, meterLine(12, 0, "1", "-15 dB")},    // 11.99 positions: 12 bars
      {kMinus15, 12, meterLine(12, 0, "12", "-15 dB")},  // a steady level keeps its bars
      {kMinus6, 1, meterLine(20, 0, "1", "-6 dB")},
      {kMinus18, 2, meterLine(14, 6, "2", "-6 dB")},   // falls by 7.5 dB; the mark holds
      {kMinus18, 2, meterLine(10, 10, "2", "-6 dB")},  // not below the level measured now
      {0, 2, meterLine(4, 16, "2", "-6 dB")},
      {0, 2, meterLine(0, 20, "2", "-6 dB")},
      {8388608, 3, meterLine(24, 0, "3", "OVER CH 3")},   // 0 dB: an over
      {kMinus15, 2, meterLine(18, 0, "2", "OVER CH 3")},  // the hold restarts after an over
      {0, 2, meterLine(12, 0, "2", "OVER CH 3")},
  };
  for (const auto& update : updates)
    EXPECT_EQ(draw(update.peak, update.channel), update.shown) << update.shown;
  EXPECT_EQ(reset, 0);
  reset = 1;
  EXPECT_EQ(printedBy([&] { meter.Meter(0, 120.0f, reset, 1, 7, 30.0f); }),
            "\r\t -120 dB [7" + std::string(23, ' ') + "] -144 dB   ");
  EXPECT_EQ(draw(kMinus15, 1), meterLine(12, 0, "1", "-15 dB"));
  // Silence measured twice in a row: the bars go on falling.
  for (const auto& [peak, shown] : {std::pair{kMinus6, meterLine(20, 0, "1", "-6 dB")},
                                    {std::int64_t{0}, meterLine(14, 6, "1", "-6 dB")},
                                    {std::int64_t{0}, meterLine(8, 12, "1", "-6 dB")}})
    EXPECT_EQ(draw(peak, 1), shown);

  // Settings outside -120 .. -6 take the nearer end; 0 is off.
  const std::pair<int, float> spans[] = {{-30, 30.0f}, {-6, 6.0f}, {-120, 120.0f}, {-200, 120.0f},
                                         {0, 0.0f},    {-3, 6.0f}, {12, 6.0f}};
  for (const auto& [setting, span] : spans) {
    EXPECT_EQ(meterScaleFor(setting).span, span) << setting;
    EXPECT_EQ(meterScaleFor(setting).fall, span / 4.0f) << setting;
  }
  testing::ScriptedReplies replies("-120 -200 -3 0 abc -45");
  int setting = -30;
  MeterScale scale;
  EXPECT_EQ(printedBy([&] { askMeterRange(setting, scale); }),
            "Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at -30 dB\n");
  for (const int expected : {-120, -120, -6, 0, 0, -45}) {
    EXPECT_EQ(setting, expected);
    if (expected != -45) printedBy([&] { askMeterRange(setting, scale); });
  }
  EXPECT_EQ(scale.span, 45.0f);
  EXPECT_EQ(printedBy([&] { EXPECT_THROW(askMeterRange(setting, scale), InputEnded); }),
            "Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at -45 dB\n");
}

TEST(UpdateClock, SecondsOrMeasureAndBeat) {
  const auto clock = [](int clockMode, std::int64_t position, std::int64_t offset, int timeMode) {
    return printedBy([&] { UpdateClock(clockMode, position, offset, 44100, timeMode, 120.0f, 4); });
  };
  EXPECT_EQ(clock(1, 66150, 0, 0), "\rclock = 1.50 sec");
  EXPECT_EQ(clock(2, 22050, 44100, 0), "\nclock = 1.50 sec");
  EXPECT_EQ(clock(1, 22050, 0, 1), "\rmeasure.beat = 1.2.00 ");
  EXPECT_EQ(clock(2, 44100, 55125, 1), "\nmeasure.beat = 2.1.50 ");
  EXPECT_EQ(clock(1, 66150, 0, 2), "");
}

}  // namespace
}  // namespace varnow
