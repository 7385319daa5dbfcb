// Reading answers from the console.
//
// Every answer is one whitespace-delimited word, so several words typed on one
// line are taken one after another. A number reply is one word too: a word
// that is not a number is consumed all the same, so that it is never taken
// as the answer to the next question.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace varnow {

class LineEditor;

// Thrown when standard input ends while the program waits for an answer, and
// when a stop signal (Ctrl-C, SIGTERM, SIGHUP) ends the run: the program then
// winds down as it does on the exit command, without asking anything more.
struct InputEnded {
  int signalNumber = 0;  // the signal that ended the run; 0 at the end of input
};

inline constexpr std::size_t kMaxWordChars = 511;

class ConsoleInput {
 public:
  explicit ConsoleInput(std::FILE* stream) : stream_(stream) {}

  // The next word: white space skipped, then the run of non-white characters
  // up to the next white space or NUL byte (a NUL separates words as a blank
  // does, so no word holds one).
  // Only the first 511 characters of a longer word are kept; the rest of the
  // word is discarded. Throws InputEnded at the end of input, and when a stop
  // is requested (before or while waiting, words typed ahead included).
  std::string readWord();

  // The next word at a command prompt (the main prompt, the mixer's): as
  // readWord, but a line the editor reads for it goes into the history.
  // Answers to questions never do.
  std::string readCommandWord();

  // One whole word read as a number in scanf("%i")'s forms: optional sign,
  // then decimal digits, 0x hexadecimal or 0-prefixed octal; values beyond
  // 64 bits saturate. Nothing when the word as a whole is no such number
  // ("name", "12abc", "09"); the word is consumed in every case. Throws
  // InputEnded at the end of input.
  std::optional<std::int64_t> readWordAsNumber();

  // scanf("%f") on the next characters. Returns nothing, and consumes nothing
  // but the leading white space, when no number starts here. Throws
  // InputEnded at the end of input.
  std::optional<double> readFloat();

  // One whole word read as a decimal integer the way atoi reads it: optional
  // sign, leading digits, anything after them ignored; a word that is not a
  // number reads as 0. The word is always consumed, so a reply that is not a
  // number is never offered to the next question or taken as a command.
  std::int64_t readWordAsInteger();

  // One whole word read as a decimal number the way atof reads it; a word that
  // is not a number reads as 0. The word is always consumed.
  double readWordAsFloat();

  // Lines come from `editor` from now on (a person at a terminal), or from
  // the stream again when it is null. The caller keeps the editor alive.
  void useLineEditor(LineEditor* editor) { editor_ = editor; }

  // Every word read from now on is also appended to `words` (none when
  // null); the caller keeps it alive meanwhile.
  void keepWordsIn(std::vector<std::string>* words) { kept_ = words; }

 private:
  bool skipWhiteSpace();  // false at the end of input
  bool fillLine();
  bool fillLineFrom(int fd);

  std::FILE* stream_;
  LineEditor* editor_ = nullptr;
  bool commandPrompt_ = false;  // a line read now is a command line
  std::string line_;
  std::size_t position_ = 0;
  std::vector<std::string>* kept_ = nullptr;
  std::string unread_;  // read from the descriptor beyond the current line
};

// A word read as atoi and atof read it: leading number, else 0.
std::int64_t wordAsInteger(const std::string& word);
double wordAsFloat(const std::string& word);

// The wait behind every "Enter 'c' to continue": reads words until one is "c".
void waitForContinue();

// The stream the whole program reads its answers from.
ConsoleInput& console();

// Test hook: console() reads from `stream` from now on, with nothing of the
// previous stream's current line left over. The caller keeps `stream` open
// while it is in use and restores stdin afterwards.
void setConsoleStream(std::FILE* stream);

}  // namespace varnow
