// Whole-file reading and atomic replacement of small text files (param.txt,
// the track lists).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "core/status.hpp"

namespace varnow {

// Reads everything that remains in the open stream `file` into `text`
// (replacing its content) and closes the stream in every case. `path` only
// names the file in the failure sentence. On a read error `text` holds what
// was read before it and the result is "Could not read <path>: <reason>.".
Status readWholeStream(std::FILE* file, std::string_view path, std::string& text);

// Opens `path` for reading and reads it whole into `text`, as readWholeStream.
// A file that cannot be opened gives "Could not open <path>: <reason>." and
// leaves `text` empty.
Status readWholeFile(const std::string& path, std::string& text);

// Replaces the file at `path` with exactly `text`, never leaving a half-written
// file behind:
//
//   path + ".new"  <- every byte written, flushed and synced, then closed
//   path           <- renamed over in one step, the directory synced
//                     (a ScratchFile)
//
// On success `path` holds `text`. On any failure `path` is untouched (or
// absent, if it was), the scratch file is removed, and the sentence names the
// file and the reason ("Could not write param.txt: No space left on device.").
Status writeFileAtomically(const std::string& path, std::string_view text);

}  // namespace varnow
