#include "timeline/point_moves.hpp"

#include <limits>

#include "core/position_limit.hpp"

namespace varnow {

namespace {

constexpr std::int64_t kLongest = std::numeric_limits<std::int64_t>::max();

// position + frames, kept within 0 .. kLastPosition (no overflow on the way).
Position movedBy(Position position, std::int64_t frames) {
  return positionPlus(position, frames);
}

// out - in, saturated at the 64-bit range.
std::int64_t windowLength(Position inPoint, Position outPoint) {
  std::int64_t length = 0;
  if (__builtin_sub_overflow(outPoint, inPoint, &length)) {
    return outPoint > inPoint ? kLongest : -kLongest;
  }
  return length;
}

}  // namespace

void nudgeForward(Position& point, std::int64_t frames) {
  point = movedBy(point, frames);
}

void nudgeBack(Position& point, std::int64_t frames) {
  point = movedBy(point, -frames);
}

void JumpAhead(Position& inPoint, Position& outPoint) {
  const std::int64_t length = windowLength(inPoint, outPoint);
  inPoint = outPoint;
  outPoint = movedBy(outPoint, length);
}

void JumpBack(Position& inPoint, Position& outPoint) {
  const std::int64_t length = windowLength(inPoint, outPoint);
  outPoint = inPoint;
  inPoint = movedBy(inPoint, -length);
}

}  // namespace varnow
