#include "app/play_rec.hpp"

#include <unistd.h>

#include "app/command_loop.hpp"
#include "app/run_state.hpp"
#include "app/settings_file.hpp"
#include "core/console_input.hpp"
#include "core/print.hpp"
#include "core/stop_request.hpp"
#include "engine/audio_device.hpp"
#include "meter/level_meter.hpp"
#include "mixer/channel_mixer.hpp"
#include "timeline/derived_counts.hpp"
#include "timeline/period_rounding.hpp"

namespace varnow {

namespace {

int reportDeviceFailure(const DeviceFailure& failure) {
  if (failure.onStandardError) {
    printError("%s", failure.message.c_str());
  } else {
    print("%s", failure.message.c_str());
  }
  // A person at the terminal is told what to try; piped runs print exactly
  // the message above and nothing more.
  if (::isatty(STDIN_FILENO) == 1) {
    printError(
        "Try the device default or a plughw: device (the dv line of param.txt); "
        "varnow --list-devices shows the devices of this machine.\n");
  }
  flushOutput();
  return kExitDeviceFailure;
}

}  // namespace

int PLAY_REC(ProjectSettings& settings) {
  AudioDevice::clampPeriodRequest(settings.bufferFrames);
  AudioDevice device;
  if (const auto failure = device.open(settings)) return reportDeviceFailure(*failure);
  device.printReport(settings);
  if (const auto& failure = device.captureInstallFailure()) return reportDeviceFailure(*failure);

  if (settings.firstRun == 1) {
    // A failure is reported by the writer; the run goes on with the settings in memory.
    (void)MAKE_PARAM_FILE(settings);
  }

  RunState state(settings, device);
  state.counts = computeDerivedCounts(settings, state.period);
  roundStoredPointsToPeriod(settings, state.period);
  state.transport.meterScale() = meterScaleFor(settings.meterRange);
  initialBusGains(settings.busLevels, settings.busGains);

  int status = 0;
  try {
    runCommandLoop(state);
  } catch (const InputEnded& ended) {
    // End of input, or a stop signal at a prompt or during a pass, ends the
    // run as the exit command does, without asking anything further.
    print("\n");
    device.stopAndClose();
    if (ended.signalNumber != 0) status = stopExitStatus(ended.signalNumber);
  }
  // A signal that came while the run was winding down still ends it.
  if (status == 0 && stopRequested()) status = stopExitStatus(stopSignal());
  flushOutput();
  return status;
}

}  // namespace varnow
