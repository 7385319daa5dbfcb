// Punching one wave file's samples into another.
#pragma once

#include <cstdint>
#include <string>

#include "app/project_settings.hpp"
#include "takes/take_result.hpp"

namespace varnow {

struct InsertRequest {
  std::string destination;       // the file whose samples are overwritten
  std::string source;            // the file whose first samples are punched in
  Position positionFrame = 0;    // p: the destination sample the source's first sample replaces
  std::int64_t countFrames = 0;  // c: how many source samples are punched in
};

// Overwrites the destination's samples from sample p with the first c samples
// of the source (both mono 24-bit files; samples are found by the chunk walk
// and run to the end of each file):
//
//   destination:  | header | d0 ... d(p-1) | dp ... d(p+c-1) | d(p+c) ...  |
//   result:       | header | d0 ... d(p-1) | s0 ... s(c-1)   | d(p+c) ...  |
//
// When p + c passes the destination's end the destination grows; a gap
// between its old end and p reads as silence, and its sizes are repaired with
// FIX_SIZE. Otherwise the header stays byte for byte as it was. c is cut to
// the samples the source holds; with nothing to punch in (c <= 0 or an empty
// source) the destination is left alone.
//
// The destination is never changed in place: the result is written to
// kDataScratch beside it in pieces of 4096 bytes and renamed over it when
// complete. Returns kNoDataChunk when either file has no data chunk (checked
// before anything is written), kFailed with a sentence when a file cannot be
// opened (the destination is opened for updating, so a file that may not be
// written is refused), read or written, or p is negative; the destination is
// then as it was and no scratch file is left. Prints nothing.
RewriteResult INSERT_FILE(const InsertRequest& request);

}  // namespace varnow
