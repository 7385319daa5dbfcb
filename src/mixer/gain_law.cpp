// The gain law and the pan law: volumes and pans in, fixed-point gains out.
//
// Every step is written in the precision the mix relies on, so that a gain,
// and with it every mixed sample, can be predicted to the bit: levels become
// ratios through the double-precision power function, and whatever is stored
// is rounded to single precision.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/print.hpp"
#include "mixer/channel_mixer.hpp"

namespace varnow {

namespace {

// -3 dB, the level of each side at the centre: 10^(-3/20) in single precision.
constexpr float kCentreLevel = 0.70794576f;
static_assert(std::bit_cast<std::uint32_t>(kCentreLevel) == 0x3F353BEFu);

constexpr float kMaxVolumeDecibels = 12.0f;
constexpr float kMinVolumeDecibels = -144.0f;
constexpr float kMaxBusDecibels = 15.0f;
constexpr float kMinBusDecibels = -144.0f;
constexpr float kFullRight = 100.0f;
constexpr float kFullLeft = -100.0f;
// Pan travel adds up to 3 dB on the side the channel moves towards.
constexpr float kPanRiseDecibels = 3.0f;

// 10^(dB/20) in double precision, not yet rounded.
double levelRatio(float decibels) {
  return std::pow(10.0, static_cast<double>(decibels) / 20.0);
}

void clampVolumeAndPan(int channel, float& volume, float& pan) {
  if (volume > kMaxVolumeDecibels) {
    print("Volume of channel %i is too high.\n", channel);
    printLine("It has been reset to 12 dB, the maximum.");
    volume = kMaxVolumeDecibels;
  } else if (volume < kMinVolumeDecibels) {
    print("Volume of channel %i is too low.\n", channel);
    printLine("It has been reset to -144 dB, the minimum.");
    volume = kMinVolumeDecibels;
  }
  if (pan > kFullRight) {
    print("Pan of channel %i is too extreme.\n", channel);
    printLine("It has been reset to 100, fully right");
    pan = kFullRight;
  } else if (pan < kFullLeft) {
    print("Pan of channel %i is too extreme.\n", channel);
    printLine("It has been reset to -100, fully left");
    pan = kFullLeft;
  }
}

struct PanFactors {
  float left = kCentreLevel;
  float right = kCentreLevel;
};

// The pan law. The side the channel moves towards rises linearly in dB from
// -3 dB at the centre to 0 dB at the end of travel; the other side falls
// linearly in amplitude from -3 dB to silence.
//
//   pan:    -100 ........... 0 ........... 100
//   left:   0 dB      rising | -3 dB  falling   silence
//   right:  silence  falling | -3 dB  rising    0 dB
PanFactors panFactors(float pan) {
  PanFactors factors;
  if (pan > 0.0f) {
    factors.left = (100.0f - pan) * kCentreLevel / 100.0f;
    const double rise = levelRatio(pan * kPanRiseDecibels / 100.0f);
    factors.right = static_cast<float>(static_cast<double>(kCentreLevel) * rise);
  } else if (pan < 0.0f) {
    const double rise = levelRatio(-pan * kPanRiseDecibels / 100.0f);
    factors.left = static_cast<float>(static_cast<double>(kCentreLevel) * rise);
    factors.right = kCentreLevel * (pan + 100.0f) / 100.0f;
  }
  return factors;
}

bool inBusRange(float levelDecibels) {
  return levelDecibels >= kMinBusDecibels && levelDecibels <= kMaxBusDecibels;
}

}  // namespace

float dBtoRatio(float decibels, float scale) {
  return static_cast<float>(levelRatio(decibels) * static_cast<double>(scale));
}

void SetVolume(std::array<float, kMaxChannels>& pans, std::array<float, kMaxChannels>& volumes,
               ChannelGains& gains, int channelCount, const PlayFlags& playFlags, float scale) {
  const int count =
      channelCount < 0 ? 0 : (channelCount > kMaxChannels ? kMaxChannels : channelCount);
  for (int channel = 0; channel < count; ++channel) {
    const auto slot = static_cast<std::size_t>(channel);
    clampVolumeAndPan(channel + 1, volumes[slot], pans[slot]);
  }
  for (std::size_t slot = 0; slot < playFlags.size(); ++slot) {
    if (playFlags[slot] != 1) continue;  // a channel that does not play keeps its gains
    const float volumeGain = dBtoRatio(volumes[slot], scale);
    const PanFactors factors = panFactors(pans[slot]);
    gains.left[slot] = volumeGain * factors.left;
    gains.right[slot] = volumeGain * factors.right;
  }
}

int SetBusVolume(BusGains& gains, float levelDecibels, int busIndex, int scale) {
  if (busIndex < 0 || busIndex >= kMaxBusses || !inBusRange(levelDecibels) || scale < 1) return 0;
  const float inverseScale = 1.0f / static_cast<float>(scale);
  gains[static_cast<std::size_t>(busIndex)] =
      inverseScale * static_cast<float>(levelRatio(levelDecibels));
  return 1;
}

float boundedBusLevel(float levelDecibels) {
  return std::clamp(levelDecibels, kMinBusDecibels, kMaxBusDecibels);
}

void initialBusGains(const std::array<float, kMaxBusses>& levels, BusGains& gains) {
  constexpr float kInverseMasterScale = 1.0f / static_cast<float>(kMasterScale);  // 0.00390625
  for (std::size_t bus = 0; bus < levels.size(); ++bus) {
    if (!inBusRange(levels[bus])) continue;  // keeps the gain it has
    gains[bus] = static_cast<float>(levelRatio(levels[bus])) * kInverseMasterScale;
  }
}

}  // namespace varnow
