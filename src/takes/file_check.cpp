#include "takes/file_check.hpp"

#include <sys/stat.h>

#include "core/print.hpp"
#include "takes/name_list.hpp"

namespace varnow {
namespace {

// A name that is taken by anything (a file, a directory, a dangling link)
// would be replaced or fail to be, so it is worth a question.
bool nameTaken(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

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
