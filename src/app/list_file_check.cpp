#include "app/list_file_check.hpp"

#include <cstdio>
#include <string>

#include "app/console_input.hpp"
#include "app/print.hpp"

namespace varnow {

namespace {

bool opens(const ListFileName& name) {
  std::FILE* file = std::fopen(name.c_str(), "r");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

void askUntilOpens(ListFileName& current, Format missingMessage) {
  while (!opens(current)) {
    print(missingMessage, current.c_str());
    printLine("Create the file or enter a different name");
    const std::string name = console().readWord();
    if (name.size() > ListFileName::capacity()) {
      print("A list file name can have at most %i characters; that name was not taken.\n",
            static_cast<int>(ListFileName::capacity()));
      continue;
    }
    current = name;
  }
}

}  // namespace

void checkListFiles(ProjectSettings& settings) {
  askUntilOpens(settings.playLists.current(), "Cannot find playlist file called %s\n");
  askUntilOpens(settings.recordLists.current(), "Cannot find recordlist file called %s\n");
}

}  // namespace varnow
