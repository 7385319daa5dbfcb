// Start-up recovery of the inserts that a crash cut short, wherever the
// project's destinations live.
#include <sys/stat.h>

#include <functional>
#include <set>
#include <string>
#include <utility>

#include "core/file_paths.hpp"
#include "core/track_list.hpp"
#include "durable/undo_journal.hpp"

namespace varnow {
namespace {}  // namespace

// Plays back the undo journals left in every directory that holds a
// destination named in one of `recordLists` (except those `skip` names),
// printing a line for each. The project directory itself is left out:
// start-up recovers it first. A list that cannot be read names no directory.
void recoverRecordListJournals(const ListFileTable& recordLists,
                               const std::function<bool(const std::string&)>& skip) {
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
      if (firstVisit(directory)) recoverUndoJournals(directory, skip);
    }
  }
}

}  // namespace varnow
