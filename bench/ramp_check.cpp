// varnow_ramp_check: how many frames of the paced card's ramp a recording
// lost. The card (varnow_pacer --ramp) gives input k, frame f the value
// k x 2^20 + f mod 2^20; a take that holds every frame it delivered counts up
// by one from its first sample to its last. Every frame missing between them,
// whether skipped or written as silence, is counted.
//
//   varnow_ramp_check FILE...
//
// prints, per file, the frames missing from its worst channel (input 1,
// whose tag silence shares, is not counted), the number of
// stretches they form, and the frames it holds: "missing 13312 gaps 1 frames 576000".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint32_t field(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

struct Count {
  std::int64_t missing = 0, gaps = 0, frames = 0;
};

// The frames of `channel` whose tag is `tag`; frames are unwrapped across
// 2^20 (21.8 s at 48 kHz). A sample of another tag (silence) is a missing
// frame.
Count countChannel(const std::string& bytes, std::size_t data, std::int64_t frames, int channels,
                   int channel, int tag) {
  Count count;
  count.frames = frames;
  std::int64_t expected = -1, unwrap = 0, last = -1;
  for (std::int64_t i = 0; i < frames; ++i) {
    const std::size_t at = data + static_cast<std::size_t>((i * channels + channel) * 3);
    const std::uint32_t value = field(bytes, at, 3);
    if (static_cast<int>(value >> 20) != tag) continue;
    std::int64_t frame = (value & 0xFFFFF) + unwrap;
    if (last >= 0 && frame < last - (1 << 19)) {
      unwrap += 1 << 20;
      frame += 1 << 20;
    }
    last = frame;
    if (expected >= 0 && frame != expected) {
      count.missing += frame - expected;
      ++count.gaps;
    }
    expected = frame + 1;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  for (int n = 1; n < argc; ++n) {
    std::ifstream in(argv[n], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int channels = 0;
    std::size_t data = 0, dataBytes = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
      const std::string id = bytes.substr(at, 4);
      const std::size_t size = field(bytes, at + 4, 4);
      if (id == "fmt " && at + 12 <= bytes.size())
        channels = static_cast<int>(field(bytes, at + 10, 2));
      if (id == "data") {
        data = at + 8;
        dataBytes = std::min(size, bytes.size() - data);
        break;
      }
      at += 8 + size + (size & 1);
    }
    if (channels <= 0 || data == 0) {
      std::fprintf(stderr, "varnow_ramp_check: %s is no 24-bit WAV file\n", argv[n]);
      status = 1;
      continue;
    }
    const auto frames =
        static_cast<std::int64_t>(dataBytes / (3 * static_cast<std::size_t>(channels)));
    // Input 1 carries tag 0, which silence shares: only the others count.
    Count worst;
    for (int c = 0; c < channels; ++c) {
      const int tag =
          channels == 1 && frames > 0 ? static_cast<int>(field(bytes, data, 3) >> 20) : c;
      if (tag == 0) continue;
      const Count count = countChannel(bytes, data, frames, channels, c, tag);
      if (count.missing >= worst.missing) worst = count;
    }
    std::printf("missing %lld gaps %lld frames %lld\n", static_cast<long long>(worst.missing),
                static_cast<long long>(worst.gaps), static_cast<long long>(worst.frames));
  }
  return status;
}
