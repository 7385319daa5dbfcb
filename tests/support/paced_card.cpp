#include "support/paced_card.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace varnow::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kRate = 48000;
constexpr std::int64_t kBufferPeriods = 4;  // the program asks for four periods
constexpr auto kTick = std::chrono::microseconds(500);
constexpr auto kIdleAfter = std::chrono::seconds(1);
// Above the program's period loop (40), so that a late card is not taken
// for a late program; only where the test may.
constexpr int kCardPriority = 60;

// The time the hypervisor took from this machine's processors so far, in
// ticks of 10 ms: the steal field of /proc/stat.
std::int64_t stolenTicks() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  std::int64_t field = 0, steal = 0;
  stat >> cpu;
  for (int i = 0; i < 8 && stat >> field; ++i)
    steal = field;
  return steal;
}

std::int64_t waitingBytes(int fd) {
  int bytes = 0;
  return ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : 0;
}

}  // namespace

std::int32_t PacedCard::rampValue(int input, std::int64_t frame) {
  return static_cast<std::int32_t>((std::int64_t{input} << 20) + (frame & 0xFFFFF));
}

PacedCard::PacedCard(ProjectFixture& project, int periodFrames, int inputs, int outputs)
    : periodFrames_(periodFrames),
      inputs_(inputs),
      outputs_(outputs),
      playFifo_(project.home() / "play.fifo"),
      captureFifo_(project.home() / "capture.fifo") {
  playFd_ = openFifo(playFifo_);
  captureFd_ = openFifo(captureFifo_);
  // Each FIFO holds the device buffer (at least; the system rounds up to
  // whole pages): what the program may write ahead of the pace, what it may
  // leave unread before the oldest period is lost.
  for (const auto& [fd, channels] : {std::pair{playFd_, outputs}, std::pair{captureFd_, inputs}}) {
    const std::int64_t bufferBytes = kBufferPeriods * periodFrames * channels * 3;
    fcntl(fd, F_SETPIPE_SZ, static_cast<int>(std::max<std::int64_t>(bufferBytes, 4096)));
  }
  project.defineCard(playFifo_.string(), captureFifo_.string());
  // The last processor that no other paced card of this machine holds (tests
  // run side by side), or the last one.
  const int cpus = std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
  cpu_ = cpus - 1;
  for (int cpu = cpus - 1; cpu >= 0; --cpu) {
    const std::string lockPath = "/tmp/varnow-paced-card-cpu" + std::to_string(cpu) + ".lock";
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      cpu_ = cpu;
      cpuLockFd_ = fd;
      break;
    }
    if (fd >= 0) close(fd);
  }
  project.runOnCpu(cpu_);
  start_ = lastRead_ = lastWrite_ = Clock::now();
  thread_ = std::thread([this] { serve(); });
}

PacedCard::~PacedCard() {
  stop_ = true;
  thread_.join();
  close(playFd_);
  close(captureFd_);
  if (cpuLockFd_ >= 0) close(cpuLockFd_);
}

void PacedCard::keepPlayback() {
  const std::lock_guard<std::mutex> lock(lock_);
  keepPlayback_ = true;
}

std::string PacedCard::playedBytes() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return played_;
}

void PacedCard::loopback(std::int64_t delayFrames) {
  const std::lock_guard<std::mutex> lock(lock_);
  loopDelay_ = delayFrames;
}

bool PacedCard::loopIdle() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return loopStart_ < 0;
}

void PacedCard::setHeld(bool held) {
  const std::lock_guard<std::mutex> lock(lock_);
  if (held == held_) return;
  held_ = held;
  if (held) {
    heldSince_ = Clock::now();
  } else {
    heldFor_ += Clock::now() - heldSince_;
  }
}

std::int64_t PacedCard::waitingFrames() const {
  return inputs_ > 0 ? waitingBytes(captureFd_) / (3 * inputs_) : 0;
}

bool PacedCard::captureDrained() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return waitingBytes(captureFd_) == 0;
}

std::int64_t PacedCard::deliveredFrames() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return rampFrames_ - droppedAll_ - waitingFrames();
}

std::int64_t PacedCard::droppedFrames() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return dropped_;
}

std::int64_t PacedCard::starvedFrames() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return starved_;
}

void PacedCard::serve() {
  sched_param priority{};
  priority.sched_priority = kCardPriority;
  (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(static_cast<std::size_t>(cpu_), &one);
  (void)pthread_setaffinity_np(pthread_self(), sizeof one, &one);
  auto tick = Clock::now();
  auto lastServed = tick;
  // Two periods: beyond this the card itself was held up.
  const auto lateLimit = std::chrono::microseconds(2 * periodFrames_ * 1'000'000 / kRate);
  while (!stop_) {
    {
      const std::lock_guard<std::mutex> lock(lock_);
      const auto now = Clock::now();
      // A card thread that got no processor for a while (a busy virtual
      // machine) stands still for that time, as a held card does, rather
      // than make up for it in a burst that the program is blamed for.
      if (!held_ && now - lastServed > lateLimit) heldFor_ += now - lastServed - kTick;
      lastServed = now;
      if (!held_ && !dead_) {
        const auto cardTime = Clock::now() - start_ - heldFor_;
        const std::int64_t due =
            std::chrono::duration_cast<std::chrono::microseconds>(cardTime).count() * kRate /
            1'000'000;
        if (loopDelay_ >= 0) {
          // What input 1 captures must have been played first.
          servePlayback(due);
          serveLoopback(due);
        } else {
          serveCapture(due);
          servePlayback(due);
        }
      }
    }
    tick += kTick;
    if (Clock::now() - tick > kIdleAfter) tick = Clock::now();  // after a stop (Ctrl-Z)
    std::this_thread::sleep_until(tick);
  }
}

//   FIFO   [ oldest ... newest ]  at most four periods; a fifth due drops the oldest
void PacedCard::serveCapture(std::int64_t dueFrames) {
  if (inputs_ <= 0) return;
  const auto now = Clock::now();
  const std::size_t periodBytes = static_cast<std::size_t>(periodFrames_ * inputs_ * 3);
  std::vector<char> bytes(periodBytes);
  const auto writePeriod = [&] {
    std::string period;
    period.reserve(periodBytes);
    for (int f = 0; f < periodFrames_; ++f) {
      for (int c = 0; c < inputs_; ++c) {
        const auto value = static_cast<std::uint32_t>(rampValue(c, rampFrames_ + f));
        period += static_cast<char>(value & 0xFF);
        period += static_cast<char>((value >> 8) & 0xFF);
        period += static_cast<char>((value >> 16) & 0xFF);
      }
    }
    // The FIFO has room for the whole period: it lands at once.
    if (write(captureFd_, period.data(), period.size()) == static_cast<ssize_t>(period.size())) {
      rampFrames_ += periodFrames_;
    }
  };
  const auto readOut = [&] {
    if (read(captureFd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
      droppedAll_ += periodFrames_;
      return true;
    }
    return false;
  };

  if (waitingFrames() < waitingAfterWrite_) {  // the program read
    capturing_ = true;
    lastRead_ = now;
    stolenAtRead_ = stolenTicks();
    dropped_ += pendingDropped_;
    pendingDropped_ = 0;
  }
  if (capturing_ && now - lastRead_ > kIdleAfter) {
    // Back at a prompt: what waits would be stale at the next pass.
    capturing_ = false;
    pendingDropped_ = 0;
    while (waitingFrames() > 0 && readOut()) {
    }
  }
  if (!capturing_) {
    if (waitingFrames() == 0) writePeriod();
    capturedTo_ = dueFrames;
  } else {
    while (capturedTo_ + periodFrames_ <= dueFrames) {
      const bool full = waitingFrames() + periodFrames_ > kBufferPeriods * periodFrames_;
      if (full && stolenTicks() > stolenAtRead_) {
        // The machine itself (a virtual one, its processors taken away by
        // its host) held the program up: the card waits with it.
        heldFor_ += std::chrono::microseconds(periodFrames_ * 1'000'000 / kRate);
        break;
      }
      if (full && readOut()) pendingDropped_ += periodFrames_;
      writePeriod();
      capturedTo_ += periodFrames_;
    }
  }
  waitingAfterWrite_ = waitingFrames();
}

void PacedCard::servePlayback(std::int64_t dueFrames) {
  if (outputs_ <= 0) return;
  const auto now = Clock::now();
  const std::int64_t frameBytes = 3 * outputs_;
  const std::int64_t owed = dueFrames - playedTo_;
  playedTo_ = dueFrames;
  if (owed <= 0) return;
  std::vector<char> bytes(static_cast<std::size_t>(owed * frameBytes));
  std::int64_t got = 0;
  while (got < static_cast<std::int64_t>(bytes.size())) {
    const ssize_t n =
        read(playFd_, bytes.data() + got, bytes.size() - static_cast<std::size_t>(got));
    if (n <= 0) break;
    got += n;
  }
  if (got > 0 && loopDelay_ >= 0 && loopStart_ < 0) {
    // The pass's first frame, at the start of this tick's stretch.
    loopStart_ = dueFrames - got / frameBytes;
    playedAtStart_ = static_cast<std::int64_t>(played_.size());
  }
  if (keepPlayback_ || loopDelay_ >= 0) played_.append(bytes.data(), static_cast<std::size_t>(got));
  // A frame split between two reads counts when its last byte is taken.
  splitBytes_ += got;
  const std::int64_t frames = splitBytes_ / frameBytes;
  splitBytes_ %= frameBytes;
  playedFrames_ += frames;
  if (frames > 0) {
    if (playing_) starved_ += pendingStarved_;
    pendingStarved_ = 0;
    playing_ = true;
    lastWrite_ = now;
  }
  if (playing_ && frames < owed) pendingStarved_ += owed - frames;
  if (playing_ && now - lastWrite_ > kIdleAfter) {
    playing_ = false;
    pendingStarved_ = 0;
  }
  // A tenth of a second without a frame: the pass is over, the next one
  // starts the loop afresh.
  if (now - lastWrite_ > std::chrono::milliseconds(100)) loopStart_ = -1;
}

//   card time   loopStart ........ c ..........
//   output 1    [frame 0 ...   frame c - loopStart]
//   input 1                    frame c - loopStart - delay
void PacedCard::serveLoopback(std::int64_t dueFrames) {
  if (inputs_ <= 0) return;
  const std::int64_t frameBytes = 3 * outputs_;
  if (loopStart_ < 0) {
    // No pass plays: nothing to capture, nothing stale at the next one.
    std::vector<char> bytes(4096);
    while (waitingBytes(captureFd_) > 0 && read(captureFd_, bytes.data(), bytes.size()) > 0) {
    }
    capturedTo_ = -1;
    waitingAfterWrite_ = 0;
    return;
  }
  if (capturedTo_ < 0) capturedTo_ = loopStart_;
  std::vector<char> period(static_cast<std::size_t>(periodFrames_ * inputs_ * 3), 0);
  std::vector<char> oldest(period.size());
  while (capturedTo_ + periodFrames_ <= dueFrames) {
    std::fill(period.begin(), period.end(), 0);
    for (int f = 0; f < periodFrames_; ++f) {
      const std::int64_t frame = capturedTo_ + f - loopStart_ - loopDelay_;
      const std::int64_t at = playedAtStart_ + frame * frameBytes;
      if (frame < 0 || at + 3 > static_cast<std::int64_t>(played_.size())) continue;
      std::copy_n(played_.data() + at, 3, period.data() + f * inputs_ * 3);
    }
    if (waitingFrames() + periodFrames_ > kBufferPeriods * periodFrames_ &&
        read(captureFd_, oldest.data(), oldest.size()) == static_cast<ssize_t>(oldest.size())) {
      droppedAll_ += periodFrames_;
    }
    if (write(captureFd_, period.data(), period.size()) == static_cast<ssize_t>(period.size())) {
      rampFrames_ += periodFrames_;
    }
    capturedTo_ += periodFrames_;
  }
}

}  // namespace varnow::testing
