#include "core/position_limit.hpp"

#include <algorithm>

namespace varnow {

std::int64_t positionPlus(std::int64_t position, std::int64_t frames) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(position, frames, &sum)) return frames > 0 ? kLastPosition : 0;
  return clampedPosition(sum);
}

std::int64_t clampedPosition(std::int64_t frames) {
  return std::clamp<std::int64_t>(frames, 0, kLastPosition);
}

}  // namespace varnow
