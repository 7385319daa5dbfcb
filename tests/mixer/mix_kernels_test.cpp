// The mix kernels on staircase blocks with hand-computed results, and equal
// to the bit to the scalar reference on random blocks in every mode.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

constexpr std::size_t kFrames = 4096;
constexpr float kBusUnity = 0.00390625f;  // 0 dB on a bus: 1/256

// A block buffer of `channels` blocks.
struct Blocks {
  explicit Blocks(int channels) : bytes(static_cast<std::size_t>(channels) * kFrames * 3) {}
  void set(int channel, const std::vector<std::int64_t>& samples) {
    NUM24MONO_TO_CHAR(samples.data(), bytes.data() + channel * kBlockBytes);
  }
  std::vector<std::int64_t> get(int channel) const {
    std::vector<std::int64_t> samples(kFrames);
    CHAR_TO_NUM32(bytes.data() + channel * kBlockBytes, samples.data(), 3);
    return samples;
  }
  std::vector<std::int8_t> bytes;
};

std::vector<std::int64_t> stairs(std::int64_t first, std::int64_t step) {
  std::vector<std::int64_t> samples(kFrames);
  for (std::size_t i = 0; i < kFrames; ++i)
    samples[i] = first + step * static_cast<std::int64_t>(i);
  return samples;
}

std::vector<std::int64_t> constant(std::int64_t value) {
  return std::vector<std::int64_t>(kFrames, value);
}

// The tables a test fills in; `inputs` points into them.
struct Mixer {
  PlayFlags flags{};
  ChannelGains gains{};
  BusGains busGains{};
  BusFlags busOn{};
  BusMatrix matrix{};
  MixerScratch scratch;
  MixInputs inputs;

  explicit Mixer(int channels) {
    busGains.fill(kBusUnity);
    inputs.channelCount = channels;
    inputs.playFlags = &flags;
    inputs.gains = &gains;
    inputs.busGains = &busGains;
    inputs.busOn = &busOn;
    inputs.busMatrix = &matrix;
  }
  void play(int channel, float left, float right) {
    flags[static_cast<std::size_t>(channel)] = 1;
    gains.left[static_cast<std::size_t>(channel)] = left;
    gains.right[static_cast<std::size_t>(channel)] = right;
  }
};

// What the master makes of a left or right sum: float(sum) x gain, truncated.
std::int64_t throughGain(std::int64_t sum, float gain) {
  return static_cast<std::int64_t>(static_cast<float>(sum) * gain);
}

TEST(Mix, StaircaseThroughMasterTruncatesTowardZero) {
  Blocks blocks(4);
  const auto up = stairs(1, 1);      // 1, 2, ... 4096
  const auto down = stairs(-1, -3);  // -1, -4, ...
  const auto untouched = stairs(77, 5);
  blocks.set(0, up);
  blocks.set(1, down);
  blocks.set(2, stairs(100000, 1));  // not playing
  blocks.set(3, untouched);
  Mixer mixer(4);
  mixer.play(0, 181.23f, 181.23f);  // 0 dB, centre
  mixer.play(1, 57.9f, 103.2f);
  std::int64_t peakLeft = 0;
  std::int64_t peakRight = 0;
  Mix(blocks.bytes.data(), mixer.inputs, peakLeft, peakRight, mixer.scratch);

  const auto left = blocks.get(0);
  const auto right = blocks.get(1);
  std::int64_t expectedPeakLeft = 0;
  for (std::size_t i = 0; i < kFrames; ++i) {
    const std::int64_t l = (181 * up[i] + 57 * down[i]) / 256;   // C++ division truncates
    const std::int64_t r = (181 * up[i] + 103 * down[i]) / 256;  // negative: toward zero
    ASSERT_EQ(left[i], l) << i;
    ASSERT_EQ(right[i], r) << i;
    expectedPeakLeft = std::max(expectedPeakLeft, l < 0 ? -l : l);
  }
  EXPECT_EQ(peakLeft, expectedPeakLeft);
  EXPECT_EQ(blocks.get(3), untouched);  // other blocks stay as read
  EXPECT_EQ(blocks.get(2), stairs(100000, 1));
}

TEST(Mix, NoPlayingChannelGivesSilenceAndPeaksOnlyRise) {
  Blocks blocks(3);
  blocks.set(0, stairs(5, 1));
  blocks.set(1, stairs(6, 1));
  blocks.set(2, stairs(7, 1));
  Mixer mixer(3);
  std::int64_t peakLeft = 123;
  std::int64_t peakRight = 0;
  Mix(blocks.bytes.data(), mixer.inputs, peakLeft, peakRight, mixer.scratch);
  EXPECT_EQ(blocks.get(0), constant(0));
  EXPECT_EQ(blocks.get(1), constant(0));
  EXPECT_EQ(blocks.get(2), stairs(7, 1));
  EXPECT_EQ(peakLeft, 123);

  // A negative sample of large magnitude raises the peak to that magnitude.
  blocks.set(2, constant(-1000));
  mixer.play(2, 256.0f, 0.0f);
  mixer.busGains[0] = 1.0f / 256.0f;
  Mix(blocks.bytes.data(), mixer.inputs, peakLeft, peakRight, mixer.scratch);
  EXPECT_EQ(peakLeft, 1000);
  EXPECT_EQ(peakRight, 0);
  blocks.set(2, constant(999));
  Mix(blocks.bytes.data(), mixer.inputs, peakLeft, peakRight, mixer.scratch);
  EXPECT_EQ(peakLeft, 1000);
}

TEST(Mix, OversSaturateButThePeakKeepsTheirSize) {
  Blocks blocks(2);
  blocks.set(0, constant(8388607));
  blocks.set(1, constant(-8388608));
  Mixer mixer(2);
  mixer.play(0, 512.0f, 256.0f);  // twice full scale on the left, full on the right
  mixer.play(1, 0.0f, 0.0f);
  std::int64_t peakLeft = 0;
  std::int64_t peakRight = 0;
  Mix(blocks.bytes.data(), mixer.inputs, peakLeft, peakRight, mixer.scratch);
  EXPECT_EQ(blocks.get(0), constant(8388607));  // not wrapped to 0
  EXPECT_EQ(blocks.get(1), constant(8388607));  // exactly full scale passes
  EXPECT_EQ(peakLeft, throughGain(8388607LL * 512, kBusUnity));
  EXPECT_GT(peakLeft, 8388607);
  EXPECT_EQ(peakRight, 8388607);
  const std::vector<std::int8_t> top(blocks.bytes.begin(), blocks.bytes.begin() + 3);
  EXPECT_EQ(top, (std::vector<std::int8_t>{-1, -1, 0x7F}));

  // The negative end: -2 x full scale is held at -8388608 (bytes 00 00 80).
  blocks.set(0, constant(-8388608));
  peakLeft = 0;
  Mix(blocks.bytes.data(), mixer.inputs, peakLeft, peakRight, mixer.scratch);
  EXPECT_EQ(blocks.get(0), constant(-8388608));
  EXPECT_EQ(blocks.get(1), constant(-8388608));
  EXPECT_EQ(peakLeft, 16777216);
  const std::vector<std::int8_t> bottom(blocks.bytes.begin(), blocks.bytes.begin() + 3);
  EXPECT_EQ(bottom, (std::vector<std::int8_t>{0, 0, -128}));
}

TEST(MixMultiple, ModeTwoPlaysEachBusOnItsOwnPair) {
  // Bus 3 holds channels 1 and 5 and plays on outputs 5 and 6; bus 1 is off,
  // so outputs 1 and 2 keep the direct signal of channels 1 and 2.
  Blocks blocks(8);
  for (int k = 0; k < 8; ++k)
    blocks.set(k, stairs(1000 * (k + 1), k + 1));
  Mixer mixer(8);
  mixer.inputs.busCount = 4;
  mixer.play(0, 181.0f, 181.0f);
  mixer.play(4, 256.0f, 0.0f);
  mixer.play(6, 256.0f, 256.0f);  // on bus 4 and bus 2
  mixer.matrix[2][0] = 1;
  mixer.matrix[2][4] = 1;
  mixer.matrix[1][6] = 1;
  mixer.matrix[3][6] = 1;
  mixer.busOn[2] = 1;
  mixer.busOn[1] = 1;
  mixer.busOn[3] = 1;
  mixer.busGains[3] = 2.0f / 256.0f;
  BusPeakTable peaksLeft{};
  BusPeakTable peaksRight{};
  const auto one = blocks.get(0);
  const auto two = blocks.get(1);
  const auto five = blocks.get(4);
  const auto seven = blocks.get(6);
  MixMultiple(blocks.bytes.data(), mixer.inputs, peaksLeft, peaksRight, 2, mixer.scratch);

  EXPECT_EQ(blocks.get(0), one);
  EXPECT_EQ(blocks.get(1), two);
  const auto out5 = blocks.get(4);
  const auto out6 = blocks.get(5);
  const auto out3 = blocks.get(2);
  const auto out7 = blocks.get(6);
  for (std::size_t i = 0; i < kFrames; ++i) {
    ASSERT_EQ(out5[i], throughGain(181 * one[i] + 256 * five[i], kBusUnity)) << i;
    ASSERT_EQ(out6[i], throughGain(181 * one[i], kBusUnity)) << i;
    ASSERT_EQ(out3[i], seven[i]) << i;
    ASSERT_EQ(out7[i], 2 * seven[i]) << i;
  }
  EXPECT_EQ(peaksLeft[2], out5[4095]);
  EXPECT_EQ(peaksRight[2], out6[4095]);
  EXPECT_EQ(peaksLeft[3], 2 * seven[4095]);
  EXPECT_EQ(peaksLeft[0], 0);

  // Bus 4 lies beyond a bus count of 3: outputs 7 and 8 stay as read.
  for (int k = 0; k < 8; ++k)
    blocks.set(k, stairs(1000 * (k + 1), k + 1));
  mixer.inputs.busCount = 3;
  MixMultiple(blocks.bytes.data(), mixer.inputs, peaksLeft, peaksRight, 2, mixer.scratch);
  EXPECT_EQ(blocks.get(6), seven);
}

TEST(MixMultiple, ModeThreeSumsTheBussesIntoTheMaster) {
  Blocks blocks(4);
  const auto a = stairs(3, 7);
  const auto b = stairs(-5, -11);
  const auto c = stairs(9, 2);
  blocks.set(0, a);
  blocks.set(1, b);
  blocks.set(2, c);
  blocks.set(3, stairs(1, 1));
  Mixer mixer(4);
  mixer.inputs.busCount = 2;
  mixer.play(0, 181.0f, 181.0f);  // on bus 1: straight into the master
  mixer.play(1, 200.0f, 100.0f);  // on bus 2
  mixer.play(2, 300.0f, 50.0f);   // on busses 1 and 2
  mixer.play(3, 256.0f, 256.0f);  // on no bus: silent
  mixer.matrix[0][0] = 1;
  mixer.matrix[1][1] = 1;
  mixer.matrix[0][2] = 1;
  mixer.matrix[1][2] = 1;
  mixer.busOn[1] = 1;  // bus 1 need not be on to be the master
  const float bus2 = 0.5f / 256.0f;
  const float master = 3.0f / 256.0f;
  mixer.busGains[1] = bus2;
  mixer.busGains[0] = master;
  BusPeakTable peaksLeft{};
  BusPeakTable peaksRight{};
  MixMultiple(blocks.bytes.data(), mixer.inputs, peaksLeft, peaksRight, 3, mixer.scratch);

  const auto left = blocks.get(0);
  const auto right = blocks.get(1);
  std::int64_t busPeak = 0;
  for (std::size_t i = 0; i < kFrames; ++i) {
    const std::int64_t yl = throughGain(200 * b[i] + 300 * c[i], bus2);
    const std::int64_t yr = throughGain(100 * b[i] + 50 * c[i], bus2);
    busPeak = std::max(busPeak, yl < 0 ? -yl : yl);
    ASSERT_EQ(left[i], throughGain(181 * a[i] + 300 * c[i] + 256 * yl, master)) << i;
    ASSERT_EQ(right[i], throughGain(181 * a[i] + 50 * c[i] + 256 * yr, master)) << i;
  }
  EXPECT_EQ(peaksLeft[1], busPeak);
  EXPECT_EQ(blocks.get(2), c);  // only outputs 1 and 2 change

  // A bus count of 1 (two channels) uses only the master.
  blocks.set(0, a);
  blocks.set(1, b);
  mixer.inputs.busCount = 1;
  BusPeakTable quiet{};
  BusPeakTable quietRight{};
  MixMultiple(blocks.bytes.data(), mixer.inputs, quiet, quietRight, 3, mixer.scratch);
  const auto masterOnly = blocks.get(0);
  for (std::size_t i = 0; i < kFrames; ++i)
    ASSERT_EQ(masterOnly[i], throughGain(181 * a[i] + 300 * c[i], master)) << i;
  EXPECT_EQ(quiet[1], 0);

  // Any other mode changes no block.
  const std::vector<std::int8_t> before = blocks.bytes;
  MixMultiple(blocks.bytes.data(), mixer.inputs, quiet, quietRight, 1, mixer.scratch);
  EXPECT_EQ(blocks.bytes, before);
}

TEST(MixMultiple, OversSaturateInBothModes) {
  for (const int mode : {2, 3}) {
    Blocks blocks(2);
    blocks.set(0, constant(-8388608));
    blocks.set(1, constant(0));
    Mixer mixer(2);
    mixer.inputs.busCount = 1;
    mixer.play(0, 1019.0f, 1019.0f);  // +12 dB, panned
    mixer.matrix[0][0] = 1;
    mixer.busOn[0] = 1;
    BusPeakTable peaksLeft{};
    BusPeakTable peaksRight{};
    MixMultiple(blocks.bytes.data(), mixer.inputs, peaksLeft, peaksRight, mode, mixer.scratch);
    EXPECT_EQ(blocks.get(0), constant(-8388608)) << mode;
    EXPECT_EQ(peaksLeft[0], -throughGain(-8388608LL * 1019, kBusUnity)) << mode;
    EXPECT_GT(peaksLeft[0], 8388608) << mode;
  }
}

// Random blocks, gains from the laws, random bus tables: the fast kernels
// and the scalar reference agree on every byte and every peak.
TEST(MixKernels, EqualToTheReferenceOnRandomBlocks) {
  std::mt19937_64 random(20240611);
  for (int round = 0; round < 24; ++round) {
    const int channels = 2 + static_cast<int>(random() % 40);
    Blocks blocks(channels);
    for (auto& byte : blocks.bytes)
      byte = static_cast<std::int8_t>(random());
    Mixer mixer(channels);
    std::array<float, kMaxChannels> volumes{};
    std::array<float, kMaxChannels> pans{};
    for (int k = 0; k < channels; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      mixer.flags[slot] = random() % 5 == 0 ? 0 : 1;
      volumes[slot] = static_cast<float>(static_cast<int>(random() % 157) - 144) / 1.5f;
      pans[slot] = static_cast<float>(static_cast<int>(random() % 201) - 100);
      for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
        mixer.matrix[bus][slot] = random() % 6 == 0 ? 1 : 0;
      }
    }
    SetVolume(pans, volumes, mixer.gains, channels, mixer.flags);
    std::array<float, kMaxBusses> levels{};
    for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
      levels[bus] = static_cast<float>(static_cast<int>(random() % 40) - 30);
      mixer.busOn[bus] = random() % 4 == 0 ? 0 : 1;
    }
    mixer.busGains.fill(1.0f);
    initialBusGains(levels, mixer.busGains);
    const int mode = 1 + round % 3;
    mixer.inputs.busCount = busCountFor(mode, channels, channels, 0);

    Blocks reference = blocks;
    BusPeakTable fastLeft{};
    BusPeakTable fastRight{};
    BusPeakTable slowLeft{};
    BusPeakTable slowRight{};
    fastLeft[0] = slowLeft[0] = 1000;  // peaks carried over from earlier blocks
    for (int step = 0; step < 2; ++step) {
      if (mode == 1) {
        Mix(blocks.bytes.data(), mixer.inputs, fastLeft[0], fastRight[0], mixer.scratch);
        referenceMix(reference.bytes.data(), mixer.inputs, slowLeft[0], slowRight[0]);
      } else {
        MixMultiple(blocks.bytes.data(), mixer.inputs, fastLeft, fastRight, mode, mixer.scratch);
        referenceMixMultiple(reference.bytes.data(), mixer.inputs, slowLeft, slowRight, mode);
      }
      ASSERT_EQ(blocks.bytes, reference.bytes) << "round " << round << " mode " << mode;
      ASSERT_EQ(fastLeft, slowLeft) << "round " << round;
      ASSERT_EQ(fastRight, slowRight) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace varnow
