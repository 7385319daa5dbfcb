// Track lists: the record list names one destination file per hardware input,
// the play list one source file per track.
//
// A list is plain text, one name per line. Empty lines do not count; counted
// line k belongs to channel k. A line that starts with the skip marker "-"
// gives its channel no file. Otherwise the whole line, blanks included, is
// the file name:
//
//   a.wav        counted line 1 -> channel 1 plays/records a.wav
//                (empty: not counted)
//   -            counted line 2 -> channel 2 skipped
//   my take.wav  counted line 3 -> channel 3, name "my take.wav"
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.hpp"

namespace varnow {

inline constexpr char kSkipMarker = '-';
// Every per-channel table holds 256 entries; counted lines beyond are ignored.
inline constexpr int kMaxListLines = 256;

class TrackList {
 public:
  // Number of counted lines, 0..256 (skipped lines included).
  int lineCount() const { return static_cast<int>(names_.size()); }

  // The file name of channel `channel` (1-based), or empty text when the
  // channel's line is skipped or the list has no such line.
  const std::string& fileName(int channel) const;

  // True when channel `channel` (1-based) has a file name.
  bool isNamed(int channel) const { return !fileName(channel).empty(); }

  friend bool operator==(const TrackList& a, const TrackList& b) = default;

 private:
  friend TrackList parseTrackList(std::string_view text, char skipMarker);

  std::vector<std::string> names_;  // one per counted line; empty = skipped
};

// Splits `text` at newlines into the counted lines of a track list. A final
// line without a newline counts like any other. Only the first character of a
// line is compared with `skipMarker`.
TrackList parseTrackList(std::string_view text, char skipMarker = kSkipMarker);

// Reads the open stream `file` whole (any size), closes it in every case, and
// parses it into `list` with `skipMarker`. `path` names the file in the
// failure sentence. On a read error `list` is left empty.
Status readTrackList(std::FILE* file, const std::string& path, TrackList& list,
                     char skipMarker = kSkipMarker);

// Opens the list file `path` and reads it as readTrackList does. The open
// never blocks and takes only a regular file. Nothing comes back when no file
// of that name can be opened (errno says why; the caller reports it as
// missing). Otherwise the read's status: a name that holds no regular file (a
// directory, a FIFO) gives "Could not read <path>: <reason>." as a read
// failure does, and an empty `list`.
std::optional<Status> readExistingTrackList(const std::string& path, TrackList& list,
                                            char skipMarker = kSkipMarker);

// As readExistingTrackList; a file that cannot be opened gives "Could not
// open <path>: <reason>." and an empty `list`.
Status readTrackListFile(const std::string& path, TrackList& list);

}  // namespace varnow
