// Removing the files of a name list (the take list, after a take is discarded
// or merged into its destinations).
#pragma once

#include "durable/durable.hpp"

#include <string_view>

#include "takes/take_result.hpp"

namespace varnow {

// Removes the files named on the first `count` lines of `list`; lines that
// name no file are skipped. A file that is already gone counts as removed.
// Returns one outcome per line 0 .. count - 1; prints nothing.
ChannelOutcomes REMOVE_FILES(int count, std::string_view list,
                             const FileRemover& remove = removeFile);

}  // namespace varnow
