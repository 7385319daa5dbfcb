#include "app/list_file_menu.hpp"

#include <cstdint>
#include <string>

#include "app/list_file_check.hpp"
#include "core/console_input.hpp"

namespace varnow {

namespace {

void showMenu(const ListFileTable& table, const ListFileMenuTexts& texts) {
  print(texts.storedHeading);
  print("\n");
  for (int entry = ListFileTable::kFirst; entry <= ListFileTable::kLast; ++entry) {
    if (!table[entry].empty()) print("%i\t%s\n", entry, table[entry].c_str());
  }
  print(texts.currentLine, table.current().c_str());
  printLine("Enter a new filename to load");
  printLine("or enter a number of a file in the list or");
  printLine("'rem' to remove a file from the list");
  printLine("'a'   to add a new file to the list");
  printLine("'ac'  to add current file to list");
  printLine("'d'   when done");
}

// Asks for a list position. The callers ignore positions outside 1..128; a
// word that is not a number reads as 0.
std::int64_t askPosition() {
  printLine("Enter the list position (1-128)");
  return console().readWordAsInteger();
}

// A position already checked to lie in 1..128, as a table index.
int entryNumber(std::int64_t position) {
  return static_cast<int>(position);
}

}  // namespace

void runListFileMenu(ListFileTable& table, const ListFileMenuTexts& texts) {
  for (;;) {
    showMenu(table, texts);
    const std::string word = console().readWord();
    bool done = false;
    if (const std::int64_t chosen = wordAsInteger(word); ListFileTable::validEntry(chosen)) {
      table.current() = table[entryNumber(chosen)];
      done = true;
    } else if (word == "rem") {
      printLine("Enter the number to remove");
      const std::int64_t position = console().readWordAsInteger();
      if (ListFileTable::validEntry(position)) table[entryNumber(position)].clear();
    } else if (word == "a") {
      printLine("Enter the filename to add");
      const std::string name = console().readWord();
      // The position is read even for a name that will be refused, so that
      // it is never taken as the next answer of the menu.
      const std::int64_t position = askPosition();
      if (ListFileTable::validEntry(position)) {
        takeListFileName(table[entryNumber(position)], name);
      }
    } else if (word == "ac") {
      const std::int64_t position = askPosition();
      if (ListFileTable::validEntry(position)) table[entryNumber(position)] = table.current();
    } else if (word == "d") {
      done = true;
    } else {
      takeListFileName(table.current(), word);
      done = true;
    }
    print(texts.chosenLine, table.current().c_str());
    if (done) return;
  }
}

}  // namespace varnow
