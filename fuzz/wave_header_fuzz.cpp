// Feeds arbitrary bytes to the wave readers as a file: GET_ATTRIBUTES and
// GET_LENGTH must neither crash, hang nor read out of bounds, whatever the
// chunk list says.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wave/wave_attributes.hpp"

namespace {

// One scratch path per process, written for every input and removed after it.
const std::string& scratchPath() {
  static const std::string path = "/tmp/varnow_wave_fuzz_" + std::to_string(getpid()) + ".wav";
  return path;
}

void silenceOutputOnce() {
  static const bool silenced = [] {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return true;
  }();
  (void)silenced;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  silenceOutputOnce();
  std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();

  static varnow::WaveAttributeTable table{};
  const bool playable = varnow::GET_ATTRIBUTES(3, scratchPath(), table).playable();
  const varnow::WaveLength length = varnow::GET_LENGTH(scratchPath());
  const std::int64_t frames = length.frames;
  std::remove(scratchPath().c_str());  // leave nothing behind when the run stops
  // Both apply the same checks, so they must agree; a length never exceeds
  // what the file holds.
  if (playable != length.check.playable()) std::abort();
  if (playable && frames != table[3].lengthFrames) std::abort();
  if (frames < 0 || frames > static_cast<std::int64_t>(size) / 3) std::abort();
  return 0;
}
