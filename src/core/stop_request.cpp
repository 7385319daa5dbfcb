#include "core/stop_request.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace varnow {
namespace {

std::atomic<int> pendingSignal{0};
int wakeRead = -1;
int wakeWrite = -1;

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need a lock-free flag");

}  // namespace

void initStopRequests() {
  if (wakeRead >= 0) return;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  wakeRead = fds[0];
  wakeWrite = fds[1];
}

void requestStop(int signalNumber) {
  int none = 0;
  pendingSignal.compare_exchange_strong(none, signalNumber);
  if (wakeWrite >= 0) {
    const char byte = 1;
    // A full pipe already wakes every reader; nothing to do about a failure.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
  }
}

bool stopRequested() {
  return pendingSignal.load() != 0;
}

int stopSignal() {
  return pendingSignal.load();
}

int stopRequestFd() {
  return wakeRead;
}

void clearStopRequest() {
  pendingSignal.store(0);
  if (wakeRead < 0) return;
  char bytes[64];
  while (::read(wakeRead, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace varnow
