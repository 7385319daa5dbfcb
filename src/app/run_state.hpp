// Everything the console works on while the program runs: the settings (edited
// in place by the commands), the open sound card, the counts derived at start
// and the command loop's own state.
#pragma once

#include <cstdint>
#include <string>

#include "core/project_settings.hpp"
#include "engine/audio_device.hpp"
#include "engine/transport.hpp"
#include "timeline/derived_counts.hpp"

namespace varnow {

// The pending action of one dispatched word (the transport's go flag).
enum class PendingAction { kNone = 0, kPass = 1, kExit = 2 };

struct RunState {
  RunState(ProjectSettings& projectSettings, AudioDevice& audioDevice)
      : settings(projectSettings),
        device(audioDevice),
        period(audioDevice.period()),
        transport(projectSettings.tracks, projectSettings.sampleRate) {}

  ProjectSettings& settings;
  AudioDevice& device;
  std::int64_t period;
  DerivedCounts counts;
  Transport transport;
  PassRequest request;
  std::string preemptiveTakeName;  // stays set until a recording uses it
  bool dontAskAgain = false;       // 'W' at the take menu's overwrite check, for the run

  PendingAction pendingAction = PendingAction::kNone;
  std::string commandWord;
  bool mixerView = false;
  bool undoAfterMenu = false;  // 'undo' at the take menu: take back the decision before
};

}  // namespace varnow
