// Name lists as the take operations read them: the take list, the record list
// and the play list, one line per channel (see app/track_list.hpp for the
// format). Line i (0-based) belongs to channel i + 1; a line that starts with
// "-", or a line the list does not have, names no file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/track_list.hpp"

namespace varnow {

// The file named on line `index` (0-based) of `list`, or empty text.
inline const std::string& nameOnLine(const TrackList& list, int index) {
  return list.fileName(index + 1);
}

// True when channel `index` (0-based) took part in the take: its flag is set.
// A channel beyond the flags is not armed.
inline bool isArmedChannel(std::span<const std::int32_t> channelFlags, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < channelFlags.size() &&
         channelFlags[static_cast<std::size_t>(index)] != 0;
}

}  // namespace varnow
