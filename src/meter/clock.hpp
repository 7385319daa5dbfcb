// The running clock of a pass.
#pragma once

#include <cstdint>

namespace varnow {

// Prints the clock for `position + startOffset`: a carriage return (clock
// mode 1, 'uc') or a line feed (clock mode 2, 'sc'), then "clock = %.2f sec"
// (time mode 0) or "measure.beat = %i.%.2f " (time mode 1); flushes.
void UpdateClock(int clockMode, std::int64_t position, std::int64_t startOffset, std::uint32_t rate,
                 int timeMode, float tempo, int beatsPerMeasure);

}  // namespace varnow
