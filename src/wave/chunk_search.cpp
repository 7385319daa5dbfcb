#include "wave/chunk_search.hpp"

#include <cerrno>
#include <cstring>

#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

constexpr std::int64_t kChunkHeaderBytes = 8;  // 4-byte id + 4-byte size

ChunkLocation readFailure(int err) {
  ChunkLocation location;
  location.outcome = ChunkSearchOutcome::kReadFailed;
  location.readError = err;
  return location;
}

}  // namespace

ChunkLocation findChunk(std::FILE* file, std::string_view chunkId) {
  if (chunkId.size() != 4) return {};
  std::int64_t tagByte = kFirstChunkByte;
  for (int chunk = 0; chunk < kMaxChunksWalked; ++chunk) {
    if (!seekTo(file, tagByte)) return readFailure(errno);
    std::uint8_t header[kChunkHeaderBytes];
    if (!readExactly(file, header, sizeof header)) {
      if (std::ferror(file) != 0) return readFailure(errno);
      return {};  // the list ends (or breaks off) before the chunk
    }
    if (std::memcmp(header, chunkId.data(), 4) == 0) {
      ChunkLocation location;
      location.outcome = ChunkSearchOutcome::kFound;
      location.tagByte = tagByte;
      location.sizeField = Assem4(header + 4);
      return location;
    }
    // Skipping uses the size as the unsigned 32-bit number it is.
    const std::int64_t bodyBytes = Assem4(header + 4) & 0xFFFFFFFF;
    tagByte += kChunkHeaderBytes + bodyBytes + (bodyBytes & 1);
  }
  return {};
}

}  // namespace varnow
