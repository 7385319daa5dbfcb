// The mix kernels that run once per 4096-frame block: Mix (mode 1) and
// MixMultiple (modes 2 and 3).
//
// They compute exactly what the scalar reference (mix_reference.cpp) computes,
// sample for sample, but are laid out for speed: each output row is the sum
// stage over its channels followed by the emit stage (mix_stages.hpp, in
// AVX2 where the processor has it), with the gains hoisted out of the inner
// loops; only the bus rows that reach an output are summed; the bus stage of
// mode 3 is a straight pass over contiguous 64-bit rows.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mixer/channel_mixer.hpp"
#include "mixer/mix_stages.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {

namespace {

// Builds on x86-64 with GCC get an AVX2 copy of each loop of the bus stage of
// mode 3, chosen at load time on processors that have it. The sum and emit
// stages that every mode runs have explicit forms of their own
// (mix_stages.hpp).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VARNOW_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VARNOW_WIDE_VECTORS
#endif

constexpr std::int64_t kFrames = MixerScratch::kRowFrames;
static_assert(kFrames == kBlockFrames);

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

// Channel k's samples: block k of the buffer, or where the inputs point.
MixSource sourceOf(std::int8_t* blocks, int channel, const MixInputs& inputs) {
  const auto slot = static_cast<std::size_t>(channel);
  const std::int8_t* block =
      inputs.channelBlocks != nullptr ? (*inputs.channelBlocks)[slot] : blockOf(blocks, channel);
  return {block, static_cast<double>(integerGain(inputs.gains->left[slot])),
          static_cast<double>(integerGain(inputs.gains->right[slot]))};
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
  std::array<MixSource, kMaxChannels> sources;
  int sourceCount = 0;
  const int channels = boundedChannels(inputs.channelCount);
  for (int channel = 0; channel < channels; ++channel) {
    if ((*inputs.playFlags)[static_cast<std::size_t>(channel)] != 1) continue;
    sources[static_cast<std::size_t>(sourceCount++)] = sourceOf(blocks, channel, inputs);
  }
  const MixStages& stages = mixStages();
  std::int64_t* left = scratch.left(0);
  std::int64_t* right = scratch.right(0);
  stages.sum(sources.data(), sourceCount, left, right);
  const float masterGain = (*inputs.busGains)[0];
  stages.emit(left, masterGain, masterPeakLeft, blockOf(blocks, 0));
  stages.emit(right, masterGain, masterPeakRight, blockOf(blocks, 1));
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
  const MixStages& stages = mixStages();
  std::array<MixSource, kMaxChannels> sources;
  const int channels = boundedChannels(inputs.channelCount);
  for (int bus = 0; bus < kMaxBusses; ++bus) {
    const auto busSlot = static_cast<std::size_t>(bus);
    if (!used[busSlot]) continue;
    int sourceCount = 0;
    for (int channel = 0; channel < channels; ++channel) {
      const auto slot = static_cast<std::size_t>(channel);
      if ((*inputs.playFlags)[slot] != 1 || matrix[busSlot][slot] != 1) continue;
      sources[static_cast<std::size_t>(sourceCount++)] = sourceOf(blocks, channel, inputs);
    }
    stages.sum(sources.data(), sourceCount, scratch.left(bus), scratch.right(bus));
  }

  const BusGains& gains = *inputs.busGains;
  if (mixMode == 2) {
    // Bus n plays on outputs 2n-1 and 2n, blocks 2b and 2b+1.
    for (int bus = 0; bus < busCount; ++bus) {
      const auto busSlot = static_cast<std::size_t>(bus);
      if (!used[busSlot]) continue;
      stages.emit(scratch.left(bus), gains[busSlot], busPeaksLeft[busSlot],
                  blockOf(blocks, 2 * bus));
      stages.emit(scratch.right(bus), gains[busSlot], busPeaksRight[busSlot],
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
  stages.emit(scratch.left(0), gains[0], busPeaksLeft[0], blockOf(blocks, 0));
  stages.emit(scratch.right(0), gains[0], busPeaksRight[0], blockOf(blocks, 1));
}

}  // namespace varnow
