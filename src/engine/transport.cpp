#include "engine/transport.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/console_input.hpp"
#include "core/position_limit.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "core/stop_request.hpp"
#include "durable/durable.hpp"
#include "engine/device_watchdog.hpp"
#include "engine/realtime_section.hpp"
#include "engine/recording_room.hpp"
#include "meter/clock.hpp"
#include "meter/peaks.hpp"
#include "timeline/musical_time.hpp"

namespace varnow {

namespace {

constexpr std::int64_t kBlock = kBlockFrames;

bool skipped(const std::string& line) {
  return line.empty() || line[0] == '-';
}

const std::string* lineFor(const std::vector<std::string>& lines, int channel) {
  return channel < static_cast<int>(lines.size()) ? &lines[static_cast<std::size_t>(channel)]
                                                  : nullptr;
}

std::int8_t* frameAt(std::int8_t* block, std::int64_t frame) {
  return block + frame * kBytesPerSample;
}

// What one device call moved: the frames, and the error that ended it (0 when
// none did).
struct Transfer {
  std::int64_t frames = 0;
  snd_pcm_sframes_t error = 0;
};

// Moves `frames` frames through `pointers` with `call` (snd_pcm_writen or
// snd_pcm_readn) on `pcm`, which the pass runs in non-blocking mode: while
// the card has no room or no frames, the loop waits in the card (at most a
// tenth of a second at a time) and goes on with the rest through `rest`. A
// stop request or a card that stopped (the watchdog) ends the transfer with
// the frames moved so far; an error other than a signal's ends it with the
// error.
template <typename Call>
Transfer transferFrames(Call call, snd_pcm_t* pcm, const DeviceWatchdog& watchdog,
                        std::vector<void*>& pointers, std::vector<void*>& rest,
                        std::int64_t frames) {
  Transfer moved;
  void** current = pointers.data();
  while (moved.frames < frames) {
    if (stopRequested() || DeviceWatchdog::stalled()) return moved;
    errno = 0;
    snd_pcm_sframes_t got = call(current, static_cast<snd_pcm_uframes_t>(frames - moved.frames));
    // ALSA's file plugin hands back every frame asked for even when a signal
    // cut its read() of the file short and nothing came: errno tells.
    if (got > 0 && errno == EINTR) got = -EINTR;
    if (got == -EAGAIN || got == 0) {
      snd_pcm_wait(pcm, 100);
      continue;
    }
    if (got == -EINTR) continue;
    if (got < 0) {
      moved.error = got;
      return moved;
    }
    moved.frames += std::min<std::int64_t>(got, frames - moved.frames);
    watchdog.moved();
    for (std::size_t i = 0; i < pointers.size(); ++i) {
      rest[i] = static_cast<std::int8_t*>(pointers[i]) + moved.frames * kBytesPerSample;
    }
    current = rest.data();
  }
  return moved;
}

void printSummaryLine(const ProjectSettings& s, Format seconds, Format musical, Position position) {
  if (s.timeMode == 1) {
    const MusicalPosition m = toMusical(position, s.beatsPerMeasure, s.tempo, s.sampleRate);
    print(musical, m.measure, double{m.beat});
  } else {
    print(seconds, double{toSeconds(position, s.sampleRate)});
  }
}

}  // namespace

// The state of one pass. Positions are timeline frames.
struct Transport::PassState {
  bool play = false;
  bool record = false;
  bool monitor = false;
  Position readPosition = 0;      // timeline position of the next block to read
  std::int64_t playOffset = 0;    // frames of the streamed play block already written
  std::int64_t recordOffset = 0;  // frames of the record block being filled
  bool streamA = true;            // play buffer A is streamed, B is refilled
  bool needFill = true;
  bool recordIntoA = true;
  std::int64_t captureDelay = 0;
  std::int64_t delayCount = 0;
  bool captureStarted = false;
  std::int64_t takeLength = 0;
  std::int64_t samplesWritten = 0;  // take frames handed to the disk thread (or lost)
  bool keepRunning = true;
  bool stopped = false;                // a stop request ended the pass
  bool stalled = false;                // the card moved nothing for two seconds
  snd_pcm_sframes_t playError = 0;     // a playback error that ended the pass
  snd_pcm_sframes_t captureError = 0;  // a capture error that ended the pass
  Position playStart = 0;              // timeline position of the first block after the silent one
  Position writtenTo = 0;              // timeline position of the next frame written
  std::int64_t captureSkip = 0;        // captured frames dropped before the take's first
  bool takeFailed = false;             // a take file could not be written
  std::uint64_t failuresSeen = 0;
  ChannelFlags failureShown{};
  Position lastDisplay = 0;
  std::int64_t runningPeak = 0;
  int meterReset = 1;
  int underruns = 0;
  int overruns = 0;
  std::int64_t framesSinceDisplay = 0;
  std::int64_t clockInterval = 0;
  Position savedMonitorOut = 0;
  Position fileStartOffset = 0;  // start offset of a take audition
  Position stopOffset = 0;
};

Transport::Transport(int tracks, std::uint32_t sampleRate)
    : tracks_(std::clamp(tracks, 0, kMaxChannels)),
      buffers_(tracks_),
      silentBlock_(kBlockBytesPerChannel, 0),
      discardBlock_(kBlockBytesPerChannel, 0),
      disk_(tracks_, sampleRate) {
  playFiles_.fill(-1);
}

Transport::~Transport() {
  disk_.finish();  // it may still read the play files
  closePlayFiles();
}

void Transport::closePlayFiles() {
  for (int& fd : playFiles_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

bool Transport::runPass(PassContext& context, const PassLines& lines) {
  PassState pass;
  setUp(context, lines, pass);
  {
    // Only the period loop runs at real-time priority: set-up, the reports
    // and the take menu stay at normal priority.
    const RealtimeSection realtime;
    watchdog_.start();
    while (pass.keepRunning) {
      if (pass.monitor) {
        monitorCycle(context, pass);
      } else {
        streamCycle(context, pass);
      }
      if (stopRequested()) {
        pass.stopped = true;
        pass.keepRunning = false;
      } else if (DeviceWatchdog::stalled()) {
        pass.stalled = true;
        pass.keepRunning = false;
      }
      if (pass.record && disk_.failures() != pass.failuresSeen) reportTakeFailures(pass);
    }
    if (pass.play && !pass.stopped && !pass.stalled && pass.playError == 0) {
      drainPlayback(context, pass);
    }
    watchdog_.stop();
    snd_pcm_nonblock(context.device.playback(), 0);
    snd_pcm_nonblock(context.device.capture(), 0);
  }
  finish(context, pass);
  return pass.record;
}

// Pass set-up, in the order that decides what the user sees: arming and
// play files, the take, the messages, then the device.
void Transport::setUp(PassContext& context, const PassLines& lines, PassState& pass) {
  ProjectSettings& s = context.settings;
  PassRequest& request = context.request;
  pass.play = request.play;
  pass.record = request.record;
  pass.monitor = request.monitor;
  const bool probe = request.probeCapture != nullptr;

  context.counts.busCount = busCountFor(s.mixMode, s.outputs, s.tracks, context.counts.busCount);
  playFlags_.fill(0);
  armed_.fill(0);
  replaceMute_.fill(0);

  // A track being re-recorded onto the file it plays falls silent from the
  // punch point on.
  if (pass.record) {
    for (int i = 0; i < s.inputs; ++i) {
      const std::string* playLine = lineFor(lines.play, i);
      const std::string* recordLine = lineFor(lines.record, i);
      if (playLine != nullptr && recordLine != nullptr && *playLine == *recordLine &&
          !skipped(*playLine)) {
        replaceMute_[static_cast<std::size_t>(i)] = 1;
      }
    }
  }

  const std::vector<std::string>& playLines =
      request.takeAudition ? request.auditionLines : lines.play;
  if (pass.play) {
    const int count = std::min(static_cast<int>(playLines.size()), tracks_);
    for (int k = 0; k < count; ++k) {
      const std::string& line = playLines[static_cast<std::size_t>(k)];
      if (skipped(line)) continue;
      // A file that an insert left half-written plays only once restored.
      if (const Status settled = prepareForUse(line); !settled) {
        printLine(settled.message());
        continue;
      }
      const WaveCheck check = GET_ATTRIBUTES(k, line, playAttributes_);
      printText(playFileRejection(line, check));
      playFlags_[static_cast<std::size_t>(k)] = check.playable() ? 1 : 0;
    }
  }
  if (request.soloPlay) {
    for (std::size_t k = 0; k < playFlags_.size(); ++k) {
      if (s.solo[k] == 0) playFlags_[k] = 0;
    }
  }
  if (pass.record || pass.monitor) {
    for (int i = 0; i < s.inputs; ++i) {
      const std::string* recordLine = lineFor(lines.record, i);
      if (recordLine != nullptr && !skipped(*recordLine)) armed_[static_cast<std::size_t>(i)] = 1;
    }
  }
  if (pass.record && !probe &&
      std::none_of(armed_.begin(), armed_.end(), [](auto on) { return on != 0; })) {
    printNothingArmed(s.recordLists.current().str());
  }
  if (pass.record) pass.takeLength = s.outPoint - s.punchPoint;
  if (pass.record && !probe) {
    pass.takeLength = s.outPoint - s.punchPoint;
    TakeRequest takeRequest;
    takeRequest.inputs = s.inputs;
    takeRequest.recordLines = lines.record;
    takeRequest.punchPoint = s.punchPoint;
    takeRequest.takeLength = pass.takeLength;
    takeRequest.sampleRate = s.sampleRate;
    take_.create(takeRequest, armed_, context.preemptiveTakeName);
    std::vector<std::string> takeNames;
    for (int i = 0; i < s.inputs; ++i) {
      if (armed_[static_cast<std::size_t>(i)] != 0) takeNames.push_back(take_.name(i));
    }
    warnIfTakeDoesNotFit(takeNames, pass.takeLength, s.sampleRate);
  }
  if (pass.play) {
    for (int k = 0; k < tracks_; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      if (playFlags_[slot] == 0) continue;
      const std::string& name = playLines[slot];
      playFiles_[slot] = openRegularFile(name, O_RDONLY);
      if (playFiles_[slot] < 0) {
        print("Can't open %s for playback\n", name.c_str());
        playFlags_[slot] = 0;
      }
    }
  }
  if (pass.record && !probe) take_.open(armed_);

  if (probe) printLine("Measuring...");
  if (pass.play && !pass.record) printLine("Playing...");
  if (pass.play && pass.record && !probe) printLine("Playing and Recording...");
  if (request.soloPlay) printLine("Tracks are soloed");
  if (pass.record && !pass.play) printLine("Recording...");
  if (request.takeAudition) printLine("Auditioning...");
  if (pass.monitor) printLine("Monitoring Input Peaks...");

  if (request.takeAudition) {
    pass.fileStartOffset = request.startOffset;
    pass.stopOffset = request.stopOffset;
  }
  if (s.interfaceMode != 0 && !probe) {
    if (pass.play) {
      printSummaryLine(s, "playback start = %.2f sec\n", "playback start = %i.%.2f\n",
                       s.inPoint + pass.fileStartOffset);
    }
    if (pass.record) {
      printSummaryLine(s, "record start   = %.2f sec\n", "record start   = %i.%.2f\n",
                       s.punchPoint);
    }
    const Position stop = s.outPoint - pass.stopOffset;
    if (pass.play && pass.record) {
      printSummaryLine(s, "play/rec stop  = %.2f sec\n", "play/rec stop  = %i.%.2f\n", stop);
    } else if (pass.record) {
      printSummaryLine(s, "record stop    = %.2f sec\n", "record stop    = %i.%.2f\n", stop);
    } else if (pass.play) {
      printSummaryLine(s, "playback stop  = %.2f sec\n", "playback stop  = %i.%.2f\n", stop);
    }
  }

  inputPeaks_.fill(0);
  if (s.mixMode == 2 || s.mixMode == 3) {
    busPeaksLeft_.fill(0);
    busPeaksRight_.fill(0);
  }
  if (pass.monitor) {
    pass.readPosition = 0;
    pass.savedMonitorOut = s.outPoint;
    s.outPoint = clampedPosition(auditionFrames(request.monitorSeconds, s.sampleRate));
  }
  buffers_.clearAll();
  if (request.takeAudition) {
    pass.readPosition = s.inPoint + request.startOffset;
  } else if (pass.play) {
    pass.readPosition = s.inPoint;
  } else if (pass.record) {
    pass.readPosition = s.punchPoint;
  }

  if (s.mixMode != 0 && !probe) SetVolume(s.pans, s.volumes, gains_, s.tracks, playFlags_);

  // Capture waits until the frames written have travelled through the
  // device buffer (and odcomp more periods) past the punch point:
  //
  //   written:  [silence 4096][in ............ punch ........ punch+delay]
  //   captured:                                               ^ take sample 0
  const std::int64_t period = context.periodFrames;
  pass.captureDelay = (context.device.deviceBufferFrames() / period + s.odcomp) * period + kBlock;
  pass.delayCount = pass.play ? 0 : pass.captureDelay;

  // The play rings are full before the device starts.
  if (pass.play || pass.record) planDisk(context, pass);

  snd_pcm_t* playback = context.device.playback();
  snd_pcm_t* capture = context.device.capture();
  // The last pass drained what it played; what a stopped pass left behind is
  // dropped. A blocking drain here would wait for ever on a device that does
  // not run.
  snd_pcm_drop(playback);
  snd_pcm_drop(capture);
  if (pass.record || pass.monitor) {
    snd_pcm_prepare(capture);
    if (pass.play) snd_pcm_prepare(playback);
  } else if (pass.play) {
    snd_pcm_prepare(playback);
  }
  // Non-blocking from here to the end of the pass: every wait is one of the
  // transfer loop's own, which the watchdog and a stop request can end.
  snd_pcm_nonblock(playback, 1);
  snd_pcm_nonblock(capture, 1);
  pass.playStart = pass.readPosition;
  pass.writtenTo = pass.readPosition - kBlock;  // the silent block comes first
  pass.captureSkip = s.odcompFrames > 0 ? s.odcompFrames : 0;

  masterPeakLeft_ = 0;
  masterPeakRight_ = 0;
  // A hidden clock still paces the meter, at the unstreamed clock's rate.
  pass.clockInterval = s.clockMode == kClockStreamed ? context.counts.streamedClockInterval
                                                     : context.counts.unstreamedClockInterval;

  if (request.takeAudition) replaceMute_.fill(0);
  pass.lastDisplay = pass.readPosition;

  // Device pointer arrays: one per device channel; channels the project has
  // no track or input for play silence and capture into a scratch block.
  playPointers_.assign(static_cast<std::size_t>(std::max(context.device.playbackChannels(), 0)),
                       silentBlock_.data());
  capturePointers_.assign(static_cast<std::size_t>(std::max(context.device.captureChannels(), 0)),
                          discardBlock_.data());
  restPointers_.resize(std::max(playPointers_.size(), capturePointers_.size()));
}

// What the disk thread reads and writes in this pass, and how far it may read:
//
//   play only     to the end of the block that meets the stop (the last one
//                 the loop fills)
//   with a take   past the out point by the capture delay and some blocks:
//                 playback goes on until the take is complete
void Transport::planDisk(PassContext& context, PassState& pass) {
  const ProjectSettings& s = context.settings;
  DiskPass plan;
  if (pass.play) {
    for (int k = 0; k < tracks_; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      if (playFlags_[slot] == 0) continue;
      plan.play[slot].descriptor = playFiles_[slot];
      plan.play[slot].file = playAttributes_[slot];
      plan.play[slot].fileStart =
          context.request.takeAudition ? context.request.fileStart[slot] : 0;
    }
  }
  plan.playFrom = pass.readPosition;
  if (pass.record) {
    plan.readEnd = s.outPoint + pass.captureDelay + 8 * kBlock;
  } else {
    const Position stop = s.outPoint - pass.stopOffset;
    const std::int64_t blocks =
        stop > pass.readPosition ? (stop - pass.readPosition + kBlock - 1) / kBlock : 0;
    plan.readEnd = pass.readPosition + (blocks + 1) * kBlock;
  }
  if (pass.record) {
    plan.take = &take_;
    plan.armed = armed_;
    plan.takeStart = s.punchPoint;
  }
  disk_.start(plan);
}

// One line per channel whose ring the disk did not keep up with, after the
// pass: how much was lost and where on the timeline.
void Transport::reportStreamLosses(const ProjectSettings& s, const PassState& pass) const {
  const double rate = s.sampleRate;
  const auto report = [rate](const char* channelKind, int channel, const StreamLoss& loss,
                             const char* consequence) {
    if (loss.frames == 0) return;
    const double seconds = static_cast<double>(loss.frames) / rate;
    const double from = static_cast<double>(loss.first) / rate;
    const double to = static_cast<double>(loss.end) / rate;
    if (loss.stretches == 1) {
      print(
          "%s %i lost %li frames (%.2f sec) from %.2f sec to %.2f sec: the disk did not keep up; "
          "%s.\n",
          channelKind, channel, static_cast<long>(loss.frames), seconds, from, to, consequence);
    } else {
      print(
          "%s %i lost %li frames (%.2f sec) in %i stretches between %.2f sec and %.2f sec: the "
          "disk did not keep up; %s.\n",
          channelKind, channel, static_cast<long>(loss.frames), seconds, loss.stretches, from, to,
          consequence);
    }
  };
  if (pass.record) {
    for (int i = 0; i < std::min(s.inputs, tracks_); ++i) {
      if (armed_[static_cast<std::size_t>(i)] == 0) continue;
      report("Input", i + 1, disk_.captureLoss(), "the take holds silence there");
    }
  }
  if (pass.play) {
    for (int k = 0; k < tracks_; ++k) {
      if (playFlags_[static_cast<std::size_t>(k)] == 0) continue;
      report("Track", k + 1, disk_.playLoss(k), "it played silence there");
    }
  }
}

void Transport::streamCycle(PassContext& context, PassState& pass) {
  ProjectSettings& s = context.settings;
  snd_pcm_t* playback = context.device.playback();
  snd_pcm_t* capture = context.device.capture();
  const std::int64_t period = context.periodFrames;

  // 1. How many frames to write this cycle.
  std::int64_t frames = 0;
  if (pass.play && pass.record && !pass.captureStarted) {
    frames = period;
  } else {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(playback);
    frames = room < 0 ? period : std::min<std::int64_t>(room, period);
    const snd_pcm_sframes_t waiting = snd_pcm_avail_update(capture);
    if (pass.record && !pass.play && waiting == 0) snd_pcm_wait(capture, 1);
  }
  frames = std::min(frames, kBlock - pass.playOffset);
  // A pass that does not record writes every frame up to its stop and no
  // further (one period of silence when the stop is not after the start).
  const Position stop = s.outPoint - pass.stopOffset;
  if (!pass.record && stop > pass.playStart) frames = std::min(frames, stop - pass.writtenTo);
  if (pass.play && !pass.record && frames == 0) snd_pcm_wait(playback, 1);

  // 2. Clock and meter. The position is on the timeline already (a take
  // audition reads from the punch point plus its start offset), so the clock
  // adds no offset of its own.
  // The clock runs a block ahead of the frames written: past the stop of a
  // pass that plays on to it, it shows the stop.
  Position shown = pass.readPosition - kBlock + pass.playOffset;
  if (!pass.record) shown = std::min(shown, stop);
  // A latency measurement shows nothing while it runs.
  const bool measuring = context.request.probeCapture != nullptr;
  if (!measuring && shown - pass.lastDisplay >= pass.clockInterval) {
    if (s.clockMode != kClockHidden) {
      UpdateClock(s.clockMode, shown, 0, s.sampleRate, s.timeMode, s.tempo, s.beatsPerMeasure);
    }
    if (s.meterRange != 0 && pass.record) {
      meter_.Meter(pass.runningPeak, meterScale_.span, pass.meterReset,
                   s.clockMode == kClockHidden ? 1 : 0, loudestChannel_, meterScale_.fall);
    }
    pass.lastDisplay = shown;
    pass.runningPeak = 0;
  }

  // 3. Playback.
  if (pass.play) {
    BlockBuffer& streamed = pass.streamA ? buffers_.playA : buffers_.playB;
    const int channels = std::min(static_cast<int>(playPointers_.size()), tracks_);
    for (int k = 0; k < channels; ++k) {
      playPointers_[static_cast<std::size_t>(k)] = frameAt(streamed.block(k), pass.playOffset);
    }
    if (pass.needFill) {
      fillPlayBlock(context, pass, pass.streamA ? buffers_.playB : buffers_.playA);
      pass.needFill = false;
    }
    const Transfer written = transferFrames(
        [playback](void** bufs, snd_pcm_uframes_t n) { return snd_pcm_writen(playback, bufs, n); },
        playback, watchdog_, playPointers_, restPointers_, frames);
    pass.playOffset += frames;
    pass.writtenTo += frames;
    if (!pass.captureStarted && pass.readPosition + pass.playOffset >= s.punchPoint) {
      pass.delayCount += frames;
    }
    if (pass.playOffset == kBlock) {
      pass.needFill = true;
      pass.playOffset = 0;
      pass.streamA = !pass.streamA;
    }
    if (written.error == -EPIPE) {
      printLine("\nPX");
      ++pass.underruns;
      snd_pcm_prepare(playback);
    } else if (written.error < 0) {
      pass.playError = written.error;
      pass.keepRunning = false;
      return;
    }
  }

  // 4. Capture.
  if (pass.record && pass.delayCount >= pass.captureDelay) {
    if (!pass.captureStarted && pass.captureSkip > 0) skipCapture(context, pass);
    captureFrames(context, pass, period);
    pass.captureStarted = true;
    if (!pass.play) {
      pass.readPosition += period;
      // A failed take write has ended the pass: its line stays the last.
      if (!pass.takeFailed && pass.readPosition - pass.lastDisplay > pass.clockInterval) {
        if (s.clockMode != kClockHidden) {
          UpdateClock(s.clockMode, pass.readPosition, 0, s.sampleRate, s.timeMode, s.tempo,
                      s.beatsPerMeasure);
        }
        if (s.meterRange != 0) {
          meter_.Meter(pass.runningPeak, meterScale_.span, pass.meterReset,
                       s.clockMode == kClockHidden ? 1 : 0, loudestChannel_, meterScale_.fall);
        }
        pass.lastDisplay = pass.readPosition;
        pass.runningPeak = 0;
      }
    }
  }

  // 6. End test of passes that do not record: every frame up to the stop
  // has been written (the drain after the loop lets the card play them).
  if (!pass.record && (pass.writtenTo >= stop || stop <= pass.playStart)) {
    pass.keepRunning = false;
  }
}

// Reads `frames` frames from the capture handle into the record blocks. A read
// never runs past the end of a block: when the period does not divide 4096,
// it is split at the block boundary, the first part completes the block and
// the rest starts the next one.
//
//   block A  [........ recordOffset|<- first ->]
//   block B  [<- rest ->|...........................]
void Transport::captureFrames(PassContext& context, PassState& pass, std::int64_t frames) {
  snd_pcm_t* capture = context.device.capture();
  const int inputs = std::min(static_cast<int>(capturePointers_.size()), tracks_);
  while (frames > 0) {
    BlockBuffer& target = pass.recordIntoA ? buffers_.recordA : buffers_.recordB;
    const std::int64_t part = std::min(frames, kBlock - pass.recordOffset);
    for (int i = 0; i < inputs; ++i) {
      capturePointers_[static_cast<std::size_t>(i)] = frameAt(target.block(i), pass.recordOffset);
    }
    const Transfer got = transferFrames(
        [capture](void** bufs, snd_pcm_uframes_t n) { return snd_pcm_readn(capture, bufs, n); },
        capture, watchdog_, capturePointers_, restPointers_, part);
    // A stop that cut the read short keeps exactly the frames the card
    // delivered. Otherwise frames it did not deliver are silence in the take,
    // so that it keeps its length and its alignment.
    const bool stopping = got.frames < part && (stopRequested() || DeviceWatchdog::stalled() ||
                                                (got.error < 0 && got.error != -EPIPE));
    const std::int64_t kept = stopping ? got.frames : part;
    if (got.frames < kept) {
      for (int i = 0; i < inputs; ++i) {
        std::int8_t* missing = frameAt(target.block(i), pass.recordOffset + got.frames);
        std::memset(missing, 0, static_cast<std::size_t>((kept - got.frames) * kBytesPerSample));
      }
    }
    pass.recordOffset += kept;
    frames -= part;
    const bool overrun = got.error == -EPIPE;
    if (pass.recordOffset == kBlock) {
      pass.recordIntoA = !pass.recordIntoA;
      if (overrun) {
        printLine("\nRX");
        ++pass.overruns;
        snd_pcm_prepare(capture);
      }
      completeRecordBlock(context, pass, target);
      pass.recordOffset = 0;
    } else if (overrun) {
      printLine("\nRX");
      ++pass.overruns;
      snd_pcm_prepare(capture);
    }
    if (stopping) {
      if (got.error < 0 && got.error != -EPIPE) {
        pass.captureError = got.error;
      } else if (stopRequested()) {
        pass.stopped = true;
      } else {
        pass.stalled = true;
      }
      pass.keepRunning = false;
      return;
    }
  }
}

// A record block holds 4096 new frames: scan it and hand it to the disk thread.
// The pass ends at the first completion after the take is full.
void Transport::completeRecordBlock(PassContext& context, PassState& pass, BlockBuffer& buffer) {
  const std::int64_t count = std::min(kBlock, pass.takeLength - pass.samplesWritten);
  if (count <= 0) {
    pass.keepRunning = false;
    return;
  }
  if (std::vector<std::int8_t>* capture = context.request.probeCapture; capture != nullptr) {
    std::memcpy(capture->data() + pass.samplesWritten * kBytesPerSample, buffer.block(0),
                static_cast<std::size_t>(count * kBytesPerSample));
    pass.samplesWritten += count;
    return;
  }
  const ProjectSettings& s = context.settings;
  for (int i = 0; i < std::min(s.inputs, tracks_); ++i) {
    if (armed_[static_cast<std::size_t>(i)] == 0) continue;
    if (s.peakMode == 1) {
      CheckPeak(i, kBlock, inputPeaks_, buffer.block(i), pass.runningPeak, loudestChannel_);
    }
  }
  disk_.handOver(buffer, count);
  pass.samplesWritten += count;
}

// A take file that can take no more samples (a full disk, say) ends the pass
// at the end of this period, as a stop request does, instead of letting the
// musician play on into nothing: one line per such file says so at once (the
// disk thread tells which), the other inputs keep every frame handed over,
// and every take keeps what it holds. Printed with the files' own names, so
// the period loop allocates nothing.
void Transport::reportTakeFailures(PassState& pass) {
  pass.failuresSeen = disk_.failures();
  for (int i = 0; i < tracks_; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    const int error = disk_.takeError(i);
    if (armed_[slot] == 0 || error == 0 || pass.failureShown[slot] != 0) continue;
    if (!pass.takeFailed) print("\n");  // off the clock's line
    print("Could not write %s: %s.\n", take_.name(i).c_str(), std::strerror(error));
    pass.failureShown[slot] = 1;
    pass.takeFailed = true;
  }
  flushOutput();
  pass.keepRunning = false;
}

// A stopped recording keeps the frames already read into the block being
// filled, as far as the take reaches:
//
//   record block  [ recordOffset frames read | not read ]
//   take          ... samplesWritten | + min(recordOffset, takeLength - samplesWritten)
void Transport::flushPartialRecordBlock(PassContext& context, PassState& pass) {
  const std::int64_t count = std::min(pass.recordOffset, pass.takeLength - pass.samplesWritten);
  if (count <= 0) return;
  BlockBuffer& buffer = pass.recordIntoA ? buffers_.recordA : buffers_.recordB;
  const ProjectSettings& s = context.settings;
  for (int i = 0; i < std::min(s.inputs, tracks_); ++i) {
    if (armed_[static_cast<std::size_t>(i)] == 0) continue;
    if (s.peakMode == 1) {
      CheckPeak(i, count, inputPeaks_, buffer.block(i), pass.runningPeak, loudestChannel_);
    }
  }
  disk_.handOverWaiting(buffer, count);
  pass.samplesWritten += count;
  pass.recordOffset = 0;
}

// The first frames of a capture that the stored correction of the round trip
// drops (odcompFrames, less than a period), so that the take's sample 0 is
// the frame that belongs to the punch point to the frame:
//
//   captured  [ skipped | take sample 0 ...
void Transport::skipCapture(PassContext& context, PassState& pass) {
  snd_pcm_t* capture = context.device.capture();
  const int inputs = std::min(static_cast<int>(capturePointers_.size()), tracks_);
  for (int i = 0; i < inputs; ++i) {
    capturePointers_[static_cast<std::size_t>(i)] = buffers_.recordA.block(i);
  }
  const std::int64_t frames = std::min(pass.captureSkip, kBlock);
  const Transfer got = transferFrames(
      [capture](void** bufs, snd_pcm_uframes_t n) { return snd_pcm_readn(capture, bufs, n); },
      capture, watchdog_, capturePointers_, restPointers_, frames);
  if (got.error == -EPIPE) snd_pcm_prepare(capture);
  pass.captureSkip = 0;
}

// Lets the card play what it holds before the pass reports, so that it gets
// every frame up to the stop. The wait is the card's, in pieces, under the
// watchdog and the stop requests like every other.
void Transport::drainPlayback(PassContext& context, PassState& pass) {
  snd_pcm_t* playback = context.device.playback();
  watchdog_.moved();  // the card has two seconds for what it holds
  const int err = snd_pcm_drain(playback);
  if (DeviceWatchdog::stalled()) pass.stalled = true;  // cut short in a plugin's write
  if (err != -EAGAIN) return;
  while (snd_pcm_state(playback) == SND_PCM_STATE_DRAINING) {
    if (stopRequested()) return;
    if (DeviceWatchdog::stalled()) {
      pass.stalled = true;
      return;
    }
    snd_pcm_wait(playback, 10);
  }
}

void Transport::reportKeptTake() const {
  for (int i = 0; i < kMaxChannels; ++i) {
    const std::string& name = take_.name(i);
    if (!name.empty()) print("The take file %s was kept.\n", name.c_str());
  }
}

// Fills the play buffer that is not being streamed with the block of every
// playing track that starts at readPosition, from the play rings.
void Transport::fillPlayBlock(PassContext& context, PassState& pass, BlockBuffer& buffer) {
  const ProjectSettings& s = context.settings;
  const Position blockStart = pass.readPosition;
  for (int k = 0; k < tracks_; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    if (playFlags_[slot] == 0) continue;
    std::int8_t* block = buffer.block(k);
    disk_.playBlock(k, blockStart, block);

    if (pass.record && replaceMute_[slot] == 1 && s.punchPoint <= blockStart + kBlock - 1) {
      const std::int64_t from = blockStart < s.punchPoint ? s.punchPoint - blockStart : 0;
      std::memset(frameAt(block, from), 0,
                  static_cast<std::size_t>((kBlock - from) * kBytesPerSample));
    }
  }
  pass.readPosition += kBlock;

  if (const std::vector<std::int8_t>* signal = context.request.probeSignal; signal != nullptr) {
    // Output 1 plays the signal's stretch of this block, silence elsewhere.
    std::int8_t* block = buffer.block(0);
    std::memset(block, 0, static_cast<std::size_t>(kBlockBytesPerChannel));
    const std::int64_t signalFrames = std::ssize(*signal) / kBytesPerSample;
    const std::int64_t from = blockStart - s.inPoint;
    for (std::int64_t f = std::max<std::int64_t>(from, 0);
         f < std::min(from + kBlock, signalFrames); ++f) {
      std::memcpy(frameAt(block, f - from), signal->data() + f * kBytesPerSample, kBytesPerSample);
    }
    return;
  }

  // The mix replaces the output blocks in place, before any of them is written.
  if (s.mixMode >= 1 && s.mixMode <= 3) {
    MixInputs mix;
    mix.channelCount = tracks_;
    mix.playFlags = &playFlags_;
    mix.gains = &gains_;
    mix.busGains = &s.busGains;
    mix.busOn = &s.busOn;
    mix.busMatrix = &s.busMatrix;
    // Mode 2 writes bus n to blocks 2n-2 and 2n-1: never a bus whose pair
    // lies beyond the buffer.
    mix.busCount = s.mixMode == 2 ? std::min(context.counts.busCount, buffer.blockCount() / 2)
                                  : context.counts.busCount;
    if (s.mixMode == 1) {
      Mix(buffer.block(0), mix, masterPeakLeft_, masterPeakRight_, mixerScratch_);
    } else {
      MixMultiple(buffer.block(0), mix, busPeaksLeft_, busPeaksRight_, s.mixMode, mixerScratch_);
    }
  }
}

void Transport::monitorCycle(PassContext& context, PassState& pass) {
  ProjectSettings& s = context.settings;
  snd_pcm_t* capture = context.device.capture();
  const std::int64_t period = context.periodFrames;
  const int inputs = std::min(static_cast<int>(capturePointers_.size()), tracks_);
  for (int i = 0; i < inputs; ++i) {
    capturePointers_[static_cast<std::size_t>(i)] = buffers_.recordA.block(i);
  }
  const Transfer got = transferFrames(
      [capture](void** bufs, snd_pcm_uframes_t n) { return snd_pcm_readn(capture, bufs, n); },
      capture, watchdog_, capturePointers_, restPointers_, period);
  const std::int64_t delivered = got.frames;
  for (int i = 0; i < inputs && delivered < period; ++i) {
    std::memset(frameAt(buffers_.recordA.block(i), delivered), 0,
                static_cast<std::size_t>((period - delivered) * kBytesPerSample));
  }
  pass.readPosition += period;
  pass.framesSinceDisplay += period;
  if (got.error == -EPIPE) {
    printLine("\nRX");
    ++pass.overruns;
    snd_pcm_prepare(capture);
  } else if (got.error < 0) {
    pass.captureError = got.error;
    pass.keepRunning = false;
  }
  const bool all = context.request.monitorAll;
  std::int64_t loudest = 0;
  int loudestChannel = 0;
  for (int i = 0; i < std::min(s.inputs, tracks_); ++i) {
    if (all || armed_[static_cast<std::size_t>(i)] == 1) {
      CheckPeak(i, period, inputPeaks_, buffers_.recordA.block(i), loudest, loudestChannel);
    }
  }
  if (pass.framesSinceDisplay > 16383) {
    printMonitorLine(s.inputs, all, armed_, inputPeaks_);
    pass.framesSinceDisplay = 0;
  }
  if (pass.readPosition - (kBlock - 1) > s.outPoint) pass.keepRunning = false;
}

void Transport::finish(PassContext& context, PassState& pass) {
  ProjectSettings& s = context.settings;
  PassRequest& request = context.request;
  // A stop that came after the last period ends the pass all the same.
  if (stopRequested()) pass.stopped = true;
  const bool cardFailed = pass.stalled || pass.playError < 0 || pass.captureError < 0;
  const bool probe = request.probeCapture != nullptr;
  // Every frame captured reaches the takes before anything is reported.
  if ((pass.stopped || pass.takeFailed || cardFailed) && pass.record && !probe) {
    flushPartialRecordBlock(context, pass);
  }
  disk_.finish();
  if (pass.record && disk_.failures() != pass.failuresSeen) reportTakeFailures(pass);
  print("\n");
  if (pass.stopped) {
    printLine("Stopped.");
  } else if (pass.stalled) {
    print("The sound card stopped: no audio for %i s.\n", kDeviceStallSeconds);
  } else if (pass.captureError < 0) {
    print("Could not read from the sound card: %s.\n",
          snd_strerror(static_cast<int>(pass.captureError)));
  } else if (pass.playError < 0) {
    print("Could not write to the sound card: %s.\n",
          snd_strerror(static_cast<int>(pass.playError)));
  }
  if (request.timelineAudition) {
    s.inPoint = request.savedIn;
    s.outPoint = request.savedOut;
  }
  if (pass.monitor) s.outPoint = pass.savedMonitorOut;
  if (probe) {
    // A measurement keeps nothing: a stopped or failed one has no result.
    request.probeFrames = pass.stopped || cardFailed ? 0 : pass.samplesWritten;
    if (pass.stopped && stopEndsRun()) {
      flushOutput();
      throw InputEnded{stopSignal()};
    }
    if (pass.stopped) clearStopRequest();
    flushOutput();
    return;
  }

  PassPeaks peaks;
  peaks.recorded = pass.record;
  peaks.checkedPeaks = s.peakMode == 1;
  peaks.played = pass.play;
  peaks.mixMode = s.mixMode;
  peaks.inputs = s.inputs;
  peaks.armed = &armed_;
  peaks.inputPeaks = &inputPeaks_;
  peaks.busOn = &s.busOn;
  peaks.busLeft = &busPeaksLeft_;
  peaks.busRight = &busPeaksRight_;
  const bool busMode = s.mixMode == 2 || s.mixMode == 3;
  peaks.masterLeft = busMode ? busPeaksLeft_[0] : masterPeakLeft_;
  peaks.masterRight = busMode ? busPeaksRight_[0] : masterPeakRight_;
  printPassPeaks(peaks);
  if (pass.underruns > 0) print("\nPlay Underruns = %i\n", pass.underruns);
  if (pass.overruns > 0) print("\nRecord Overruns = %i\n", pass.overruns);
  reportStreamLosses(s, pass);

  closePlayFiles();
  if (pass.record) take_.close(armed_, pass.samplesWritten);
  if (pass.stopped) {
    if (stopEndsRun()) {
      // Nobody may be there to answer: the take (this one, or the one whose
      // menu started this audition) stays under its names.
      if (pass.record || request.takeAudition) reportKeptTake();
      flushOutput();
      throw InputEnded{stopSignal()};
    }
    clearStopRequest();  // a Ctrl-C ends the pass, not the run
  }
  if (pass.record) {
    // A take named in advance stays as named; any other goes to the take menu.
    if (context.preemptiveTakeName.empty()) {
      if (context.settleTake) context.settleTake();
    } else {
      context.preemptiveTakeName.clear();
    }
  }
  if (request.recordAtIn) {
    s.punchPoint = request.savedPunch;
    s.inPoint = request.savedIn;
  }
  flushOutput();
}

}  // namespace varnow
