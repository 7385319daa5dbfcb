// The lines typed at the prompt, kept across runs in a plain text file: one
// line per entry, oldest first, nothing but the typed text. Only a terminal
// session keeps them (see line_editor.hpp).
#pragma once

#include <string>
#include <vector>

namespace varnow {

// How many lines a run reads back and the file keeps.
inline constexpr std::size_t kHistoryLines = 1000;

class HistoryFile {
 public:
  // `path` empty: nothing is read or kept.
  explicit HistoryFile(std::string path) : path_(std::move(path)) {}

  // The last kHistoryLines lines of the file. A missing file (and missing
  // folders, which are created) is an empty history. When the file holds more
  // lines than are kept, it is rewritten with the newest ones (through a
  // scratch file beside it); a file that could not be read is left alone.
  std::vector<std::string> load();

  // Appends one line. After a failure nothing more is written this run.
  void append(const std::string& line);

 private:
  // Prints the sentence for the first failure of the run; later ones are quiet.
  void fail(const char* action, const std::string& path, int err);

  std::string path_;
  bool failed_ = false;
};

// $XDG_STATE_HOME/varnow/history when XDG_STATE_HOME is an absolute path,
// else $HOME/.local/state/varnow/history; empty when HOME is unknown too.
std::string historyFilePath();

}  // namespace varnow
