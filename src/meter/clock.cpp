#include "meter/clock.hpp"

#include "core/print.hpp"
#include "core/project_settings.hpp"
#include "timeline/musical_time.hpp"

namespace varnow {

namespace {

// 'uc' rewrites the clock in place; 'sc' streams one line per update.
void startClockLine(int clockMode) {
  if (clockMode == kClockUnstreamed) print("\r");
  if (clockMode == kClockStreamed) print("\n");
}

}  // namespace

void UpdateClock(int clockMode, std::int64_t position, std::int64_t startOffset, std::uint32_t rate,
                 int timeMode, float tempo, int beatsPerMeasure) {
  const Position shownPosition = position + startOffset;
  if (timeMode == 0) {
    startClockLine(clockMode);
    print("clock = %.2f sec", static_cast<double>(toSeconds(shownPosition, rate)));
    flushOutput();
  } else if (timeMode == 1) {
    // The same single-precision measure.beat arithmetic as every other
    // musical display, so the clock agrees with the transport points.
    const MusicalPosition musical = toMusical(shownPosition, beatsPerMeasure, tempo, rate);
    startClockLine(clockMode);
    print("measure.beat = %i.%.2f ", musical.measure, static_cast<double>(musical.beat));
    flushOutput();
  }
}

}  // namespace varnow
