// The channel mixer: per-track gain and pan, 64 stereo busses, and the
// kernels that mix one 4096-frame block step in place in a block buffer.
//
// Fixed-point scales: channel gains carry x 256 (8 fractional bits once
// truncated to an integer); bus gains carry / 256, so a channel at 0 dB,
// pan 0, through a bus at 0 dB comes out at 181/256 of its input.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/project_settings.hpp"

namespace varnow {

using PlayFlags = std::array<std::int32_t, kMaxChannels>;
using BusFlags = std::array<std::int32_t, kMaxBusses>;
using BusMatrix = std::array<std::array<std::int32_t, kMaxChannels>, kMaxBusses>;
using BusGains = std::array<float, kMaxBusses>;
using BusPeakTable = std::array<std::int64_t, kMaxBusses>;

inline constexpr float kChannelGainScale = 256.0f;
inline constexpr int kMasterScale = 256;

// Left and right fixed-point gains of every channel (ratio x 256).
struct ChannelGains {
  std::array<float, kMaxChannels> left{};
  std::array<float, kMaxChannels> right{};
};

// 10^(dB/20) x scale, single precision.
float dBtoRatio(float decibels, float scale);

// Clamps the volumes (-144..12 dB) and pans (-100..100) of channels 1..n with
// their messages, then recomputes both gains of every playing channel.
void SetVolume(std::array<float, kMaxChannels>& pans, std::array<float, kMaxChannels>& volumes,
               ChannelGains& gains, int channelCount, const PlayFlags& playFlags,
               float scale = kChannelGainScale);

// For index 0..63 and level -144..15: gain[index] = 10^(level/20) / scale;
// returns 1. Otherwise changes nothing and returns 0.
int SetBusVolume(BusGains& gains, float levelDecibels, int busIndex, int scale = kMasterScale);

// A bus level within -144..15 dB: a level beyond either limit becomes that
// limit, so that the level shown and saved is the one the gain follows.
float boundedBusLevel(float levelDecibels);

// The bus gains when the run starts, from the stored levels.
void initialBusGains(const std::array<float, kMaxBusses>& levels, BusGains& gains);

// Recounts the on flags of busses 2..64 from the matrix; bus 1 keeps its flag.
void UpdateBusses(const BusMatrix& matrix, BusFlags& busOn);

// Clears the play flag of every playing channel that is on no bus.
void VerifyChannels(const BusMatrix& matrix, PlayFlags& playFlags);

// Working rows of the bus mixer: 64 x 4096 per side, allocated once.
class MixerScratch {
 public:
  MixerScratch();
  std::int64_t* left(int bus) { return busLeft_.data() + bus * kRowFrames; }
  std::int64_t* right(int bus) { return busRight_.data() + bus * kRowFrames; }
  static constexpr std::int64_t kRowFrames = 4096;

 private:
  std::vector<std::int64_t> busLeft_;
  std::vector<std::int64_t> busRight_;
};

// Everything the kernels read besides the block buffer.
struct MixInputs {
  int channelCount = 0;
  const PlayFlags* playFlags = nullptr;
  const ChannelGains* gains = nullptr;
  const BusGains* busGains = nullptr;
  const BusFlags* busOn = nullptr;
  const BusMatrix* busMatrix = nullptr;
  int busCount = 0;
  // Where channel k's 4096 packed samples are, when not in block k of the
  // buffer the kernel mixes in (the export mixes straight from what it read).
  // The outputs are written to the buffer's blocks all the same.
  const std::array<const std::int8_t*, kMaxChannels>* channelBlocks = nullptr;
};

// Mix mode 1: every playing channel into outputs 1 and 2 (blocks 0 and 1)
// through the master gain (bus 1's). Raises the master peaks with the
// unsaturated values; the encoded samples saturate at the 24-bit limits.
// `blocks` is a block buffer: channel k's 4096 packed samples at k x 12288.
void Mix(std::int8_t* blocks, const MixInputs& inputs, std::int64_t& masterPeakLeft,
         std::int64_t& masterPeakRight, MixerScratch& scratch);

// Mix modes 2 and 3: channels into busses; mode 2 plays bus n on outputs
// 2n-1 and 2n, mode 3 sums the busses into the master on outputs 1 and 2.
void MixMultiple(std::int8_t* blocks, const MixInputs& inputs, BusPeakTable& busPeaksLeft,
                 BusPeakTable& busPeaksRight, int mixMode, MixerScratch& scratch,
                 int masterScale = kMasterScale);

// The bus count of a pass: outputs / 2 in mode 2, channels / 2 in mode 3
// (otherwise `current`), never more than 64.
int busCountFor(int mixMode, int outputs, int channels, int current);

}  // namespace varnow
