#include "takes/insert_file.hpp"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "app/print.hpp"
#include "takes/byte_copy.hpp"
#include "takes/file_names.hpp"
#include "takes/scratch_file.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"
#include "wave/size_repair.hpp"

namespace varnow {
namespace {

// Far beyond any file, and small enough that byte offsets computed from it
// (3 x position plus a file's length) cannot overflow.
constexpr Position kLargestPositionFrame = std::numeric_limits<std::int64_t>::max() / 8;

struct OpenWave {
  FileHandle file;
  std::int64_t dataStartByte = 0;
  std::int64_t dataBytes = 0;  // from the first sample byte to the end of the file
};

// Opens `path` with `mode` and finds its samples. On failure `result` says why.
OpenWave openWave(const std::string& path, const char* mode, RewriteResult& result) {
  OpenWave wave;
  wave.file = openFile(path, mode);
  if (!wave.file) {
    result = RewriteResult::failed(fileFailure("open", path, errno));
    return wave;
  }
  const DataStart data = findDataStart(wave.file.get(), path);
  if (data.outcome == RewriteOutcome::kNoDataChunk) {
    result = RewriteResult::noDataChunk();
    return wave;
  }
  if (data.outcome != RewriteOutcome::kDone) {
    result = RewriteResult::failed(Status::failure(data.message));
    return wave;
  }
  const std::int64_t fileBytes = fileLengthBytes(wave.file.get());
  if (fileBytes < 0) {
    result = RewriteResult::failed(fileFailure("read", path, errno));
    return wave;
  }
  wave.dataStartByte = data.byte;
  wave.dataBytes = std::max<std::int64_t>(fileBytes - data.byte, 0);
  return wave;
}

}  // namespace

RewriteResult INSERT_FILE(const InsertRequest& request) {
  const std::string& destinationPath = request.destination;
  const std::string& sourcePath = request.source;
  RewriteResult result = RewriteResult::done();

  const OpenWave destination = openWave(destinationPath, "rb+", result);
  if (!result.ok()) return result;
  const OpenWave source = openWave(sourcePath, "rb", result);
  if (!result.ok()) return result;

  if (request.positionFrame < 0 || request.positionFrame > kLargestPositionFrame) {
    return RewriteResult::failed(Status::failure(formatText(
        "Could not insert %s into %s at sample %li: the position is out of range.",
        sourcePath.c_str(), destinationPath.c_str(), static_cast<long>(request.positionFrame))));
  }
  const std::int64_t insertFrames =
      std::min(request.countFrames, source.dataBytes / kBytesPerSample);
  if (insertFrames <= 0) return result;

  //   Dd                Dd + 3p              Dd + 3p + 3c
  //   | kept            | source samples       | kept, as far as the destination reaches
  //   |<------------ Ld: the destination's old bytes ------------>|
  //
  // When Dd + 3p lies beyond the old end, zeros fill the gap up to it.
  const std::int64_t insertStartByte = request.positionFrame * kBytesPerSample;
  const std::int64_t insertBytes = insertFrames * kBytesPerSample;
  const std::int64_t insertEndByte = insertStartByte + insertBytes;
  const std::int64_t keptBeforeBytes = std::min(insertStartByte, destination.dataBytes);
  const std::int64_t gapBytes = insertStartByte - keptBeforeBytes;
  const std::int64_t keptAfterBytes =
      std::max<std::int64_t>(destination.dataBytes - insertEndByte, 0);
  const bool grows = insertEndByte > destination.dataBytes;

  ScratchFile inserted(destinationPath, kDataScratch, {sourcePath});
  if (!inserted.opened()) return RewriteResult::failed(inserted.opened());
  const CopyEnd fromDestination{destination.file.get(), destinationPath};
  const CopyEnd fromSource{source.file.get(), sourcePath};
  const CopyEnd to{inserted.stream(), inserted.description()};

  Status step = seekTo(destination.file.get(), 0) ? Status::success()
                                                  : fileFailure("read", destinationPath, errno);
  if (step) {
    step = copyBytes(fromDestination, to, destination.dataStartByte + keptBeforeBytes,
                     kCopyPieceBytes);
  }
  if (step) step = writeZeros(to, gapBytes, kCopyPieceBytes);
  if (step && !seekTo(source.file.get(), source.dataStartByte)) {
    step = fileFailure("read", sourcePath, errno);
  }
  if (step) step = copyBytes(fromSource, to, insertBytes, kCopyPieceBytes);
  if (step && keptAfterBytes > 0) {
    if (!seekTo(destination.file.get(), destination.dataStartByte + insertEndByte)) {
      step = fileFailure("read", destinationPath, errno);
    } else {
      step = copyBytes(fromDestination, to, keptAfterBytes, kCopyPieceBytes);
    }
  }
  if (step) step = inserted.flush();
  if (!step) return RewriteResult::failed(step);

  if (grows) {
    const SizeRepairResult repaired = FIX_SIZE(inserted.path());
    if (!repaired.ok()) return RewriteResult::failed(Status::failure(repaired.message));
  }
  step = inserted.replaceTarget();
  if (!step) return RewriteResult::failed(step);
  return RewriteResult::done();
}

}  // namespace varnow
