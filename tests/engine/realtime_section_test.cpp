#include "engine/realtime_section.hpp"

#include <gtest/gtest.h>

namespace varnow {
namespace {

// Whether the process may have real-time priority depends on the machine;
// either way the section ends at the policy it began with.
TEST(RealtimeSection, RaisesThePeriodLoopOnlyAndRestoresThePolicy) {
  const int before = sched_getscheduler(0);
  {
    const RealtimeSection section;
    sched_param param{};
    ASSERT_EQ(sched_getparam(0, &param), 0);
    if (section.raised()) {
      EXPECT_EQ(sched_getscheduler(0), SCHED_FIFO);
      EXPECT_GE(param.sched_priority, 1);
      EXPECT_LE(param.sched_priority, kPassPriority);
    } else {
      EXPECT_EQ(sched_getscheduler(0), before);
    }
  }
  EXPECT_EQ(sched_getscheduler(0), before);
}

}  // namespace
}  // namespace varnow
