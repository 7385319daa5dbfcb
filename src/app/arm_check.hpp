// The listings of record-ready inputs ('lr') and play-ready tracks ('lp'),
// read afresh from the list file each time.
#pragma once

#include <string>

#include "core/project_settings.hpp"

namespace varnow {

// Prints the record listing of the list file `recordListName`: one
// "In k  ARMED  name" line for every named line among the first `inputs`
// counted lines. Lines starting with `skipMarker` print nothing. Returns
// true, or prints "Cannot find recordlist file called <name>" (or, for a file
// that opens but cannot be read, the reason) and returns false.
bool REC_ARM_CHECK(int inputs, char skipMarker, const std::string& recordListName);

// Prints the play listing of the list file `playListName`: for every named
// line among the first `tracks` counted lines, the first 12 characters of the
// name, "ON" or "off" from `solo`, and the outputs the track reaches in mix
// mode `mixMode` (0 direct, 1 stereo mix, 2 busses to their own pairs, 3
// busses to outputs 1 and 2). Outputs beyond `outputs` are shown in
// parentheses. Returns true, or prints "Playlist file called <name> was not
// found!" (or the reason a file that opens cannot be read) and returns false.
bool PLAY_ARM_CHECK(int tracks, int outputs, char skipMarker,
                    const decltype(ProjectSettings::solo)& solo, const std::string& playListName,
                    const decltype(ProjectSettings::busMatrix)& busMatrix, int mixMode,
                    const decltype(ProjectSettings::busOn)& busOn);

}  // namespace varnow
