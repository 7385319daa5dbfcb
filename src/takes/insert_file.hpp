// Punching one wave file's samples into another, in place.
#pragma once

#include <cstdint>
#include <string>

#include "core/project_settings.hpp"
#include "takes/take_result.hpp"

namespace varnow {

struct InsertRequest {
  std::string destination;       // the file whose samples are overwritten
  std::string source;            // the file whose first samples are punched in (the take)
  Position positionFrame = 0;    // p: the destination sample the source's first sample replaces
  std::int64_t countFrames = 0;  // n: how many source samples are punched in
  std::int64_t fadeFrames = 0;   // the crossfade at each end; 0 for none
  // Where the undo journal of the complete insert is kept; empty: removed.
  std::string keepJournalAs = {};
};

// Overwrites the destination's samples from sample p with the first n
// samples of the source (both mono 24-bit files; samples are found by the
// chunk walk and run to the end of each file), blending both ends with the
// old material when fadeFrames > 0:
//
//   destination  | header | ...old... | dp ............... d(p+n-1) | ...old... |
//   source                            | s0 ............... s(n-1)   |
//   result       | header | ...old... | head | s ...... | tail      | ...old... |
//                                      <- L ->           <-- L -->
//
// L = min(fadeFrames, n): a fade is never longer than the take. The head
// fade runs from the old material into the source over [p, p + L), the tail
// fade from the source back into the old material over [p + n - L, p + n),
// both with the equal-power law (crossfade.hpp) and both computed from the
// files as they were before the call; where they overlap (n < 2L) the tail
// fade is the one written. A fade that starts beyond the end of a file is
// refused with "Invalid crossfade for destination file at sample %li\n" or
// "Invalid crossfade for source file at sample %li\n" (the head fade is
// checked first, its destination being the old material; the tail fade's
// destination is the source, its source the old material) and that end goes
// in without a fade. With fades on, a file without a data chunk prints
// "Data block not found error" once for each fade before kNoDataChunk.
//
// n is cut to the samples the source holds. When the region passes the
// destination's end the destination grows: a gap between its old end and p
// reads as silence (a hole where the file system makes one) and its sizes
// are rewritten as FIX_SIZE would. Otherwise the header stays as it was.
//
// Cost: the work is proportional to the region, never to the destination.
// The region's old bytes (and the two size fields when the destination
// grows) are saved in an undo journal beside it and synced; then every byte
// of the region is written once, in place, in stream order, followed by one
// sync of the destination; then the journal is removed. A failed write, or a
// stop request seen between two pieces, plays the journal back: the
// destination is then byte for byte as it was. A journal left beside the
// destination by an insert that did not finish is settled first: played
// back when it belongs to the file there (its line printed), and otherwise
// the insert is refused.
//
// Returns kAbsent when the destination does not exist (ENOENT, and no dangling link); kNoDataChunk
// when either file has no data chunk (nothing is written); kFailed with a
// sentence when a file cannot be opened (the destination is opened for
// updating, so a file that may not be written is refused), read or written,
// the two are the same file, p is out of range, or the insert was stopped;
// the destination is then as it was (or, when even the journal could not be
// written back, the sentence says that it will be before the destination is
// next used, or at the next start), except after a complete insert whose
// journal could not be removed, which the sentence says too (such a journal
// is never applied): the take is to be kept in every failure.
RewriteResult INSERT_FILE(const InsertRequest& request);

}  // namespace varnow
