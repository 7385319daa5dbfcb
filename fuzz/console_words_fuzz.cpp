// Feeds arbitrary bytes to the readers of what the user types and edits: the
// command loop's word reader (as the console meets it, numbers included),
// the take-name form of the record commands with the names made from it, and
// the track-list parser. None may crash or hang, and each keeps its promises:
// a word is never empty and holds no blank or NUL, a take-name form splits
// back into the word it came from, a list has at most 256 lines and no name
// that starts with the skip marker or holds a line break.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/command_loop.hpp"
#include "core/console_input.hpp"
#include "core/track_list.hpp"
#include "engine/take_files.hpp"
#include "takes/file_names.hpp"

namespace {

void check(bool promise) {
  if (!promise) std::abort();
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Every word of the input, read as the console reads answers: each third
// reply is asked for as a number first, as the numeric prompts do.
void readAllWords(std::string_view input) {
  std::string text(input);
  std::FILE* stream = fmemopen(text.data(), text.size(), "r");
  if (stream == nullptr) return;  // fmemopen refuses an empty buffer
  varnow::ConsoleInput console(stream);
  try {
    for (int reply = 0;; ++reply) {
      if (reply % 3 == 1) (void)console.readWordAsNumber();
      if (reply % 3 == 2) (void)console.readFloat();
      const std::string word = console.readWord();
      check(!word.empty() && word.size() <= varnow::kMaxWordChars);
      for (const char c : word)
        check(!isBlank(c) && c != '\0');

      std::string command = word;
      std::string takeName;
      if (varnow::splitTakeName(command, takeName)) {
        check(command + "_" + takeName == word);
        check(command.find('_') == std::string::npos);
        // The names a take gets from it never grow out of what they are made of.
        check(varnow::takeBaseName(takeName).size() <= takeName.size());
        check(varnow::appendedName(word, takeName).size() <= word.size() + takeName.size() + 5);
        const std::string unstamped = varnow::withoutStamp(takeName);
        check(unstamped == takeName || unstamped.ends_with(".wav"));
      }
    }
  } catch (const varnow::InputEnded&) {
  }
  std::fclose(stream);
}

void parseAsList(std::string_view input) {
  const varnow::TrackList list = varnow::parseTrackList(input);
  check(list.lineCount() >= 0 && list.lineCount() <= varnow::kMaxListLines);
  for (int channel = 1; channel <= list.lineCount(); ++channel) {
    const std::string& name = list.fileName(channel);
    check(name.find('\n') == std::string::npos);
    check(name.empty() || name.front() != varnow::kSkipMarker);
  }
  check(list.fileName(0).empty() && list.fileName(list.lineCount() + 1).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  readAllWords(input);
  parseAsList(input);
  return 0;
}
