#include "support/paced_card.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace varnow::testing {
namespace {

int openFifo(const std::filesystem::path& path) {
  if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path.string());
  return fd;
}

std::int64_t waitingBytes(int fd) {
  int bytes = 0;
  return ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : 0;
}

}  // namespace

PacedCard::PacedCard(const ProjectFixture& project, int periodFrames)
    : periodFrames_(periodFrames),
      playFifo_(project.home() / "play.fifo"),
      captureFifo_(project.home() / "capture.fifo") {
  playFd_ = openFifo(playFifo_);
  captureFd_ = openFifo(captureFifo_);
  project.defineCard(playFifo_.string(), captureFifo_.string());
  thread_ = std::thread([this] { serve(); });
}

PacedCard::~PacedCard() {
  stop_ = true;
  thread_.join();
  close(playFd_);
  close(captureFd_);
}

void PacedCard::setHeld(bool held) {
  const std::lock_guard<std::mutex> lock(lock_);
  held_ = held;
}

bool PacedCard::captureDrained() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return waitingBytes(captureFd_) == 0;
}

std::int64_t PacedCard::deliveredFrames() const {
  const std::lock_guard<std::mutex> lock(lock_);
  return writtenFrames_ - waitingBytes(captureFd_) / 3;
}

void PacedCard::serve() {
  const std::int64_t periodBytes = 3 * periodFrames_;
  std::vector<char> play(static_cast<std::size_t>(periodBytes));
  while (!stop_) {
    {
      const std::lock_guard<std::mutex> lock(lock_);
      const ssize_t got = held_ ? 0 : read(playFd_, play.data(), play.size());
      if (got > 0) playedBytes_ += got;
      if (!held_ && waitingBytes(captureFd_) < 2 * periodBytes) {
        const std::string capture = packSamples(staircase(
            static_cast<std::size_t>(periodFrames_), static_cast<std::int32_t>(writtenFrames_)));
        // A period of at most PIPE_BUF bytes goes in at once, so the
        // program's period read never sees half a period.
        if (write(captureFd_, capture.data(), capture.size()) ==
            static_cast<ssize_t>(capture.size())) {
          writtenFrames_ += periodFrames_;
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace varnow::testing
