#include "engine/realtime_section.hpp"

#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace varnow {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The stack a pass may reach, faulted in before it is locked.
constexpr std::size_t kStackReserveBytes = 256 * 1024;

int passPriority() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur > 0 && limit.rlim_cur < static_cast<rlim_t>(kPassPriority)) {
    return static_cast<int>(limit.rlim_cur);
  }
  return kPassPriority;
}

void touchStack() {
  unsigned char reserve[kStackReserveBytes];
  std::memset(reserve, 0, sizeof reserve);
  // Keeps the writes: the compiler may not drop what the barrier may read.
  __asm__ __volatile__("" : : "r"(reserve) : "memory");
}

// Once per run. Only what is mapped now is locked (the buffers of the run are
// allocated at start); locking future mappings could make a later allocation
// at a prompt fail under a small RLIMIT_MEMLOCK. A sanitizer build maps
// terabytes of shadow memory, which cannot be locked.
void lockMemoryOnce() {
  static bool locked = false;
  if (locked || kSanitized) return;
  locked = true;
  touchStack();
  // A failure leaves the memory unlocked, as on a process without the right.
  (void)::mlockall(MCL_CURRENT);
}

}  // namespace

RealtimeSection::RealtimeSection() {
  oldPolicy_ = ::sched_getscheduler(0);
  if (oldPolicy_ < 0 || ::sched_getparam(0, &oldParam_) != 0) return;
  if (oldPolicy_ == SCHED_FIFO || oldPolicy_ == SCHED_RR) return;  // already real-time
  sched_param wanted{};
  wanted.sched_priority = std::clamp(passPriority(), ::sched_get_priority_min(SCHED_FIFO),
                                     ::sched_get_priority_max(SCHED_FIFO));
  if (::sched_setscheduler(0, SCHED_FIFO, &wanted) != 0) return;
  raised_ = true;
  lockMemoryOnce();
}

RealtimeSection::~RealtimeSection() {
  if (raised_) ::sched_setscheduler(0, oldPolicy_, &oldParam_);
}

}  // namespace varnow
