// The mix kernels against their scalar reference: one 4096-frame block step
// of 32 channels in mix modes 1, 2 and 3, with the stages this processor
// chooses (AVX2 where present) and with the portable ones, beside a plain
// memcpy of the same blocks. bytes_per_second counts the packed samples read
// (32 x 12288 bytes a step), so the kernels compare with the copy directly.
// Reports only; never fails on timing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"
#include "mixer/mix_stages.hpp"
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

void countBytes(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kChannels * varnow::kBlockFrames);
  state.SetBytesProcessed(state.iterations() * kChannels * varnow::kBlockBytes);
}

void runFast(benchmark::State& state, int mode, varnow::MixStageSet set) {
  const varnow::MixStageSet original = varnow::mixStageSet();
  if (!varnow::useMixStageSet(set)) {
    state.SkipWithError("this processor cannot run these stages");
    return;
  }
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
  countBytes(state);
  varnow::useMixStageSet(original);
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
  countBytes(state);
}

// The floor the kernels are held against: copying the blocks they read.
void BM_MemcpyBlocks(benchmark::State& state) {
  Session session(1);
  std::vector<std::int8_t> copy(session.blocks.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), session.blocks.data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  countBytes(state);
}
BENCHMARK(BM_MemcpyBlocks);

void BM_MixFast(benchmark::State& state) {
  runFast(state, static_cast<int>(state.range(0)), varnow::MixStageSet::kAvx2);
}
void BM_MixPortable(benchmark::State& state) {
  runFast(state, static_cast<int>(state.range(0)), varnow::MixStageSet::kPortable);
}
void BM_MixReference(benchmark::State& state) {
  runReference(state, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_MixReference)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(BM_MixPortable)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(BM_MixFast)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3);

}  // namespace
