// The list files a pass needs, checked and read at the start of every pass
// and on exit, and the one rule for names typed for a list file.
#pragma once

#include <string_view>

#include "core/project_settings.hpp"
#include "core/track_list.hpp"

namespace varnow {

// The current play and record lists, read whole for one pass.
struct PassLists {
  TrackList play;
  TrackList record;
};

// Before every pass and on exit: while the current play list cannot be
// opened and read, asks for another name (entry 1 of the play lists); then
// the same for the record list. There is no way to cancel but ending the
// input. Returns both lists as read.
PassLists checkListFiles(ProjectSettings& settings);

// Stores a name typed for a list file in `entry`. A name longer than a list
// entry holds (127 characters) is refused with a sentence saying so, and
// `entry` keeps its old name. Returns whether the name was taken.
bool takeListFileName(ListFileName& entry, std::string_view name);

}  // namespace varnow
