#include "timeline/longest_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "core/status.hpp"
#include "wave/file_handle.hpp"
#include "wave/wave_attributes.hpp"

namespace varnow {

std::int64_t SEEK_LONG_FILE(int count, std::string_view marker, const std::string& listPath) {
  errno = 0;
  FileHandle list = openFile(listPath, "r");
  if (!list) {
    // A name that holds no regular file is there but unreadable.
    if (refusedAsNotRegular(errno)) {
      printLine(fileFailure("read", listPath, errno).message());
    } else {
      print("Playlist file called %s was not found!\n", listPath.c_str());
    }
    return 0;
  }
  std::string text;
  char chunk[4096];
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, list.get());
    text.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(list.get()) != 0) {
    printLine(fileFailure("read", listPath, errno).message());
    return 0;
  }
  list.reset();

  std::int64_t longestFrames = 0;
  int entriesConsidered = 0;
  std::size_t lineStart = 0;
  while (lineStart < text.size() && entriesConsidered < count) {
    std::size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    const std::string entry = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (entry.empty()) continue;  // empty lines are not entries
    ++entriesConsidered;
    if (!marker.empty() && entry.front() == marker.front()) continue;
    const WaveLength length = GET_LENGTH(entry);
    printText(lengthRejection(entry, length.check));
    print("Checking file %s\n", entry.c_str());
    longestFrames = std::max(longestFrames, length.frames);
  }
  return longestFrames;
}

}  // namespace varnow
