#include "wave/wave_attributes.hpp"

#include <cerrno>
#include <cstdio>

#include "core/print.hpp"
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

void reportReadFailure(const std::string& path, int readError) {
  printLine(fileFailure("read", path, readError).message());
}

// Opens a file to be played or measured. A name that cannot be opened is
// reported as missing from the track list; one that holds no regular file (a
// directory, a FIFO that would block the open or never end) as unreadable.
FileHandle openPlayable(const std::string& path) {
  FileHandle file = openFile(path, "rb");
  if (file) return file;
  const int err = errno;
  if (refusedAsNotRegular(err)) {
    reportReadFailure(path, err);
  } else {
    print("Cannot find file in track list called %s!!\n", path.c_str());
  }
  return file;
}

}  // namespace

int GET_ATTRIBUTES(int slot, const std::string& path, WaveAttributeTable& table) {
  if (slot < 0 || slot >= static_cast<int>(table.size())) return 0;
  WaveAttributes& attributes = table[static_cast<std::size_t>(slot)];

  FileHandle file = openPlayable(path);
  if (!file) return 0;
  int readError = 0;
  FormatFields format;
  const Probe formatProbe = readFormat(file.get(), format, readError);
  if (formatProbe == Probe::kReadFailed) {
    reportReadFailure(path, readError);
    return 0;
  }
  if (formatProbe == Probe::kMissing) {
    print("Can't find format chunk in wave file!\n");
    return 0;
  }
  attributes.channels = format.channels;
  if (format.channels != 1) {
    print("%s is not a mono file and will not be played\n", path.c_str());
    return 0;
  }
  attributes.bitsPerSample = format.bitsPerSample;
  if (format.bitsPerSample != static_cast<int>(kBitsPerSample)) {
    print("%s is not a 24 bit file and will not be played\n", path.c_str());
    return 0;
  }
  attributes.bytesPerSample = kBytesPerSample;
  attributes.sampleRate = format.sampleRate;

  DataExtent data;
  const Probe dataProbe = locateData(file.get(), data, readError);
  if (dataProbe == Probe::kReadFailed) {
    reportReadFailure(path, readError);
    return 0;
  }
  if (dataProbe == Probe::kMissing) {
    print("Cannot find data block in file %s!\n", path.c_str());
    return 0;
  }
  attributes.dataStart = data.dataStart;
  attributes.lengthFrames = playableFrames(data.sizeField, data.dataStart, data.fileBytes,
                                           kBytesPerSample * format.channels);
  return 1;
}

std::int64_t GET_LENGTH(const std::string& path) {
  FileHandle file = openPlayable(path);
  if (!file) return 0;
  int readError = 0;
  FormatFields format;
  const Probe formatProbe = readFormat(file.get(), format, readError);
  if (formatProbe == Probe::kReadFailed) {
    reportReadFailure(path, readError);
    return 0;
  }
  if (formatProbe == Probe::kMissing) {
    print("Can't find format chunk in wave file!\n");
    return 0;
  }
  if (format.channels != 1) {
    print("Mono files only\n");
    return 0;
  }
  if (format.bitsPerSample != static_cast<int>(kBitsPerSample)) {
    print("24 bit wave files only!\n");
    return 0;
  }
  DataExtent data;
  const Probe dataProbe = locateData(file.get(), data, readError);
  if (dataProbe == Probe::kReadFailed) {
    reportReadFailure(path, readError);
    return 0;
  }
  if (dataProbe == Probe::kMissing) {
    print("Can't find data block in wave file!\n");
    return 0;
  }
  return playableFrames(data.sizeField, data.dataStart, data.fileBytes, kBytesPerSample);
}

}  // namespace varnow
