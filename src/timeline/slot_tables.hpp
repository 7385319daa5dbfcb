// The two numbered tables of named places: ranges (an in and an out position
// per slot) and locate points (one position per slot).
//
// A table is a view of arrays owned elsewhere (the settings record), so the
// operations work for any capacity. Slots are numbered from 1 at the console;
// slot n lives at index n - 1 of every array of the view.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/project_settings.hpp"

namespace varnow {

// The name every slot starts with and gets back when it is deleted.
inline constexpr std::string_view kUnnamedSlot = "(name)";

struct RangeTable {
  std::span<Position> inFrames;
  std::span<Position> outFrames;
  std::span<SlotName> names;

  // The number of slots: the shortest of the three arrays.
  int slotCount() const {
    return static_cast<int>(std::min({inFrames.size(), outFrames.size(), names.size()}));
  }
  // Whether a slot number typed at the console names a slot of this table.
  bool validSlot(std::int64_t slot) const { return slot >= 1 && slot <= slotCount(); }
  static std::size_t index(std::int64_t slot) { return static_cast<std::size_t>(slot - 1); }
};

struct LocateTable {
  std::span<Position> frames;  // 0 marks an empty slot
  std::span<SlotName> names;

  int slotCount() const { return static_cast<int>(std::min(frames.size(), names.size())); }
  bool validSlot(std::int64_t slot) const { return slot >= 1 && slot <= slotCount(); }
  static std::size_t index(std::int64_t slot) { return static_cast<std::size_t>(slot - 1); }
};

// The settings' tables, cut to their declared capacities (maxRanges,
// maxLocates), which can never reach past the arrays.
inline RangeTable rangeTableOf(ProjectSettings& settings) {
  const auto slots = static_cast<std::size_t>(std::clamp(settings.maxRanges, 0, kMaxRanges));
  return RangeTable{std::span<Position>(settings.rangeIn).first(slots),
                    std::span<Position>(settings.rangeOut).first(slots),
                    std::span<SlotName>(settings.rangeNames).first(slots)};
}

inline LocateTable locateTableOf(ProjectSettings& settings) {
  const auto slots = static_cast<std::size_t>(std::clamp(settings.maxLocates, 0, kMaxLocates));
  return LocateTable{std::span<Position>(settings.locateTimes).first(slots),
                     std::span<SlotName>(settings.locateNames).first(slots)};
}

}  // namespace varnow
