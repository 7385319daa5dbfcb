// Real-time scheduling for the period loop of a pass.
//
// A dropout while recording is the second worst thing a recorder can do, so
// when the process may (RLIMIT_RTPRIO above 0, or CAP_SYS_NICE) the period
// loop runs under SCHED_FIFO, and before the first such loop the memory of
// the run (the block buffers among it) is touched and locked, so that no
// page fault stalls a period. When the process may not, nothing is printed
// and the loop runs at the priority it had.
#pragma once

#include <sched.h>

namespace varnow {

// The real-time priority of the period loop: below the kernel's interrupt
// threads (50), so that the sound card's own interrupt is still served
// first; lowered to RLIMIT_RTPRIO when that allows less.
inline constexpr int kPassPriority = 40;

class RealtimeSection {
 public:
  // Switches the calling thread to SCHED_FIFO when permitted; the first time
  // that succeeds also locks the memory of the run (mlockall).
  RealtimeSection();
  // Back to the policy and priority the thread had.
  ~RealtimeSection();
  RealtimeSection(const RealtimeSection&) = delete;
  RealtimeSection& operator=(const RealtimeSection&) = delete;

  bool raised() const { return raised_; }

 private:
  bool raised_ = false;
  int oldPolicy_ = SCHED_OTHER;
  sched_param oldParam_{};
};

}  // namespace varnow
