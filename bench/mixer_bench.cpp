// The mix kernels against their scalar reference: one 4096-frame block step
// of 32 channels in mix modes 1, 2 and 3. Reports only; never fails on timing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"
#include "wave/sample_codec.hpp"

namespace {

constexpr int kChannels = 32;

// 32 playing channels of noise, spread over 16 busses (channel k on bus
// k mod 16, every fourth channel also on bus 1), the gains of assorted
// volumes and pans.
struct Session {
  varnow::PlayFlags flags{};
  varnow::ChannelGains gains{};
  varnow::BusGains busGains{};
  varnow::BusFlags busOn{};
  varnow::BusMatrix matrix{};
  varnow::MixInputs inputs;
  std::vector<std::int8_t> blocks;

  // The kernels overwrite their output blocks, so later steps mix other
  // samples: the same work.
  explicit Session(int mode) : blocks(kChannels * varnow::kBlockBytes) {
    std::mt19937 random(7);
    for (auto& byte : blocks)
      byte = static_cast<std::int8_t>(random());
    std::array<float, varnow::kMaxChannels> volumes{};
    std::array<float, varnow::kMaxChannels> pans{};
    for (int k = 0; k < kChannels; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      flags[slot] = 1;
      volumes[slot] = -static_cast<float>(k % 12);
      pans[slot] = static_cast<float>(k * 7 % 201 - 100);
      matrix[static_cast<std::size_t>(k % 16)][slot] = 1;
      if (k % 4 == 0) matrix[0][slot] = 1;
    }
    for (std::size_t bus = 0; bus < 16; ++bus)
      busOn[bus] = 1;
    varnow::SetVolume(pans, volumes, gains, kChannels, flags);
    std::array<float, varnow::kMaxBusses> levels{};
    levels[0] = -12.0f;
    varnow::initialBusGains(levels, busGains);
    inputs.channelCount = kChannels;
    inputs.playFlags = &flags;
    inputs.gains = &gains;
    inputs.busGains = &busGains;
    inputs.busOn = &busOn;
    inputs.busMatrix = &matrix;
    inputs.busCount = varnow::busCountFor(mode, kChannels, kChannels, 0);
  }
};

void runFast(benchmark::State& state, int mode) {
  Session session(mode);
  varnow::MixerScratch scratch;
  varnow::BusPeakTable left{};
  varnow::BusPeakTable right{};
  for (auto _ : state) {
    if (mode == 1) {
      varnow::Mix(session.blocks.data(), session.inputs, left[0], right[0], scratch);
    } else {
      varnow::MixMultiple(session.blocks.data(), session.inputs, left, right, mode, scratch);
    }
    benchmark::DoNotOptimize(session.blocks.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kChannels * varnow::kBlockFrames);
}

void runReference(benchmark::State& state, int mode) {
  Session session(mode);
  varnow::BusPeakTable left{};
  varnow::BusPeakTable right{};
  for (auto _ : state) {
    if (mode == 1) {
      varnow::referenceMix(session.blocks.data(), session.inputs, left[0], right[0]);
    } else {
      varnow::referenceMixMultiple(session.blocks.data(), session.inputs, left, right, mode);
    }
    benchmark::DoNotOptimize(session.blocks.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kChannels * varnow::kBlockFrames);
}

void BM_MixFast(benchmark::State& state) {
  runFast(state, static_cast<int>(state.range(0)));
}
void BM_MixReference(benchmark::State& state) {
  runReference(state, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_MixReference)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(BM_MixFast)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3);

}  // namespace
