#include "meter/level_meter.hpp"

#include <algorithm>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "meter/peaks.hpp"

namespace varnow {

namespace {

// Character positions between the brackets of a meter line.
constexpr int kMeterPositions = 24;

constexpr int kWidestRange = -120;
constexpr int kNarrowestRange = -6;

// The fall is a quarter of the span per update, so a full-scale bar empties
// in four updates.
float fallFor(float span) {
  return span * 6.0f / 24.0f;
}

}  // namespace

MeterScale meterScaleFor(int meterSetting) {
  float span = 0.0f;
  if (meterSetting >= kWidestRange && meterSetting <= kNarrowestRange) {
    span = static_cast<float>(-meterSetting);
  } else if (meterSetting < kWidestRange) {
    span = static_cast<float>(-kWidestRange);
  } else if (meterSetting == 0) {
    span = 0.0f;
  } else {
    span = static_cast<float>(-kNarrowestRange);
  }
  return MeterScale{span, fallFor(span)};
}

void askMeterRange(int& meterSetting, MeterScale& scale) {
  print("Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at %i dB\n", meterSetting);
  // A reply that is not a number is consumed and reads as 0 (meter off), so
  // it cannot come back as the next command.
  const std::int64_t reply = console().readWordAsInteger();
  if (reply >= kWidestRange && reply <= kNarrowestRange) {
    meterSetting = static_cast<int>(reply);
  } else if (reply < kWidestRange) {
    meterSetting = kWidestRange;
  } else if (reply == 0) {
    meterSetting = 0;
  } else {
    meterSetting = kNarrowestRange;
  }
  // Every setting left here is inside the start-up table's ranges, and that
  // table gives the same span and fall as this command's.
  scale = meterScaleFor(meterSetting);
}

// One meter line, for a span of 30 dB (one position = span / 24 = 1.25 dB):
//
//   \t -30 dB [||||||||||||     3      ] -12 dB___
//              ^          ^     ^      ^
//              1          12    18     24
//              |<- bars ->|     peak-hold mark (the loudest channel's number)
//
// Bars show the current level, which rises at once and falls by `fall` per
// update; the mark sits where the loudest peak since reset reached and names
// the channel that was loudest at this update. The mark takes one position
// whatever its digits. After the bracket: the highest level since reset in
// whole dB, or "OVER CH n"; "___" stands for the three trailing spaces.
void LevelMeter::Meter(std::int64_t peak, float span, int& resetFlag, int carriageReturn,
                       int channel, float fall) {
  if (resetFlag == 1) {
    resetFlag = 0;
    oldPeak_ = 0.0f;
    last_ = -144.0f;
    current_ = -144.0;
    peakBars_ = 0.0f;
    topPeak_ = -144;
    over_ = 0;
  }

  const double level = meterDecibels(peak);
  if (level > static_cast<double>(topPeak_)) topPeak_ = static_cast<int>(level);
  if (level > static_cast<double>(last_)) {
    current_ = level;
  } else {
    // Falling, but never below the level measured now: a steady signal keeps
    // its bars instead of dropping by `fall` at every update.
    current_ = std::max(current_ - static_cast<double>(fall), level);
  }
  if (level >= 0.0) {
    over_ = 1;
    overChannel_ = channel;
  }

  if (carriageReturn == 1) print("\r");
  print("\t -%.0f dB [", static_cast<double>(span));

  const double dbPerPosition = static_cast<double>(span / 24.0f);
  double bars = 0.0;
  if (current_ >= -static_cast<double>(span)) {
    bars = std::min((current_ + static_cast<double>(span)) / dbPerPosition,
                    static_cast<double>(kMeterPositions));
  }
  if (static_cast<float>(peak) > oldPeak_ && level < 0.0) {
    oldPeak_ = static_cast<float>(peak);
    peakBars_ = static_cast<float>((static_cast<double>(span) + level) / dbPerPosition);
  }

  // Bars: the count is `bars` rounded up, at least one when bars > 0.
  int position = 0;
  while (position < kMeterPositions && static_cast<double>(position) < bars) {
    print("|");
    ++position;
  }
  while (position < kMeterPositions &&
         static_cast<double>(position) < static_cast<double>(peakBars_)) {
    print(" ");
    ++position;
  }
  print("%i", channel);
  ++position;
  while (position < kMeterPositions) {
    print(" ");
    ++position;
  }

  if (over_ == 1) {
    print("] OVER CH %i", overChannel_);
  } else {
    print("] %i dB", topPeak_);
  }
  print("   ");

  last_ = static_cast<float>(level);
  if (level >= 0.0) oldPeak_ = 0.0f;
  flushOutput();
}

}  // namespace varnow
