#include "core/history_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "core/file_paths.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "core/scratch_file.hpp"
#include "core/status.hpp"

namespace varnow {

namespace {

// Creates every missing folder above `path` (mode 0700: the history is the
// user's own). Returns 0 or the errno of the folder that could not be made.
int makeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

}  // namespace

std::string historyFilePath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/varnow/history";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    return std::string(home) + "/.local/state/varnow/history";
  }
  return {};
}

void HistoryFile::fail(const char* action, const std::string& path, int err) {
  if (!failed_) {
    printText(fileFailure(action, path, err).message());
    printLine(" Typed lines are not kept for the next run.");
  }
  failed_ = true;
}

std::vector<std::string> HistoryFile::load() {
  if (path_.empty()) return {};
  if (const int err = makeParentFolders(path_); err != 0) {
    fail("create the folder of", path_, err);
    return {};
  }
  std::FILE* file = openRegularStream(path_, "r");
  if (file == nullptr) {
    if (errno != ENOENT) fail("read", path_, errno);
    return {};
  }
  std::deque<std::string> lines;
  std::size_t total = 0;
  std::string line;
  for (int c = 0; (c = std::fgetc(file)) != EOF;) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    lines.push_back(std::move(line));
    line.clear();
    ++total;
    if (lines.size() > kHistoryLines) lines.pop_front();
  }
  const bool readFailed = std::ferror(file) != 0;
  const int readErr = errno;
  std::fclose(file);
  if (readFailed) {
    fail("read", path_, readErr);
    return {};
  }

  if (total > kHistoryLines) {
    // Keep the newest lines: written whole beside it, then renamed over.
    ScratchFile scratch(path_, fileNamePart(path_) + ".new", {}, path_);
    bool written = scratch.opened().ok();
    for (std::size_t i = 0; written && i < lines.size(); ++i) {
      written = std::fputs(lines[i].c_str(), scratch.stream()) >= 0 &&
                std::fputc('\n', scratch.stream()) != EOF;
    }
    const int err = errno;
    if (!written) {
      fail("shorten", path_, scratch.opened() ? err : scratch.error());
    } else if (!scratch.replaceTarget()) {
      fail("shorten", path_, scratch.error());
    }
  }
  return {lines.begin(), lines.end()};
}

void HistoryFile::append(const std::string& line) {
  if (path_.empty() || failed_) return;
  // One write(2) of a whole line in append mode: two runs at once interleave
  // lines, never parts of lines.
  const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    fail("write", path_, errno);
    return;
  }
  const std::string entry = line + '\n';
  const ssize_t written = ::write(fd, entry.data(), entry.size());
  int err = written < 0 ? errno : EIO;
  bool complete = written == static_cast<ssize_t>(entry.size());
  if (::close(fd) != 0 && complete) {
    complete = false;
    err = errno;
  }
  if (!complete) fail("write", path_, err);
}

}  // namespace varnow
