// Opening the files the program reads or rewrites (play files, takes, track
// lists, param.txt, export inputs): never waiting at the open, and never
// anything but a regular file.
//
// A FIFO without a writer, a terminal or a device blocks a plain open() for
// as long as nobody comes, or reads without end. Every file here is opened
// with O_NONBLOCK, looked at with fstat() and refused unless it is a regular
// file; only then is O_NONBLOCK cleared, so reads and writes wait as usual.
#pragma once

#include <cstdio>
#include <string>

#include "core/status.hpp"

namespace varnow {

// The error a refused file reports in errno's place: the name exists but is
// neither a regular file nor a directory (a FIFO, a socket, a device). No
// errno has this value; fileFailure() words it "it is not a regular file".
inline constexpr int kNotRegularFile = 0x10000;

// Opens `path` with the open(2) flags `flags` (an access mode, plus O_CREAT,
// O_EXCL, O_TRUNC or O_APPEND as wanted; O_CLOEXEC is always added). Returns
// the descriptor, or -1 with errno set: the open's own error, EISDIR for a
// directory, kNotRegularFile for any other name that is not a regular file.
// A refused name is never truncated: O_TRUNC applies only once the file is
// known to be a regular file.
int openRegularFile(const std::string& path, int flags);

// The same for a stdio `mode` ("r", "rb", "rb+", "wb", "ab", ...; "x" adds
// O_EXCL): a stream, or null with errno set as above.
std::FILE* openRegularStream(const std::string& path, const char* mode);

// True when `err` says that the name exists but holds no regular file (a
// directory or any other kind), as opposed to a failure of the open itself.
bool refusedAsNotRegular(int err);

// What a reader says about a file it could not open: "Could not read
// <path>: <reason>." when the name holds no regular file (as a directory has
// always read), otherwise "Could not open <path>: <reason>.".
Status readerOpenFailure(const std::string& path, int err);

// True when an open of `path` failed with `openError` because nothing at all
// stands at that name: ENOENT, and not even a dangling link is there. Only
// then may the program create a file of that name; any other failure (no
// permission, an I/O error, a link loop) means a file may be there that the
// program cannot see, and it must be left alone.
bool trulyAbsent(const std::string& path, int openError);

}  // namespace varnow
