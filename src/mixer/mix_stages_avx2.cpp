// The AVX2 forms of the mix stages. Only the functions here are compiled for
// AVX2 and FMA (by attribute, the rest of the program targets baseline
// x86-64); mix_stages.cpp calls them only on processors that have both.
#include "mixer/mix_stages.hpp"

#ifdef VARNOW_HAVE_AVX2_STAGES

#include <immintrin.h>

#include <cstdint>

#include "wave/sample_codec.hpp"

#define VARNOW_AVX2 __attribute__((target("avx2,fma")))

namespace varnow {

namespace {

constexpr std::int64_t kFrames = kBlockFrames;

// Frames summed at once, their left and right sums held in 8 registers while
// every source is added in.
constexpr std::int64_t kTileFrames = 16;

// How far ahead of the tile each source's bytes are asked into the cache. The
// processor's own prefetching follows a few dozen streams; a mix of 128
// tracks read ahead by the export has more, whose blocks are not yet in the
// nearer caches. Asking past a block's end is harmless: a prefetch never
// faults.
constexpr std::int64_t kPrefetchBytes = 512;

// Decoding four packed samples straight into doubles. The 16 loaded bytes
// go to both 128-bit halves; a shuffle puts each sample's three bytes at the
// bottom of a 64-bit lane (an index with the top bit set gives a zero byte):
//
//   bytes:  b0 b1 b2 | b0 b1 b2 | ...      lane: b0 b1 b2 00 00 00 00 00
//
// Setting the exponent of 2^52 and flipping bit 23 makes the lane the double
// 2^52 + 2^23 + sample, exactly; subtracting 2^52 + 2^23 leaves the sample.
// Samples 0-3 of a group of 8 are loaded from the group's byte 0 and sit at
// bytes 0-11; samples 4-7 are loaded from byte 8 and sit at bytes 4-15, so
// neither load reaches past the group's 24 bytes.
VARNOW_AVX2 inline __m256i firstHalfOrder() {
  return _mm256_setr_epi8(0, 1, 2, -1, -1, -1, -1, -1, 3, 4, 5, -1, -1, -1, -1, -1,  //
                          6, 7, 8, -1, -1, -1, -1, -1, 9, 10, 11, -1, -1, -1, -1, -1);
}
VARNOW_AVX2 inline __m256i secondHalfOrder() {
  return _mm256_setr_epi8(4, 5, 6, -1, -1, -1, -1, -1, 7, 8, 9, -1, -1, -1, -1, -1,  //
                          10, 11, 12, -1, -1, -1, -1, -1, 13, 14, 15, -1, -1, -1, -1, -1);
}

constexpr std::int64_t kBiasBits = 0x4330000000800000;  // exponent of 2^52, bit 23
constexpr double kBias = 0x1p52 + 0x1p23;

// Four samples as exact doubles.
VARNOW_AVX2 inline __m256d decodeFour(const std::int8_t* bytes, __m256i order, __m256i biasBits,
                                      __m256d bias) {
  const __m256i loaded =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
  const __m256i biased = _mm256_xor_si256(_mm256_shuffle_epi8(loaded, order), biasBits);
  return _mm256_sub_pd(_mm256_castsi256_pd(biased), bias);
}

// The 64-bit integers four doubles hold (whole numbers below 2^51 in
// magnitude): adding 1.5 x 2^52 moves each into the low bits of the mantissa.
VARNOW_AVX2 inline __m256i exactIntegers(__m256d wholeNumbers) {
  const __m256d shift = _mm256_set1_pd(6755399441055744.0);  // 1.5 x 2^52
  return _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(wholeNumbers, shift)),
                          _mm256_castpd_si256(shift));
}

// The inverse, for 64-bit integers of magnitude below 2^51.
VARNOW_AVX2 inline __m256d exactDoubles(__m256i integers) {
  const __m256i shift = _mm256_castpd_si256(_mm256_set1_pd(6755399441055744.0));
  return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(integers, shift)),
                       _mm256_castsi256_pd(shift));
}

}  // namespace

// The sums are exact in double precision (see sumSourcesPortable), so adding
// them in another order gives the same integers.
VARNOW_AVX2 void sumSourcesAvx2(const MixSource* sources, int sourceCount, std::int64_t* left,
                                std::int64_t* right) {
  const __m256i first = firstHalfOrder();
  const __m256i second = secondHalfOrder();
  const __m256i biasBits = _mm256_set1_epi64x(kBiasBits);
  const __m256d bias = _mm256_set1_pd(kBias);
  for (std::int64_t tile = 0; tile < kFrames; tile += kTileFrames) {
    __m256d left0 = _mm256_setzero_pd();
    __m256d left1 = _mm256_setzero_pd();
    __m256d left2 = _mm256_setzero_pd();
    __m256d left3 = _mm256_setzero_pd();
    __m256d right0 = _mm256_setzero_pd();
    __m256d right1 = _mm256_setzero_pd();
    __m256d right2 = _mm256_setzero_pd();
    __m256d right3 = _mm256_setzero_pd();
    const std::int64_t tileByte = tile * kBytesPerSample;
    for (int n = 0; n < sourceCount; ++n) {
      const std::int8_t* bytes = sources[n].block + tileByte;
      _mm_prefetch(reinterpret_cast<const char*>(bytes + kPrefetchBytes), _MM_HINT_T0);
      const __m256d leftGain = _mm256_set1_pd(sources[n].leftGain);
      const __m256d rightGain = _mm256_set1_pd(sources[n].rightGain);
      const __m256d s0 = decodeFour(bytes, first, biasBits, bias);
      const __m256d s1 = decodeFour(bytes + 8, second, biasBits, bias);
      const __m256d s2 = decodeFour(bytes + 24, first, biasBits, bias);
      const __m256d s3 = decodeFour(bytes + 32, second, biasBits, bias);
      left0 = _mm256_fmadd_pd(s0, leftGain, left0);
      left1 = _mm256_fmadd_pd(s1, leftGain, left1);
      left2 = _mm256_fmadd_pd(s2, leftGain, left2);
      left3 = _mm256_fmadd_pd(s3, leftGain, left3);
      right0 = _mm256_fmadd_pd(s0, rightGain, right0);
      right1 = _mm256_fmadd_pd(s1, rightGain, right1);
      right2 = _mm256_fmadd_pd(s2, rightGain, right2);
      right3 = _mm256_fmadd_pd(s3, rightGain, right3);
    }
    auto* leftOut = reinterpret_cast<__m256i*>(left + tile);
    auto* rightOut = reinterpret_cast<__m256i*>(right + tile);
    _mm256_storeu_si256(leftOut, exactIntegers(left0));
    _mm256_storeu_si256(leftOut + 1, exactIntegers(left1));
    _mm256_storeu_si256(leftOut + 2, exactIntegers(left2));
    _mm256_storeu_si256(leftOut + 3, exactIntegers(left3));
    _mm256_storeu_si256(rightOut, exactIntegers(right0));
    _mm256_storeu_si256(rightOut + 1, exactIntegers(right1));
    _mm256_storeu_si256(rightOut + 2, exactIntegers(right2));
    _mm256_storeu_si256(rightOut + 3, exactIntegers(right3));
  }
}

// Eight values at a time: to double (exact below 2^51), to float (the one
// rounding float(value) makes), times the gain in single precision, back to
// double (exact) and truncated. A row that holds a value of 2^51 or more, or
// whose result reaches 2^62 or is not a number, is left to the portable form,
// which converts one value at a time.
VARNOW_AVX2 void emitRowAvx2(const std::int64_t* row, float gain, std::int64_t& peak,
                             std::int8_t* block) {
  // Values the conversion to double takes exactly: -2^51 .. 2^51 - 1.
  const __m256i lowestExact = _mm256_set1_epi64x(-(std::int64_t{1} << 51));
  const __m256i highestExact = _mm256_set1_epi64x((std::int64_t{1} << 51) - 1);
  // Results the conversion back to a 64-bit integer takes as the portable
  // form does: magnitudes below 2^62.
  const __m256d resultLimit = _mm256_set1_pd(4611686018427387904.0);
  const __m128 gains = _mm_set1_ps(gain);
  const __m256d magnitudeBits = _mm256_castsi256_pd(_mm256_set1_epi64x(INT64_MAX));
  const __m256d largestSample = _mm256_set1_pd(8388607.0);
  const __m256d smallestSample = _mm256_set1_pd(-8388608.0);
  // Packing: the three low bytes of each 32-bit lane to the front of its
  // half, then the two halves' 12 bytes side by side.
  const __m256i packOrder =
      _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                       0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i joinHalves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);

  __m256i outOfRange = _mm256_setzero_si256();
  __m256d tooLarge = _mm256_setzero_pd();  // also set by a result that is not a number
  __m256d largest = _mm256_setzero_pd();
  for (std::int64_t i = 0; i < kFrames; i += 8) {
    __m128i held[2];
    for (int half = 0; half < 2; ++half) {
      const __m256i value =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i + 4 * half));
      outOfRange = _mm256_or_si256(outOfRange, _mm256_cmpgt_epi64(lowestExact, value));
      outOfRange = _mm256_or_si256(outOfRange, _mm256_cmpgt_epi64(value, highestExact));
      const __m128 scaled = _mm_mul_ps(_mm256_cvtpd_ps(exactDoubles(value)), gains);
      const __m256d truncated =
          _mm256_round_pd(_mm256_cvtps_pd(scaled), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
      const __m256d magnitude = _mm256_and_pd(truncated, magnitudeBits);
      tooLarge = _mm256_or_pd(tooLarge, _mm256_cmp_pd(magnitude, resultLimit, _CMP_NLT_UQ));
      largest = _mm256_max_pd(largest, magnitude);
      const __m256d limited =
          _mm256_min_pd(_mm256_max_pd(truncated, smallestSample), largestSample);
      held[half] = _mm256_cvttpd_epi32(limited);
    }
    const __m256i eight = _mm256_set_m128i(held[1], held[0]);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(eight, packOrder), joinHalves);
    std::int8_t* out = block + i * kBytesPerSample;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
  }

  if (!_mm256_testz_si256(outOfRange, outOfRange) || _mm256_movemask_pd(tooLarge) != 0) {
    emitRowPortable(row, gain, peak, block);
    return;
  }
  // The largest magnitude of the four lanes.
  const __m128d pair =
      _mm_max_pd(_mm256_castpd256_pd128(largest), _mm256_extractf128_pd(largest, 1));
  const double widest = _mm_cvtsd_f64(_mm_max_sd(pair, _mm_unpackhi_pd(pair, pair)));
  const auto magnitude = static_cast<std::int64_t>(widest);
  if (magnitude > peak) peak = magnitude;
}

}  // namespace varnow

#endif  // VARNOW_HAVE_AVX2_STAGES
