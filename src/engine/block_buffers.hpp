// The transport's block buffers: one 4096-frame block per channel side by
// side, channel k's packed samples at byte k x 12288. Allocated once at start
// and kept for the whole run, so no pass ever allocates.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "wave/sample_codec.hpp"

namespace varnow {

inline constexpr auto kBlockBytesPerChannel = static_cast<std::size_t>(kBlockBytes);

class BlockBuffer {
 public:
  explicit BlockBuffer(int channels)
      : bytes_(static_cast<std::size_t>(std::max(channels, 0)) * kBlockBytesPerChannel) {}

  std::int8_t* block(int channel) {
    return bytes_.data() + static_cast<std::size_t>(channel) * kBlockBytesPerChannel;
  }
  const std::int8_t* block(int channel) const {
    return bytes_.data() + static_cast<std::size_t>(channel) * kBlockBytesPerChannel;
  }
  void clear() { std::fill(bytes_.begin(), bytes_.end(), std::int8_t{0}); }
  std::size_t sizeBytes() const { return bytes_.size(); }
  int blockCount() const { return static_cast<int>(bytes_.size() / kBlockBytesPerChannel); }

 private:
  std::vector<std::int8_t> bytes_;
};

// The stereo mix of modes 1 and 3 lands in blocks 0 and 1 whatever the
// channel count, so a play buffer has at least these two blocks.
inline constexpr int kMixOutputBlocks = 2;

struct BlockBuffers {
  explicit BlockBuffers(int channels)
      : playA(std::max(channels, kMixOutputBlocks)),
        playB(std::max(channels, kMixOutputBlocks)),
        recordA(channels),
        recordB(channels) {}
  BlockBuffer playA;
  BlockBuffer playB;
  BlockBuffer recordA;
  BlockBuffer recordB;

  void clearAll() {
    playA.clear();
    playB.clear();
    recordA.clear();
    recordB.clear();
  }
};

}  // namespace varnow
