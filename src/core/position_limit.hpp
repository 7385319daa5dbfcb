// The far end of the timeline.
//
// Every point the user can set (in, out, punch, memory, locate points and
// ranges) and every point a command derives from them (an audition's end, a
// nudge, a jump, a monitor pass's length) stays within 0 .. kLastPosition.
// That leaves the upper half of the 64-bit range as headroom for what a pass
// adds on top of a point, so no position arithmetic can overflow:
//
//   0                          2^62 = kLastPosition                  2^63 - 1
//   |---- points ---------------|---- read-ahead blocks, capture delay ----|
//
// 2^62 frames is about three million years at 48 kHz.
#pragma once

#include <cstdint>

namespace varnow {

inline constexpr std::int64_t kLastPosition = std::int64_t{1} << 62;

// `position` + `frames`, kept within 0 .. kLastPosition whatever the operands.
std::int64_t positionPlus(std::int64_t position, std::int64_t frames);

// `frames` kept within 0 .. kLastPosition.
std::int64_t clampedPosition(std::int64_t frames);

}  // namespace varnow
