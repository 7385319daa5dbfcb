// Finding a chunk of a RIFF/WAVE file by walking its chunk list.
//
//   0      4      8      12                        12 + 8 + size (+1 pad if odd)
//   | RIFF | size | WAVE | id | size | body ...   | id | size | body ...
//                        ^ T                       ^ next T
//
// Every reader of wave files (the attribute reader, the size repair, the take
// file operations and the crossfade) finds "fmt " and "data" this way. Fields
// are addressed from T, the offset of the chunk id: for the format chunk the
// channel count is at T + 10, the sample rate at T + 12 and the bits per
// sample at T + 22; for the data chunk the size is at T + 4 and the first
// sample byte at T + 8. For the 44-byte header this system writes, T is 12 for
// "fmt " and 36 for "data".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace varnow {

inline constexpr std::string_view kFormatChunkId = "fmt ";
inline constexpr std::string_view kDataChunkId = "data";

// The chunk list starts after "RIFF", the RIFF size and "WAVE". The three
// fields themselves are not checked.
inline constexpr std::int64_t kFirstChunkByte = 12;
// A bound on the chunks examined, so that a file made of millions of empty
// chunks cannot stall a reader. Real files hold a handful.
inline constexpr int kMaxChunksWalked = 4096;

enum class ChunkSearchOutcome {
  kFound,
  kNotFound,    // no such chunk, or the chunk list breaks off before it
  kReadFailed,  // a seek or read failed (not merely the end of the file)
};

struct ChunkLocation {
  ChunkSearchOutcome outcome = ChunkSearchOutcome::kNotFound;
  std::int64_t tagByte = -1;   // T: offset of the chunk id
  std::int64_t sizeField = 0;  // the size field at T + 4, sign-extended as Assem4 reads it
  int readError = 0;           // errno of the failure when outcome is kReadFailed

  bool found() const { return outcome == ChunkSearchOutcome::kFound; }
  // Offset of the chunk's first body byte: T + 8 (the first sample byte of "data").
  std::int64_t bodyByte() const { return tagByte + 8; }
};

// Walks the chunk list of the open file from kFirstChunkByte and returns the
// first chunk whose 4-byte id equals `chunkId`. Each chunk is skipped by its
// size field plus a pad byte after an odd size, so chunks of any size, and
// bytes inside them that happen to spell an id, are passed over. The chunk
// found may claim more bytes than the file holds (a take that was never
// closed properly); callers apply the length rule. A chunk before it that
// runs past the end of the file ends the walk with kNotFound. The stream
// position afterwards is unspecified.
ChunkLocation findChunk(std::FILE* file, std::string_view chunkId);

}  // namespace varnow
