#include "wave/quantize.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/position_limit.hpp"

namespace varnow {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// The rounding rule stepped literally: k = q, 2q, 3q, ... until x <= float(k).
// For large values the walk may start at a later multiple; it checks that the
// multiple before the start is still below x, so the first hit is the answer.
std::int64_t steppedQuantize(std::int64_t q, std::uint32_t rate, float seconds) {
  const float x = static_cast<float>(rate) * seconds;
  if (!(x > 0.0f)) return 0;
  std::int64_t multiple = 1;
  const double approximate = static_cast<double>(x) / static_cast<double>(q);
  if (approximate > 2000.0) {
    // Start a safe distance below: further than float rounding can reach.
    const double slack =
        static_cast<double>(std::nextafter(x, INFINITY) - x) / static_cast<double>(q);
    multiple = static_cast<std::int64_t>(approximate - slack) - 4;
    EXPECT_GT(x, static_cast<float>((multiple - 1) * q)) << "reference started too late";
  }
  std::int64_t k = multiple * q;
  while (!(x <= static_cast<float>(k)))
    k += q;
  return k;
}

std::int64_t steppedQuantizeSamples(std::int64_t q, std::int64_t position) {
  if (position <= 0) return 0;
  std::int64_t multiple = 1;
  if (position / q > 2000) multiple = position / q - 2;
  std::int64_t k = multiple * q;
  while (k < position)
    k += q;
  return k;
}

// A fixed pseudo-random sequence, so every run sweeps the same values.
struct Lcg {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  std::uint64_t next() {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return state >> 11;
  }
  double unit() { return static_cast<double>(next()) / 9007199254740992.0; }  // [0, 1)
};

TEST(Quantize, ListedExamples) {
  EXPECT_EQ(QUANTIZE(4096, 48000, 0.0f), 0);
  EXPECT_EQ(QUANTIZE(4096, 48000, 0.01f), 4096);
  EXPECT_EQ(QUANTIZE(4096, 48000, 1.0f), 49152);
  EXPECT_EQ(QUANTIZE(4096, 48000, -2.5f), 0);
  EXPECT_EQ(QUANTIZE(4096, 48000, 1e-30f), 4096) << "any positive time is at least one quantum";
  EXPECT_EQ(QUANTIZE(1024, 44100, 1.0f), 44032 + 1024);

  EXPECT_EQ(QUANTIZE_SAMPLES(4096, 0), 0);
  EXPECT_EQ(QUANTIZE_SAMPLES(4096, 1), 4096);
  EXPECT_EQ(QUANTIZE_SAMPLES(4096, 4096), 4096);
  EXPECT_EQ(QUANTIZE_SAMPLES(4096, 4097), 8192);
  EXPECT_EQ(QUANTIZE_SAMPLES(4096, -5), 0);
}

TEST(Quantize, ComparesInSinglePrecisionNearRounding) {
  // Below 2^25 floats are 2 apart: 33554431 is a tie that rounds to even,
  // i.e. up to 2^25, so it already reaches x = 2^25.
  EXPECT_EQ(QUANTIZE(1, 1, 33554432.0f), 33554431);
  EXPECT_EQ(QUANTIZE(3, 1, 33554432.0f), 33554433);  // 33554430 is still below
  // Just above 2^24, 16777217 rounds down to 16777216 and does not reach 16777218.
  EXPECT_EQ(QUANTIZE(1, 1, 16777218.0f), 16777218);
  EXPECT_EQ(QUANTIZE(1, 1, 16777216.0f), 16777216);
}

TEST(Quantize, AgreesWithSteppingAcrossASweep) {
  Lcg random;
  int compared = 0;
  for (const std::int64_t q : {1, 3, 64, 256, 1000, 1024, 4096}) {
    for (const std::uint32_t rate : {22050u, 44100u, 48000u, 96000u}) {
      // Times of a session: 0 .. 30 s at millisecond steps and random ones.
      for (int ms = 0; ms <= 30000; ms += 37) {
        const float seconds = static_cast<float>(ms) / 1000.0f;
        ASSERT_EQ(QUANTIZE(q, rate, seconds), steppedQuantize(q, rate, seconds))
            << "q=" << q << " rate=" << rate << " s=" << seconds;
        ++compared;
      }
      for (int i = 0; i < 300; ++i) {
        const auto seconds = static_cast<float>(random.unit() * 100000.0);
        ASSERT_EQ(QUANTIZE(q, rate, seconds), steppedQuantize(q, rate, seconds))
            << "q=" << q << " rate=" << rate << " s=" << seconds;
        ++compared;
      }
    }
    // Sample counts given as float directly (rate 1), where float spacing is
    // wider than one sample: powers of two and their neighbours, then random
    // values up to 2^45 (far beyond 2^31).
    for (int exponent = 20; exponent <= 45; ++exponent) {
      const float power = std::ldexp(1.0f, exponent);
      float x = power;
      for (int step = 0; step < 6; ++step)
        x = std::nextafter(x, 0.0f);
      for (int step = 0; step < 12; ++step, x = std::nextafter(x, INFINITY)) {
        ASSERT_EQ(QUANTIZE(q, 1, x), steppedQuantize(q, 1, x)) << "q=" << q << " x=" << x;
        ++compared;
      }
    }
    for (int i = 0; i < 2000; ++i) {
      const auto x = static_cast<float>(
          std::ldexp(1.0 + random.unit(), 20 + static_cast<int>(random.next() % 26)));
      ASSERT_EQ(QUANTIZE(q, 1, x), steppedQuantize(q, 1, x)) << "q=" << q << " x=" << x;
      ++compared;
    }
  }
  EXPECT_GT(compared, 40000);
}

TEST(Quantize, BeyondThirtyTwoBits) {
  // 50000 s at 48000 Hz: 2.4e9 samples, past 2^31.
  EXPECT_EQ(QUANTIZE(4096, 48000, 50000.0f), 2400002048);
  EXPECT_EQ(QUANTIZE_SAMPLES(4096, 2147483649LL), 2147483648LL + 4096);
  EXPECT_EQ(QUANTIZE_SAMPLES(1000, 3000000000LL), 3000000000LL);
  EXPECT_EQ(QUANTIZE_SAMPLES(1000, 3000000001LL), 3000001000LL);

  // Positions beyond the last one saturate at its last whole multiple.
  EXPECT_EQ(QUANTIZE(4096, 48000, 1e30f), kLastPosition);
  EXPECT_EQ(QUANTIZE(1000, 48000, INFINITY), (kLastPosition / 1000) * 1000);
  EXPECT_EQ(QUANTIZE_SAMPLES(4096, kMax), kLastPosition);
  EXPECT_EQ(QUANTIZE_SAMPLES(1000, kLastPosition + 1), (kLastPosition / 1000) * 1000);
  EXPECT_EQ(QUANTIZE_SAMPLES(1, kLastPosition), kLastPosition);
}

TEST(Quantize, SamplesAgreeWithSteppingAcrossASweep) {
  Lcg random;
  for (const std::int64_t q : {1, 2, 3, 64, 1023, 1024, 4096, 8192}) {
    for (std::int64_t position = -10; position <= 20000; position += 3) {
      ASSERT_EQ(QUANTIZE_SAMPLES(q, position), steppedQuantizeSamples(q, position))
          << "q=" << q << " s=" << position;
    }
    for (int i = 0; i < 2000; ++i) {
      const auto position = static_cast<std::int64_t>(random.next() >> (random.next() % 40));
      ASSERT_EQ(QUANTIZE_SAMPLES(q, position), steppedQuantizeSamples(q, position))
          << "q=" << q << " s=" << position;
    }
  }
}

TEST(Quantize, OddInputsStaySafe) {
  // A time that is not a number is no time; a quantum below 1 does not round.
  EXPECT_EQ(QUANTIZE(4096, 48000, NAN), 0);
  EXPECT_EQ(QUANTIZE(0, 48000, 0.5f), 24000);
  EXPECT_EQ(QUANTIZE(-8, 48000, 0.5f), 24000);
  EXPECT_EQ(QUANTIZE_SAMPLES(0, 12345), 12345);
  EXPECT_EQ(QUANTIZE_SAMPLES(-4, 12345), 12345);
}

}  // namespace
}  // namespace varnow
