#include "takes/file_check.hpp"

#include <sys/stat.h>

#include "core/file_paths.hpp"
#include "core/print.hpp"
#include "takes/name_list.hpp"

namespace varnow {
bool FILE_CHECK(int count, std::string_view list, bool& dontAsk, ConsoleInput& replies) {
  const TrackList names = parseTrackList(list);
  if (names.lineCount() == 0 || count < 1) return true;
  int existing = 0;
  for (int i = 0; i < count; ++i) {
    const std::string& name = nameOnLine(names, i);
    if (!name.empty() && nameTaken(name)) ++existing;
  }
  if (existing == 0) return true;

  printLine("-------------------------");
  if (existing == 1) {
    printLine("1 file exists!");
  } else {
    print("%i files exists!\n", existing);
  }
  while (true) {
    printLine("Enter 'w' to overwrite");
    printLine("Enter 'W' to overwrite and don't ask again.");
    printLine("Enter 'r' to return to previous menu.");
    flushOutput();
    const std::string answer = replies.readWord();
    if (answer == "w") return true;
    if (answer == "r") return false;
    if (answer == "W") {
      dontAsk = true;
      return true;
    }
  }
}

}  // namespace varnow
