// The parts of a path, and what stands under a name: the questions every
// room that names files asks, answered once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnow {

// The last component of `path`: "vox.wav" for "tracks/vox.wav".
std::string fileNamePart(std::string_view path);

// The directory that holds `path`: "tracks" for "tracks/vox.wav", "/" for
// "/vox.wav", "." for a plain name.
std::string directoryOf(std::string_view path);

// `fileName` in the directory of `target`: "dir/fileName" for "dir/x.wav",
// plain `fileName` for a target without a directory part.
std::string besideFile(std::string_view target, std::string_view fileName);

// The base of a file name: its directory part kept as it is, then the name
// after any leading dots, up to (not including) its next '.'. A name without
// a dot is its own base.
//
//   guitar.wav -> guitar     song.v2.wav -> song     .hidden.wav -> hidden
//   mix/song.v2.wav -> mix/song                      ./song.wav -> ./song
std::string baseName(std::string_view name);

// What tells a file apart from any other, and from itself once changed.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t sizeBytes = 0;
  std::int64_t modifiedNs = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
  // The same file, whatever happened to its bytes since.
  bool sameFileAs(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};

// The identity of what stands at `path` (a link is not followed: the link
// itself); nothing when nothing stands there or it cannot be looked at.
std::optional<FileIdentity> identityOf(const std::string& path);

// True when something stands at `path`: a file, a directory, a link (even a
// dangling one). A name that cannot be examined counts as free.
bool nameTaken(const std::string& path);

// True when `a` and `b` name one existing file (links followed).
bool sameFile(const std::string& a, const std::string& b);

// A name that replaces nothing: `name` itself when nothing stands there,
// otherwise `name` with the smallest suffix -2, -3, ... before its ".wav"
// (at its end, for a name without that extension) under which nothing
// stands:
//   audio_ch_1_777.wav -> audio_ch_1_777-2.wav -> audio_ch_1_777-3.wav
std::string unusedName(std::string_view name);

}  // namespace varnow
