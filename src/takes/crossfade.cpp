#include "takes/crossfade.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "app/print.hpp"
#include "app/status.hpp"
#include "core/stop_request.hpp"
#include "wave/chunk_search.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

constexpr std::int64_t kPieceFrames = 1024;
constexpr std::int64_t kLargestSample = 8388607;
constexpr std::int64_t kSmallestSample = -8388608;

CrossfadeResult failure(int code, const Status& status) {
  return {code, status.message()};
}

// One input of the blend, positioned at the first byte of its region.
struct FadeInput {
  const std::string& path;
  int code;  // the code that names this input in a result
  FileHandle file;
  std::int64_t fileBytes = 0;
  std::int64_t dataStartByte = 0;
};

// Opens the input; no message is printed for a failure.
CrossfadeResult open(FadeInput& input) {
  input.file = openFile(input.path, "rb");
  if (!input.file) return failure(input.code, fileFailure("open", input.path, errno));
  input.fileBytes = fileLengthBytes(input.file.get());
  if (input.fileBytes < 0) return failure(input.code, fileFailure("read", input.path, errno));
  return {};
}

// Finds the first sample byte, printing "Data block not found error" when
// there is no data chunk.
CrossfadeResult findSamples(FadeInput& input) {
  const ChunkLocation data = findChunk(input.file.get(), kDataChunkId);
  if (data.outcome == ChunkSearchOutcome::kReadFailed) {
    return failure(input.code, fileFailure("read", input.path, data.readError));
  }
  if (!data.found()) {
    printLine("Data block not found error");
    return {input.code, {}};
  }
  input.dataStartByte = data.bodyByte();
  return {};
}

// True when sample `startFrame` begins inside the file or right at its end.
bool startsInside(const FadeInput& input, Position startFrame) {
  constexpr Position kLargestFrame = std::numeric_limits<std::int64_t>::max() / 8;
  if (startFrame < 0 || startFrame > kLargestFrame) return false;
  const std::int64_t startByte = input.dataStartByte + startFrame * kBytesPerSample;
  return startByte <= input.fileBytes;
}

// Reads up to `frames` packed samples; what lies past the end of the file
// reads as silence.
CrossfadeResult readPiece(FadeInput& input, std::int8_t* packed, std::int64_t frames) {
  const auto bytes = static_cast<std::size_t>(frames * kBytesPerSample);
  errno = 0;
  const std::size_t bytesRead = std::fread(packed, 1, bytes, input.file.get());
  if (bytesRead < bytes) {
    if (std::ferror(input.file.get()) != 0) {
      return failure(input.code, fileFailure("read", input.path, errno));
    }
    std::memset(packed + bytesRead, 0, bytes - bytesRead);
  }
  return {};
}

}  // namespace

std::int64_t crossfadeSample(std::int64_t destinationSample, std::int64_t sourceSample,
                             std::int64_t k, std::int64_t lengthFrames) {
  const double theta =
      static_cast<double>(k) / static_cast<double>(lengthFrames) * kFadeQuarterTurn;
  const double blended = static_cast<double>(destinationSample) * std::cos(theta) +
                         static_cast<double>(sourceSample) * std::sin(theta);
  // Truncation toward zero; both inputs are 24-bit, so the blend fits easily.
  const auto truncated = static_cast<std::int64_t>(blended);
  return std::clamp(truncated, kSmallestSample, kLargestSample);
}

CrossfadeResult CROSSFADE(const CrossfadeRequest& request) {
  FadeInput destination{request.destination, kCrossfadeDestinationProblem, {}};
  FadeInput source{request.source, kCrossfadeSourceProblem, {}};
  if (CrossfadeResult opened = open(destination); !opened.ok()) return opened;
  if (CrossfadeResult opened = open(source); !opened.ok()) return opened;
  FileHandle output = openFile(request.output, "ab");
  if (!output) {
    return failure(kCrossfadeOutputProblem, fileFailure("open", request.output, errno));
  }

  if (CrossfadeResult found = findSamples(destination); !found.ok()) return found;
  if (CrossfadeResult found = findSamples(source); !found.ok()) return found;

  if (!startsInside(destination, request.destinationStartFrame)) {
    print("Invalid crossfade for destination file at sample %li\n",
          static_cast<long>(request.destinationStartFrame));
    return {kCrossfadeDestinationProblem, {}};
  }
  if (!startsInside(source, request.sourceStartFrame)) {
    print("Invalid crossfade for source file at sample %li\n",
          static_cast<long>(request.sourceStartFrame));
    return {kCrossfadeSourceProblem, {}};
  }
  if (request.lengthFrames <= 0) return {};

  if (!seekTo(destination.file.get(),
              destination.dataStartByte + request.destinationStartFrame * kBytesPerSample)) {
    return failure(destination.code, fileFailure("read", destination.path, errno));
  }
  if (!seekTo(source.file.get(),
              source.dataStartByte + request.sourceStartFrame * kBytesPerSample)) {
    return failure(source.code, fileFailure("read", source.path, errno));
  }

  std::array<std::int8_t, kPieceFrames * kBytesPerSample> destinationPacked{};
  std::array<std::int8_t, kPieceFrames * kBytesPerSample> sourcePacked{};
  std::array<std::int8_t, kPieceFrames * kBytesPerSample> blendedPacked{};
  std::array<std::int64_t, kPieceFrames> destinationSamples{};
  std::array<std::int64_t, kPieceFrames> sourceSamples{};
  std::array<std::int64_t, kPieceFrames> blendedSamples{};

  for (std::int64_t k = 0; k < request.lengthFrames; k += kPieceFrames) {
    // A stop request abandons the fade; its caller removes the output.
    if (stopRequested()) {
      return failure(kCrossfadeOutputProblem, fileFailure("write", request.output, EINTR));
    }
    const std::int64_t frames = std::min(kPieceFrames, request.lengthFrames - k);
    if (CrossfadeResult read = readPiece(destination, destinationPacked.data(), frames);
        !read.ok()) {
      return read;
    }
    if (CrossfadeResult read = readPiece(source, sourcePacked.data(), frames); !read.ok()) {
      return read;
    }
    CHAR_TO_NUM32(destinationPacked.data(), destinationSamples.data(), kBytesPerSample, frames);
    CHAR_TO_NUM32(sourcePacked.data(), sourceSamples.data(), kBytesPerSample, frames);
    for (std::int64_t j = 0; j < frames; ++j) {
      const auto at = static_cast<std::size_t>(j);
      blendedSamples[at] =
          crossfadeSample(destinationSamples[at], sourceSamples[at], k + j, request.lengthFrames);
    }
    NUM24MONO_TO_CHAR(blendedSamples.data(), blendedPacked.data(), frames);
    if (!writeExactly(output.get(), blendedPacked.data(),
                      static_cast<std::size_t>(frames * kBytesPerSample))) {
      return failure(kCrossfadeOutputProblem, fileFailure("write", request.output, errno));
    }
  }
  const Status closed = closeWritten(std::move(output), request.output);
  if (!closed) return failure(kCrossfadeOutputProblem, closed);
  return {};
}

}  // namespace varnow
