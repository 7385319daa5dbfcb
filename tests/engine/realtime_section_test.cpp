#include "engine/realtime_section.hpp"

#include <gtest/gtest.h>

namespace varnow {
namespace {

// Whether the process may have real-time priority depends on the machine;
// either way the section ends at the policy it began with.
TEST(RealtimeSection, RaisesOnlyWhileItLastsAndRestoresThePolicy) {
  const int before = sched_getscheduler(0);
  {
    const RealtimeSection section;
    EXPECT_EQ(sched_getscheduler(0), section.raised() ? SCHED_FIFO : before);
  }
  EXPECT_EQ(sched_getscheduler(0), before);
}

}  // namespace
}  // namespace varnow
