// The virtual card, one input and one output, with FIFOs in place of its
// play and capture files, and a thread that is their other end: every
// millisecond it reads at most one period of playback and keeps two whole
// periods of a capture ramp waiting (frame i holds i), so a pass lasts as
// long as the test lets it and the frames it delivers are known exactly.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "support/project_fixture.hpp"

namespace varnow::testing {

class PacedCard {
 public:
  // Both FIFOs are opened (read-write) before the program starts, so the
  // order of the opens does not matter.
  PacedCard(const ProjectFixture& project, int periodFrames);
  ~PacedCard();
  PacedCard(const PacedCard&) = delete;
  PacedCard& operator=(const PacedCard&) = delete;

  // No more capture frames: the device stops returning.
  void holdCapture() { held_ = true; }
  std::int64_t playedFrames() const { return playedBytes_ / 3; }
  // Capture frames the program has read: written minus still waiting.
  std::int64_t deliveredFrames() const;

 private:
  void serve();

  int playFd_ = -1;
  int captureFd_ = -1;
  int periodFrames_;
  std::atomic<bool> held_{false};
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> playedBytes_{0};
  mutable std::mutex captureLock_;
  std::int64_t writtenFrames_ = 0;
  std::thread thread_;
};

}  // namespace varnow::testing
