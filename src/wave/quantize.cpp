#include "wave/quantize.hpp"

#include <cmath>

#include "core/position_limit.hpp"

namespace varnow {
namespace {

// The smallest multiple m * quantum (m >= 1) that is >= threshold, saturated
// at the largest multiple that does not pass kLastPosition. threshold >= 1,
// quantum >= 1.
std::int64_t roundUpToMultiple(std::int64_t quantum, std::int64_t threshold) {
  const std::int64_t multiples = (threshold - 1) / quantum + 1;
  if (multiples > kLastPosition / quantum) return (kLastPosition / quantum) * quantum;
  return multiples * quantum;
}

bool reachesTime(float samples, std::int64_t candidate) {
  return samples <= static_cast<float>(candidate);
}

}  // namespace

std::int64_t QUANTIZE(std::int64_t quantum, std::uint32_t rate, float seconds) {
  if (quantum < 1) quantum = 1;
  const float samples = static_cast<float>(rate) * seconds;
  if (std::isnan(samples) || samples <= 0.0f) return 0;
  // 2^62: the last position, and above this the threshold below could not be
  // formed in 64 bits.
  if (samples >= 4.6116860184273879e18f) return roundUpToMultiple(quantum, kLastPosition);

  // The comparison is made in float, so an integer k "reaches" the time when
  // float(k) >= samples. Conversion to float is monotonic, so the integers
  // that reach it are exactly those from a threshold upwards. That threshold
  // lies at the midpoint between `samples` and the next float below it (the
  // point where rounding to nearest starts to give `samples`):
  //
  //      below      midpoint      samples
  //   ----|------------:------------|----->  integers >= threshold round to
  //                    ^ threshold              samples or above
  //
  // The midpoint of two neighbouring floats is exact in double. Ties at the
  // midpoint go to the even float, so the threshold is settled by one
  // comparison in each direction.
  const float below = std::nextafter(samples, 0.0f);
  const double midpoint = (static_cast<double>(below) + static_cast<double>(samples)) / 2.0;
  auto threshold = static_cast<std::int64_t>(std::ceil(midpoint));
  if (threshold < 1) threshold = 1;
  if (!reachesTime(samples, threshold)) ++threshold;
  if (threshold > 1 && reachesTime(samples, threshold - 1)) --threshold;

  // Every multiple at or above the threshold reaches the time and none below
  // does, so the answer is the first multiple at or above it.
  return roundUpToMultiple(quantum, threshold);
}

std::int64_t QUANTIZE_SAMPLES(std::int64_t quantum, std::int64_t position) {
  if (quantum < 1) quantum = 1;
  if (position <= 0) return 0;
  return roundUpToMultiple(quantum, position);
}

}  // namespace varnow
