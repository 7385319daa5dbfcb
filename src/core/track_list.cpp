#include "core/track_list.hpp"

#include <cerrno>

#include "core/regular_file.hpp"
#include "core/text_file.hpp"

namespace varnow {

const std::string& TrackList::fileName(int channel) const {
  static const std::string kNoFile;
  if (channel < 1 || channel > lineCount()) return kNoFile;
  return names_[static_cast<std::size_t>(channel - 1)];
}

TrackList parseTrackList(std::string_view text, char skipMarker) {
  TrackList list;
  std::size_t lineStart = 0;
  while (lineStart < text.size() && list.lineCount() < kMaxListLines) {
    std::size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = text.size();
    const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (line.empty()) continue;
    list.names_.emplace_back(line.front() == skipMarker ? std::string_view() : line);
  }
  return list;
}

Status readTrackList(std::FILE* file, const std::string& path, TrackList& list, char skipMarker) {
  list = TrackList();
  std::string text;
  const Status read = readWholeStream(file, path, text);
  if (!read) return read;
  list = parseTrackList(text, skipMarker);
  return Status::success();
}

std::optional<Status> readExistingTrackList(const std::string& path, TrackList& list,
                                            char skipMarker) {
  list = TrackList();
  errno = 0;
  std::FILE* file = openRegularStream(path, "r");
  if (file != nullptr) return readTrackList(file, path, list, skipMarker);
  const int err = errno;
  if (refusedAsNotRegular(err)) return fileFailure("read", path, err);
  errno = err;
  return std::nullopt;
}

Status readTrackListFile(const std::string& path, TrackList& list) {
  const std::optional<Status> read = readExistingTrackList(path, list);
  return read ? *read : fileFailure("open", path, errno);
}

}  // namespace varnow
