#include "meter/level_meter.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/console_input.hpp"

namespace varnow {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// Peaks and their meter levels (20 x log10(peak / 8388608)) and bar
// positions at a span of 30 dB, where one position is 1.25 dB.
constexpr std::int64_t kMinus6 = 4204263;     // -6.0000005 dB: 19.19 positions
constexpr std::int64_t kMinus15 = 1491728;    // -15.000005 dB: 11.99 positions
constexpr std::int64_t kMinus18 = 1056063;    // -18.0000015 dB: 9.59 positions
constexpr std::int64_t kFullScale = 8388608;  // 0 dB

// The expected text between the brackets and after them.
std::string line(int bars, int spacesBeforeMark, const std::string& mark, int spacesAfterMark,
                 const std::string& tail) {
  return "\t -30 dB [" + std::string(static_cast<std::size_t>(bars), '|') +
         std::string(static_cast<std::size_t>(spacesBeforeMark), ' ') + mark +
         std::string(static_cast<std::size_t>(spacesAfterMark), ' ') + "] " + tail + "   ";
}

struct MeterUnderTest {
  LevelMeter meter;
  int resetFlag = 1;
  std::string draw(std::int64_t peak, int channel, int carriageReturn = 0, float span = 30.0f,
                   float fall = 7.5f) {
    CaptureStdout();
    meter.Meter(peak, span, resetFlag, carriageReturn, channel, fall);
    return GetCapturedStdout();
  }
};

TEST(LevelMeter, SteadyLevelKeepsItsBarsAndTheMarkTakesOnePosition) {
  MeterUnderTest m;
  // 11.99 positions round up to 12 bars; the held peak sits right after them.
  EXPECT_EQ(m.draw(kMinus15, 1), line(12, 0, "1", 11, "-15 dB"));
  EXPECT_EQ(m.resetFlag, 0);
  EXPECT_EQ(m.draw(kMinus15, 1), line(12, 0, "1", 11, "-15 dB"));
  // A two-digit channel still counts as one position.
  EXPECT_EQ(m.draw(kMinus15, 12), line(12, 0, "12", 11, "-15 dB"));
}

TEST(LevelMeter, SilenceShowsTheMarkAtTheFarLeft) {
  MeterUnderTest m;
  EXPECT_EQ(m.draw(0, 1), line(0, 0, "1", 23, "-144 dB"));
  // The span heads the line, and the carriage return comes first when asked.
  EXPECT_EQ(m.draw(0, 7, 1, 120.0f, 30.0f),
            "\r\t -120 dB [7" + std::string(23, ' ') + "] -144 dB   ");
}

TEST(LevelMeter, QuieterLevelsFallByTheFallButNotBelowTheLevel) {
  MeterUnderTest m;
  EXPECT_EQ(m.draw(kMinus6, 1), line(20, 0, "1", 3, "-6 dB"));
  // -13.5 dB: 13.2 positions; the mark stays where the -6 dB peak reached.
  EXPECT_EQ(m.draw(kMinus18, 2), line(14, 6, "2", 3, "-6 dB"));
  // -21 dB would be below the -18 dB now measured: the level holds at -18.
  EXPECT_EQ(m.draw(kMinus18, 2), line(10, 10, "2", 3, "-6 dB"));
  EXPECT_EQ(m.draw(kMinus18, 2), line(10, 10, "2", 3, "-6 dB"));
  // Silence keeps falling 7.5 dB per update: -25.5 dB, then -33 (no bars).
  EXPECT_EQ(m.draw(0, 2), line(4, 16, "2", 3, "-6 dB"));
  EXPECT_EQ(m.draw(0, 2), line(0, 20, "2", 3, "-6 dB"));
  // A louder level rises at once; the held -6 dB peak stays where it was.
  EXPECT_EQ(m.draw(kMinus15, 1), line(12, 8, "1", 3, "-6 dB"));
}

TEST(LevelMeter, OverIsMarkedUntilTheResetFlag) {
  MeterUnderTest m;
  // 0 dB: 24 bars, the mark after them, and the channel that went over.
  EXPECT_EQ(m.draw(kFullScale, 3), line(24, 0, "3", 0, "OVER CH 3"));
  // Falling from 0 dB to -7.5: 18 bars; the held peak restarts after an
  // over, so the -15 dB peak becomes the mark at 12 (behind the bars).
  EXPECT_EQ(m.draw(kMinus15, 2), line(18, 0, "2", 5, "OVER CH 3"));
  EXPECT_EQ(m.draw(0, 2), line(12, 0, "2", 11, "OVER CH 3"));

  m.resetFlag = 1;
  EXPECT_EQ(m.draw(0, 1, 1), "\r" + line(0, 0, "1", 23, "-144 dB"));
  EXPECT_EQ(m.resetFlag, 0);
  EXPECT_EQ(m.draw(kMinus15, 1), line(12, 0, "1", 11, "-15 dB"));
}

TEST(MeterScale, StartUpTable) {
  const auto expectScale = [](int setting, float span, float fall) {
    const MeterScale scale = meterScaleFor(setting);
    EXPECT_EQ(scale.span, span) << setting;
    EXPECT_EQ(scale.fall, fall) << setting;
  };
  expectScale(-30, 30.0f, 7.5f);
  expectScale(-6, 6.0f, 1.5f);
  expectScale(-120, 120.0f, 30.0f);
  expectScale(-200, 120.0f, 30.0f);
  expectScale(0, 0.0f, 0.0f);
  expectScale(-3, 6.0f, 1.5f);
  expectScale(12, 6.0f, 1.5f);
}

TEST(MeterScale, MtrCorrectsTheRangeAndReadsANonNumberAsOff) {
  char path[] = "/tmp/varnow_mtr_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string answers = "-200 -3 12\n0 abc -45\n";
  ASSERT_EQ(write(fd, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  ASSERT_EQ(close(fd), 0);
  ASSERT_NE(std::freopen(path, "r", stdin), nullptr);
  std::remove(path);

  int setting = -30;
  MeterScale scale;
  CaptureStdout();
  askMeterRange(setting, scale);
  EXPECT_EQ(GetCapturedStdout(),
            "Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at -30 dB\n");
  EXPECT_EQ(setting, -120);
  EXPECT_EQ(scale.span, 120.0f);
  EXPECT_EQ(scale.fall, 30.0f);

  const auto ask = [&] {
    CaptureStdout();
    askMeterRange(setting, scale);
    return GetCapturedStdout();
  };
  EXPECT_EQ(ask(), "Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at -120 dB\n");
  EXPECT_EQ(setting, -6);  // -3
  ask();
  EXPECT_EQ(setting, -6);  // 12
  setting = -30;
  ask();
  EXPECT_EQ(setting, 0);  // 0: off
  setting = -30;
  EXPECT_EQ(ask(), "Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at -30 dB\n");
  EXPECT_EQ(setting, 0);  // "abc" is consumed and reads as 0
  ask();
  EXPECT_EQ(setting, -45);  // the word after "abc" is the next answer
  EXPECT_EQ(scale.span, 45.0f);
  EXPECT_EQ(scale.fall, 11.25f);

  CaptureStdout();
  EXPECT_THROW(askMeterRange(setting, scale), InputEnded);
  GetCapturedStdout();
}

}  // namespace
}  // namespace varnow
