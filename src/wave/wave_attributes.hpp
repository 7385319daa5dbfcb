// Reading the attributes of a play file or take: the format chunk's fields,
// where the samples start and how many frames can be played.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/project_settings.hpp"

namespace varnow {

struct WaveAttributes {
  int channels = 0;               // the format chunk's channel field
  std::int64_t dataStart = 0;     // byte offset of the first sample byte
  std::int64_t sampleRate = 0;    // the format chunk's rate field, sign-extended from 32 bits
  std::int64_t lengthFrames = 0;  // frames that can be played (the length rule)
  int bytesPerSample = 0;         // 3 once accepted
  int bitsPerSample = 0;          // the format chunk's bits field

  friend bool operator==(const WaveAttributes&, const WaveAttributes&) = default;
};

// One slot per playback (or capture) channel, indexed 0 .. kMaxChannels - 1.
using WaveAttributeTable = std::array<WaveAttributes, kMaxChannels>;

// Why a file cannot be played (or measured).
enum class WaveFault {
  kNone,
  kNoSlot,         // the slot lies outside the table
  kMissing,        // the file cannot be opened
  kUnreadable,     // no regular file (a directory, a FIFO), or reading failed
  kNoFormatChunk,  // no usable "fmt " chunk
  kNotMono,        // checked before the bits
  kNot24Bit,
  kNoDataChunk,
};

struct WaveCheck {
  WaveFault fault = WaveFault::kNone;
  int error = 0;  // the errno behind kMissing and kUnreadable
  bool playable() const { return fault == WaveFault::kNone; }
};

// Checks that `path` is a playable file (mono, 24 bits per sample, a data
// chunk found by the chunk walk) and fills `table[slot]`. The channel count
// and bits are stored in the slot as they are read, before they are checked;
// the sample rate is reported but not compared with the project's. Prints
// nothing: the caller prints playFileRejection() for a file it will not play.
WaveCheck GET_ATTRIBUTES(int slot, const std::string& path, WaveAttributeTable& table);

struct WaveLength {
  WaveCheck check;
  std::int64_t frames = 0;  // the playable length; 0 unless check.playable()
};

// The playable length of `path` in frames, by the same checks as
// GET_ATTRIBUTES. Prints nothing: the caller prints lengthRejection().
WaveLength GET_LENGTH(const std::string& path);

// The format chunk's fields as the file states them, unjudged.
struct WaveFormat {
  bool found = false;  // false: no file to read, or no usable format chunk
  int channels = 0;
  std::int64_t sampleRate = 0;
  int bitsPerSample = 0;
};

// Reads the format chunk of `path` (found by the chunk walk). Prints nothing.
WaveFormat readWaveFormat(const std::string& path);

// The line (newline included) that tells a user why a play file is not
// played:
//   "Cannot find file in track list called %s!!\n"     the file cannot be opened
//   "Can't find format chunk in wave file!\n"
//   "%s is not a mono file and will not be played\n"
//   "%s is not a 24 bit file and will not be played\n"
//   "Cannot find data block in file %s!\n"
// or "Could not read <path>: <reason>." for a name that holds no regular file
// or a read that failed. Empty for a playable file.
std::string playFileRejection(const std::string& path, const WaveCheck& check);

// The same for a file being measured, where three faults have words of their
// own: "Mono files only", "24 bit wave files only!" and "Can't find data
// block in wave file!".
std::string lengthRejection(const std::string& path, const WaveCheck& check);

}  // namespace varnow
