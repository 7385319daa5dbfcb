// The running text level meter of a recording pass, with its peak hold.
#pragma once

#include <cstdint>

namespace varnow {

// Span (dB, 0 = meter off) and fall (dB per update) of the meter.
struct MeterScale {
  float span = 30.0f;
  float fall = 7.5f;
};

// The span and fall for a `meter` setting (start-up table).
MeterScale meterScaleFor(int meterSetting);

// 'mtr': prints "Enter Meter Range -120 to -6 (dB) or 0 = off.  Currently at
// %i dB\n", reads the answer (a reply that is not a number is consumed and
// reads as 0) and sets the setting and the scale by the mtr table.
void askMeterRange(int& meterSetting, MeterScale& scale);

// The meter's memory between lines: one instance lives for the whole run and
// is reset at the start of every pass through the reset flag.
class LevelMeter {
 public:
  // Prints one meter line for `peak` (see the .cpp for the drawing rules).
  // resetFlag: when 1, the state is reset first and the flag cleared.
  // carriageReturn: 1 prints a carriage return first (clock hidden).
  // channel: the loudest channel, printed as the peak-hold mark.
  void Meter(std::int64_t peak, float span, int& resetFlag, int carriageReturn, int channel,
             float fall);

 private:
  float last_ = -144.0f;
  int topPeak_ = -144;
  double current_ = -144.0;
  int over_ = 0;
  int overChannel_ = 0;
  float oldPeak_ = 0.0f;
  float peakBars_ = 0.0f;
};

}  // namespace varnow
