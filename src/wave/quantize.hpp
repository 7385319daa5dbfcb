// Rounding of times and positions up to whole multiples of a quantum (the
// period size that the sound card granted), so that every transport point
// falls on a period boundary.
#pragma once

#include <cstdint>

namespace varnow {

// Returns the time `seconds` at `rate` as a position rounded up to a multiple
// of `quantum`. The time is first turned into samples in single precision,
// x = rate * seconds; the result is the smallest k = m * quantum with m >= 1
// for which x <= k when k is converted to float. So any positive time gives
// at least one quantum, and x <= 0 (or a time that is not a number) gives 0.
// Constant time and exact for any position up to kLastPosition; a time beyond
// it gives the largest multiple of `quantum` that does not pass it. A quantum
// below 1 is taken as 1.
std::int64_t QUANTIZE(std::int64_t quantum, std::uint32_t rate, float seconds);

// Returns `position` rounded up to a multiple of `quantum`: 0 for a position
// <= 0, otherwise the smallest m * quantum >= position with m >= 1, computed
// in 64 bits. A result beyond kLastPosition gives the largest multiple of
// `quantum` that does not pass it. A quantum below 1 is taken as 1.
std::int64_t QUANTIZE_SAMPLES(std::int64_t quantum, std::int64_t position);

}  // namespace varnow
