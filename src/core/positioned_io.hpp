// Reading and writing a file at a byte offset, whole, and making a new or
// removed directory entry last: what the files rewritten in place and their
// records (undo journal, decision record) are built from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/status.hpp"

namespace varnow {

// How a read that meets the file's end before `endByte` is taken.
enum class EarlyEnd {
  kSilence,  // the rest reads as zeros (the file was cut short meanwhile)
  kFailure,  // a failure, with errno EIO
};

// Reads `count` bytes from `offset`, retrying interrupted and short reads;
// bytes at or beyond `endByte` (the file's length) read as zeros. False on a
// read error, with errno set.
bool readAt(int fd, std::int64_t offset, void* bytes, std::int64_t count, std::int64_t endByte,
            EarlyEnd early = EarlyEnd::kSilence);

// Writes `count` bytes at `offset`, retrying interrupted and short writes.
// False on a write error, with errno set (EIO for a write that wrote nothing).
bool writeAt(int fd, std::int64_t offset, const void* bytes, std::int64_t count);
inline bool writeAt(int fd, std::int64_t offset, std::string_view bytes) {
  return writeAt(fd, offset, bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

// Syncs `directory`, so that an entry made or removed there stays so after
// a crash.
Status syncDirectory(const std::string& directory);

// The same for the directory that holds `path`.
Status syncDirectoryOf(const std::string& path);

}  // namespace varnow
