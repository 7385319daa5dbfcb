// Block encode and decode of packed 24-bit samples, and reading a play file's
// attributes. Reports only; never fails on timing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "wave/sample_codec.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_header.hpp"

namespace {

void BM_BlockEncode(benchmark::State& state) {
  std::vector<std::int64_t> samples(varnow::kBlockFrames);
  for (std::int64_t i = 0; i < varnow::kBlockFrames; ++i) {
    samples[static_cast<std::size_t>(i)] = (i * 2047) % 16777216 - 8388608;
  }
  std::vector<std::int8_t> packed(varnow::kBlockBytes);
  for (auto _ : state) {
    varnow::NUM24MONO_TO_CHAR(samples.data(), packed.data());
    benchmark::DoNotOptimize(packed.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * varnow::kBlockFrames);
}
BENCHMARK(BM_BlockEncode);

void BM_BlockDecode(benchmark::State& state) {
  std::vector<std::int8_t> packed(varnow::kBlockBytes);
  for (std::size_t i = 0; i < packed.size(); ++i) {
    packed[i] = static_cast<std::int8_t>(static_cast<std::uint8_t>(i * 37u));
  }
  std::vector<std::int64_t> samples(varnow::kBlockFrames);
  for (auto _ : state) {
    varnow::CHAR_TO_NUM32(packed.data(), samples.data(), varnow::kBytesPerSample);
    benchmark::DoNotOptimize(samples.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * varnow::kBlockFrames);
}
BENCHMARK(BM_BlockDecode);

void BM_GetAttributes(benchmark::State& state) {
  const std::string path = "/tmp/varnow_codec_bench_" + std::to_string(getpid()) + ".wav";
  if (!varnow::MAKE_HEADER(path, 48000, 48000, 1).ok()) {
    state.SkipWithError("cannot create the benchmark file");
    return;
  }
  // One second of silence after the header, as a recorded take would hold.
  std::FILE* file = std::fopen(path.c_str(), "ab");
  const std::vector<std::int8_t> silence(48000 * varnow::kBytesPerSample, 0);
  bool written = false;
  if (file != nullptr) {
    written = std::fwrite(silence.data(), 1, silence.size(), file) == silence.size();
    written = std::fclose(file) == 0 && written;
  }
  if (!written) {
    std::remove(path.c_str());
    state.SkipWithError("cannot write the benchmark file");
    return;
  }
  varnow::WaveAttributeTable table{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(varnow::GET_ATTRIBUTES(0, path, table));
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_GetAttributes);

}  // namespace
