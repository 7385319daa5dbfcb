// Writes test and demo tracks: mono 24-bit WAV files of tones, one pitch per
// track, so that every track can be told apart by ear and by eye.
//
//   varnow_make_tracks DIR COUNT SECONDS [RATE]
//
// writes DIR/track_01.wav .. DIR/track_COUNT.wav and prints their names, one
// per line, as a play list would hold them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/print.hpp"
#include "wave/sample_codec.hpp"
#include "wave/wave_header.hpp"

namespace {

int writeTrack(const std::string& path, int index, std::int64_t frames, std::uint32_t rate) {
  if (const varnow::Status made = varnow::MAKE_HEADER(path, rate, frames, 1); !made.ok()) {
    varnow::printError("%s\n", made.message().c_str());
    return 1;
  }
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    varnow::printError("Could not open %s for writing.\n", path.c_str());
    return 1;
  }
  const double pi = 3.14159265358979323846;
  const double frequency = 110.0 * (index + 1);
  const double amplitude = 8388607.0 / 8.0;  // -18 dBFS
  std::vector<std::int64_t> samples(varnow::kBlockFrames);
  std::vector<std::int8_t> packed(varnow::kBlockBytes);
  for (std::int64_t start = 0; start < frames; start += varnow::kBlockFrames) {
    const std::int64_t count = std::min<std::int64_t>(varnow::kBlockFrames, frames - start);
    for (std::int64_t i = 0; i < count; ++i) {
      const double t = static_cast<double>(start + i) / rate;
      // A tone that pulses twice a second, so that timing is audible.
      const double pulse = 0.5 + 0.5 * std::cos(2.0 * pi * 2.0 * t);
      samples[static_cast<std::size_t>(i)] =
          std::lround(amplitude * pulse * std::sin(2.0 * pi * frequency * t));
    }
    varnow::NUM24MONO_TO_CHAR(samples.data(), packed.data(), count);
    if (std::fwrite(packed.data(), 3, static_cast<std::size_t>(count), file) !=
        static_cast<std::size_t>(count)) {
      varnow::printError("Could not write %s.\n", path.c_str());
      std::fclose(file);
      return 1;
    }
  }
  if (std::fclose(file) != 0) {
    varnow::printError("Could not write %s.\n", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    varnow::printError("usage: varnow_make_tracks DIR COUNT SECONDS [RATE]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int count = std::atoi(argv[2]);
  const double seconds = std::atof(argv[3]);
  const auto rate = static_cast<std::uint32_t>(argc > 4 ? std::atol(argv[4]) : 48000);
  const auto frames = static_cast<std::int64_t>(seconds * rate);
  for (int k = 0; k < count; ++k) {
    const std::string name = varnow::formatText("track_%02i.wav", k + 1);
    if (writeTrack(dir + "/" + name, k, frames, rate) != 0) return 1;
    varnow::printLine(name);
  }
  return 0;
}
