#include "core/stop_request.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "core/forced_exit_cleanup.hpp"

namespace varnow {
namespace {

std::atomic<int> pendingSignal{0};
int wakeRead = -1;
std::atomic<void (*)()> wakeUp{nullptr};
int wakeWrite = -1;

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need a lock-free flag");

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onStopSignal(int signalNumber) {
  const int savedErrno = errno;
  if (signalNumber == SIGINT && pendingSignal.load() != 0) {
    // The first stop has not come through: end now, leaving every take
    // readable and no scratch file behind.
    runForcedExitCleanup();
    ::_exit(stopExitStatus(signalNumber));
  }
  requestStop(signalNumber);
  if (void (*wake)() = wakeUp.load(); wake != nullptr) wake();
  errno = savedErrno;
}

}  // namespace

void initStopRequests() {
  if (wakeRead >= 0) return;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  wakeRead = fds[0];
  wakeWrite = fds[1];
}

void requestStop(int signalNumber) {
  int pending = pendingSignal.load();
  const bool terminates = signalNumber != SIGINT;
  while (pending == 0 || (pending == SIGINT && terminates)) {
    if (pendingSignal.compare_exchange_weak(pending, signalNumber)) break;
  }
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

bool stopEndsRun() {
  const int pending = pendingSignal.load();
  return pending != 0 && pending != SIGINT;
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

void installStopHandlers() {
  initStopRequests();
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signalNumber : kStopSignals)
    sigaddset(&action.sa_mask, signalNumber);
  for (const int signalNumber : kStopSignals)
    ::sigaction(signalNumber, &action, nullptr);
}

void setStopWakeUp(void (*wake)()) {
  wakeUp.store(wake);
}

int stopExitStatus(int signalNumber) {
  return 128 + signalNumber;
}

}  // namespace varnow
