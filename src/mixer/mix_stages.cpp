// The portable mix stages, and the choice between them and the AVX2 ones.
#include "mixer/mix_stages.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "wave/sample_codec.hpp"

namespace varnow {

namespace {

constexpr std::int64_t kFrames = kBlockFrames;
constexpr std::int64_t kChunkFrames = 256;  // two chunk sums fit the first-level cache

// The 64-bit integer a double holds, for whole numbers below 2^51 in
// magnitude. Adding 1.5 x 2^52 moves the number into the low bits of the
// mantissa, in two's complement, so the conversion is an addition and an
// integer subtraction.
inline std::int64_t exactInteger(double wholeNumber) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 x 2^52
  return std::bit_cast<std::int64_t>(wholeNumber + kShift) - std::bit_cast<std::int64_t>(kShift);
}

constexpr MixStages kPortable{sumSourcesPortable, emitRowPortable};
#ifdef VARNOW_HAVE_AVX2_STAGES
constexpr MixStages kAvx2{sumSourcesAvx2, emitRowAvx2};

bool processorHasAvx2() {
#if defined(__GNUC__) && !defined(__clang__)
  __builtin_cpu_init();  // may run before the library's own initialisation
#endif
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#endif

const MixStages* chosenAtStart() {
#ifdef VARNOW_HAVE_AVX2_STAGES
  if (processorHasAvx2()) return &kAvx2;
#endif
  return &kPortable;
}

const MixStages* active = chosenAtStart();

}  // namespace

// The sums run in double precision chunk by chunk, which is exact: a sample
// is at most 2^23 in magnitude, an integer gain at most 2^12, and there are
// at most 2^8 sources, so every product and partial sum is an integer of at
// most 2^43, far inside the 53 bits a double holds. The result is the same
// 64-bit integer in any order of addition.
void sumSourcesPortable(const MixSource* sources, int sourceCount, std::int64_t* left,
                        std::int64_t* right) {
  for (std::int64_t chunk = 0; chunk < kFrames; chunk += kChunkFrames) {
    double leftSum[kChunkFrames] = {};
    double rightSum[kChunkFrames] = {};
    for (int n = 0; n < sourceCount; ++n) {
      const std::int8_t* packed = sources[n].block + chunk * kBytesPerSample;
      const double leftGain = sources[n].leftGain;
      const double rightGain = sources[n].rightGain;
      for (std::int64_t i = 0; i < kChunkFrames; ++i) {
        const std::int32_t low = static_cast<std::uint8_t>(packed[3 * i]);
        const std::int32_t middle = static_cast<std::uint8_t>(packed[3 * i + 1]);
        const std::int32_t high = packed[3 * i + 2];  // signed: carries the sign
        const auto sample = static_cast<double>(low + 256 * middle + 65536 * high);
        leftSum[i] += sample * leftGain;
        rightSum[i] += sample * rightGain;
      }
    }
    for (std::int64_t i = 0; i < kChunkFrames; ++i) {
      left[chunk + i] = exactInteger(leftSum[i]);
      right[chunk + i] = exactInteger(rightSum[i]);
    }
  }
}

void emitRowPortable(const std::int64_t* row, float gain, std::int64_t& peak, std::int8_t* block) {
  constexpr std::int64_t kLargestSample = 8388607;    // 2^23 - 1
  constexpr std::int64_t kSmallestSample = -8388608;  // -2^23
  std::int64_t largest = peak;
  std::int64_t held[kFrames];
  for (std::int64_t i = 0; i < kFrames; ++i) {
    const auto value = static_cast<std::int64_t>(static_cast<float>(row[i]) * gain);
    const std::int64_t magnitude = value < 0 ? -value : value;
    largest = magnitude > largest ? magnitude : largest;
    held[i] = std::clamp(value, kSmallestSample, kLargestSample);
  }
  peak = largest;
  NUM24MONO_TO_CHAR(held, block);
}

const MixStages& mixStages() {
  return *active;
}

MixStageSet mixStageSet() {
  return active == &kPortable ? MixStageSet::kPortable : MixStageSet::kAvx2;
}

bool useMixStageSet(MixStageSet set) {
  if (set == MixStageSet::kPortable) {
    active = &kPortable;
    return true;
  }
#ifdef VARNOW_HAVE_AVX2_STAGES
  if (processorHasAvx2()) {
    active = &kAvx2;
    return true;
  }
#endif
  return false;
}

}  // namespace varnow
