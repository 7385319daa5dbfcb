// The console's output layer.
//
// Every prompt, report and message goes through here. Format strings are
// checked to be compile-time constants (the Format type can only be built
// from a literal), so user text can reach the output only as an argument or
// through printText(), never as a format.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace varnow {

class Format {
 public:
  // consteval: a runtime string (a file name, a typed word) cannot become a format.
  consteval Format(const char* text) : text_(text) {}  // NOLINT(google-explicit-constructor)
  const char* text() const { return text_; }

 private:
  const char* text_;
};

template <typename T>
concept PrintArgument =
    std::is_arithmetic_v<T> || std::same_as<T, const char*> || std::same_as<T, char*>;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

// printf to an open stream, with a constant format.
template <PrintArgument... Args>
void printTo(std::FILE* stream, Format format, Args... args) {
  std::fprintf(stream, format.text(), args...);
}

// snprintf into a std::string, with a constant format.
template <PrintArgument... Args>
std::string formatText(Format format, Args... args) {
  const int needed = std::snprintf(nullptr, 0, format.text(), args...);
  if (needed <= 0) return {};
  std::string text(static_cast<std::size_t>(needed) + 1, '\0');
  std::snprintf(text.data(), text.size(), format.text(), args...);
  text.resize(static_cast<std::size_t>(needed));
  return text;
}

#pragma GCC diagnostic pop

// Standard output: every prompt, report and ordinary message.
template <PrintArgument... Args>
void print(Format format, Args... args) {
  printTo(stdout, format, args...);
}

// Standard error: only the fatal device messages use it.
template <PrintArgument... Args>
void printError(Format format, Args... args) {
  printTo(stderr, format, args...);
}

// User text written as it stands.
inline void printText(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// A line of text followed by a newline, as puts() would print it.
inline void printLine(std::string_view text) {
  printText(text);
  std::fputc('\n', stdout);
}

inline void flushOutput() {
  std::fflush(stdout);
  std::fflush(stderr);
}

}  // namespace varnow
