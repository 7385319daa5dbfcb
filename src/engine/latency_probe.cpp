#include "engine/latency_probe.hpp"

#include <cmath>

namespace varnow {

std::vector<int> maximumLengthSequence() {
  // x^10 + x^7 + 1: a primitive polynomial, so the register runs through all
  // 1023 non-zero states before it repeats.
  constexpr int kBits = 10;
  unsigned state = 1;
  std::vector<int> chips;
  chips.reserve((1U << kBits) - 1);
  for (unsigned n = 0; n < (1U << kBits) - 1; ++n) {
    chips.push_back((state & 1U) != 0 ? 1 : -1);
    const unsigned feedback = ((state >> 0) ^ (state >> 3)) & 1U;
    state = (state >> 1) | (feedback << (kBits - 1));
  }
  return chips;
}

std::optional<std::int64_t> findSequence(const std::vector<std::int32_t>& samples,
                                         const std::vector<int>& sequence) {
  const auto length = static_cast<std::int64_t>(sequence.size());
  const auto count = static_cast<std::int64_t>(samples.size());
  if (length == 0 || count < length) return std::nullopt;
  double best = 0.0;
  std::int64_t bestAt = -1;
  const auto at = [&samples](std::int64_t index) {
    return std::int64_t{samples[static_cast<std::size_t>(index)]};
  };
  // The energy of the stretch under the sequence, slid along with it (exact:
  // 1023 squares of 24-bit values fit a 64-bit integer).
  std::int64_t energy = 0;
  for (std::int64_t j = 0; j < length; ++j)
    energy += at(j) * at(j);
  for (std::int64_t start = 0; start + length <= count; ++start) {
    if (start > 0)
      energy += at(start + length - 1) * at(start + length - 1) - at(start - 1) * at(start - 1);
    if (energy <= 0) continue;
    std::int64_t sum = 0;
    for (std::int64_t j = 0; j < length; ++j)
      sum += sequence[static_cast<std::size_t>(j)] * at(start + j);
    const double normalised = static_cast<double>(sum) /
                              std::sqrt(static_cast<double>(energy) * static_cast<double>(length));
    if (normalised > best) {
      best = normalised;
      bestAt = start;
    }
  }
  if (bestAt < 0 || best < 0.5) return std::nullopt;
  return bestAt;
}

LatencyCorrection splitCompensation(std::int64_t totalFrames, std::int64_t periodFrames) {
  if (periodFrames <= 0) return {};
  std::int64_t periods = totalFrames / periodFrames;
  if (totalFrames % periodFrames < 0) --periods;  // rounded down, also below zero
  return {static_cast<std::int32_t>(periods),
          static_cast<std::int32_t>(totalFrames - periods * periodFrames)};
}

}  // namespace varnow
