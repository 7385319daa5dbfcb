// The disk thread of a pass: every play-file read and every take write, done
// away from the period loop, which only copies between these rings and the
// device.
//
//   play files --pread, large pieces--> play ring k    --block fill--> device
//   device --period reads--> record block --4096 frames--> capture ring i --write--> take file i
//
// One ring per channel and direction, allocated once for the run (a fixed
// memory budget, see ringFramesFor()), lock-free between one producer and one
// consumer. The play rings are filled before the device starts; each
// completed capture block is handed over at once and written without waiting
// for more, so a ring only fills while the disk stalls. A stall longer than a
// ring costs only the frames that did not fit: the take keeps its length and
// its alignment, with silence for the lost stretch, and the loss is kept for
// the report after the pass. A play ring that runs dry plays silence and is
// reported the same way.
//
// The loop's side (playBlock, handOver, failures, takeError) never waits,
// allocates or calls the file system.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "core/project_settings.hpp"
#include "core/spsc_ring.hpp"
#include "engine/block_buffers.hpp"
#include "engine/take_files.hpp"
#include "wave/wave_attributes.hpp"

namespace varnow {

// The memory of each direction's rings: 5 s of 64 channels at 48 kHz fit
// (46 MB); more channels or a higher rate share it in fewer seconds (256
// channels at 96 kHz get 0.68 s).
inline constexpr std::int64_t kRingBudgetBytes = std::int64_t{48} * 1024 * 1024;
inline constexpr std::int64_t kRingSeconds = 5;

// Frames each ring holds, for `channels` channels at `sampleRate`: 5 s in
// whole blocks, or as many whole blocks (at least two) as the budget allows.
std::int64_t ringFramesFor(int channels, std::uint32_t sampleRate);

// Stretches of a channel's stream that the disk did not keep up with.
struct StreamLoss {
  std::int64_t frames = 0;  // lost in all
  Position first = 0;       // timeline position of the first lost frame
  Position end = 0;         // timeline position just after the last one
  int stretches = 0;

  void add(Position at, std::int64_t count);
};

// A play file as the pass reads it.
struct PlaySource {
  int descriptor = -1;  // -1: the track does not play
  WaveAttributes file{};
  Position fileStart = 0;  // timeline position of its sample 0
};

// What one pass asks of the disk thread.
struct DiskPass {
  std::array<PlaySource, kMaxChannels> play{};
  Position playFrom = 0;  // timeline position of the first block the loop fills
  // No file is read at or past this timeline position; the rings hold
  // silence from there on.
  Position readEnd = 0;
  TakeFiles* take = nullptr;  // null: the pass records nothing
  std::array<std::int32_t, kMaxChannels> armed{};
  Position takeStart = 0;  // timeline position of every take's sample 0
};

class DiskThread {
 public:
  // Allocates the rings of `channels` channels each way, for the whole run.
  DiskThread(int channels, std::uint32_t sampleRate);
  ~DiskThread();
  DiskThread(const DiskThread&) = delete;
  DiskThread& operator=(const DiskThread&) = delete;

  // Before the device starts: fills the play rings (the caller waits for
  // that; the files must stay open until finish()), then starts the thread,
  // below the real-time priority the loop may take, with the stop signals
  // left to the loop's thread.
  void start(const DiskPass& pass);

  // The loop's side.
  //
  // The 4096 frames of track `track` for the block at `blockStart`, from its
  // ring; what the ring does not hold (the disk fell behind) is silence and
  // counted, and the frames that come late are skipped, so the track stays
  // in time.
  void playBlock(int track, Position blockStart, std::int8_t* block);
  // Hands the first `frames` frames of every armed input's block in `buffer`
  // to the disk thread. When a ring has no room, the frames are lost for
  // every input: counted, and written as silence once there is room again.
  void handOver(const BlockBuffer& buffer, std::int64_t frames);
  // How many times take writes failed so far; takeError() says for which
  // inputs (the errno, 0 while its file is well).
  std::uint64_t failures() const { return failures_.load(std::memory_order_acquire); }
  int takeError(int input) const;

  // After the loop: hands over `frames` frames as handOver() does, waiting
  // for room as long as the disk needs.
  void handOverWaiting(const BlockBuffer& buffer, std::int64_t frames);
  // After the loop: writes whatever the capture rings still hold into the
  // takes, then ends the thread. Harmless when no pass runs.
  void finish();

  // What the disk did not keep up with in the last pass.
  const StreamLoss& captureLoss() const { return captureLoss_; }
  const StreamLoss& playLoss(int track) const;
  std::int64_t ringFrames() const { return ringFrames_; }

 private:
  // One hand-over as the disk thread takes it: a block of frames in every
  // armed input's ring, or a lost stretch to be written as silence.
  struct CaptureRecord {
    std::int64_t frames = 0;
    std::int32_t lost = 0;
  };
  struct PlayFeed {
    Position next = 0;  // timeline position of the next frame to put in the ring
  };

  void run();
  bool writeCaptureRecord();
  bool refillPlay(bool prefill);
  void produce(int track, std::int64_t frames);
  bool publishPendingLoss(std::size_t recordsAfter);
  bool roomFor(std::int64_t frames) const;

  int channels_;
  std::int64_t ringFrames_;
  std::int64_t pieceFrames_;
  std::vector<SpscRing<std::int8_t>> playRings_;
  std::vector<SpscRing<std::int8_t>> captureRings_;
  SpscRing<CaptureRecord> records_;
  std::vector<std::int8_t> scratch_;  // a block whose bytes wrap around a ring
  std::vector<std::int8_t> silence_;  // a block of zeros
  DiskPass pass_;
  std::array<int, kMaxChannels> playing_{};  // tracks that play, in order
  int playingCount_ = 0;
  std::array<int, kMaxChannels> recording_{};  // armed inputs, in order
  int recordingCount_ = 0;

  // The disk thread's own.
  std::array<PlayFeed, kMaxChannels> feeds_{};

  // The loop's own.
  std::array<std::int64_t, kMaxChannels> playDebtFrames_{};
  std::array<StreamLoss, kMaxChannels> playLoss_{};
  StreamLoss captureLoss_;
  std::int64_t handedFrames_ = 0;       // take frames handed over or lost so far
  std::int64_t pendingLostFrames_ = 0;  // lost, not yet recorded for the disk thread

  // Shared.
  std::array<std::atomic<int>, kMaxChannels> takeErrors_{};
  std::atomic<std::uint64_t> failures_{0};
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace varnow
