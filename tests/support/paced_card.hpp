// The virtual card (one input, one output) on FIFOs served by a thread that
// every millisecond reads at most a period of playback and keeps two periods
// of a capture ramp (frame i holds i) waiting: passes last as long as the
// test lets them, and the frames delivered are known exactly.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "support/project_fixture.hpp"

namespace varnow::testing {

class PacedCard {
 public:
  // Both FIFOs are open (read-write) before the program starts.
  PacedCard(const ProjectFixture& project, int periodFrames);
  ~PacedCard();
  PacedCard(const PacedCard&) = delete;
  PacedCard& operator=(const PacedCard&) = delete;

  // From now on the card neither plays nor captures: the program stops at
  // its next write once the playback FIFO is full, or at its next read once
  // it has read what waits in the capture FIFO. resume() goes on.
  void hold() { setHeld(true); }
  void resume() { setHeld(false); }
  std::int64_t playedFrames() const { return playedBytes_ / 3; }
  // Capture frames the program has read: written minus still waiting.
  std::int64_t deliveredFrames() const;
  // The capture FIFO holds nothing for the program to read.
  bool captureDrained() const;
  std::filesystem::path playFifo() const { return playFifo_; }
  std::filesystem::path captureFifo() const { return captureFifo_; }

 private:
  void serve();
  void setHeld(bool held);

  int playFd_ = -1, captureFd_ = -1;
  int periodFrames_;
  std::filesystem::path playFifo_, captureFifo_;
  bool held_ = false;  // guarded by lock_
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> playedBytes_{0};
  mutable std::mutex lock_;
  std::int64_t writtenFrames_ = 0;
  std::thread thread_;
};

}  // namespace varnow::testing
