// Small checked wrappers over stdio streams for the wave file code: a handle
// that closes itself, and seek/read/length helpers whose failures are never
// silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/status.hpp"

namespace varnow {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Closes the stream when it goes out of scope, ignoring the result: for
// streams that were only read. A written stream is closed with closeWritten().
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` with the stdio `mode` without ever blocking at the open, and
// only when it is a regular file (core/regular_file.hpp); null on failure,
// with errno set (EISDIR or kNotRegularFile for a name that is no regular file).
FileHandle openFile(const std::string& path, const char* mode);

// Flushes and closes a stream that was written to; a failure (the last
// buffered bytes could not be written) is reported naming `path`.
Status closeWritten(FileHandle file, const std::string& path);

// Moves to byte `offset` from the start. False on failure, with errno set.
bool seekTo(std::FILE* file, std::int64_t offset);

// Reads exactly `byteCount` bytes. False when fewer were read: at the end of
// the file (feof) or after a read error (ferror, errno set).
bool readExactly(std::FILE* file, void* bytes, std::size_t byteCount);

// Writes exactly `byteCount` bytes. False on failure, with errno set.
bool writeExactly(std::FILE* file, const void* bytes, std::size_t byteCount);

// The length of the file in bytes (leaves the position at the end), or -1 on
// failure with errno set.
std::int64_t fileLengthBytes(std::FILE* file);

}  // namespace varnow
