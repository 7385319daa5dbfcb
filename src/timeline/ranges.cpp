#include "timeline/ranges.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "timeline/musical_time.hpp"

namespace varnow {

namespace {

// Occupancy flags of the whole table, and how many slots are occupied.
struct Occupancy {
  std::vector<int> flags;
  int count = 0;
};

Occupancy occupancyOf(const RangeTable& table) {
  Occupancy result;
  result.flags.resize(static_cast<std::size_t>(table.slotCount()));
  result.count = CheckTimeRanges(table.inFrames, table.outFrames, result.flags);
  return result;
}

void showRanges(const RangeTable& table, const TimeDisplay& display, const Occupancy& occupancy) {
  printLine("Loc\tIn\tOut\tName");
  ListRanges(table, display, occupancy.flags);
}

}  // namespace

int CheckTimeRanges(std::span<const Position> inFrames, std::span<const Position> outFrames,
                    std::span<int> occupied) {
  int count = 0;
  for (std::size_t i = 0; i < occupied.size(); ++i) {
    const bool known = i < inFrames.size() && i < outFrames.size();
    occupied[i] = known && (inFrames[i] > 0 || outFrames[i] > 0) ? 1 : 0;
    count += occupied[i];
  }
  return count;
}

void ListRanges(const RangeTable& table, const TimeDisplay& display,
                std::span<const int> occupied) {
  const auto slots = std::min(occupied.size(), static_cast<std::size_t>(table.slotCount()));
  for (std::size_t i = 0; i < slots; ++i) {
    if (occupied[i] != 1) continue;
    const int slot = static_cast<int>(i) + 1;
    const char* name = table.names[i].c_str();
    if (display.musical()) {
      const MusicalPosition in =
          toMusical(table.inFrames[i], display.beatsPerMeasure, display.tempo, display.rate);
      const MusicalPosition out =
          toMusical(table.outFrames[i], display.beatsPerMeasure, display.tempo, display.rate);
      print("%i\t%i.%.2f\t%i.%.2f\t%s\n", slot, in.measure, double{in.beat}, out.measure,
            double{out.beat}, name);
    } else {
      print("%i\t%.2f\t%.2f\t%s\n", slot, double{toSeconds(table.inFrames[i], display.rate)},
            double{toSeconds(table.outFrames[i], display.rate)}, name);
    }
  }
}

void TimeRangeStore(Position inPoint, Position outPoint, const RangeTable& table,
                    const TimeDisplay& display) {
  const Occupancy occupancy = occupancyOf(table);
  if (occupancy.count > 0) {
    showRanges(table, display, occupancy);
  } else {
    printLine("All locations available");
  }
  print("Enter location to store to (1-%i)\n", table.slotCount());
  const std::int64_t slot = console().readWordAsInteger();
  if (!table.validSlot(slot)) return;

  const std::size_t i = RangeTable::index(slot);
  table.inFrames[i] = inPoint;
  table.outFrames[i] = outPoint;
  printLine("Enter a range name or '0' to skip");
  const std::string name = console().readWord();
  if (!name.empty() && name != "0") table.names[i] = name;
}

void TimeRangeRecall(Position& inPoint, Position& outPoint, const RangeTable& table,
                     const TimeDisplay& display) {
  const Occupancy occupancy = occupancyOf(table);
  if (occupancy.count == 0) {
    printLine("No locations available");
    return;
  }
  showRanges(table, display, occupancy);
  print("Enter location to recall (1-%i)\n", table.slotCount());
  const std::int64_t slot = console().readWordAsInteger();
  if (!table.validSlot(slot)) return;

  const std::size_t i = RangeTable::index(slot);
  if (occupancy.flags[i] == 0) {
    print("Location %i is empty\n", static_cast<int>(slot));
    return;
  }
  inPoint = table.inFrames[i];
  outPoint = table.outFrames[i];
}

void EditRange(const RangeTable& table, const TimeDisplay& display) {
  std::string reply;
  while (reply != "c") {
    const Occupancy occupancy = occupancyOf(table);
    if (occupancy.count == 0) {
      printLine("No range locations to edit");
      return;
    }
    showRanges(table, display, occupancy);
    printLine("Enter 'n' to change region name");
    printLine("Enter 'k' to delete region");
    printLine("Enter 'c' to continue");
    reply = console().readWord();
    if (reply != "n" && reply != "k") continue;

    printLine("Enter the range number");
    const std::int64_t slot = console().readWordAsInteger();
    if (!table.validSlot(slot)) continue;
    const std::size_t i = RangeTable::index(slot);
    if (reply == "k") {
      table.inFrames[i] = 0;
      table.outFrames[i] = 0;
      table.names[i] = kUnnamedSlot;
    } else {
      printLine("Enter a new range name");
      const std::string name = console().readWord();
      if (!name.empty()) table.names[i] = name;
    }
  }
}

}  // namespace varnow
