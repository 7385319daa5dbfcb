#include "engine/device_watchdog.hpp"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "core/forced_exit_cleanup.hpp"
#include "core/stop_request.hpp"

namespace varnow {
namespace {

// SIGALRM is not used otherwise: no sleep() or alarm() in this program.
constexpr int kWatchdogSignal = SIGALRM;

std::atomic<bool> stalledFlag{false};
std::atomic<int> firingsSinceStall{0};
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers need a lock-free flag");
static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need a lock-free count");

// Firings after the first (a tenth of a second apart) in which the loop has
// not come back: a plugin that retries its own interrupted call for ever (ALSA's
// file plugin writing into a FIFO nobody reads) never gives the thread back.
constexpr int kFiringsBeforeExit = 20;

timer_t wakeTimer{};

void onWatchdog(int) {
  const int savedErrno = errno;
  // A stop request had the timer run early: the interrupted call was all.
  if (stopRequested()) return;
  if (stalledFlag.exchange(true) && firingsSinceStall.fetch_add(1) + 1 >= kFiringsBeforeExit) {
    // The run cannot go on: say why, leave every take readable, end.
    static const char kSentence[] = "\nThe sound card stopped: no audio for 2 s.\n";
    [[maybe_unused]] const ssize_t written =
        ::write(STDOUT_FILENO, kSentence, sizeof kSentence - 1);
    runForcedExitCleanup();
    ::_exit(kExitStuckDevice);
  }
  errno = savedErrno;
}

// Once run out, the timer goes on every tenth of a second until it is set
// again: a plugin that goes on writing after a first interrupted write (the
// rest of a buffer into a FIFO nobody reads) is interrupted again.
void arm(timer_t timer, bool haveTimer, int seconds) {
  if (!haveTimer) return;
  itimerspec when{};
  when.it_value.tv_sec = seconds;
  if (seconds > 0) when.it_interval.tv_nsec = 100'000'000;
  (void)timer_settime(timer, 0, &when, nullptr);
}

// A stop request during a pass: a card call that has not come back within a
// fifth of a second (the card does not deliver) is interrupted then, and
// every tenth of a second after. A call that comes back sooner is left alone,
// so that a card that runs keeps every frame it delivers.
void wakeSoon() {
  itimerspec when{};
  when.it_value.tv_nsec = 200'000'000;
  when.it_interval.tv_nsec = 100'000'000;
  (void)timer_settime(wakeTimer, 0, &when, nullptr);
}

}  // namespace

DeviceWatchdog::DeviceWatchdog() {
  struct sigaction action {};
  action.sa_handler = onWatchdog;
  action.sa_flags = 0;  // no SA_RESTART: the blocked call must come back
  sigemptyset(&action.sa_mask);
  if (::sigaction(kWatchdogSignal, &action, nullptr) != 0) return;
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = kWatchdogSignal;
  event._sigev_un._tid = static_cast<pid_t>(::syscall(SYS_gettid));
  haveTimer_ = timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
}

DeviceWatchdog::~DeviceWatchdog() {
  if (haveTimer_) timer_delete(timer_);
}

void DeviceWatchdog::start() {
  stalledFlag.store(false);
  firingsSinceStall.store(0);
  arm(timer_, haveTimer_, kDeviceStallSeconds);
  if (haveTimer_) {
    wakeTimer = timer_;
    setStopWakeUp(wakeSoon);
  }
}

void DeviceWatchdog::moved() const {
  arm(timer_, haveTimer_, kDeviceStallSeconds);
}

void DeviceWatchdog::stop() const {
  setStopWakeUp(nullptr);
  arm(timer_, haveTimer_, 0);
}

bool DeviceWatchdog::stalled() {
  return stalledFlag.load();
}

}  // namespace varnow
