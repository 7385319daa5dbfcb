// Finding the longest file named in a play list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnow {

// Returns the greatest playable length in frames (GET_LENGTH) among the first
// `count` entries of the list file `listPath`; 0 when there is none. Entries
// are the non-empty lines of the list; an entry whose first character is the
// first character of `marker` (the skip marker) is passed over. Every entry
// measured prints "Checking file %s\n" after whatever GET_LENGTH printed.
// A list that cannot be opened prints "Playlist file called %s was not
// found!\n" and gives 0; one that cannot be read prints a sentence naming it.
std::int64_t SEEK_LONG_FILE(int count, std::string_view marker, const std::string& listPath);

}  // namespace varnow
