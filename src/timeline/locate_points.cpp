#include "timeline/locate_points.hpp"

#include <string>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "timeline/musical_time.hpp"

namespace varnow {

namespace {

void showLocates(const LocateTable& table, const TimeDisplay& display) {
  printLine("Locate Points:");
  ListLocates(table, display);
}

}  // namespace

void ListLocates(const LocateTable& table, const TimeDisplay& display) {
  const auto slots = static_cast<std::size_t>(table.slotCount());
  for (std::size_t i = 0; i < slots; ++i) {
    const Position position = table.frames[i];
    if (position == 0) continue;
    const int slot = static_cast<int>(i) + 1;
    const char* name = table.names[i].c_str();
    if (display.musical()) {
      const MusicalPosition at =
          toMusical(position, display.beatsPerMeasure, display.tempo, display.rate);
      print("%i\t%i.%.2f\t%s\n", slot, at.measure, double{at.beat}, name);
    } else {
      print("%i\t%.2f\t%s\n", slot, double{toSeconds(position, display.rate)}, name);
    }
  }
}

void LocateStore(Position position, const LocateTable& table, const TimeDisplay& display) {
  showLocates(table, display);
  print("\nEnter locate point number (1-%i)\n", table.slotCount());
  const std::int64_t slot = console().readWordAsInteger();
  if (!table.validSlot(slot)) return;
  table.frames[LocateTable::index(slot)] = position;
  printLine("Stored locate point");
}

std::optional<Position> LocateRecall(const LocateTable& table, const TimeDisplay& display) {
  showLocates(table, display);
  print("Enter a locate point number (1-%i)\n", table.slotCount());
  const std::int64_t slot = console().readWordAsInteger();
  if (!table.validSlot(slot)) return std::nullopt;
  return table.frames[LocateTable::index(slot)];
}

void EditLocates(const LocateTable& table, const TimeDisplay& display) {
  std::string reply;
  while (reply != "c") {
    showLocates(table, display);
    printLine("Enter 'n' to change name");
    printLine("Enter 'k' to delete point");
    printLine("Enter 'c' to continue");
    reply = console().readWord();
    if (reply == "n") {
      print("Enter locate point\n");
      const std::int64_t slot = console().readWordAsInteger();
      if (!table.validSlot(slot)) continue;
      print("Enter a name for point %i\n", static_cast<int>(slot));
      table.names[LocateTable::index(slot)] = console().readWord();
    } else if (reply == "k") {
      print("Enter locate point number\n");
      const std::int64_t slot = console().readWordAsInteger();
      if (!table.validSlot(slot)) continue;
      table.frames[LocateTable::index(slot)] = 0;
      table.names[LocateTable::index(slot)] = kUnnamedSlot;
    }
  }
}

}  // namespace varnow
