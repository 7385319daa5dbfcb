// The mix kernels that run once per 4096-frame block: Mix (mode 1) and
// MixMultiple (modes 2 and 3).
//
// They compute exactly what the scalar reference (mix_reference.cpp) computes,
// sample for sample, but are laid out for speed: the channels are decoded and
// summed chunk by chunk in sums that stay in the first-level cache, with the
// gains hoisted out of the inner loops; only the bus rows that reach an
// output are summed; every later stage is a straight pass over a contiguous
// 64-bit row, and the peaks are taken in a separate branch-free pass.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mixer/channel_mixer.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {

namespace {

// Builds on x86-64 with GCC get an AVX2 copy of each per-sample loop, chosen
// at load time on processors that have it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VARNOW_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VARNOW_WIDE_VECTORS
#endif

constexpr std::int64_t kFrames = MixerScratch::kRowFrames;
static_assert(kFrames == kBlockFrames);
constexpr std::int64_t kLargestSample = 8388607;    // 2^23 - 1
constexpr std::int64_t kSmallestSample = -8388608;  // -2^23

// A channel gain becomes an integer by truncation toward zero. SetVolume never
// gives more than 1019 (12 dB, fully panned, x 256); the limit, four times
// that, keeps every sum of 256 channels and 64 busses far inside 64 bits, and
// a gain that is not a number mixes as silence instead of as garbage.
constexpr float kIntegerGainLimit = 4096.0f;

std::int64_t integerGain(float gain) {
  if (std::isnan(gain)) return 0;
  return static_cast<std::int64_t>(std::clamp(gain, -kIntegerGainLimit, kIntegerGainLimit));
}

std::int8_t* blockOf(std::int8_t* blocks, std::int64_t block) {
  return blocks + block * kBlockBytes;
}

// One playing channel as the channel sums see it.
struct Source {
  const std::int8_t* block;
  double leftGain;  // the integer gains, held exactly
  double rightGain;
};

constexpr std::int64_t kChunkFrames = 256;  // two chunk sums fit the first-level cache

// The 64-bit integer a double holds, for whole numbers below 2^51 in
// magnitude. Adding 1.5 x 2^52 moves the number into the low bits of the
// mantissa, in two's complement, so the conversion is an addition and an
// integer subtraction, both of which vector units have, where a plain
// conversion to a 64-bit integer has no vector instruction before AVX-512.
inline std::int64_t exactInteger(double wholeNumber) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 x 2^52
  return std::bit_cast<std::int64_t>(wholeNumber + kShift) - std::bit_cast<std::int64_t>(kShift);
}

// left[i] = sum of sample x leftGain over the sources, right likewise, for
// every frame of the block, with each packed sample decoded on the way.
//
// The sums run in double precision chunk by chunk, which is exact: a sample
// is at most 2^23 in magnitude, an integer gain at most 2^12, and there are
// at most 2^8 sources, so every product and partial sum is an integer of at
// most 2^43, far inside the 53 bits a double holds. The result is the same
// 64-bit integer, in any order of addition.
VARNOW_WIDE_VECTORS
void sumSources(const Source* sources, int sourceCount, std::int64_t* __restrict left,
                std::int64_t* __restrict right) {
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

Source sourceOf(std::int8_t* blocks, int channel, const ChannelGains& gains) {
  const auto slot = static_cast<std::size_t>(channel);
  return {blockOf(blocks, channel), static_cast<double>(integerGain(gains.left[slot])),
          static_cast<double>(integerGain(gains.right[slot]))};
}

// Each value becomes float(value) x gain in single precision, truncated
// toward zero.
VARNOW_WIDE_VECTORS
void applyGain(std::int64_t* __restrict row, float gain) {
  for (std::int64_t i = 0; i < kFrames; ++i) {
    row[i] = static_cast<std::int64_t>(static_cast<float>(row[i]) * gain);
  }
}

// Raises `peak` to the largest absolute value of the row.
VARNOW_WIDE_VECTORS
void raisePeak(const std::int64_t* __restrict row, std::int64_t& peak) {
  std::int64_t largest = peak;
  for (std::int64_t i = 0; i < kFrames; ++i) {
    const std::int64_t magnitude = row[i] < 0 ? -row[i] : row[i];
    largest = magnitude > largest ? magnitude : largest;
  }
  peak = largest;
}

// Limits every value to the 24-bit range, so that an over is written at full
// scale rather than wrapped to the other sign.
VARNOW_WIDE_VECTORS
void saturate(std::int64_t* __restrict row) {
  for (std::int64_t i = 0; i < kFrames; ++i) {
    row[i] = std::clamp(row[i], kSmallestSample, kLargestSample);
  }
}

// The last stage of every output: gain, peak of the unsaturated result,
// saturation, packing into the output's block.
void emitRow(std::int64_t* row, float gain, std::int64_t& peak, std::int8_t* block) {
  applyGain(row, gain);
  raisePeak(row, peak);
  saturate(row);
  NUM24MONO_TO_CHAR(row, block);
}

// master += scale x row, sample by sample.
VARNOW_WIDE_VECTORS
void addToMaster(std::int64_t* __restrict master, const std::int64_t* __restrict row,
                 std::int64_t scale) {
  for (std::int64_t i = 0; i < kFrames; ++i) {
    master[i] += scale * row[i];
  }
}

int boundedChannels(int channelCount) {
  return std::clamp(channelCount, 0, kMaxChannels);
}

}  // namespace

MixerScratch::MixerScratch()
    : busLeft_(static_cast<std::size_t>(kMaxBusses * kRowFrames)),
      busRight_(static_cast<std::size_t>(kMaxBusses * kRowFrames)) {}

void Mix(std::int8_t* blocks, const MixInputs& inputs, std::int64_t& masterPeakLeft,
         std::int64_t& masterPeakRight, MixerScratch& scratch) {
  std::array<Source, kMaxChannels> sources;
  int sourceCount = 0;
  const int channels = boundedChannels(inputs.channelCount);
  for (int channel = 0; channel < channels; ++channel) {
    if ((*inputs.playFlags)[static_cast<std::size_t>(channel)] != 1) continue;
    sources[static_cast<std::size_t>(sourceCount++)] = sourceOf(blocks, channel, *inputs.gains);
  }
  std::int64_t* left = scratch.left(0);
  std::int64_t* right = scratch.right(0);
  sumSources(sources.data(), sourceCount, left, right);
  const float masterGain = (*inputs.busGains)[0];
  emitRow(left, masterGain, masterPeakLeft, blockOf(blocks, 0));
  emitRow(right, masterGain, masterPeakRight, blockOf(blocks, 1));
}

void MixMultiple(std::int8_t* blocks, const MixInputs& inputs, BusPeakTable& busPeaksLeft,
                 BusPeakTable& busPeaksRight, int mixMode, MixerScratch& scratch, int masterScale) {
  // In any other mode the bus sums reach no output: nothing to do.
  if (mixMode != 2 && mixMode != 3) return;
  const int busCount = std::clamp(inputs.busCount, 0, kMaxBusses);
  const BusFlags& busOn = *inputs.busOn;
  const BusMatrix& matrix = *inputs.busMatrix;

  // Only the bus rows that reach an output are summed: in mode 2 every bus in
  // use within the bus count; in mode 3 those from bus 2 up, and always the
  // master, row 0. All sums are taken before any output block is written.
  std::array<bool, kMaxBusses> used{};
  for (int bus = 0; bus < busCount; ++bus) {
    used[static_cast<std::size_t>(bus)] = busOn[static_cast<std::size_t>(bus)] == 1;
  }
  if (mixMode == 3) used[0] = true;
  std::array<Source, kMaxChannels> sources;
  const int channels = boundedChannels(inputs.channelCount);
  for (int bus = 0; bus < kMaxBusses; ++bus) {
    const auto busSlot = static_cast<std::size_t>(bus);
    if (!used[busSlot]) continue;
    int sourceCount = 0;
    for (int channel = 0; channel < channels; ++channel) {
      const auto slot = static_cast<std::size_t>(channel);
      if ((*inputs.playFlags)[slot] != 1 || matrix[busSlot][slot] != 1) continue;
      sources[static_cast<std::size_t>(sourceCount++)] = sourceOf(blocks, channel, *inputs.gains);
    }
    sumSources(sources.data(), sourceCount, scratch.left(bus), scratch.right(bus));
  }

  const BusGains& gains = *inputs.busGains;
  if (mixMode == 2) {
    // Bus n plays on outputs 2n-1 and 2n, blocks 2b and 2b+1.
    for (int bus = 0; bus < busCount; ++bus) {
      const auto busSlot = static_cast<std::size_t>(bus);
      if (!used[busSlot]) continue;
      emitRow(scratch.left(bus), gains[busSlot], busPeaksLeft[busSlot], blockOf(blocks, 2 * bus));
      emitRow(scratch.right(bus), gains[busSlot], busPeaksRight[busSlot],
              blockOf(blocks, 2 * bus + 1));
    }
    return;
  }

  // Mode 3: each bus from bus 2 up, at its own level, into the master. The
  // master scale undoes the 1/256 every bus gain carries, so that only the
  // master gain removes the channel gains' x 256.
  const auto scale = static_cast<std::int64_t>(masterScale);
  for (int bus = 1; bus < busCount; ++bus) {
    const auto busSlot = static_cast<std::size_t>(bus);
    if (!used[busSlot]) continue;
    applyGain(scratch.left(bus), gains[busSlot]);
    applyGain(scratch.right(bus), gains[busSlot]);
    raisePeak(scratch.left(bus), busPeaksLeft[busSlot]);
    raisePeak(scratch.right(bus), busPeaksRight[busSlot]);
    addToMaster(scratch.left(0), scratch.left(bus), scale);
    addToMaster(scratch.right(0), scratch.right(bus), scale);
  }
  emitRow(scratch.left(0), gains[0], busPeaksLeft[0], blockOf(blocks, 0));
  emitRow(scratch.right(0), gains[0], busPeaksRight[0], blockOf(blocks, 1));
}

}  // namespace varnow
