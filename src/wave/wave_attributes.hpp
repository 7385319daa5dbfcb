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

// Checks that `path` is a playable file (mono, 24 bits per sample, a data
// chunk found by the chunk walk) and fills `table[slot]`. Returns 1 when it is
// playable and 0 when it is rejected, after printing on standard output why:
//   "Cannot find file in track list called %s!!\n"     the file cannot be opened
//   "Can't find format chunk in wave file!\n"           no usable "fmt " chunk
//   "%s is not a mono file and will not be played\n"    (channels are checked first)
//   "%s is not a 24 bit file and will not be played\n"
//   "Cannot find data block in file %s!\n"
// or a sentence naming the file when it is no regular file (a directory, a
// FIFO) or reading it fails. The channel count and
// bits are stored in the slot as they are read, before they are checked; the
// sample rate is reported but not compared with the project's. A slot outside
// the table is refused (0) without a message.
int GET_ATTRIBUTES(int slot, const std::string& path, WaveAttributeTable& table);

// The playable length of `path` in frames, by the same checks as
// GET_ATTRIBUTES; 0 on any failure, after one of the lines
// "Cannot find file in track list called %s!!\n", "Can't find format chunk in
// wave file!", "Mono files only", "24 bit wave files only!" or "Can't find
// data block in wave file!" (or a sentence naming the file when reading fails).
std::int64_t GET_LENGTH(const std::string& path);

}  // namespace varnow
