#include "takes/insert_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <span>
#include <vector>

#include "core/file_paths.hpp"
#include "core/positioned_io.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "durable/durable.hpp"
#include "takes/crossfade.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

// Far beyond any file, and small enough that byte offsets computed from it
// (3 x position plus a file's length) cannot overflow.
constexpr Position kLargestPositionFrame = std::numeric_limits<std::int64_t>::max() / 8;
constexpr std::int64_t kRiffSizeByte = 4;
constexpr std::int64_t kRiffHeaderBytes = 8;  // "RIFF" and the RIFF size precede what it counts
constexpr std::int64_t kSizeFieldBytes = 4;

struct OpenWave {
  FileHandle file;
  int fd = -1;
  std::int64_t fileBytes = 0;
  std::int64_t dataStartByte = 0;  // T + 8
  bool hasData = false;

  std::int64_t dataBytes() const { return std::max<std::int64_t>(fileBytes - dataStartByte, 0); }
};

// Opens `path` with `mode` and finds its samples; a file without a data
// chunk opens with hasData false.
RewriteResult openWave(const std::string& path, const char* mode, OpenWave& wave) {
  wave.file = openFile(path, mode);
  if (!wave.file) {
    const int err = errno;
    const Status failure = fileFailure("open", path, err);
    return trulyAbsent(path, err) ? RewriteResult::absent(failure) : RewriteResult::failed(failure);
  }
  wave.fd = ::fileno(wave.file.get());
  struct stat info {};
  if (::fstat(wave.fd, &info) != 0) return RewriteResult::failed(fileFailure("read", path, errno));
  wave.fileBytes = static_cast<std::int64_t>(info.st_size);
  const DataStart data = findDataStart(wave.file.get(), path);
  if (data.outcome == RewriteOutcome::kNoDataChunk) return RewriteResult::done();
  if (data.outcome != RewriteOutcome::kDone) {
    return RewriteResult::failed(Status::failure(data.message));
  }
  wave.dataStartByte = data.byte;
  wave.hasData = true;
  return RewriteResult::done();
}

// True when sample `startFrame` (0 .. 2 x kLargestPositionFrame) begins
// inside the file's samples or right at their end.
bool startsInside(const OpenWave& wave, Position startFrame) {
  return wave.dataStartByte + startFrame * kBytesPerSample <= wave.fileBytes;
}

// What the insert writes, in frames counted from p:
//
//   k:           0 ........ L ............ n-L ......... n
//   head fade    |<-- L --->|                               old -> source
//   source       |<---------- copiedFrames ---------->|
//   tail fade                              |<--- L ----->|  source -> old
//   written      |<---------------- spanFrames --------------->|
//
// Frames of the span that neither the source nor a fade covers (a source
// file shorter than n) keep their old bytes.
struct Layout {
  std::int64_t takeFrames = 0;    // n
  std::int64_t copiedFrames = 0;  // the source's samples that are copied
  std::int64_t fadeFrames = 0;    // L
  bool head = false;
  bool tail = false;
  std::int64_t spanFrames = 0;
  std::int64_t startByte = 0;  // where frame 0 of the span lies in the destination
};

// Decides which fades can be made, printing a line for each that cannot.
void planFades(const OpenWave& destination, const OpenWave& source, Position punchFrame,
               Layout& layout) {
  if (startsInside(destination, punchFrame)) {
    layout.head = true;
  } else {
    print("Invalid crossfade for destination file at sample %li\n", static_cast<long>(punchFrame));
  }
  const Position tailInSource = layout.takeFrames - layout.fadeFrames;
  const Position tailInDestination = punchFrame + tailInSource;
  if (!startsInside(source, tailInSource)) {
    print("Invalid crossfade for destination file at sample %li\n",
          static_cast<long>(tailInSource));
  } else if (!startsInside(destination, tailInDestination)) {
    print("Invalid crossfade for source file at sample %li\n",
          static_cast<long>(tailInDestination));
  } else {
    layout.tail = true;
  }
}

std::int64_t decode(const std::int8_t* packed) {
  std::int64_t sample = 0;
  CHAR_TO_NUM32(packed, &sample, kBytesPerSample, 1);
  return sample;
}

// Frames [firstFrame, firstFrame + frames) of the span from the old bytes
// and the source bytes of the same frames.
void compose(const Layout& layout, std::int64_t firstFrame, std::int64_t frames,
             const std::int8_t* oldBytes, const std::int8_t* sourceBytes, std::int8_t* out) {
  // The source's samples, then the old ones past its end, copied whole; the
  // fades written over them, the tail fade last where the two overlap.
  const std::int64_t endFrame = firstFrame + frames;
  const std::int64_t fromSource =
      std::clamp(layout.copiedFrames - firstFrame, std::int64_t{0}, frames);
  std::memcpy(out, sourceBytes, static_cast<std::size_t>(fromSource * kBytesPerSample));
  std::memcpy(out + fromSource * kBytesPerSample, oldBytes + fromSource * kBytesPerSample,
              static_cast<std::size_t>((frames - fromSource) * kBytesPerSample));
  const auto fade = [&](std::int64_t begin, std::int64_t end, std::int64_t fadeStart,
                        bool toSource) {
    for (std::int64_t k = std::max(begin, firstFrame); k < std::min(end, endFrame); ++k) {
      const std::int64_t i = (k - firstFrame) * kBytesPerSample;
      const std::int64_t from = decode(toSource ? oldBytes + i : sourceBytes + i);
      const std::int64_t to = decode(toSource ? sourceBytes + i : oldBytes + i);
      const std::int64_t blended = crossfadeSample(from, to, k - fadeStart, layout.fadeFrames);
      NUM24MONO_TO_CHAR(&blended, out + i, 1);
    }
  };
  if (layout.head) fade(0, layout.fadeFrames, 0, true);
  const std::int64_t tailStart = layout.takeFrames - layout.fadeFrames;
  if (layout.tail) fade(tailStart, layout.takeFrames, tailStart, false);
}

// Everything an insert reads while it composes the new bytes.
struct Composer {
  const Layout& layout;
  const OpenWave& source;
  const std::string& sourcePath;
  std::vector<std::int8_t> sourcePiece = std::vector<std::int8_t>(kJournalPieceBytes);

  // The new bytes of the span from byte `atByte` on (a whole number of
  // samples), from the old bytes there and the source's samples.
  Status operator()(std::int64_t atByte, std::span<const std::uint8_t> oldBytes,
                    std::span<std::uint8_t> newBytes) {
    const std::int64_t firstFrame = atByte / kBytesPerSample;
    const auto bytes = static_cast<std::int64_t>(newBytes.size());
    if (!readAt(source.fd, source.dataStartByte + atByte, sourcePiece.data(), bytes,
                source.fileBytes)) {
      return fileFailure("read", sourcePath, errno);
    }
    compose(layout, firstFrame, bytes / kBytesPerSample,
            reinterpret_cast<const std::int8_t*>(oldBytes.data()), sourcePiece.data(),
            reinterpret_cast<std::int8_t*>(newBytes.data()));
    return Status::success();
  }
};

// The size fields of a destination that grew, as FIX_SIZE writes them from
// its new length:
//
//   0      4                     T      T+4         T+8                   F
//   | RIFF | F - 8 | ... chunks  | data | F - (T+8) | samples ...         |
RewrittenStretch sizeField(std::int64_t offsetByte, std::int64_t value) {
  return {offsetByte, kSizeFieldBytes,
          [value](std::int64_t, std::span<const std::uint8_t>, std::span<std::uint8_t> field) {
            Decon4(value, field.data());
            return Status::success();
          }};
}

}  // namespace

RewriteResult INSERT_FILE(const InsertRequest& request) {
  const std::string& destinationPath = request.destination;
  const std::string& sourcePath = request.source;
  // A journal left beside the destination by an insert that did not finish
  // is settled before anything reads the destination.
  if (Status settled = prepareForUse(destinationPath); !settled) {
    return RewriteResult::failed(settled);
  }

  OpenWave destination;
  if (RewriteResult opened = openWave(destinationPath, "rb+", destination); !opened.ok()) {
    return opened;
  }
  OpenWave source;
  if (RewriteResult opened = openWave(sourcePath, "rb", source); !opened.ok()) {
    return RewriteResult::failed(Status::failure(opened.message()));
  }
  Layout layout;
  layout.takeFrames = std::clamp<std::int64_t>(request.countFrames, 0, kLargestPositionFrame);
  layout.fadeFrames = std::clamp<std::int64_t>(request.fadeFrames, 0, layout.takeFrames);
  if (!destination.hasData || !source.hasData) {
    // Each fade looks for the samples of both files and reports a miss.
    if (layout.fadeFrames > 0) {
      printLine("Data block not found error");
      printLine("Data block not found error");
    }
    return RewriteResult::noDataChunk();
  }
  if (sameFile(destinationPath, sourcePath)) {
    return RewriteResult::failed(
        Status::failure(formatText("Could not insert %s into %s: they are the same file.",
                                   sourcePath.c_str(), destinationPath.c_str())));
  }
  const Position punchFrame = request.positionFrame;
  if (punchFrame < 0 || punchFrame > kLargestPositionFrame) {
    return RewriteResult::failed(Status::failure(
        formatText("Could not insert %s into %s at sample %li: the position is out of range.",
                   sourcePath.c_str(), destinationPath.c_str(), static_cast<long>(punchFrame))));
  }
  if (layout.fadeFrames > 0) planFades(destination, source, punchFrame, layout);

  layout.copiedFrames = std::min(layout.takeFrames, source.dataBytes() / kBytesPerSample);
  layout.spanFrames = std::max({layout.copiedFrames, layout.head ? layout.fadeFrames : 0,
                                layout.tail ? layout.takeFrames : 0});
  if (layout.spanFrames <= 0) return RewriteResult::done();
  layout.startByte = destination.dataStartByte + punchFrame * kBytesPerSample;
  const std::int64_t endByte = layout.startByte + layout.spanFrames * kBytesPerSample;
  const std::int64_t oldBytes = destination.fileBytes;
  const std::int64_t newBytes = std::max(oldBytes, endByte);

  // What the insert rewrites: the size fields when the destination grows,
  // and the span.
  std::vector<RewrittenStretch> stretches;
  if (newBytes > oldBytes) {
    stretches.push_back(sizeField(kRiffSizeByte, newBytes - kRiffHeaderBytes));
    stretches.push_back(sizeField(destination.dataStartByte - kSizeFieldBytes,
                                  newBytes - destination.dataStartByte));
  }
  Composer composer{layout, source, sourcePath};
  stretches.push_back({layout.startByte, endByte - layout.startByte, std::ref(composer)});
  if (Status rewritten = rewriteInPlace(destinationPath, destination.fd, oldBytes, newBytes,
                                        stretches, request.keepJournalAs);
      !rewritten) {
    return RewriteResult::failed(rewritten);
  }
  return RewriteResult::done();
}

}  // namespace varnow
