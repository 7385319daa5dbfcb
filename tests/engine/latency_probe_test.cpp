// The latency measurement's arithmetic: the test signal, finding it, and the
// correction in periods and frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "engine/latency_probe.hpp"

namespace varnow {
namespace {

TEST(LatencyProbe, TheSequenceIsMaximalAndBalanced) {
  const std::vector<int> chips = maximumLengthSequence();
  ASSERT_EQ(chips.size(), 1023U);
  EXPECT_TRUE(std::all_of(chips.begin(), chips.end(), [](int c) { return c == 1 || c == -1; }));
  // A maximum-length sequence holds one more +1 than -1, and every cyclic
  // shift of it correlates with it to -1: one sharp peak.
  EXPECT_EQ(std::accumulate(chips.begin(), chips.end(), 0), 1);
  for (std::size_t shift : {1U, 2U, 511U, 1022U}) {
    int sum = 0;
    for (std::size_t j = 0; j < chips.size(); ++j)
      sum += chips[j] * chips[(j + shift) % chips.size()];
    EXPECT_EQ(sum, -1) << shift;
  }
  EXPECT_EQ(maximumLengthSequence(), chips);
}

TEST(LatencyProbe, FindsTheSequenceToTheFrameInNoiseAndAtAnyLevelButNotWhereItIsNot) {
  const std::vector<int> chips = maximumLengthSequence();
  for (const std::int64_t at : {0L, 1L, 12345L, 40000L - 1023L}) {
    for (const int level : {4194304, 1000, -4194304}) {
      std::vector<std::int32_t> samples(40000);
      std::uint32_t noise = 7;
      for (auto& s : samples) {
        noise = noise * 1664525U + 1013904223U;
        s = static_cast<std::int32_t>(noise >> 28) - 8;  // a few LSB of noise
      }
      for (std::size_t j = 0; j < chips.size(); ++j)
        samples[static_cast<std::size_t>(at) + j] += chips[j] * level;
      const std::optional<std::int64_t> found = findSequence(samples, chips);
      if (level < 0) {
        EXPECT_FALSE(found) << at;  // the wrong polarity is no loopback
      } else {
        EXPECT_EQ(found, at) << level;
      }
    }
  }
  EXPECT_FALSE(findSequence(std::vector<std::int32_t>(5000, 0), chips));
  EXPECT_FALSE(findSequence(std::vector<std::int32_t>(1000, 5), chips));  // shorter than it
  std::vector<std::int32_t> loud(5000, 8000000);  // a constant is not the sequence
  EXPECT_FALSE(findSequence(loud, chips));
}

TEST(LatencyProbe, ACorrectionIsWholePeriodsRoundedDownAndTheFramesLeft) {
  EXPECT_EQ(splitCompensation(4096, 1024).odcomp, 4);
  EXPECT_EQ(splitCompensation(4096, 1024).frames, 0);
  EXPECT_EQ(splitCompensation(5000, 1024).odcomp, 4);
  EXPECT_EQ(splitCompensation(5000, 1024).frames, 904);
  EXPECT_EQ(splitCompensation(-1, 256).odcomp, -1);
  EXPECT_EQ(splitCompensation(-1, 256).frames, 255);
  EXPECT_EQ(splitCompensation(-512, 256).odcomp, -2);
  EXPECT_EQ(splitCompensation(-512, 256).frames, 0);
  EXPECT_EQ(splitCompensation(100, 0).odcomp, 0);
}

}  // namespace
}  // namespace varnow
