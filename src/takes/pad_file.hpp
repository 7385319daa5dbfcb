// Padding a take with leading silence, so that its first sample lands at its
// place on the timeline.
#pragma once

#include <cstdint>
#include <string>

#include "takes/take_result.hpp"

namespace varnow {

// Inserts `frames` silent samples before the first sample of the mono 24-bit
// file `path`:
//
//   before:  | header ... data T..T+8 | s0 s1 s2 ...          |
//   after:   | header ... data T..T+8 | 0 .. 0 (3 x frames) | s0 s1 s2 ... |
//
// Everything up to the first sample byte (T + 8), other chunks included, is
// kept verbatim; every byte after it moves 3 x frames bytes later. The
// result is written to kPadScratch beside the file: the header, then the
// file's end moved past the silence without writing it (a hole where the
// file system makes one, so the cost is the take's, not the padding's), then
// the samples in pieces of 3072 bytes; its sizes are repaired with FIX_SIZE
// and only then is it renamed over `path`. With frames = 0 the file is still
// rewritten and its size repaired. With `keepOldAs`, the file as it was is
// renamed there instead of being replaced.
//
// Returns kNoDataChunk when the file has no data chunk (nothing is written),
// kFailed with a sentence when a file cannot be opened, read or written or
// frames is negative (or too large to address); in both cases `path` is unchanged and no scratch
// file is left. Prints nothing.
RewriteResult PAD_FILE(const std::string& path, std::int64_t frames,
                       const std::string& keepOldAs = {});

}  // namespace varnow
