// The transport: one pass of playing, recording, auditioning or monitoring,
// streamed between the WAV files and the sound card.
//
// Two clocks meet here. The device moves `period` frames per call; mixing
// and take writing move blocks of exactly 4096 frames per channel. Playback
// and capture each alternate between two block buffers: one is streamed to
// or from the device period by period while the other is filled from the
// play rings, or handed over to the capture rings, in one go. The period
// loop never touches a file: the pass's disk thread (disk_thread.hpp) reads
// the play files into those rings and writes the takes from them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/project_settings.hpp"
#include "engine/audio_device.hpp"
#include "engine/block_buffers.hpp"
#include "engine/device_watchdog.hpp"
#include "engine/disk_thread.hpp"
#include "engine/take_files.hpp"
#include "meter/level_meter.hpp"
#include "meter/peak_report.hpp"
#include "mixer/channel_mixer.hpp"
#include "timeline/derived_counts.hpp"
#include "wave/wave_attributes.hpp"

namespace varnow {

using ChannelFlags = std::array<std::int32_t, kMaxChannels>;

// What the command asked of the next pass. play, record, monitor and
// recordAtIn are cleared after every pass; soloPlay by every other command.
struct PassRequest {
  bool play = false;
  bool record = false;
  bool monitor = false;
  bool monitorAll = false;  // 'ma': all inputs; 'mr': armed inputs only
  bool soloPlay = false;
  bool timelineAudition = false;  // 'ai', 'ao', 'ae': in and out restored afterwards
  bool takeAudition = false;      // the take menu's 'aud'
  bool recordAtIn = false;        // 'ri': punch and in restored afterwards
  float monitorSeconds = 0.0f;
  Position savedIn = 0;
  Position savedOut = 0;
  Position savedPunch = 0;
  // Take audition: the play lines to use instead of the play list, where
  // each file starts on the timeline, and the start and stop offsets.
  std::vector<std::string> auditionLines;
  std::array<Position, kMaxChannels> fileStart{};
  Position startOffset = 0;
  Position stopOffset = 0;
  // A latency measurement: output 1 plays `probeSignal` (packed samples from
  // the in point on) instead of the tracks, and input 1's capture goes into
  // `probeCapture` (as many bytes as the take holds) instead of a take; no
  // file is read or written. probeFrames tells how many frames came.
  const std::vector<std::int8_t>* probeSignal = nullptr;
  std::vector<std::int8_t>* probeCapture = nullptr;
  std::int64_t probeFrames = 0;

  void clearPassFlags() {
    play = record = monitor = monitorAll = timelineAudition = takeAudition = recordAtIn = false;
  }
};

// The lists a pass reads, one entry per counted line ("-" lines as they are).
struct PassLines {
  std::vector<std::string> play;
  std::vector<std::string> record;
};

// Everything a pass works on besides its own tables.
struct PassContext {
  ProjectSettings& settings;
  AudioDevice& device;
  DerivedCounts& counts;
  std::int64_t periodFrames;
  PassRequest& request;
  std::string& preemptiveTakeName;
  // Runs after a recording without a preemptive take name, while the points
  // are still those of the pass (the take menu). May be empty.
  std::function<void()> settleTake;
};

class Transport {
 public:
  // Allocates every buffer, ring and table of the run for `tracks` channels
  // at `sampleRate`.
  Transport(int tracks, std::uint32_t sampleRate);
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Runs one pass from set-up to the reports after it. Returns true when the
  // pass recorded (the take is then on disk and described by takeFiles()).
  //
  // A stop request ends the pass at the end of the period that is under way,
  // as if its end test had been met there: "Stopped." and the usual reports
  // are printed, and a recording keeps every frame captured so far (its take
  // length is that count). A Ctrl-C ends only the pass (the request is
  // cleared, the take menu follows). A termination (SIGTERM, SIGHUP) keeps
  // the take under its names, prints one line per take file and ends the
  // run with InputEnded. A take file that can no longer be written (a full
  // disk) ends the pass the same way, without "Stopped.", once a line naming
  // the file and the reason has been printed. Every frame handed to the disk
  // thread is in the takes before they are closed; a stretch the disk did not
  // keep up with is reported after the pass, one line per channel.
  bool runPass(PassContext& context, const PassLines& lines);

  const TakeFiles& takeFiles() const { return take_; }
  TakeFiles& takeFiles() { return take_; }
  MeterScale& meterScale() { return meterScale_; }

 private:
  struct PassState;

  void setUp(PassContext& context, const PassLines& lines, PassState& pass);
  void streamCycle(PassContext& context, PassState& pass);
  void fillPlayBlock(PassContext& context, PassState& pass, BlockBuffer& buffer);
  void captureFrames(PassContext& context, PassState& pass, std::int64_t frames);
  void completeRecordBlock(PassContext& context, PassState& pass, BlockBuffer& buffer);
  void planDisk(PassContext& context, PassState& pass);
  void reportTakeFailures(PassState& pass);
  void reportStreamLosses(const ProjectSettings& s, const PassState& pass) const;
  void flushPartialRecordBlock(PassContext& context, PassState& pass);
  void skipCapture(PassContext& context, PassState& pass);
  void drainPlayback(PassContext& context, PassState& pass);
  void reportKeptTake() const;
  void monitorCycle(PassContext& context, PassState& pass);
  void finish(PassContext& context, PassState& pass);
  void closePlayFiles();

  int tracks_;
  BlockBuffers buffers_;
  std::vector<std::int8_t> silentBlock_;   // for device channels beyond the tracks
  std::vector<std::int8_t> discardBlock_;  // for captured channels beyond the inputs
  std::vector<void*> playPointers_;
  std::vector<void*> capturePointers_;
  std::vector<void*> restPointers_;  // the rest of a transfer that a signal cut short

  ChannelFlags playFlags_{};
  ChannelFlags armed_{};
  ChannelFlags replaceMute_{};
  std::array<int, kMaxChannels> playFiles_{};  // descriptors, -1 when closed
  WaveAttributeTable playAttributes_{};
  ChannelPeaks inputPeaks_{};
  BusPeaks busPeaksLeft_{};
  BusPeaks busPeaksRight_{};
  ChannelGains gains_;
  MixerScratch mixerScratch_;
  std::int64_t masterPeakLeft_ = 0;
  std::int64_t masterPeakRight_ = 0;
  TakeFiles take_;
  DiskThread disk_;          // after take_, which its thread writes: it ends first
  DeviceWatchdog watchdog_;  // of the thread that runs the passes
  LevelMeter meter_;
  MeterScale meterScale_;
  int loudestChannel_ = 1;  // the peak-hold mark before any input was scanned
};

}  // namespace varnow
