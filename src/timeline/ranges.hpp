// Ranges: named in-out pairs stored from, and recalled into, the play start
// and stop.
#pragma once

#include <span>

#include "core/project_settings.hpp"
#include "timeline/slot_tables.hpp"
#include "timeline/time_display.hpp"

namespace varnow {

// Occupancy of range slots: occupied[i] = 1 when inFrames[i] > 0 or
// outFrames[i] > 0, else 0; a slot from 0 to 0 is empty whatever its name.
// Fills the first occupied.size() flags (no more than both position arrays
// hold; flags beyond them are set to 0) and returns the number set to 1.
int CheckTimeRanges(std::span<const Position> inFrames, std::span<const Position> outFrames,
                    std::span<int> occupied);

// Prints one line per slot whose flag is 1, in ascending slot order:
// "slot\tin\tout\tname", the positions in seconds or as measure.beat. The
// caller prints the "Loc\tIn\tOut\tName" header first.
void ListRanges(const RangeTable& table, const TimeDisplay& display, std::span<const int> occupied);

// 'io.': lists the ranges, asks for a slot and stores inPoint and outPoint
// there (a slot number outside the table stores nothing), then asks for a
// name; "0" keeps the slot's old name.
void TimeRangeStore(Position inPoint, Position outPoint, const RangeTable& table,
                    const TimeDisplay& display);

// '.io': lists the ranges and asks for a slot; an occupied slot's positions
// become inPoint and outPoint. An empty slot is reported and changes nothing.
void TimeRangeRecall(Position& inPoint, Position& outPoint, const RangeTable& table,
                     const TimeDisplay& display);

// 'lio': lists the ranges and renames ('n') or deletes ('k') them until the
// reply 'c', or until no range is left.
void EditRange(const RangeTable& table, const TimeDisplay& display);

}  // namespace varnow
