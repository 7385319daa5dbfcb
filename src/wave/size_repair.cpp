#include "wave/size_repair.hpp"

#include <cerrno>
#include <cstdint>
#include <utility>

#include "core/status.hpp"
#include "wave/chunk_search.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

constexpr std::int64_t kRiffSizeByte = 4;
constexpr std::int64_t kRiffHeaderBytes = 8;  // "RIFF" and the RIFF size precede what it counts

SizeRepairResult fileFailed(const Status& status) {
  return {SizeRepairOutcome::kFileFailed, status.message()};
}

// Writes a 32-bit size field at `offset`.
bool writeSizeField(std::FILE* file, std::int64_t offset, std::int64_t value) {
  std::uint8_t field[4];
  Decon4(value, field);
  return seekTo(file, offset) && writeExactly(file, field, sizeof field);
}

}  // namespace

SizeRepairResult FIX_SIZE(const std::string& path) {
  FileHandle file = openFile(path, "rb+");
  if (!file) return fileFailed(fileFailure("open", path, errno));

  const ChunkLocation data = findChunk(file.get(), kDataChunkId);
  if (data.outcome == ChunkSearchOutcome::kReadFailed) {
    return fileFailed(fileFailure("read", path, data.readError));
  }
  if (!data.found()) return {SizeRepairOutcome::kNoDataChunk, std::string(kNoDataBlockLine)};

  const std::int64_t fileBytes = fileLengthBytes(file.get());
  if (fileBytes < 0) return fileFailed(fileFailure("read", path, errno));

  if (!writeSizeField(file.get(), data.tagByte + 4, fileBytes - data.bodyByte()) ||
      !writeSizeField(file.get(), kRiffSizeByte, fileBytes - kRiffHeaderBytes)) {
    return fileFailed(fileFailure("write", path, errno));
  }
  const Status closed = closeWritten(std::move(file), path);
  if (!closed) return fileFailed(closed);
  return {};
}

}  // namespace varnow
