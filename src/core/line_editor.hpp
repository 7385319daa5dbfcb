// Line editing for a person at a terminal: cursor keys, a history of the
// command lines kept across runs (history_file.hpp) and Tab completion of the
// command words. Used only when standard input and output are a terminal;
// piped input is read as it always was.
//
// Signals: the editor installs no handlers of its own. While it waits for a
// key it also watches stopRequestFd(), and a stop request gives up the line
// being typed (the terminal is put back as it was before the line).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnow {

class LineEditor {
 public:
  // Starts editing on standard input and output, with `history` read back
  // from (and new lines appended to) the file at `historyPath` ("" keeps
  // none). Returns nothing when the terminal cannot be edited.
  static std::unique_ptr<LineEditor> start(std::vector<std::string> completionWords,
                                           const std::string& historyPath);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // The next line as typed, newline included. Nothing at the end of input
  // (Ctrl-D on an empty line, a closed terminal) or when a stop was requested.
  // Only a `command` line (typed at a command prompt, not in answer to a
  // question) goes into the history and its file.
  std::optional<std::string> readLine(bool command);

  struct Parts;  // the library's handles, kept out of this header

 private:
  explicit LineEditor(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace varnow
