// The sound card: one playback handle and one capture handle on the same
// ALSA device name, configured once at start and kept until exit.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <optional>
#include <string>

#include "core/project_settings.hpp"

namespace varnow {

inline constexpr std::int32_t kMinPeriodFrames = 16;
inline constexpr std::int32_t kMaxPeriodFrames = 4096;
// The device buffer is always requested as this many periods.
inline constexpr std::int32_t kRequestedPeriodsPerBuffer = 4;

// What the driver handed back for one direction, as shown in the report.
struct DirectionReport {
  snd_pcm_uframes_t periodFrames = 0;
  snd_pcm_uframes_t bufferFrames = 0;
  unsigned int rate = 0;
  unsigned int channels = 0;
};

// A failure that ends the program with status 1: the message (with the ALSA
// error text filled in) and the stream it belongs on.
struct DeviceFailure {
  std::string message;
  bool onStandardError = true;
};

// The round trip, from a frame written to the same frame captured, that a
// recording with playback takes for granted: a card whose loopback takes
// exactly this long puts every take on the tracks to the frame. Capture starts
// once the frames written have passed the punch point by the device buffer
// and odcomp periods, less one block (4096 frames); odcompFrames more frames
// are dropped from the start of the capture.
std::int64_t compensatedLatencyFrames(std::int64_t deviceBufferFrames, std::int64_t periodFrames,
                                      std::int32_t odcomp, std::int32_t odcompFrames);

class AudioDevice {
 public:
  AudioDevice() = default;
  AudioDevice(const AudioDevice&) = delete;
  AudioDevice& operator=(const AudioDevice&) = delete;
  ~AudioDevice();

  // Limits the requested period size to 16..4096 in place.
  static void clampPeriodRequest(std::int32_t& bufferFrames);

  // Opens and configures playback, then capture, with the exact call order the
  // driver negotiation needs (see the .cpp). Prints "Driver did not return
  // requested period size." when the playback period differs from the request.
  // On a playback or capture open/format/installation failure returns the
  // failure; the capture installation result is only reported by
  // captureInstallFailure() after the report has been printed.
  std::optional<DeviceFailure> open(const ProjectSettings& settings);

  // Prints the "Returned Driver Parameters" table and the round-trip latency
  // that recordings with playback compensate.
  void printReport(const ProjectSettings& settings) const;

  // Set when the capture installation failed; the caller ends the program.
  const std::optional<DeviceFailure>& captureInstallFailure() const { return captureFailure_; }

  // Drops what playback and capture still hold and closes them.
  void stopAndClose();

  snd_pcm_t* playback() const { return playback_; }
  snd_pcm_t* capture() const { return capture_; }
  std::int64_t period() const { return period_; }
  std::int64_t deviceBufferFrames() const { return deviceBufferFrames_; }
  // The channel counts the driver granted (the requests when it granted none).
  int playbackChannels() const { return static_cast<int>(playReport_.channels); }
  int captureChannels() const { return static_cast<int>(recordReport_.channels); }

 private:
  snd_pcm_t* playback_ = nullptr;
  snd_pcm_t* capture_ = nullptr;
  std::int64_t period_ = 0;
  std::int64_t deviceBufferFrames_ = 0;
  DirectionReport playReport_;
  DirectionReport recordReport_;
  std::optional<DeviceFailure> captureFailure_;
};

}  // namespace varnow
