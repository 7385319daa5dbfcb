#include "engine/audio_device.hpp"

#include <memory>

#include "core/print.hpp"
#include "engine/block_buffers.hpp"

namespace varnow {

namespace {

struct HwParamsDeleter {
  void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter>;

// A zero-filled hardware parameter space (snd_pcm_hw_params_malloc clears it).
HwParams newHwParams() {
  snd_pcm_hw_params_t* params = nullptr;
  if (snd_pcm_hw_params_malloc(&params) < 0) return HwParams();
  return HwParams(params);
}

DeviceFailure failure(Format format, int err, bool onStandardError = true) {
  return DeviceFailure{formatText(format, snd_strerror(err)), onStandardError};
}

// A device that refuses one buffer per channel would fail every transfer of
// every pass: the start ends here instead, saying what to use.
DeviceFailure accessFailure(Format format, int err, const char* device) {
  return DeviceFailure{formatText(format, snd_strerror(err)) +
                           formatText("The device %s does not take one buffer per channel: use "
                                      "plug:%s, or pipewire under PipeWire.\n",
                                      device, device),
                       true};
}

DirectionReport readBack(const snd_pcm_hw_params_t* params) {
  DirectionReport report;
  int dir = 0;
  snd_pcm_hw_params_get_buffer_size(params, &report.bufferFrames);
  snd_pcm_hw_params_get_period_size(params, &report.periodFrames, &dir);
  snd_pcm_hw_params_get_channels(params, &report.channels);
  snd_pcm_hw_params_get_rate(params, &report.rate, &dir);
  return report;
}

// The "Periods" column: buffer size in whole periods. A direction that never
// got a period (its installation failed) shows 0 rather than dividing by zero.
unsigned long periodsPerBuffer(const DirectionReport& report) {
  return report.periodFrames == 0 ? 0UL : report.bufferFrames / report.periodFrames;
}

// The library's own diagnostics would add lines of its own to standard error;
// every failure is reported by this program in its own words instead.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

AudioDevice::~AudioDevice() {
  if (playback_ != nullptr) snd_pcm_close(playback_);
  if (capture_ != nullptr) snd_pcm_close(capture_);
  snd_config_update_free_global();
}

void AudioDevice::clampPeriodRequest(std::int32_t& bufferFrames) {
  if (bufferFrames > kMaxPeriodFrames) bufferFrames = kMaxPeriodFrames;
  if (bufferFrames < kMinPeriodFrames) bufferFrames = kMinPeriodFrames;
}

std::optional<DeviceFailure> AudioDevice::open(const ProjectSettings& settings) {
  const auto requestedPeriod = static_cast<snd_pcm_uframes_t>(settings.bufferFrames);
  const snd_pcm_uframes_t requestedBuffer = requestedPeriod * kRequestedPeriodsPerBuffer;

  snd_lib_error_set_handler(quietErrorHandler);

  // Playback: open, any, access, format, channels, rate, period, buffer, install.
  int err = snd_pcm_open(&playback_, settings.device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (err < 0) {
    playback_ = nullptr;
    return failure("Playback device could not be opened: %s\n", err);
  }
  HwParams playParams = newHwParams();
  HwParams recordParams = newHwParams();
  if (!playParams || !recordParams) {
    return failure("Problem setting playback parameters: %s\n", -ENOMEM);
  }
  snd_pcm_hw_params_any(playback_, playParams.get());
  err = snd_pcm_hw_params_set_access(playback_, playParams.get(), SND_PCM_ACCESS_RW_NONINTERLEAVED);
  if (err < 0)
    return accessFailure("Problem setting playback access: %s\n", err, settings.device.c_str());
  err = snd_pcm_hw_params_set_format(playback_, playParams.get(), SND_PCM_FORMAT_S24_3LE);
  if (err < 0) return failure("Problem setting playback format: %s\n", err);
  snd_pcm_hw_params_set_channels(playback_, playParams.get(),
                                 static_cast<unsigned int>(settings.outputs));
  unsigned int rate = settings.sampleRate;
  snd_pcm_hw_params_set_rate_near(playback_, playParams.get(), &rate, nullptr);
  snd_pcm_uframes_t periodFrames = requestedPeriod;
  snd_pcm_hw_params_set_period_size_near(playback_, playParams.get(), &periodFrames, nullptr);
  snd_pcm_uframes_t bufferFrames = requestedBuffer;
  snd_pcm_hw_params_set_buffer_size_near(playback_, playParams.get(), &bufferFrames);
  deviceBufferFrames_ = static_cast<std::int64_t>(bufferFrames);
  err = snd_pcm_hw_params(playback_, playParams.get());
  if (err < 0) return failure("Problem setting playback parameters: %s\n", err);
  int dir = 0;
  snd_pcm_uframes_t grantedPeriod = 0;
  snd_pcm_hw_params_get_period_size(playParams.get(), &grantedPeriod, &dir);
  period_ = static_cast<std::int64_t>(grantedPeriod);
  if (grantedPeriod != requestedPeriod) printLine("Driver did not return requested period size.");

  // Capture: the same negotiation, asking for the period playback was granted.
  err = snd_pcm_open(&capture_, settings.device.c_str(), SND_PCM_STREAM_CAPTURE, 0);
  if (err < 0) {
    capture_ = nullptr;
    return failure("unable to open pcm record device: %s\n", err);
  }
  snd_pcm_hw_params_any(capture_, recordParams.get());
  err =
      snd_pcm_hw_params_set_access(capture_, recordParams.get(), SND_PCM_ACCESS_RW_NONINTERLEAVED);
  if (err < 0)
    return accessFailure("Problem setting recording access: %s\n", err, settings.device.c_str());
  err = snd_pcm_hw_params_set_format(capture_, recordParams.get(), SND_PCM_FORMAT_S24_3LE);
  if (err < 0) return failure("Problem setting recording format: %s\n", err);
  snd_pcm_hw_params_set_channels(capture_, recordParams.get(),
                                 static_cast<unsigned int>(settings.inputs));
  unsigned int recordRate = settings.sampleRate;
  snd_pcm_hw_params_set_rate_near(capture_, recordParams.get(), &recordRate, nullptr);
  snd_pcm_uframes_t recordPeriod = grantedPeriod;
  snd_pcm_hw_params_set_period_size_near(capture_, recordParams.get(), &recordPeriod, nullptr);
  snd_pcm_uframes_t recordBuffer = requestedBuffer;
  snd_pcm_hw_params_set_buffer_size_near(capture_, recordParams.get(), &recordBuffer);
  err = snd_pcm_hw_params(capture_, recordParams.get());
  if (err < 0) {
    captureFailure_ = failure("Could not set record hardware parameters: %s\n", err, false);
  }

  // Each stream is started and stopped once, so that the first pass finds
  // it as every later one does. Through a sound server, a stream that had
  // never run put the first pass's take a period away from every later
  // one's, so a measured correction held for one or the other.
  if (!captureFailure_) {
    for (snd_pcm_t* pcm : {playback_, capture_}) {
      snd_pcm_start(pcm);
      snd_pcm_drop(pcm);
      snd_pcm_prepare(pcm);
    }
  }

  // Read back in the report's order: capture buffer, playback buffer, capture
  // period, playback period, playback channels, capture channels, rates.
  recordReport_ = readBack(recordParams.get());
  playReport_ = readBack(playParams.get());
  return std::nullopt;
}

std::int64_t compensatedLatencyFrames(std::int64_t deviceBufferFrames, std::int64_t periodFrames,
                                      std::int32_t odcomp, std::int32_t odcompFrames) {
  if (periodFrames <= 0) return 0;
  return (deviceBufferFrames / periodFrames + odcomp) * periodFrames - kBlockFrames + odcompFrames;
}

void AudioDevice::printReport(const ProjectSettings& settings) const {
  printLine("\nReturned Driver Parameters:");
  printLine("\tBuffer\tPeriods\tRate\tChannels");
  print("Play\t%i\t%i\t%i\t%i\n", static_cast<int>(playReport_.periodFrames),
        static_cast<int>(periodsPerBuffer(playReport_)), static_cast<int>(playReport_.rate),
        static_cast<int>(playReport_.channels));
  print("Record\t%i\t%i\t%i\t%i\n", static_cast<int>(recordReport_.periodFrames),
        static_cast<int>(periodsPerBuffer(recordReport_)), static_cast<int>(recordReport_.rate),
        static_cast<int>(recordReport_.channels));
  const std::int64_t latency = compensatedLatencyFrames(deviceBufferFrames_, period_,
                                                        settings.odcomp, settings.odcompFrames);
  print(
      "Latency compensated: %li frames (%.2f ms)\n", static_cast<long>(latency),
      settings.sampleRate == 0 ? 0.0 : static_cast<double>(latency) * 1000.0 / settings.sampleRate);
  print("-----------------------------------------\n");
  print("\n");
}

// Every pass has let the card play what it was given before it reported;
// what a stopped pass left is dropped. A drain here would wait for ever on a
// device that no longer runs (a sound server's stream nobody links).
void AudioDevice::stopAndClose() {
  if (playback_ != nullptr) snd_pcm_drop(playback_);
  if (capture_ != nullptr) snd_pcm_drop(capture_);
  if (playback_ != nullptr) snd_pcm_close(playback_);
  playback_ = nullptr;
  if (capture_ != nullptr) snd_pcm_close(capture_);
  capture_ = nullptr;
}

}  // namespace varnow
