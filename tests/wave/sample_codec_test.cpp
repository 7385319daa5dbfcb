#include "wave/sample_codec.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace varnow {
namespace {

std::int8_t b(int value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value));
}

TEST(SampleCodec, DecodesPackedSamplesLowByteFirstWithSign) {
  const std::vector<std::int8_t> packed = {b(0xFF), b(0xFF), b(0xFF), b(0x00), b(0x00), b(0x80),
                                           b(0xFF), b(0xFF), b(0x7F), b(0x01), b(0x00), b(0x00),
                                           b(0x00), b(0x01), b(0x00), b(0x56), b(0x34), b(0x92)};
  std::array<std::int64_t, 7> samples;
  samples.fill(777);
  CHAR_TO_NUM32(packed.data(), samples.data(), kBytesPerSample, 6);
  EXPECT_EQ(samples[0], -1);
  EXPECT_EQ(samples[1], -8388608);
  EXPECT_EQ(samples[2], 8388607);
  EXPECT_EQ(samples[3], 1);
  EXPECT_EQ(samples[4], 256);
  EXPECT_EQ(samples[5], 0x923456 - 0x1000000);
  EXPECT_EQ(samples[6], 777) << "wrote past the count";
}

TEST(SampleCodec, EncodesLow24BitsOfTwosComplementWithoutSaturation) {
  const std::vector<std::int64_t> samples = {-1, -8388608, 8388607, 8388608, -8388609, 0x123456};
  std::vector<std::int8_t> packed(3 * samples.size() + 1, b(0xAA));
  NUM24MONO_TO_CHAR(samples.data(), packed.data(), static_cast<std::int64_t>(samples.size()));
  const std::vector<std::int8_t> expected = {
      b(0xFF), b(0xFF), b(0xFF), b(0x00), b(0x00), b(0x80), b(0xFF), b(0xFF), b(0x7F), b(0x00),
      b(0x00), b(0x80), b(0xFF), b(0xFF), b(0x7F), b(0x56), b(0x34), b(0x12), b(0xAA)};
  EXPECT_EQ(packed, expected);
}

TEST(SampleCodec, CountsBelowOneTouchNothing) {
  const std::array<std::int8_t, 3> packed = {b(1), b(2), b(3)};
  std::array<std::int64_t, 1> samples = {99};
  std::array<std::int8_t, 3> out = {b(7), b(7), b(7)};
  for (std::int64_t count : {0, -1, -4096}) {
    CHAR_TO_NUM32(packed.data(), samples.data(), kBytesPerSample, count);
    NUM24MONO_TO_CHAR(samples.data(), out.data(), count);
    EXPECT_EQ(samples[0], 99) << count;
    EXPECT_EQ(out, (std::array<std::int8_t, 3>{b(7), b(7), b(7)})) << count;
  }
}

TEST(SampleCodec, BlockFormsRoundTripAFullBlockExactly) {
  // A ramp across the whole 24-bit range, so every sample differs in all bytes.
  std::vector<std::int64_t> samples(kBlockFrames + 1, 12345);
  for (std::int64_t i = 0; i < kBlockFrames; ++i)
    samples[static_cast<std::size_t>(i)] = -8388608 + i * 4095;
  std::vector<std::int8_t> packed(kBlockBytes + 3, b(0x5A));
  NUM24MONO_TO_CHAR(samples.data(), packed.data());
  EXPECT_EQ(packed[kBlockBytes], b(0x5A)) << "encoded past the block";
  std::vector<std::int64_t> decoded(kBlockFrames + 1, 12345);
  CHAR_TO_NUM32(packed.data(), decoded.data(), kBytesPerSample);
  EXPECT_EQ(decoded, samples);
}

TEST(SampleCodec, HeaderFieldReadersAndWriters) {
  const std::array<std::uint8_t, 4> allOnes = {0xFF, 0xFF, 0xFF, 0xFF};
  const std::array<std::uint8_t, 4> signBit = {0x00, 0x00, 0x00, 0x80};
  const std::array<std::uint8_t, 4> small = {0x2C, 0x00, 0x00, 0x00};
  const std::array<std::uint8_t, 4> rate = {0x80, 0xBB, 0x00, 0x00};
  EXPECT_EQ(Assem4(allOnes.data()), -1);
  EXPECT_EQ(Assem4(signBit.data()), -2147483648LL);
  EXPECT_EQ(Assem4(small.data()), 44);
  EXPECT_EQ(Assem4(rate.data()), 48000);
  EXPECT_EQ(Assem2(allOnes.data()), 65535);
  EXPECT_EQ(Assem2(rate.data()), 0xBB80);

  std::array<std::uint8_t, 5> out{};
  out[4] = 0x77;
  Decon4(36, out.data());
  EXPECT_EQ(out, (std::array<std::uint8_t, 5>{0x24, 0x00, 0x00, 0x00, 0x77}));
  Decon4(4294967295LL, out.data());
  EXPECT_EQ(out, (std::array<std::uint8_t, 5>{0xFF, 0xFF, 0xFF, 0xFF, 0x77}));
  Decon4(4294967296LL + 0x01020304, out.data());  // written modulo 2^32
  EXPECT_EQ(out, (std::array<std::uint8_t, 5>{0x04, 0x03, 0x02, 0x01, 0x77}));
  EXPECT_EQ(Assem4(out.data()), 0x01020304);

  std::array<std::uint8_t, 3> two{};
  two[2] = 0x77;
  Decon2(0xBEEF, two.data());
  EXPECT_EQ(two, (std::array<std::uint8_t, 3>{0xEF, 0xBE, 0x77}));
  EXPECT_EQ(Assem2(two.data()), 0xBEEF);
}

}  // namespace
}  // namespace varnow
