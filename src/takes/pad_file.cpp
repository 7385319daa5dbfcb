#include "takes/pad_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <limits>

#include "core/print.hpp"
#include "core/scratch_file.hpp"
#include "durable/durable.hpp"
#include "takes/byte_copy.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"
#include "wave/size_repair.hpp"

namespace varnow {
namespace {

// Moves the scratch file's end to `endByte` without writing: the bytes
// between read as zeros, and where the file system makes holes they take no
// space on the disk (elsewhere the file system writes the zeros itself).
Status skipSilence(ScratchFile& padded, std::int64_t endByte) {
  Status flushed = padded.flush();
  if (!flushed) return flushed;
  std::FILE* stream = padded.stream();
  errno = 0;
  if (::ftruncate(::fileno(stream), static_cast<off_t>(endByte)) != 0 || !seekTo(stream, endByte)) {
    return fileFailure("write", padded.description(), errno);
  }
  return Status::success();
}

}  // namespace

RewriteResult PAD_FILE(const std::string& path, std::int64_t frames, const std::string& keepOldAs) {
  if (frames < 0 || frames > std::numeric_limits<std::int64_t>::max() / kBytesPerSample) {
    return RewriteResult::failed(
        Status::failure(formatText("Could not pad %s with %li samples: the count is out of range.",
                                   path.c_str(), static_cast<long>(frames))));
  }
  if (Status settled = prepareForUse(path); !settled) return RewriteResult::failed(settled);
  // Opened for updating although only read: a file that may not be written
  // is refused here rather than replaced.
  FileHandle input = openFile(path, "rb+");
  if (!input) return RewriteResult::failed(fileFailure("open", path, errno));

  const DataStart data = findDataStart(input.get(), path);
  if (data.outcome == RewriteOutcome::kNoDataChunk) return RewriteResult::noDataChunk();
  if (data.outcome != RewriteOutcome::kDone) {
    return RewriteResult::failed(Status::failure(data.message));
  }
  const std::int64_t fileBytes = fileLengthBytes(input.get());
  if (fileBytes < 0 || !seekTo(input.get(), 0)) {
    return RewriteResult::failed(fileFailure("read", path, errno));
  }

  ScratchFile padded(path, kPadScratch);
  if (!padded.opened()) return RewriteResult::failed(padded.opened());
  const CopyEnd from{input.get(), path};
  const CopyEnd to{padded.stream(), padded.description()};

  //   0 ........ T+8 | 3 x frames bytes of silence | T+8 ........ fileBytes
  //   header, copied   a hole, never written          the old samples, copied
  Status step = copyBytes(from, to, data.byte, kSamplePieceBytes);
  if (step) step = skipSilence(padded, data.byte + frames * kBytesPerSample);
  if (step) step = copyBytes(from, to, fileBytes - data.byte, kSamplePieceBytes);
  if (step) step = padded.flush();
  if (!step) return RewriteResult::failed(step);

  const SizeRepairResult repaired = FIX_SIZE(padded.path());
  if (!repaired.ok()) return RewriteResult::failed(Status::failure(repaired.message));

  input.reset();
  step = padded.replaceTarget(keepOldAs);
  if (!step) return RewriteResult::failed(step);
  return RewriteResult::done();
}

}  // namespace varnow
