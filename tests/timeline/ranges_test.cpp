#include "timeline/ranges.hpp"

#include <gtest/gtest.h>

#include <array>

#include "timeline/slot_tables.hpp"

namespace varnow {
namespace {

TEST(Ranges, OccupancyCountsSlotsWithAnyNonZeroEnd) {
  ProjectSettings settings;
  // Slot 1: named but 0 to 0 (empty). Slot 2: in only. Slot 3: out only.
  // Slot 4: both. Slot 6: both, past the five flags asked for.
  settings.rangeNames[0] = "verse";
  settings.rangeIn[1] = 1024;
  settings.rangeOut[2] = 2048;
  settings.rangeIn[3] = 3072;
  settings.rangeOut[3] = 4096;
  settings.rangeIn[5] = 5120;
  std::array<int, 5> flags{7, 7, 7, 7, 7};
  EXPECT_EQ(CheckTimeRanges(settings.rangeIn, settings.rangeOut, flags), 3);
  EXPECT_EQ(flags, (std::array<int, 5>{0, 1, 1, 1, 0}));

  // The whole table, through the view the commands use.
  const RangeTable table = rangeTableOf(settings);
  ASSERT_EQ(table.slotCount(), kMaxRanges);
  std::array<int, kMaxRanges> all{};
  EXPECT_EQ(CheckTimeRanges(table.inFrames, table.outFrames, all), 4);
  EXPECT_EQ(all[5], 1);

  // Flags beyond the position arrays are cleared, never read from.
  const std::array<Position, 2> in{0, 9};
  const std::array<Position, 3> out{1, 0, 5};
  std::array<int, 4> wide{7, 7, 7, 7};
  EXPECT_EQ(CheckTimeRanges(in, out, wide), 2);
  EXPECT_EQ(wide, (std::array<int, 4>{1, 1, 0, 0}));
}

TEST(Ranges, TablesNeverReachPastTheirArrays) {
  ProjectSettings settings;
  settings.maxRanges = 1000;
  settings.maxLocates = -3;
  EXPECT_EQ(rangeTableOf(settings).slotCount(), kMaxRanges);
  EXPECT_EQ(locateTableOf(settings).slotCount(), 0);
  settings.maxLocates = 10;
  const LocateTable locates = locateTableOf(settings);
  EXPECT_TRUE(locates.validSlot(10));
  EXPECT_FALSE(locates.validSlot(11));
  EXPECT_FALSE(locates.validSlot(0));
}

}  // namespace
}  // namespace varnow
