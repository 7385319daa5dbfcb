// Feeds arbitrary bytes to the mix kernels as one block step: every stage set
// this processor runs (portable, and AVX2 where present) must give the output
// blocks and the peaks of the scalar reference to the bit, whatever the
// samples, gains, routing and mode.
//
// The first bytes choose the set-up: the channel count, the mode, then per
// channel its play flag, both gains (from a table reaching the integer gain
// limit, both signs) and its busses; then the bus gains. The rest are the
// packed samples, repeated to fill every block.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"
#include "mixer/mix_stages.hpp"
#include "wave/sample_codec.hpp"

namespace {

constexpr float kGains[] = {0.0f,    1.0f,    0.99f,   -0.99f,   181.23f, 256.0f, -57.9f, 724.1f,
                            1019.0f, 2048.5f, 4096.0f, -4096.0f, 3.0f,    -1.5f,  100.0f, 4095.9f};
constexpr float kBusGains[] = {1.0f / 256.0f, 1.0f, 0.5f, 0.0221f, 3e-5f, 0.0f, 0.7f, 0.0039f};

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  std::uint8_t next() { return at < size ? data[at++] : 0; }
};

struct Step {
  varnow::PlayFlags flags{};
  varnow::ChannelGains gains{};
  varnow::BusGains busGains{};
  varnow::BusFlags busOn{};
  varnow::BusMatrix matrix{};
  varnow::MixInputs inputs;
  std::vector<std::int8_t> blocks;
  varnow::BusPeakTable left{};
  varnow::BusPeakTable right{};
};

// Mixes `step` in `mode` with the kernels or with the reference.
void mix(Step& step, int mode, bool reference, varnow::MixerScratch& scratch) {
  if (mode == 1 && reference) {
    varnow::referenceMix(step.blocks.data(), step.inputs, step.left[0], step.right[0]);
  } else if (mode == 1) {
    varnow::Mix(step.blocks.data(), step.inputs, step.left[0], step.right[0], scratch);
  } else if (reference) {
    varnow::referenceMixMultiple(step.blocks.data(), step.inputs, step.left, step.right, mode);
  } else {
    varnow::MixMultiple(step.blocks.data(), step.inputs, step.left, step.right, mode, scratch);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnow::MixerScratch scratch;
  Reader in{data, size};
  const int channels = 1 + in.next() % 24;
  const int mode = 1 + in.next() % 3;
  Step step;
  for (int k = 0; k < channels; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    const std::uint8_t choice = in.next();
    step.flags[slot] = choice & 1;
    step.gains.left[slot] = kGains[(choice >> 1) % 16];
    step.gains.right[slot] = kGains[in.next() % 16];
    const std::uint8_t busses = in.next();
    for (std::size_t bus = 0; bus < 8; ++bus)
      step.matrix[bus * 8 + (choice >> 5)][slot] = (busses >> bus) & 1;
  }
  for (std::size_t bus = 0; bus < varnow::kMaxBusses; ++bus) {
    const std::uint8_t choice = in.next();
    step.busOn[bus] = choice & 1;
    step.busGains[bus] = kBusGains[(choice >> 1) % 8];
  }
  // The stereo mix lands in blocks 0 and 1 whatever the channel count.
  step.blocks.resize(static_cast<std::size_t>(std::max(channels, 2)) * varnow::kBlockBytes);
  const std::size_t sampleBytes = size - in.at;
  for (std::size_t i = 0; i < step.blocks.size(); ++i)
    step.blocks[i] = static_cast<std::int8_t>(sampleBytes == 0 ? 0 : data[in.at + i % sampleBytes]);
  step.inputs = {channels,
                 &step.flags,
                 &step.gains,
                 &step.busGains,
                 &step.busOn,
                 &step.matrix,
                 varnow::busCountFor(mode, channels, channels, 0)};

  Step expected = step;
  expected.inputs = {channels,    &step.flags,  &step.gains,         &step.busGains,
                     &step.busOn, &step.matrix, step.inputs.busCount};
  mix(expected, mode, true, scratch);
  const varnow::MixStageSet original = varnow::mixStageSet();
  for (const auto set : {varnow::MixStageSet::kPortable, varnow::MixStageSet::kAvx2}) {
    if (!varnow::useMixStageSet(set)) continue;
    Step fast = step;
    mix(fast, mode, false, scratch);
    if (fast.blocks != expected.blocks || fast.left != expected.left ||
        fast.right != expected.right) {
      std::abort();
    }
  }
  varnow::useMixStageSet(original);
  return 0;
}
