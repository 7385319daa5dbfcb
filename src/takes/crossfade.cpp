#include "takes/crossfade.hpp"

#include <algorithm>
#include <cmath>

namespace varnow {
namespace {

constexpr std::int64_t kLargestSample = 8388607;
constexpr std::int64_t kSmallestSample = -8388608;

}  // namespace

std::int64_t crossfadeSample(std::int64_t fromSample, std::int64_t toSample, std::int64_t k,
                             std::int64_t lengthFrames) {
  const double theta =
      static_cast<double>(k) / static_cast<double>(lengthFrames) * kFadeQuarterTurn;
  const double blended = static_cast<double>(fromSample) * std::cos(theta) +
                         static_cast<double>(toSample) * std::sin(theta);
  // Truncation toward zero; both inputs are 24-bit, so the blend fits easily.
  const auto truncated = static_cast<std::int64_t>(blended);
  return std::clamp(truncated, kSmallestSample, kLargestSample);
}

}  // namespace varnow
