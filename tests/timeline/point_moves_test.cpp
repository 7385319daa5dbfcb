#include "timeline/point_moves.hpp"

#include <gtest/gtest.h>

#include "core/position_limit.hpp"
#include "timeline/time_copy.hpp"

namespace varnow {
namespace {

constexpr Position kLast = kLastPosition;

// Nudges stopping at 0, the jumps of ordinary windows and the twelve time
// copies are checked end to end in tests/e2e/points_test.cpp; these are the
// ends of the position range and the words that are no copy.
TEST(PointMoves, MovesStopAtTheEndsOfTheRange) {
  Position point = kLast - 5;
  nudgeForward(point, 12288);
  EXPECT_EQ(point, kLast);

  // An inverted window moves by its negative length; never below 0.
  Position in = 100;
  Position out = 40;
  JumpAhead(in, out);
  EXPECT_EQ(in, 40);
  EXPECT_EQ(out, 0);
  in = 100;
  out = 40;
  JumpBack(in, out);
  EXPECT_EQ(in, 160);
  EXPECT_EQ(out, 100);

  in = 0;
  out = kLast;
  JumpAhead(in, out);
  EXPECT_EQ(in, kLast);
  EXPECT_EQ(out, kLast);
}

TEST(TimeCopy, OtherWordsCopyNothing) {
  ProjectSettings s;
  s.inPoint = 1;
  s.outPoint = 2;
  const ProjectSettings before = s;
  for (const char* other : {"i.i", "x.o", "i.x", "io.", "i.l", "i.oo", "", "i"}) {
    EXPECT_FALSE(copyTimePoint(s, other)) << other;
  }
  EXPECT_EQ(s, before);
}

}  // namespace
}  // namespace varnow
