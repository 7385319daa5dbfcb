#include "mixer/track_read_ahead.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "wave/sample_codec.hpp"

namespace varnow {

TrackReadAhead::TrackReadAhead(int descriptor, std::string name, const WaveAttributes& attributes,
                               std::int64_t pieceBlocks)
    : descriptor_(descriptor),
      name_(std::move(name)),
      attributes_(attributes),
      pieceFrames_(std::max<std::int64_t>(pieceBlocks, 1) * kBlockFrames),
      piece_(static_cast<std::size_t>(pieceFrames_ * kBytesPerSample)) {
  // Advice only: it widens the kernel's read-ahead of a file that is not yet
  // in memory. A kernel that takes no advice reads the file all the same, so
  // a refusal is no failure of the export.
  (void)::posix_fadvise(descriptor_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

// Reads the piece of `pieceFrames_` frames that starts at timeline position
// `pieceStart`, with silence where the file has no frames. A read that fails
// or ends early leaves validEnd_ at the first frame it did not bring.
void TrackReadAhead::readPiece(Position pieceStart) {
  pieceStart_ = pieceStart;
  pieceRead_ = true;
  const Position first = std::max<Position>(pieceStart, 0);
  const Position end = std::min(pieceStart + pieceFrames_, attributes_.lengthFrames);
  std::int8_t* bytes = piece_.data();
  const auto pieceBytes = static_cast<std::int64_t>(piece_.size());
  readError_ = 0;
  if (end <= first) {
    std::fill_n(bytes, pieceBytes, std::int8_t{0});
    validEnd_ = pieceStart + pieceFrames_;
    return;
  }
  const std::int64_t startByte = (first - pieceStart) * kBytesPerSample;
  const std::int64_t endByte = (end - pieceStart) * kBytesPerSample;
  std::fill(bytes, bytes + startByte, std::int8_t{0});
  std::fill(bytes + endByte, bytes + pieceBytes, std::int8_t{0});
  const std::int64_t fileByte = attributes_.dataStart + first * kBytesPerSample;
  std::int64_t done = 0;
  const std::int64_t wanted = endByte - startByte;
  while (done < wanted) {
    const ssize_t got =
        ::pread(descriptor_, bytes + startByte + done, static_cast<std::size_t>(wanted - done),
                static_cast<off_t>(fileByte + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      readError_ = got < 0 ? errno : 0;
      validEnd_ = first + done / kBytesPerSample;
      return;
    }
    done += got;
  }
  validEnd_ = pieceStart + pieceFrames_;
}

Status TrackReadAhead::block(Position blockStart, const std::int8_t*& frames) {
  if (!pieceRead_ || blockStart < pieceStart_ ||
      blockStart + kBlockFrames > pieceStart_ + pieceFrames_) {
    readPiece(blockStart);
  }
  // The frames of this block that the file holds must all have been read.
  const Position neededEnd = std::min(blockStart + kBlockFrames, attributes_.lengthFrames);
  if (neededEnd > std::max<Position>(blockStart, 0) && neededEnd > validEnd_) {
    if (readError_ != 0) return fileFailure("read", name_, readError_);
    return Status::failure("Could not read " + name_ + ": the file ended before its samples did.");
  }
  frames = piece_.data() + (blockStart - pieceStart_) * kBytesPerSample;
  return Status::success();
}

}  // namespace varnow
