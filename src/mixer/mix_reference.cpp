#include "mixer/mix_reference.hpp"

#include <array>
#include <cstddef>

#include "wave/sample_codec.hpp"

namespace varnow {

namespace {

using Row = std::array<std::int64_t, kBlockFrames>;

std::int8_t* blockAt(std::int8_t* blocks, std::int64_t block) {
  return blocks + block * kBlockBytes;
}

// Channel k's samples: block k, or where the inputs point.
const std::int8_t* channelAt(std::int8_t* blocks, const MixInputs& inputs, int k) {
  if (inputs.channelBlocks != nullptr) return (*inputs.channelBlocks)[static_cast<std::size_t>(k)];
  return blockAt(blocks, k);
}

// The one stage that differs from a plain encode: overs are held at the
// 24-bit limits instead of wrapping.
std::int64_t saturated(std::int64_t value) {
  if (value > 8388607) return 8388607;
  if (value < -8388608) return -8388608;
  return value;
}

void raise(std::int64_t& peak, std::int64_t value) {
  const std::int64_t magnitude = value < 0 ? -value : value;
  if (magnitude > peak) peak = magnitude;
}

void encodeSaturated(const Row& row, std::int8_t* block) {
  Row limited;
  for (std::size_t i = 0; i < row.size(); ++i)
    limited[i] = saturated(row[i]);
  NUM24MONO_TO_CHAR(limited.data(), block);
}

}  // namespace

void referenceMix(std::int8_t* blocks, const MixInputs& inputs, std::int64_t& masterPeakLeft,
                  std::int64_t& masterPeakRight) {
  Row left{};
  Row right{};
  Row samples{};
  for (int k = 0; k < inputs.channelCount; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    if ((*inputs.playFlags)[slot] != 1) continue;
    CHAR_TO_NUM32(channelAt(blocks, inputs, k), samples.data(), kBytesPerSample);
    const auto gl = static_cast<std::int64_t>(inputs.gains->left[slot]);
    const auto gr = static_cast<std::int64_t>(inputs.gains->right[slot]);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      left[i] += samples[i] * gl;
      right[i] += samples[i] * gr;
    }
  }
  const float master = (*inputs.busGains)[0];
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = static_cast<std::int64_t>(static_cast<float>(left[i]) * master);
    right[i] = static_cast<std::int64_t>(static_cast<float>(right[i]) * master);
    raise(masterPeakLeft, left[i]);
    raise(masterPeakRight, right[i]);
  }
  encodeSaturated(left, blockAt(blocks, 0));
  encodeSaturated(right, blockAt(blocks, 1));
}

void referenceMixMultiple(std::int8_t* blocks, const MixInputs& inputs, BusPeakTable& busPeaksLeft,
                          BusPeakTable& busPeaksRight, int mixMode, int masterScale) {
  static std::array<Row, kMaxBusses> busL;
  static std::array<Row, kMaxBusses> busR;
  static Row samples;
  for (auto& row : busL)
    row.fill(0);
  for (auto& row : busR)
    row.fill(0);

  // Every bus, whatever the bus count; a channel on several busses is
  // decoded once per bus.
  for (int b = 0; b < kMaxBusses; ++b) {
    const auto bus = static_cast<std::size_t>(b);
    for (int k = 0; k < inputs.channelCount; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      if ((*inputs.playFlags)[slot] != 1 || (*inputs.busMatrix)[bus][slot] != 1) continue;
      CHAR_TO_NUM32(channelAt(blocks, inputs, k), samples.data(), kBytesPerSample);
      const auto gl = static_cast<std::int64_t>(inputs.gains->left[slot]);
      const auto gr = static_cast<std::int64_t>(inputs.gains->right[slot]);
      for (std::size_t i = 0; i < samples.size(); ++i) {
        busL[bus][i] += samples[i] * gl;
        busR[bus][i] += samples[i] * gr;
      }
    }
  }

  const BusGains& gain = *inputs.busGains;
  if (mixMode == 2) {
    for (int b = 0; b < inputs.busCount; ++b) {
      const auto bus = static_cast<std::size_t>(b);
      if ((*inputs.busOn)[bus] != 1) continue;
      for (std::size_t i = 0; i < busL[bus].size(); ++i) {
        busL[bus][i] = static_cast<std::int64_t>(static_cast<float>(busL[bus][i]) * gain[bus]);
        busR[bus][i] = static_cast<std::int64_t>(static_cast<float>(busR[bus][i]) * gain[bus]);
        raise(busPeaksLeft[bus], busL[bus][i]);
        raise(busPeaksRight[bus], busR[bus][i]);
      }
      encodeSaturated(busL[bus], blockAt(blocks, 2 * b));
      encodeSaturated(busR[bus], blockAt(blocks, 2 * b + 1));
    }
  } else if (mixMode == 3) {
    for (int b = 1; b < inputs.busCount; ++b) {
      const auto bus = static_cast<std::size_t>(b);
      if ((*inputs.busOn)[bus] != 1) continue;
      for (std::size_t i = 0; i < busL[bus].size(); ++i) {
        const auto yl = static_cast<std::int64_t>(static_cast<float>(busL[bus][i]) * gain[bus]);
        const auto yr = static_cast<std::int64_t>(static_cast<float>(busR[bus][i]) * gain[bus]);
        raise(busPeaksLeft[bus], yl);
        raise(busPeaksRight[bus], yr);
        busL[0][i] += masterScale * yl;
        busR[0][i] += masterScale * yr;
      }
    }
    for (std::size_t i = 0; i < busL[0].size(); ++i) {
      busL[0][i] = static_cast<std::int64_t>(static_cast<float>(busL[0][i]) * gain[0]);
      busR[0][i] = static_cast<std::int64_t>(static_cast<float>(busR[0][i]) * gain[0]);
      raise(busPeaksLeft[0], busL[0][i]);
      raise(busPeaksRight[0], busR[0][i]);
    }
    encodeSaturated(busL[0], blockAt(blocks, 0));
    encodeSaturated(busR[0], blockAt(blocks, 1));
  }
}

}  // namespace varnow
