// The frame counts behind the length commands, which no screen shows (the
// prompts themselves, and the tempo menu, are checked end to end in
// tests/e2e/points_test.cpp).
#include "timeline/transport_lengths.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "timeline/scripted_replies.hpp"

namespace varnow {
namespace {

using testing::printedBy;
using testing::ScriptedReplies;

// Settings and counts at 44100 Hz with 1024-frame periods; every command
// reads its replies from `replies`.
struct Lengths {
  explicit Lengths(std::string text) : replies(std::move(text)) {
    settings.sampleRate = 44100;
    counts = computeDerivedCounts(settings, 1024);
  }
  template <typename Command>
  void run(Command command) {
    printedBy([&] { command(TimelineContext{settings, counts, 1024}, replies.input()); });
  }

  ProjectSettings settings;
  DerivedCounts counts;
  ScriptedReplies replies;
};

TEST(TransportLengths, FramesFollowEveryChange) {
  Lengths l("nan  1.5 d -2 -0  -5 10 d abc  2.5 0 next");
  void (*nudge)(TimelineContext, ConsoleInput&) = askNudgeAmount;
  void (*preroll)(TimelineContext, ConsoleInput&) = askPreroll;
  void (*crossfade)(TimelineContext, ConsoleInput&) = askCrossfade;
  void (*audition)(TimelineContext, ConsoleInput&) = askAuditionLength;

  l.run(nudge);  // NaN keeps it: 0.25 s = 11025 frames, 11 periods
  EXPECT_EQ(l.settings.nudge, 0.25f);
  EXPECT_EQ(l.counts.nudgeSamples, 11264);

  l.run(preroll);
  EXPECT_EQ(l.counts.prerollSamples, 66560);  // 66150 frames: 65 periods
  l.run(preroll);                             // d
  EXPECT_EQ(l.counts.prerollSamples, 66560);
  for (int reply = 0; reply < 2; ++reply) {  // -2, then -0
    l.counts.prerollSamples = 1;
    l.run(preroll);
    EXPECT_EQ(l.settings.preroll, 0.0f);
    EXPECT_FALSE(std::signbit(l.settings.preroll));
    EXPECT_EQ(l.counts.prerollSamples, 0);
  }

  l.run(crossfade);  // -5 is passed over, 10 ms taken
  EXPECT_EQ(l.counts.xfadeHalf, 220);
  EXPECT_EQ(l.counts.xfadeLength, 440);
  l.run(crossfade);  // d
  EXPECT_EQ(l.counts.xfadeLength, 440);
  l.run(crossfade);  // not a number: 0
  EXPECT_EQ(l.settings.crossfade, 0.0f);
  EXPECT_EQ(l.counts.xfadeLength, 0);

  l.run(audition);
  EXPECT_EQ(l.counts.auditionSamples, 110250);  // not rounded to the period
  l.run(audition);                              // 0 keeps it
  EXPECT_EQ(l.settings.auditionLength, 2.5f);
  EXPECT_EQ(l.counts.auditionSamples, 110250);
  EXPECT_EQ(l.replies.input().readWord(), "next");

  // A crossfade beyond 10 s is 10 s, and full = 2 x half.
  Lengths huge("1e30");
  huge.run(crossfade);
  EXPECT_EQ(huge.settings.crossfade, 10000.0f);
  EXPECT_EQ(huge.counts.xfadeLength, 2 * 220500);
}

}  // namespace
}  // namespace varnow
