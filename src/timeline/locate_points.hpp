// Locate points: named single positions stored from, and recalled into, the
// four transport points.
#pragma once

#include <optional>

#include "core/project_settings.hpp"
#include "timeline/slot_tables.hpp"
#include "timeline/time_display.hpp"

namespace varnow {

// Prints one line per slot whose position is not 0, in ascending slot order:
// "slot\tposition\tname", the position in seconds or as measure.beat. The
// caller prints the "Locate Points:" header first.
void ListLocates(const LocateTable& table, const TimeDisplay& display);

// 'i.l', 'o.l', 'e.l', 'm.l': lists the locate points, asks for a slot and
// stores the position there, keeping the slot's name. A slot number outside
// the table stores nothing. Storing 0 leaves the slot empty.
void LocateStore(Position position, const LocateTable& table, const TimeDisplay& display);

// The words containing "l.": lists the locate points and asks for a slot.
// Returns the slot's position (0 for an empty slot), or nothing when the
// number names no slot.
std::optional<Position> LocateRecall(const LocateTable& table, const TimeDisplay& display);

// 'll': lists the locate points and renames ('n') or deletes ('k') them until
// the reply 'c'. Renaming works on empty slots too.
void EditLocates(const LocateTable& table, const TimeDisplay& display);

}  // namespace varnow
