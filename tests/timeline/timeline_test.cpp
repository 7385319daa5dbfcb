// Musical time, point entry and moves, slot tables and the length commands.

#include <cmath>

#include "core/position_limit.hpp"
#include "core/unit_fixture.hpp"
#include "timeline/longest_file.hpp"
#include "timeline/musical_time.hpp"
#include "timeline/period_rounding.hpp"
#include "timeline/point_entry.hpp"
#include "timeline/point_moves.hpp"
#include "timeline/ranges.hpp"
#include "timeline/slot_tables.hpp"
#include "timeline/transport_lengths.hpp"

namespace varnow {
namespace {

PointEntry entryAt(std::uint32_t rate, std::int64_t period) {
  PointEntry entry;
  entry.rate = rate;
  entry.periodFrames = period;
  return entry;
}

TEST(MusicalTime, BarLinesDecidedInSinglePrecision) {
  EXPECT_EQ(MeasuresToSample(3, 90.0f, 3, 3.5f, 48000), 272000);
  EXPECT_FLOAT_EQ(toMusical(272000, 3, 90.0f, 48000).beat, 3.5f);
  // 3.99991 beats stay below 4: still measure 1. At 1 Hz and 60 bpm, 2^24 + 1
  // frames read as 2^24 beats.
  EXPECT_EQ(toMusical(88199, 4, 120.0f, 44100).measure, 1);
  EXPECT_NEAR(toMusical(88199, 4, 120.0f, 44100).beat, 4.99995f, 1e-5f);
  EXPECT_EQ(toMusical((1 << 24) + 1, 4, 60.0f, 1).measure, (1 << 22) + 1);
  EXPECT_FLOAT_EQ(toMusical((1 << 24) + 1, 4, 60.0f, 1).beat, 1.0f);
  EXPECT_EQ(toMusical(0, 4, 120.0f, 0).measure, 1);  // a rate of 0 does not trap
  EXPECT_GT(toMusical(1000, 4, 120.0f, 0).measure, 1000);

  ProjectSettings s;
  s.punchPoint = -5;
  s.rangeOut[63] = 8191;
  s.locateTimes[10] = 3'000'000'000LL;
  roundStoredPointsToPeriod(s, 4096);
  EXPECT_EQ(s.punchPoint, 0);
  EXPECT_EQ(s.rangeOut[63], 8192);
  EXPECT_EQ(s.locateTimes[10], 3'000'000'512LL);
}

TEST(PointEntry, MeasuresRoundUpToPeriodsAndDirectSetsKeepSixteenCharacters) {
  // Measure 2 at 120 bpm in 4/4 is 88200 frames: 87 periods and a piece.
  EXPECT_EQ(positionFromMeasures(2, 1.0f, entryAt(44100, 1024)), 89088);
  EXPECT_EQ(positionFromMeasures(-7, 1.0f, entryAt(44100, 1024)), 0);
  EXPECT_EQ(positionFromMeasures(2, 1.0f, entryAt(48000, 1000)), 96000);  // on a boundary
  EXPECT_EQ(positionFromMeasures(1, 4.99999f, entryAt(44100, 1)), 88199);
  EXPECT_EQ(positionFromMeasures(2, 0.5f, entryAt(44100, 1)), 88200);  // beat below 1

  // The measure form: the letter, the measure, "." and the beat; only the
  // first 16 characters of the word count.
  const struct {
    const char* word;
    Position position;  // at 48000 Hz, 1024-frame periods
  } words[] = {
      {"e2", 96256},
      {"e2.3", 144384},              // measure 2, beats 1 and 3
      {"e0000000000002.3", 144384},  // 16 characters: the beat counts
      {"e00000000000002.3", 96256},  // 17: the beat is cut off
      {"e0", 0},
      {"e-99999999999999", 0},
      {"eabc", 0},
  };
  for (const auto& w : words) {
    PointEntry entry = entryAt(48000, 1024);
    entry.mode = EntryMode::kCommandText;
    entry.commandText = w.word;
    Position point = 5;
    SetPunchPointMeas(entry, point);
    EXPECT_EQ(point, w.position) << w.word;
  }
}

TEST(PointMoves, MovesAndSlotsStayInsideTheirRanges) {
  Position point = kLastPosition - 5;
  nudgeForward(point, 12288);
  EXPECT_EQ(point, kLastPosition);
  // An inverted window moves by its negative length; never below 0.
  const std::tuple<void (*)(Position&, Position&), Position, Position, Position, Position> jumps[] =
      {{JumpAhead, 100, 40, 40, 0},
       {JumpBack, 100, 40, 160, 100},
       {JumpAhead, 0, kLastPosition, kLastPosition, kLastPosition}};
  for (auto [jump, in, out, newIn, newOut] : jumps) {
    jump(in, out);
    EXPECT_EQ(std::pair(in, out), std::pair(newIn, newOut));
  }

  ProjectSettings s;
  // Flags beyond the position arrays are cleared, never read from.
  const std::array<Position, 2> shortIn{0, 9};
  const std::array<Position, 3> shortOut{1, 0, 5};
  std::array<int, 4> wide{7, 7, 7, 7};
  EXPECT_EQ(CheckTimeRanges(shortIn, shortOut, wide), 2);
  EXPECT_EQ(wide, (std::array<int, 4>{1, 1, 0, 0}));
  s.maxRanges = 1000, s.maxLocates = -3;
  EXPECT_EQ(rangeTableOf(s).slotCount(), kMaxRanges);
  EXPECT_EQ(locateTableOf(s).slotCount(), 0);
  s.maxLocates = 10;
  EXPECT_TRUE(locateTableOf(s).validSlot(10));
  EXPECT_FALSE(locateTableOf(s).validSlot(11));
  EXPECT_FALSE(locateTableOf(s).validSlot(0));
  const testing::TakeDir dir;  // no play list: no length
  EXPECT_EQ(testing::printedBy([&] { EXPECT_EQ(SEEK_LONG_FILE(5, "-", dir.file("none")), 0); }),
            "Playlist file called " + dir.file("none") + " was not found!\n");
}

// The frame counts behind the length commands, which no screen shows.
TEST(TransportLengths, FramesFollowEveryChange) {
  ProjectSettings s;
  s.sampleRate = 44100;
  DerivedCounts counts = computeDerivedCounts(s, 1024);
  testing::ScriptedReplies replies("-0 1e30 2.5 0");
  testing::printedBy([&] {
    askPreroll(TimelineContext{s, counts, 1024}, replies.input());
    askCrossfade(TimelineContext{s, counts, 1024}, replies.input());
    askAuditionLength(TimelineContext{s, counts, 1024}, replies.input());
    askAuditionLength(TimelineContext{s, counts, 1024}, replies.input());  // 0 keeps it
  });
  EXPECT_EQ(counts.auditionSamples, 110250);  // not rounded to the period
  EXPECT_FALSE(std::signbit(s.preroll));
  EXPECT_EQ(counts.prerollSamples, 0);
  EXPECT_EQ(counts.xfadeLength, 2 * 220500);  // beyond 10 s is 10 s, and full = 2 x half

  s.preroll = 0.001f;
  EXPECT_EQ(computeDerivedCounts(s, 1024).prerollSamples, 1024);  // at least one period
}

}  // namespace
}  // namespace varnow
