#include "timeline/point_moves.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "timeline/time_copy.hpp"

namespace varnow {
namespace {

constexpr Position kLast = std::numeric_limits<Position>::max();

TEST(PointMoves, NudgesStopAtTheStartAndAtTheEndOfTheRange) {
  Position point = 4096;
  nudgeForward(point, 12288);
  EXPECT_EQ(point, 16384);
  nudgeBack(point, 1024);
  EXPECT_EQ(point, 15360);
  nudgeBack(point, 20000);  // more than the point: the start
  EXPECT_EQ(point, 0);
  point = kLast - 5;
  nudgeForward(point, 12288);
  EXPECT_EQ(point, kLast);
}

TEST(PointMoves, JumpsMoveTheWindowByItsLength) {
  Position in = 0;
  Position out = 0;
  JumpAhead(in, out);
  JumpBack(in, out);
  EXPECT_EQ(in, 0);
  EXPECT_EQ(out, 0);

  in = 44100;
  out = 132300;
  JumpBack(in, out);  // 44100 - 88200 is below the start: the window shrinks
  EXPECT_EQ(in, 0);
  EXPECT_EQ(out, 44100);
  JumpAhead(in, out);
  EXPECT_EQ(in, 44100);
  EXPECT_EQ(out, 88200);
  JumpAhead(in, out);
  EXPECT_EQ(in, 88200);
  EXPECT_EQ(out, 132300);

  // An inverted window moves by its negative length; never below 0.
  in = 100;
  out = 40;
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

TEST(TimeCopy, TwelveCopiesAndNothingElse) {
  struct Copy {
    const char* word;
    Position in, out, punch, memory;  // after the copy, from 1, 2, 3, 4
  };
  const Copy copies[] = {
      {"i.o", 1, 1, 3, 4}, {"e.o", 1, 3, 3, 4}, {"m.o", 1, 4, 3, 4}, {"i.m", 1, 2, 3, 1},
      {"e.m", 1, 2, 3, 3}, {"o.m", 1, 2, 3, 2}, {"i.e", 1, 2, 1, 4}, {"m.e", 1, 2, 4, 4},
      {"o.e", 1, 2, 2, 4}, {"e.i", 3, 2, 3, 4}, {"m.i", 4, 2, 3, 4}, {"o.i", 2, 2, 3, 4},
  };
  for (const Copy& copy : copies) {
    ProjectSettings s;
    s.inPoint = 1;
    s.outPoint = 2;
    s.punchPoint = 3;
    s.memoryPoint = 4;
    EXPECT_TRUE(copyTimePoint(s, copy.word)) << copy.word;
    EXPECT_EQ(s.inPoint, copy.in) << copy.word;
    EXPECT_EQ(s.outPoint, copy.out) << copy.word;
    EXPECT_EQ(s.punchPoint, copy.punch) << copy.word;
    EXPECT_EQ(s.memoryPoint, copy.memory) << copy.word;
  }
  ProjectSettings s;
  s.inPoint = 1;
  const ProjectSettings before = s;
  for (const char* other : {"i.i", "x.o", "i.x", "io.", "i.l", "i.oo", "", "i"}) {
    EXPECT_FALSE(copyTimePoint(s, other)) << other;
  }
  EXPECT_EQ(s, before);
}

}  // namespace
}  // namespace varnow
