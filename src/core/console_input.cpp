#include "core/console_input.hpp"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "core/line_editor.hpp"
#include "core/stop_request.hpp"

namespace varnow {

namespace {

void endIfStopRequested() {
  if (stopRequested()) throw InputEnded{stopSignal()};
}

// read() on `fd` once it has something to read. A stop request wakes the wait
// (poll is never restarted after a signal) and ends it with InputEnded.
// Whatever is waiting in standard output is shown first: it is the question.
ssize_t readWhenReady(int fd, char* bytes, std::size_t byteCount) {
  std::fflush(stdout);
  for (;;) {
    endIfStopRequested();
    pollfd waits[2] = {{fd, POLLIN, 0}, {stopRequestFd(), POLLIN, 0}};
    const nfds_t count = waits[1].fd >= 0 ? 2 : 1;
    if (::poll(waits, count, -1) < 0 && errno != EINTR) {
      return ::read(fd, bytes, byteCount);  // poll itself failed: just wait in read
    }
    if (waits[0].revents == 0) continue;
    const ssize_t got = ::read(fd, bytes, byteCount);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool isWhite(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// A number in scanf("%i")'s forms at the start of `text`: optional sign, then
// decimal digits, 0x hexadecimal or 0-prefixed octal; values beyond 64 bits
// saturate. `endIndex` is where the number ends.
struct ScannedInteger {
  std::int64_t value = 0;
  std::size_t endIndex = 0;
};

std::optional<ScannedInteger> scanInteger(std::string_view text) {
  std::size_t p = 0;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  int base = 10;
  if (p + 2 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X') &&
      digitValue(text[p + 2]) < 16) {
    base = 16;
    p += 2;
  } else if (p < text.size() && text[p] == '0') {
    base = 8;
  }
  const std::size_t digitsStart = p;
  std::uint64_t magnitude = 0;
  bool saturated = false;
  constexpr std::uint64_t kLimit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  while (p < text.size() && digitValue(text[p]) < base) {
    const auto digit = static_cast<std::uint64_t>(digitValue(text[p]));
    if (magnitude > (kLimit - digit) / static_cast<std::uint64_t>(base)) saturated = true;
    if (!saturated) magnitude = magnitude * static_cast<std::uint64_t>(base) + digit;
    ++p;
  }
  if (p == digitsStart) return std::nullopt;
  if (saturated) magnitude = kLimit;
  const auto value = static_cast<std::int64_t>(magnitude);
  return ScannedInteger{negative ? -value : value, p};
}

}  // namespace

bool ConsoleInput::fillLine() {
  line_.clear();
  position_ = 0;
  if (editor_ != nullptr) {
    if (auto typed = editor_->readLine(commandPrompt_)) line_ = std::move(*typed);
    return !line_.empty();
  }
  const int fd = stream_ != nullptr ? ::fileno(stream_) : -1;
  if (fd >= 0) return fillLineFrom(fd);
  int c = 0;
  while ((c = std::fgetc(stream_)) != EOF) {
    line_.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line_.empty();
}

// Standard input is read from its descriptor, not through stdio, so that the
// wait for a line can also wait for a stop request.
bool ConsoleInput::fillLineFrom(int fd) {
  for (;;) {
    const std::size_t end = unread_.find('\n');
    if (end != std::string::npos) {
      line_.assign(unread_, 0, end + 1);
      unread_.erase(0, end + 1);
      return true;
    }
    char chunk[4096];
    const ssize_t got = readWhenReady(fd, chunk, sizeof chunk);
    if (got <= 0) {
      line_.swap(unread_);
      unread_.clear();
      return !line_.empty();
    }
    unread_.append(chunk, static_cast<std::size_t>(got));
  }
}

bool ConsoleInput::skipWhiteSpace() {
  endIfStopRequested();
  for (;;) {
    while (position_ < line_.size() && isWhite(line_[position_]))
      ++position_;
    if (position_ < line_.size()) return true;
    if (!fillLine()) return false;
  }
}

std::string ConsoleInput::readWord() {
  // A NUL byte (Ctrl-@) ends a word as white space does: the names a word
  // becomes are saved as C texts, which would end there anyway, and a name
  // that began with one would come back empty.
  const auto endsWord = [](char c) { return isWhite(c) || c == '\0'; };
  for (;;) {
    if (!skipWhiteSpace()) throw InputEnded{};
    const std::size_t start = position_;
    while (position_ < line_.size() && !endsWord(line_[position_]))
      ++position_;
    const std::size_t length = position_ - start;
    if (length == 0) {
      ++position_;  // a NUL where a word would begin
      continue;
    }
    std::string word = line_.substr(start, length < kMaxWordChars ? length : kMaxWordChars);
    if (kept_ != nullptr) kept_->push_back(word);
    return word;
  }
}

std::string ConsoleInput::readCommandWord() {
  struct PromptScope {
    bool& commandPrompt;
    explicit PromptScope(bool& flag) : commandPrompt(flag) { commandPrompt = true; }
    ~PromptScope() { commandPrompt = false; }
  } scope(commandPrompt_);
  return readWord();
}

std::optional<std::int64_t> ConsoleInput::readWordAsNumber() {
  const std::string word = readWord();
  const std::optional<ScannedInteger> scanned = scanInteger(word);
  if (!scanned || scanned->endIndex != word.size()) return std::nullopt;
  return scanned->value;
}

std::optional<double> ConsoleInput::readFloat() {
  if (!skipWhiteSpace()) throw InputEnded{};
  const char* start = line_.c_str() + position_;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(start, &end);
  if (end == start) return std::nullopt;
  position_ += static_cast<std::size_t>(end - start);
  return value;
}

std::int64_t ConsoleInput::readWordAsInteger() {
  return wordAsInteger(readWord());
}

double ConsoleInput::readWordAsFloat() {
  return wordAsFloat(readWord());
}

std::int64_t wordAsInteger(const std::string& word) {
  errno = 0;
  return static_cast<std::int64_t>(std::strtoll(word.c_str(), nullptr, 10));
}

double wordAsFloat(const std::string& word) {
  return std::strtod(word.c_str(), nullptr);
}

void waitForContinue() {
  while (console().readWord() != "c") {
  }
}

ConsoleInput& console() {
  static ConsoleInput input(stdin);
  return input;
}

void setConsoleStream(std::FILE* stream) {
  console() = ConsoleInput(stream);
}

}  // namespace varnow
