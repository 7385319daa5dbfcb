#include "engine/disk_thread.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

constexpr std::int64_t kBlock = kBlockFrames;
// The largest read of one track: 384 KiB.
constexpr std::int64_t kPieceBlocks = 32;
// How long the disk thread sleeps when it finds nothing to do: far less
// than a block lasts (85 ms at 48 kHz), far more than the work takes.
constexpr auto kIdleSleep = std::chrono::milliseconds(1);

std::size_t bytesOf(std::int64_t frames) {
  return static_cast<std::size_t>(frames * kBytesPerSample);
}

std::int64_t framesOf(std::size_t bytes) {
  return static_cast<std::int64_t>(bytes) / kBytesPerSample;
}

// Reads `wanted` bytes at `at`, going on after a signal or a short read.
// Returns the bytes read before the file ended or a read failed.
std::int64_t readFully(int descriptor, std::int8_t* to, std::int64_t wanted, off_t at) {
  std::int64_t done = 0;
  while (done < wanted) {
    const ssize_t got = ::pread(descriptor, to + done, static_cast<std::size_t>(wanted - done),
                                at + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

}  // namespace

std::int64_t ringFramesFor(int channels, std::uint32_t sampleRate) {
  const std::int64_t wanted =
      (kRingSeconds * std::int64_t{sampleRate} + kBlock - 1) / kBlock * kBlock;
  const std::int64_t affordable =
      kRingBudgetBytes / (std::max(channels, 1) * std::int64_t{kBytesPerSample}) / kBlock * kBlock;
  return std::max(std::min(wanted, affordable), 2 * kBlock);
}

void StreamLoss::add(Position at, std::int64_t count) {
  if (count <= 0) return;
  if (frames == 0) first = at;
  if (frames == 0 || at != end) ++stretches;
  end = at + count;
  frames += count;
}

DiskThread::DiskThread(int channels, std::uint32_t sampleRate)
    : channels_(std::clamp(channels, 0, kMaxChannels)),
      ringFrames_(ringFramesFor(channels_, sampleRate)),
      // Half a ring at most, rounded up: a full ring is two reads.
      pieceFrames_(std::clamp((ringFrames_ / kBlock + 1) / 2, std::int64_t{1}, kPieceBlocks) *
                   kBlock),
      playRings_(static_cast<std::size_t>(channels_)),
      captureRings_(static_cast<std::size_t>(channels_)),
      records_(static_cast<std::size_t>(2 * ringFrames_ / kBlock + 4)),
      scratch_(bytesOf(kBlock)),
      silence_(bytesOf(kBlock), 0) {
  for (auto& ring : playRings_)
    ring.allocate(bytesOf(ringFrames_));
  for (auto& ring : captureRings_)
    ring.allocate(bytesOf(ringFrames_));
}

DiskThread::~DiskThread() {
  finish();
}

int DiskThread::takeError(int input) const {
  if (input < 0 || input >= kMaxChannels) return 0;
  return takeErrors_[static_cast<std::size_t>(input)].load(std::memory_order_relaxed);
}

const StreamLoss& DiskThread::playLoss(int track) const {
  static const StreamLoss kNone;
  if (track < 0 || track >= kMaxChannels) return kNone;
  return playLoss_[static_cast<std::size_t>(track)];
}

void DiskThread::start(const DiskPass& pass) {
  finish();
  pass_ = pass;
  playingCount_ = 0;
  recordingCount_ = 0;
  for (int k = 0; k < channels_; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    if (pass.play[slot].descriptor >= 0) playing_[static_cast<std::size_t>(playingCount_++)] = k;
    if (pass.take != nullptr && pass.armed[slot] != 0) {
      recording_[static_cast<std::size_t>(recordingCount_++)] = k;
    }
    playRings_[slot].clear();
    captureRings_[slot].clear();
    feeds_[slot].next = pass.playFrom;
    playDebtFrames_[slot] = 0;
    playLoss_[slot] = StreamLoss{};
    takeErrors_[slot].store(0, std::memory_order_relaxed);
  }
  records_.clear();
  captureLoss_ = StreamLoss{};
  handedFrames_ = 0;
  pendingLostFrames_ = 0;
  failures_.store(0, std::memory_order_relaxed);
  ending_.store(false, std::memory_order_relaxed);
  if (playingCount_ == 0 && recordingCount_ == 0) return;

  for (int n = 0; n < playingCount_; ++n) {
    // Advice only: a kernel that takes none reads the file all the same.
    const int track = playing_[static_cast<std::size_t>(n)];
    (void)::posix_fadvise(pass_.play[static_cast<std::size_t>(track)].descriptor, 0, 0,
                          POSIX_FADV_SEQUENTIAL);
  }
  refillPlay(true);

  // The stop signals stay with the loop's thread, whose device calls they
  // may cut short; a new thread inherits the mask it is started with.
  sigset_t stops, old;
  sigemptyset(&stops);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
    sigaddset(&stops, signalNumber);
  pthread_sigmask(SIG_BLOCK, &stops, &old);
  thread_ = std::thread([this] { run(); });
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void DiskThread::run() {
  // Normal priority, whatever the loop's thread has or gets: the loop must
  // always win against the disk.
  const sched_param normal{};
  (void)pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
  for (;;) {
    const bool ending = ending_.load(std::memory_order_acquire);
    bool busy = false;
    while (writeCaptureRecord())
      busy = true;
    if (ending) return;
    if (refillPlay(false)) busy = true;
    if (!busy) std::this_thread::sleep_for(kIdleSleep);
  }
}

// Writes the oldest hand-over into every armed input's take: one write per
// input, in channel order. The failures it meets are published together,
// once every input has had its write, so that the loop reports them in one go.
bool DiskThread::writeCaptureRecord() {
  if (records_.readable() == 0) return false;
  const CaptureRecord record = records_.readRegion()[0];
  const std::size_t bytes = bytesOf(record.frames);
  bool failed = false;
  for (int n = 0; n < recordingCount_; ++n) {
    const int input = recording_[static_cast<std::size_t>(n)];
    bool written = true;
    if (record.lost != 0) {
      for (std::int64_t done = 0; done < record.frames; done += kBlock) {
        written = pass_.take->write(input, silence_.data(), std::min(kBlock, record.frames - done));
      }
    } else {
      SpscRing<std::int8_t>& ring = captureRings_[static_cast<std::size_t>(input)];
      const std::span<const std::int8_t> region = ring.readRegion();
      if (region.size() >= bytes) {
        written = pass_.take->write(input, region.data(), record.frames);
        ring.commitRead(bytes);
      } else {
        // The block wraps around the ring's end: one write all the same.
        ring.pop(scratch_.data(), bytes);
        written = pass_.take->write(input, scratch_.data(), record.frames);
      }
    }
    auto& error = takeErrors_[static_cast<std::size_t>(input)];
    if (!written && error.load(std::memory_order_relaxed) == 0) {
      const int why = pass_.take->writeError(input);
      error.store(why != 0 ? why : EIO, std::memory_order_relaxed);
      failed = true;
    }
  }
  records_.commitRead(1);
  if (failed) failures_.fetch_add(1, std::memory_order_release);
  return true;
}

// Tops up the play rings: in the prefill until each is full; while the pass
// runs, in pieces of up to 384 KiB once a ring has room for one, or sooner
// when it is half empty or what is left to read fits.
bool DiskThread::refillPlay(bool prefill) {
  bool any = false;
  for (int n = 0; n < playingCount_; ++n) {
    const int track = playing_[static_cast<std::size_t>(n)];
    const std::int64_t room = framesOf(playRings_[static_cast<std::size_t>(track)].writable());
    const Position next = feeds_[static_cast<std::size_t>(track)].next;
    std::int64_t wanted = 0;
    if (prefill || room >= pieceFrames_ || room > ringFrames_ / 2) {
      wanted = room;
    } else if (next < pass_.readEnd && pass_.readEnd - next <= room) {
      wanted = pass_.readEnd - next;
    }
    while (wanted > 0) {
      const std::int64_t piece = std::min(wanted, pieceFrames_);
      produce(track, piece);
      wanted -= piece;
      any = true;
    }
  }
  return any;
}

// Puts the next `frames` frames of `track` into its ring: the file's frames
// where the timeline meets its data (and lies before readEnd), silence
// elsewhere.
//
//   timeline   next                                  next + frames
//   ring       [ silence | file frames      | silence ]
//   file            fileStart ....... fileStart + length
void DiskThread::produce(int track, std::int64_t frames) {
  const auto slot = static_cast<std::size_t>(track);
  const PlaySource& source = pass_.play[slot];
  SpscRing<std::int8_t>& ring = playRings_[slot];
  Position at = feeds_[slot].next;
  while (frames > 0) {
    const std::span<std::int8_t> region = ring.writeRegion();
    const std::int64_t count = std::min(frames, framesOf(region.size()));
    if (count <= 0) break;
    std::int8_t* out = region.data();
    const Position first = std::max(at, source.fileStart);
    const Position end =
        std::min({at + count, source.fileStart + source.file.lengthFrames, pass_.readEnd});
    std::int64_t lead = 0;    // frames of silence before the file's
    std::int64_t filled = 0;  // frames read from the file
    if (end > first) {
      lead = first - at;
      const auto fileByte =
          static_cast<off_t>(source.file.dataStart + (first - source.fileStart) * kBytesPerSample);
      filled = readFully(source.descriptor, out + bytesOf(lead),
                         static_cast<std::int64_t>(bytesOf(end - first)), fileByte) /
               kBytesPerSample;
    }
    std::memset(out, 0, bytesOf(lead));
    std::memset(out + bytesOf(lead + filled), 0, bytesOf(count - lead - filled));
    ring.commitWrite(bytesOf(count));
    at += count;
    frames -= count;
  }
  feeds_[slot].next = at;
}

void DiskThread::playBlock(int track, Position blockStart, std::int8_t* block) {
  const auto slot = static_cast<std::size_t>(track);
  SpscRing<std::int8_t>& ring = playRings_[slot];
  std::int64_t& debt = playDebtFrames_[slot];
  if (debt > 0) debt -= framesOf(ring.discard(bytesOf(debt)));
  const std::int64_t got = debt > 0 ? 0 : framesOf(ring.pop(block, bytesOf(kBlock)));
  if (got == kBlock) return;
  std::memset(block + bytesOf(got), 0, bytesOf(kBlock - got));
  playLoss_[slot].add(blockStart + got, kBlock - got);
  debt += kBlock - got;
}

// The lost stretch not yet told to the disk thread goes first, when the
// record ring has room for it and `recordsAfter` more.
bool DiskThread::publishPendingLoss(std::size_t recordsAfter) {
  if (pendingLostFrames_ == 0) return true;
  if (records_.writable() < 1 + recordsAfter) return false;
  const CaptureRecord lost{pendingLostFrames_, 1};
  records_.push(&lost, 1);
  pendingLostFrames_ = 0;
  return true;
}

// Room for `frames` frames in every armed input's ring, and for the record
// of them (after the lost stretch not yet recorded).
bool DiskThread::roomFor(std::int64_t frames) const {
  if (records_.writable() < (pendingLostFrames_ > 0 ? 2u : 1u)) return false;
  for (int n = 0; n < recordingCount_; ++n) {
    const int input = recording_[static_cast<std::size_t>(n)];
    if (captureRings_[static_cast<std::size_t>(input)].writable() < bytesOf(frames)) return false;
  }
  return true;
}

void DiskThread::handOver(const BlockBuffer& buffer, std::int64_t frames) {
  if (recordingCount_ == 0 || frames <= 0) return;
  if (roomFor(frames)) {
    publishPendingLoss(1);
    for (int n = 0; n < recordingCount_; ++n) {
      const int input = recording_[static_cast<std::size_t>(n)];
      captureRings_[static_cast<std::size_t>(input)].push(buffer.block(input), bytesOf(frames));
    }
    const CaptureRecord block{frames, 0};
    records_.push(&block, 1);
  } else {
    pendingLostFrames_ += frames;
    captureLoss_.add(pass_.takeStart + handedFrames_, frames);
  }
  handedFrames_ += frames;
}

void DiskThread::handOverWaiting(const BlockBuffer& buffer, std::int64_t frames) {
  if (recordingCount_ == 0 || frames <= 0) return;
  while (thread_.joinable() && !roomFor(frames))
    std::this_thread::sleep_for(kIdleSleep);
  handOver(buffer, frames);
}

void DiskThread::finish() {
  if (!thread_.joinable()) return;
  while (!publishPendingLoss(0))
    std::this_thread::sleep_for(kIdleSleep);
  ending_.store(true, std::memory_order_release);
  thread_.join();
}

}  // namespace varnow
