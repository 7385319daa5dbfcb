#include "app/list_file_check.hpp"

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/console_input.hpp"
#include "app/print.hpp"

namespace varnow {

namespace {

// Opens and reads the list named by `current`; while that fails, says why and
// asks for another name.
TrackList askUntilRead(ListFileName& current, Format missingMessage) {
  for (;;) {
    errno = 0;
    if (std::FILE* file = std::fopen(current.c_str(), "r")) {
      TrackList list;
      const Status read = readTrackList(file, current.str(), list);
      if (read) return list;
      // Opened but unreadable (a directory, say): a pass must not start
      // with a list it never saw, so it is asked for again like a missing one.
      printLine(read.message());
    } else {
      print(missingMessage, current.c_str());
    }
    printLine("Create the file or enter a different name");
    takeListFileName(current, console().readWord());
  }
}

}  // namespace

bool takeListFileName(ListFileName& entry, std::string_view name) {
  if (name.size() > ListFileName::capacity()) {
    print("A list file name can have at most %i characters; that name was not taken.\n",
          static_cast<int>(ListFileName::capacity()));
    return false;
  }
  entry = name;
  return true;
}

PassLists checkListFiles(ProjectSettings& settings) {
  PassLists lists;
  lists.play = askUntilRead(settings.playLists.current(), "Cannot find playlist file called %s\n");
  lists.record =
      askUntilRead(settings.recordLists.current(), "Cannot find recordlist file called %s\n");
  return lists;
}

}  // namespace varnow
