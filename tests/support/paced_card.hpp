// The virtual card on FIFOs, served by a thread that behaves like a sound
// card: it keeps real time, offers the program one period of a ramp per
// period of time on every input, holds as many periods of capture as the
// program's device buffer (four) and drops the oldest when nobody reads in
// time, counting each drop; it drains playback at the rate and counts the
// frames that were due and not there. A lost frame is a jump in the ramp.
//
// The card keeps its own time only while its thread runs: held up longer
// than two periods (a busy machine), it stands still for the rest, so that
// its lateness is never counted against the program. Nor is the machine's:
// a drop that would follow time the hypervisor took from this virtual
// machine since the program's last read (steal in /proc/stat) waits instead.
//
// Before the program first reads, and again after it has read nothing for a
// second (it sits at a prompt), the card is idle: one period waits and
// nothing is dropped or counted, so a pass starts as with a freshly prepared
// card, with no stale periods.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "support/project_fixture.hpp"

namespace varnow::testing {

class PacedCard {
 public:
  // Both FIFOs are open (read-write) before the program starts. The card
  // runs at 48 kHz with `inputs` capture and `outputs` playback channels,
  // on one processor (the last one no other paced card holds), where the
  // project's runs go too: the card wakes the program where it runs itself,
  // never a processor that a virtual machine's host may take its time to
  // give back.
  PacedCard(ProjectFixture& project, int periodFrames, int inputs = 1, int outputs = 1);
  ~PacedCard();
  PacedCard(const PacedCard&) = delete;
  PacedCard& operator=(const PacedCard&) = delete;

  // What input `input` (0-based) holds at ramp frame `frame`: the input in
  // the top bits, the frame below (modulo 2^20, 21 s).
  static std::int32_t rampValue(int input, std::int64_t frame);

  // From now on the card neither plays nor captures: the program stops at
  // its next write once the playback FIFO is full, or at its next read once
  // it has read what waits in the capture FIFO. resume() goes on, in time
  // from then.
  void hold() { setHeld(true); }
  void resume() { setHeld(false); }
  // From now on the card neither plays nor captures, and does not start
  // again: a card whose driver went away.
  void die() { dead_ = true; }
  // The card keeps what it played (playedBytes()), interleaved S24_3LE, from
  // now on.
  void keepPlayback();
  std::string playedBytes() const;
  // A loopback card: from the first frame a pass plays, input 1 captures
  // output 1 `delayFrames` later in the card's time (silence before), in
  // periods on the card's clock from that frame on, the oldest dropped when
  // four wait; the other inputs are silent.
  void loopback(std::int64_t delayFrames);
  // No pass plays into the loopback (its next pass starts the loop afresh).
  bool loopIdle() const;
  std::int64_t playedFrames() const { return playedFrames_; }
  // Capture frames the program has read.
  std::int64_t deliveredFrames() const;
  // Capture frames dropped while a pass read (each drop that a later read
  // of the program followed), and playback frames that were due while a
  // pass wrote and had not come.
  std::int64_t droppedFrames() const;
  std::int64_t starvedFrames() const;
  // The capture FIFO holds nothing for the program to read.
  bool captureDrained() const;
  std::filesystem::path playFifo() const { return playFifo_; }
  std::filesystem::path captureFifo() const { return captureFifo_; }

 private:
  void serve();
  void serveCapture(std::int64_t dueFrames);
  void servePlayback(std::int64_t dueFrames);
  void serveLoopback(std::int64_t dueFrames);
  void setHeld(bool held);
  std::int64_t waitingFrames() const;

  int playFd_ = -1, captureFd_ = -1;
  int periodFrames_, inputs_, outputs_;
  int cpu_ = 0;
  int cpuLockFd_ = -1;  // holds the processor against other paced cards
  std::filesystem::path playFifo_, captureFifo_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> dead_{false};
  std::atomic<std::int64_t> playedFrames_{0};
  mutable std::mutex lock_;
  // Guarded by lock_.
  bool held_ = false;
  bool capturing_ = false;       // a pass reads
  bool playing_ = false;         // a pass writes
  std::int64_t rampFrames_ = 0;  // ramp frames written into the FIFO
  std::int64_t droppedAll_ = 0;  // ramp frames the card read out itself
  std::int64_t dropped_ = 0, pendingDropped_ = 0;
  std::int64_t starved_ = 0, pendingStarved_ = 0;
  std::int64_t stolenAtRead_ = 0;       // steal ticks at the program's last read
  std::int64_t waitingAfterWrite_ = 0;  // frames the FIFO held when the card last left it
  std::int64_t capturedTo_ = 0;         // card time up to which periods were offered
  std::int64_t playedTo_ = 0;           // card time up to which playback was drained
  std::int64_t splitBytes_ = 0;         // bytes of a frame split between two reads
  bool keepPlayback_ = false;
  std::string played_;              // what playback drained, while kept or looped back
  std::int64_t loopDelay_ = -1;     // frames; -1: no loopback
  std::int64_t loopStart_ = -1;     // card time of the pass's first played frame
  std::int64_t playedAtStart_ = 0;  // bytes of played_ before that frame
  std::chrono::steady_clock::time_point lastRead_, lastWrite_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::duration heldFor_{};
  std::chrono::steady_clock::time_point heldSince_;
  std::thread thread_;
};

}  // namespace varnow::testing
