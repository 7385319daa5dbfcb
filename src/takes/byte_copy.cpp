#include "takes/byte_copy.hpp"

#include <algorithm>
#include <array>
#include <cerrno>

#include "core/scratch_file.hpp"
#include "core/stop_request.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

constexpr std::size_t kLargestPiece = 4096;

std::size_t pieceSize(std::int64_t bytesLeft, std::size_t pieceBytes) {
  const std::size_t piece = std::clamp<std::size_t>(pieceBytes, 1, kLargestPiece);
  return bytesLeft < static_cast<std::int64_t>(piece) ? static_cast<std::size_t>(bytesLeft) : piece;
}

}  // namespace

Status copyBytes(CopyEnd from, CopyEnd to, std::int64_t byteCount, std::size_t pieceBytes) {
  std::array<std::uint8_t, kLargestPiece> piece{};
  std::int64_t bytesLeft = byteCount;
  while (bytesLeft > 0) {
    if (stopRequested()) return stoppedWriting(to.name);
    const std::size_t bytes = pieceSize(bytesLeft, pieceBytes);
    errno = 0;
    const std::size_t bytesRead = std::fread(piece.data(), 1, bytes, from.stream);
    if (bytesRead != bytes) {
      if (std::ferror(from.stream) != 0) return fileFailure("read", from.name, errno);
      const std::int64_t missing = bytesLeft - static_cast<std::int64_t>(bytesRead);
      return Status::failure("Could not read " + from.name + ": the file ended " +
                             std::to_string(missing) + " bytes early.");
    }
    if (!writeExactly(to.stream, piece.data(), bytes)) return fileFailure("write", to.name, errno);
    bytesLeft -= static_cast<std::int64_t>(bytes);
  }
  return Status::success();
}

}  // namespace varnow
