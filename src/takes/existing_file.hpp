// Opening a file that the take operations read or rewrite in place.
#pragma once

#include <string>

#include "wave/file_handle.hpp"

namespace varnow {

// Opens the existing file `path` with the stdio `mode` ("rb" or "rb+"; never
// a mode that creates or truncates). Null on failure with errno set, so that
// a caller can tell a file that does not exist (ENOENT) from one it may not
// open. Every file the insert, the backup and the undo journal read or
// rewrite is opened here, so one place decides which files may be opened.
FileHandle openExistingFile(const std::string& path, const char* mode);

}  // namespace varnow
