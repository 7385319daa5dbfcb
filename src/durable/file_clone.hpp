// Copying the bytes of a whole file as cheaply as its file system allows
// (copyWholeFile, durable.hpp, writes them beside their target).
#pragma once

#include <cstdint>
#include <string>

#include "core/status.hpp"
#include "durable/durable.hpp"

namespace varnow {

// Makes the empty file open as `toFd` a byte-for-byte copy of the
// `byteCount` bytes of the file open as `fromFd` (its whole length). Each
// method that the file systems do not offer falls through to the next one,
// starting at `first`; the bytes of the copy are the same whichever method
// made them. A failure is a sentence naming the file and the reason (a
// source that ends early included); the copy is then to be discarded.
Status copyFileBytes(int fromFd, const std::string& fromName, int toFd, const std::string& toName,
                     std::int64_t byteCount, CopyMethod first = CopyMethod::kClone);

}  // namespace varnow
