// Moving bytes between open files piece by piece, with every read and write
// checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/status.hpp"

namespace varnow {

// Pieces of 1024 packed samples: PAD_FILE's unit of copying.
inline constexpr std::size_t kSamplePieceBytes = 3072;
// The unit of copying a file across file systems.
inline constexpr std::size_t kCopyPieceBytes = 4096;

// One side of a copy: the stream and how a failure sentence names it.
struct CopyEnd {
  std::FILE* stream;
  const std::string& name;
};

// Copies `byteCount` bytes from the reader's current position to the
// writer's, in pieces of at most `pieceBytes` (the last piece is the
// remainder). A reader that ends early is a failure ("Could not read X: the
// file ended N bytes early."), as is any failed read or write, and a stop
// request (Ctrl-C, SIGTERM, SIGHUP), which is looked at before every piece:
// the writer then stays unfinished and the caller discards it.
Status copyBytes(CopyEnd from, CopyEnd to, std::int64_t byteCount, std::size_t pieceBytes);

}  // namespace varnow
