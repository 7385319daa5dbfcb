#include "app/list_file_check.hpp"

#include <optional>
#include <string>

#include "core/console_input.hpp"
#include "core/print.hpp"

namespace varnow {

namespace {

// Opens and reads the list named by `current`; while that fails, says why and
// asks for another name.
TrackList askUntilRead(ListFileName& current, Format missingMessage) {
  for (;;) {
    TrackList list;
    const std::optional<Status> read = readExistingTrackList(current.str(), list);
    if (read && *read) return list;
    if (read) {
      // There but unreadable (a directory, a FIFO, say): a pass must not
      // start with a list it never saw, so it is asked for again like a
      // missing one.
      printLine(read->message());
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
