// The two per-sample stages every mix kernel is made of, in a portable form
// and, on x86-64, in an AVX2 form chosen at run time for the processor:
//
//   sum:   packed blocks of the sources  -> 64-bit sums per frame
//            sum[i] = sum over sources of sample[i] x integer gain
//   emit:  64-bit sums -> one output block
//            y = float(sum) x gain, truncated; peak = max |y|;
//            y held at the 24-bit limits; packed low byte first
//
// Both forms compute the same bits as the scalar reference (mix_reference.cpp)
// for every input; the tests and the mix fuzz target hold them to it.
#pragma once

#include <cstdint>

namespace varnow {

// One playing channel as the sum stage sees it.
struct MixSource {
  const std::int8_t* block;  // 4096 packed samples
  double leftGain;           // the integer gains, held exactly
  double rightGain;
};

// left[i] = sum of sample x leftGain over the sources, right likewise, for the
// 4096 frames of a block. With no source both rows become 0.
using SumStage = void (*)(const MixSource* sources, int sourceCount, std::int64_t* left,
                          std::int64_t* right);

// Turns the 4096 sums of `row` into the output block: each value becomes
// float(value) x gain in single precision, truncated toward zero; `peak` rises
// to the largest magnitude of those values; they are packed into `block`
// (12288 bytes) held at -8388608 .. 8388607. `row` is left as it was.
using EmitStage = void (*)(const std::int64_t* row, float gain, std::int64_t& peak,
                           std::int8_t* block);

struct MixStages {
  SumStage sum;
  EmitStage emit;
};

enum class MixStageSet { kPortable, kAvx2 };

// The stages the kernels use now: AVX2 where the processor has it (and FMA),
// the portable ones otherwise.
const MixStages& mixStages();
MixStageSet mixStageSet();

// Makes the kernels use `set` from now on, for tests and benchmarks that
// compare the two. Returns false, changing nothing, when this build or this
// processor cannot run it.
bool useMixStageSet(MixStageSet set);

// The portable forms, for every build.
void sumSourcesPortable(const MixSource* sources, int sourceCount, std::int64_t* left,
                        std::int64_t* right);
void emitRowPortable(const std::int64_t* row, float gain, std::int64_t& peak, std::int8_t* block);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VARNOW_HAVE_AVX2_STAGES 1
// The AVX2 forms (mix_stages_avx2.cpp); call them only where the processor has
// AVX2 and FMA.
void sumSourcesAvx2(const MixSource* sources, int sourceCount, std::int64_t* left,
                    std::int64_t* right);
void emitRowAvx2(const std::int64_t* row, float gain, std::int64_t& peak, std::int8_t* block);
#endif

}  // namespace varnow
