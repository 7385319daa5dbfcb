// Copying the bytes of a whole file as cheaply as its file system allows.
#pragma once

#include <cstdint>
#include <string>

#include "core/status.hpp"

namespace varnow {

// The ways of copying, cheapest first.
enum class CopyMethod {
  kClone,      // FICLONE: the copy shares the original's blocks (copy-on-write file systems)
  kCopyRange,  // copy_file_range: the kernel copies, without passing the bytes through here
  kPlainCopy,  // reads and writes in pieces of 4096 bytes
};

// Makes the empty file open as `toFd` a byte-for-byte copy of the
// `byteCount` bytes of the file open as `fromFd` (its whole length). Each
// method that the file systems do not offer falls through to the next one,
// starting at `first`; the bytes of the copy are the same whichever method
// made them. A failure is a sentence naming the file and the reason (a
// source that ends early included); the copy is then to be discarded.
Status copyFileBytes(int fromFd, const std::string& fromName, int toFd, const std::string& toName,
                     std::int64_t byteCount, CopyMethod first = CopyMethod::kClone);

}  // namespace varnow
