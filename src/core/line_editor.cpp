#include "core/line_editor.hpp"

#include <histedit.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cwchar>

#include "core/history_file.hpp"
#include "core/print.hpp"
#include "core/stop_request.hpp"

namespace varnow {

struct LineEditor::Parts {
  explicit Parts(std::string historyPath) : file(std::move(historyPath)) {}
  ~Parts() {
    if (editLine != nullptr) el_end(editLine);
    if (history != nullptr) history_end(history);
  }
  EditLine* editLine = nullptr;
  History* history = nullptr;
  HistoryFile file;
  std::vector<std::string> words;  // sorted
  std::string lastEntry;           // a line repeated at once is kept once
};

namespace {

bool isWhite(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The prompt is printed by the program itself before every read.
char* noPrompt(EditLine*) {
  static char empty[] = "";
  return empty;
}

// The library's character reader, replaced so that a stop request wakes it:
// waits on standard input and the stop pipe, decodes the bytes of one
// character in the terminal's encoding. Returns 1 with a character, 0 at the
// end of input, -1 when a stop was requested (the line is then given up).
int readCharacter(EditLine*, wchar_t* character) {
  std::mbstate_t state{};
  bool watchStop = stopRequestFd() >= 0;
  for (;;) {
    if (stopRequested()) return -1;
    pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {stopRequestFd(), POLLIN, 0}};
    if (::poll(waits, watchStop ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (stopRequested()) return -1;
    // A wake-up byte left behind by a request already cleared: stop watching.
    if (watchStop && waits[1].revents != 0) watchStop = false;
    if (waits[0].revents == 0) continue;
    char byte = 0;
    const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) return 0;
    wchar_t decoded = 0;
    const std::size_t used = std::mbrtowc(&decoded, &byte, 1, &state);
    if (used == static_cast<std::size_t>(-2)) continue;  // more bytes to come
    if (used == static_cast<std::size_t>(-1)) {
      state = std::mbstate_t{};
      decoded = static_cast<unsigned char>(byte);
    }
    *character = decoded;
    return 1;
  }
}

// Tab: completes the word before the cursor to the command words it can
// still become. One candidate is completed with a space after it; several
// are completed as far as they agree, and listed when they agree no further.
unsigned char completeWord(EditLine* editLine, int) {
  void* data = nullptr;
  el_get(editLine, EL_CLIENTDATA, &data);
  const auto* parts = static_cast<const LineEditor::Parts*>(data);
  const LineInfo* line = el_line(editLine);
  const char* start = line->cursor;
  while (start > line->buffer && !isWhite(start[-1]))
    --start;
  const std::string prefix(start, line->cursor);

  std::vector<std::string> candidates;
  for (const std::string& word : parts->words) {
    if (word.compare(0, prefix.size(), prefix) == 0) candidates.push_back(word);
  }
  if (candidates.empty()) return CC_REFRESH_BEEP;
  if (candidates.size() == 1) {
    const std::string rest = candidates.front().substr(prefix.size()) + " ";
    return el_insertstr(editLine, rest.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
  }
  std::size_t agreed = prefix.size();
  const std::string& first = candidates.front();
  while (agreed < first.size() &&
         std::all_of(candidates.begin(), candidates.end(), [&](const std::string& word) {
           return agreed < word.size() && word[agreed] == first[agreed];
         })) {
    ++agreed;
  }
  if (agreed > prefix.size()) {
    const std::string rest = first.substr(prefix.size(), agreed - prefix.size());
    return el_insertstr(editLine, rest.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
  }
  printText("\n");
  for (const std::string& word : candidates) {
    printText(word);
    printText("  ");
  }
  printText("\n");
  flushOutput();
  return CC_REDISPLAY;
}

}  // namespace

std::unique_ptr<LineEditor> LineEditor::start(std::vector<std::string> completionWords,
                                              const std::string& historyPath) {
  // Characters typed in the terminal's own encoding (UTF-8, say) are edited
  // as characters; only the character classes change, not numbers or output.
  std::setlocale(LC_CTYPE, "");
  auto parts = std::make_unique<Parts>(historyPath);
  std::sort(completionWords.begin(), completionWords.end());
  completionWords.erase(std::unique(completionWords.begin(), completionWords.end()),
                        completionWords.end());
  parts->words = std::move(completionWords);

  parts->editLine = el_init("varnow", stdin, stdout, stderr);
  parts->history = history_init();
  if (parts->editLine == nullptr || parts->history == nullptr) return nullptr;
  HistEvent event;
  history(parts->history, &event, H_SETSIZE, static_cast<int>(kHistoryLines));
  history(parts->history, &event, H_SETUNIQUE, 1);
  for (const std::string& line : parts->file.load()) {
    history(parts->history, &event, H_ENTER, line.c_str());
    parts->lastEntry = line;
  }

  EditLine* editLine = parts->editLine;
  el_set(editLine, EL_EDITOR, "emacs");
  // No signal handlers from the library: the program's own stop requests
  // reach the reader through readCharacter.
  el_set(editLine, EL_SIGNAL, 0);
  el_set(editLine, EL_PROMPT, noPrompt);
  el_set(editLine, EL_HIST, history, parts->history);
  el_set(editLine, EL_GETCFN, readCharacter);
  el_set(editLine, EL_CLIENTDATA, parts.get());
  // The wide form keeps the two names as given (the narrow one copies them and
  // never frees the copies).
  el_wset(editLine, EL_ADDFN, L"varnow-complete", L"Complete a command word", completeWord);
  el_set(editLine, EL_BIND, "^I", "varnow-complete", nullptr);
  // The user's own key bindings (~/.editrc), when there are any.
  el_source(editLine, nullptr);
  return std::unique_ptr<LineEditor>(new LineEditor(std::move(parts)));
}

LineEditor::LineEditor(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

LineEditor::~LineEditor() = default;

std::optional<std::string> LineEditor::readLine(bool command) {
  // The prompt went out through the buffered output; the editor draws after it.
  flushOutput();
  // Without the library's signal handlers it learns a new window width here.
  el_resize(parts_->editLine);
  int count = 0;
  const char* typed = el_gets(parts_->editLine, &count);
  if (typed == nullptr || count <= 0 || stopRequested()) return std::nullopt;
  std::string line(typed, static_cast<std::size_t>(count));

  std::string entry = line;
  while (!entry.empty() && isWhite(entry.back()))
    entry.pop_back();
  const bool blank = std::all_of(entry.begin(), entry.end(), [](char c) { return isWhite(c); });
  if (command && !blank && entry != parts_->lastEntry) {
    HistEvent event;
    history(parts_->history, &event, H_ENTER, entry.c_str());
    parts_->file.append(entry);
    parts_->lastEntry = entry;
  }
  return line;
}

}  // namespace varnow
