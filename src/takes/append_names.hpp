// Keeping a take under names made from the record list: "<base>_<text>.wav".
#pragma once

#include "durable/durable.hpp"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/console_input.hpp"
#include "takes/take_result.hpp"

namespace varnow {

struct AppendNamesRequest {
  int count = 0;                               // channels 0 .. count - 1 are considered
  std::string_view takeList;                   // line i: channel i's take file
  std::string_view recordList;                 // line i: the name whose base is used
  std::span<const std::int32_t> channelFlags;  // 1 for the channels of the take
  // When set, runs for each channel once its new name is settled and before
  // its take is renamed; false leaves that take under its old name (the hook
  // has said why) and the channel's outcome skipped.
  std::function<bool(int channel)> beforeRename;
  FileMover move = moveFile;
};

// For every armed channel i, in increasing order, renames take line i to
// appendedName(record line i, appendText), "%s_%s.wav", and prints
// "%s -> %s\n" (old name, new name) once it is done.
//
// A name that is already taken is asked about first (an overwrite-all flag
// starts clear for each call):
//   "\nFile %s exists!\n", then the three lines "\n'o' to overwrite one file",
//   "'O' (shift-o) to overwrite all conflicts," and "'n' to try a new append
//   name" until an answer starts with 'o', 'O' or 'n' (other answers repeat
//   the three lines). 'o' overwrites this file; 'O' overwrites it and every
//   later conflict of this call; 'n' prints "Enter new append name", reads a
//   word into `appendText` and tries again with it. The new text stays for
//   the following channels and is left in `appendText` for the caller.
//
// A channel whose take line names no file is skipped; an armed channel whose
// record line names no file fails (its take is kept). A failed rename leaves
// the take under its old name and prints nothing; its outcome says why.
// Throws InputEnded when the replies run out.
ChannelOutcomes APPEND_NAMES(const AppendNamesRequest& request, std::string& appendText,
                             ConsoleInput& replies = console());

}  // namespace varnow
