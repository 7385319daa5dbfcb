#include "takes/journal_recovery.hpp"

#include <sys/stat.h>

#include <set>
#include <string>
#include <utility>

#include "core/track_list.hpp"
#include "takes/undo_journal.hpp"

namespace varnow {
namespace {

// The directory part of a list line: "tracks" for "tracks/vox.wav", "/" for
// "/vox.wav", "." for a plain name.
std::string directoryOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : name.substr(0, slash);
}

}  // namespace

void recoverRecordListJournals(const ListFileTable& recordLists) {
  // Directories are told apart by identity: "tracks" and "./tracks" are one.
  std::set<std::pair<dev_t, ino_t>> seen;
  const auto firstVisit = [&seen](const std::string& directory) {
    struct stat info {};
    return ::stat(directory.c_str(), &info) == 0 && seen.emplace(info.st_dev, info.st_ino).second;
  };
  firstVisit(".");
  for (int entry = ListFileTable::kFirst; entry <= ListFileTable::kLast; ++entry) {
    const std::string listName(recordLists[entry].c_str());
    TrackList list;
    if (listName.empty() || !readExistingTrackList(listName, list).value_or(Status::failure(""))) {
      continue;
    }
    for (int channel = 1; channel <= list.lineCount(); ++channel) {
      if (!list.isNamed(channel)) continue;
      const std::string directory = directoryOf(list.fileName(channel));
      if (firstVisit(directory)) recoverUndoJournals(directory);
    }
  }
}

}  // namespace varnow
