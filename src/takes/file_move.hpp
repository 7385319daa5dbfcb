// Giving a file a new name, the way every take renaming scheme does it.
#pragma once

#include <functional>
#include <string>

#include "core/status.hpp"

namespace varnow {

// Renames `from` to `to`, replacing a file that stands at `to`. When the two
// names lie on different file systems the bytes are copied to kDataScratch
// beside `to`, that copy is renamed over `to`, and `from` is removed.
// On failure the sentence names the files and the reason; `to` is then as it
// was, except after a copy across file systems whose final removal of `from`
// failed: the file then exists under both names, and the sentence says so.
Status moveFile(const std::string& from, const std::string& to);

// Removes `path`. A file that is already gone counts as removed.
Status removeFile(const std::string& path);

// How the take operations move and remove files: moveFile and removeFile,
// unless the caller keeps a record of what it changes (decision_steps.hpp).
using FileMover = std::function<Status(const std::string& from, const std::string& to)>;
using FileRemover = std::function<Status(const std::string& path)>;

}  // namespace varnow
