// The files an export must never replace: the tracks of the play list and
// the destinations of the record list, whatever name the export is given.
#pragma once

#include <string>

#include "core/status.hpp"
#include "core/track_list.hpp"

namespace varnow {

// Checks one output of an export before anything is written: `target` is the
// file the finished mix replaces, `scratch` the file it is written to first.
// The target may be no file that a named line of `playList` or of the record
// list file `recordListPath` names; the scratch no file the record list names
// (a playing one is the export's own concern). Files are compared by identity
// (device and inode), so "./a.wav", a symbolic link or a second hard link is
// the file it leads to. Lines that name no existing file are skipped, and a
// record list that does not exist names none.
//
// Returns the refusal, a sentence naming the output and what it is, or the
// failure to read a record list that is there.
Status checkExportOutput(const std::string& target, const std::string& scratch,
                         const TrackList& playList, const std::string& recordListPath);

}  // namespace varnow
