// Moving the transport points by a length: the nudges and the jumps.
//
// No move looks at the other points (a nudge may put the in point after the
// out point; the transport checks the points before it starts). Results are
// kept within 0 .. kLastPosition: a move back stops at the start of the
// files, a move forward at the last position of the timeline.
#pragma once

#include <cstdint>

#include "core/project_settings.hpp"

namespace varnow {

// point + frames (frames >= 0).
void nudgeForward(Position& point, std::int64_t frames);

// point - frames (frames >= 0), but not below 0.
void nudgeBack(Position& point, std::int64_t frames);

// Jumps move the window [in, out) by its own length L = out - in; the punch
// point and the memory stay.
//
//   j:            in ------ out
//                           in ------ out        (in = old out, out = old out + L)
//
//   J:            in ------ out
//       in ------ out                            (out = old in, in = old in - L, not below 0)
//
// With in = out nothing moves. A window with the in point after the out
// point (L < 0) moves the same way; a result before 0 becomes 0.
void JumpAhead(Position& inPoint, Position& outPoint);
void JumpBack(Position& inPoint, Position& outPoint);

}  // namespace varnow
