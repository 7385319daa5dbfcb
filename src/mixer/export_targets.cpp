#include "mixer/export_targets.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "core/print.hpp"
#include "core/regular_file.hpp"

namespace varnow {

namespace {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The file that `path` leads to (links followed), or nothing when none does.
std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino};
}

// The first channel (1-based) whose line of `list` names `file`, or 0.
int channelNaming(const TrackList& list, const FileIdentity& file) {
  for (int channel = 1; channel <= list.lineCount(); ++channel) {
    if (list.isNamed(channel) && identityOf(list.fileName(channel)) == file) return channel;
  }
  return 0;
}

}  // namespace

Status checkExportOutput(const std::string& target, const std::string& scratch,
                         const TrackList& playList, const std::string& recordListPath) {
  // Only a file that is there can be replaced.
  const std::optional<FileIdentity> targetFile = identityOf(target);
  const std::optional<FileIdentity> scratchFile = identityOf(scratch);
  if (targetFile) {
    if (const int track = channelNaming(playList, *targetFile); track != 0) {
      return Status::failure(formatText("Cannot export to %s: it is track %i of the play list.",
                                        target.c_str(), track));
    }
  }
  if (!targetFile && !scratchFile) return Status::success();

  TrackList recordList;
  const std::optional<Status> read = readExistingTrackList(recordListPath, recordList);
  const int openError = errno;
  if (read ? !*read : !trulyAbsent(recordListPath, openError)) {
    const Status why = read ? *read : readerOpenFailure(recordListPath, openError);
    return Status::failure(why.message() +
                           " Nothing was exported: the destinations it names are not known.");
  }
  if (targetFile) {
    if (const int input = channelNaming(recordList, *targetFile); input != 0) {
      return Status::failure(
          formatText("Cannot export to %s: it is the destination of input %i in the record list.",
                     target.c_str(), input));
    }
  }
  if (scratchFile) {
    if (const int input = channelNaming(recordList, *scratchFile); input != 0) {
      return Status::failure(
          formatText("Cannot export while %s is the destination of input %i in the record list: "
                     "the export writes its mix there first.",
                     scratch.c_str(), input));
    }
  }
  return Status::success();
}

}  // namespace varnow
