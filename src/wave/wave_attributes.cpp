#include "wave/wave_attributes.hpp"

#include <cerrno>
#include <cstdio>

#include "core/regular_file.hpp"
#include "core/status.hpp"
#include "wave/chunk_search.hpp"
#include "wave/file_handle.hpp"
#include "wave/length_rule.hpp"
#include "wave/sample_codec.hpp"
#include "wave/wave_header.hpp"

namespace varnow {
namespace {

enum class Probe { kOk, kMissing, kReadFailed };

// The format chunk body, from its first byte at T + 8:
//
//   T+8  T+10      T+12  T+16      T+20   T+22  T+24
//   | tag | channels | rate | byte rate | align | bits |
//
// Only channels, rate and bits are read; the tag, byte rate and block align
// are not checked, so WAVE_FORMAT_EXTENSIBLE files (40-byte body) are read
// the same way.
constexpr std::size_t kFormatFieldBytes = 16;

struct FormatFields {
  int channels = 0;
  std::int64_t sampleRate = 0;
  int bitsPerSample = 0;
};

struct DataExtent {
  std::int64_t dataStart = 0;
  std::int64_t sizeField = 0;
  std::int64_t fileBytes = 0;
};

Probe readFormat(std::FILE* file, FormatFields& fields, int& readError) {
  const ChunkLocation format = findChunk(file, kFormatChunkId);
  if (format.outcome == ChunkSearchOutcome::kReadFailed) {
    readError = format.readError;
    return Probe::kReadFailed;
  }
  // A body too short to hold the fields is no usable format chunk.
  if (!format.found() || (format.sizeField & 0xFFFFFFFF) < 16) return Probe::kMissing;

  std::uint8_t body[kFormatFieldBytes];
  if (!seekTo(file, format.bodyByte())) {
    readError = errno;
    return Probe::kReadFailed;
  }
  if (!readExactly(file, body, sizeof body)) {
    if (std::ferror(file) == 0) return Probe::kMissing;  // the file ends inside the chunk
    readError = errno;
    return Probe::kReadFailed;
  }
  fields.channels = static_cast<int>(Assem2(body + 2));
  fields.sampleRate = Assem4(body + 4);
  fields.bitsPerSample = static_cast<int>(Assem2(body + 14));
  return Probe::kOk;
}

Probe locateData(std::FILE* file, DataExtent& extent, int& readError) {
  const ChunkLocation data = findChunk(file, kDataChunkId);
  if (data.outcome == ChunkSearchOutcome::kReadFailed) {
    readError = data.readError;
    return Probe::kReadFailed;
  }
  if (!data.found()) return Probe::kMissing;
  extent.dataStart = data.bodyByte();
  extent.sizeField = data.sizeField;
  extent.fileBytes = fileLengthBytes(file);
  if (extent.fileBytes < 0) {
    readError = errno;
    return Probe::kReadFailed;
  }
  return Probe::kOk;
}

// Opens a file to be played or measured. A name that holds no regular file
// (a directory, a FIFO that would block the open or never end) is unreadable;
// any other failure means the file is missing.
FileHandle openPlayable(const std::string& path, WaveCheck& check) {
  FileHandle file = openFile(path, "rb");
  if (file) return file;
  const int err = errno;
  check = refusedAsNotRegular(err) ? WaveCheck{WaveFault::kUnreadable, err}
                                   : WaveCheck{WaveFault::kMissing, err};
  return file;
}

// Reads the format and data chunks of an open file; what a playable file
// must hold (mono, 24 bits per sample, a data chunk) is checked in the order
// the messages are given: channels before bits.
WaveCheck probe(std::FILE* file, FormatFields& format, DataExtent& data,
                WaveAttributes* attributes) {
  int readError = 0;
  const Probe formatProbe = readFormat(file, format, readError);
  if (formatProbe == Probe::kReadFailed) return {WaveFault::kUnreadable, readError};
  if (formatProbe == Probe::kMissing) return {WaveFault::kNoFormatChunk, 0};
  if (attributes != nullptr) attributes->channels = format.channels;
  if (format.channels != 1) return {WaveFault::kNotMono, 0};
  if (attributes != nullptr) attributes->bitsPerSample = format.bitsPerSample;
  if (format.bitsPerSample != static_cast<int>(kBitsPerSample)) return {WaveFault::kNot24Bit, 0};
  if (attributes != nullptr) {
    attributes->bytesPerSample = kBytesPerSample;
    attributes->sampleRate = format.sampleRate;
  }
  const Probe dataProbe = locateData(file, data, readError);
  if (dataProbe == Probe::kReadFailed) return {WaveFault::kUnreadable, readError};
  if (dataProbe == Probe::kMissing) return {WaveFault::kNoDataChunk, 0};
  return {};
}

}  // namespace

WaveCheck GET_ATTRIBUTES(int slot, const std::string& path, WaveAttributeTable& table) {
  if (slot < 0 || slot >= static_cast<int>(table.size())) return {WaveFault::kNoSlot, 0};
  WaveAttributes& attributes = table[static_cast<std::size_t>(slot)];
  WaveCheck check;
  const FileHandle file = openPlayable(path, check);
  if (!file) return check;
  FormatFields format;
  DataExtent data;
  check = probe(file.get(), format, data, &attributes);
  if (!check.playable()) return check;
  attributes.dataStart = data.dataStart;
  attributes.lengthFrames = playableFrames(data.sizeField, data.dataStart, data.fileBytes,
                                           kBytesPerSample * format.channels);
  return check;
}

WaveLength GET_LENGTH(const std::string& path) {
  WaveLength length;
  const FileHandle file = openPlayable(path, length.check);
  if (!file) return length;
  FormatFields format;
  DataExtent data;
  length.check = probe(file.get(), format, data, nullptr);
  if (length.check.playable()) {
    length.frames = playableFrames(data.sizeField, data.dataStart, data.fileBytes, kBytesPerSample);
  }
  return length;
}

WaveFormat readWaveFormat(const std::string& path) {
  WaveFormat stated;
  WaveCheck check;
  const FileHandle file = openPlayable(path, check);
  if (!file) return stated;
  FormatFields format;
  int readError = 0;
  if (readFormat(file.get(), format, readError) != Probe::kOk) return stated;
  stated.found = true;
  stated.channels = format.channels;
  stated.sampleRate = format.sampleRate;
  stated.bitsPerSample = format.bitsPerSample;
  return stated;
}

namespace {

std::string readFailureLine(const std::string& path, const WaveCheck& check) {
  return fileFailure("read", path, check.error).message() + "\n";
}

}  // namespace

std::string playFileRejection(const std::string& path, const WaveCheck& check) {
  switch (check.fault) {
    case WaveFault::kNone:
    case WaveFault::kNoSlot:
      return {};
    case WaveFault::kMissing:
      return "Cannot find file in track list called " + path + "!!\n";
    case WaveFault::kUnreadable:
      return readFailureLine(path, check);
    case WaveFault::kNoFormatChunk:
      return "Can't find format chunk in wave file!\n";
    case WaveFault::kNotMono:
      return path + " is not a mono file and will not be played\n";
    case WaveFault::kNot24Bit:
      return path + " is not a 24 bit file and will not be played\n";
    case WaveFault::kNoDataChunk:
      return "Cannot find data block in file " + path + "!\n";
  }
  return {};
}

std::string lengthRejection(const std::string& path, const WaveCheck& check) {
  switch (check.fault) {
    case WaveFault::kNotMono:
      return "Mono files only\n";
    case WaveFault::kNot24Bit:
      return "24 bit wave files only!\n";
    case WaveFault::kNoDataChunk:
      return "Can't find data block in wave file!\n";
    default:
      return playFileRejection(path, check);
  }
}

}  // namespace varnow
