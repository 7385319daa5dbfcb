// Everything the console works on while the program runs: the settings (edited
// in place by the commands), the open sound card, the counts derived at start
// and the command loop's own state.
#pragma once

#include <cstdint>
#include <string>

#include "app/project_settings.hpp"
#include "engine/audio_device.hpp"
#include "engine/block_buffers.hpp"
#include "engine/derived_counts.hpp"

namespace varnow {

// The pending action of one dispatched word (the transport's go flag).
enum class PendingAction { kNone = 0, kPass = 1, kExit = 2 };

struct RunState {
  RunState(ProjectSettings& projectSettings, AudioDevice& audioDevice)
      : settings(projectSettings),
        device(audioDevice),
        period(audioDevice.period()),
        buffers(projectSettings.tracks) {}

  ProjectSettings& settings;
  AudioDevice& device;
  std::int64_t period;
  BlockBuffers buffers;
  DerivedCounts counts;

  PendingAction pendingAction = PendingAction::kNone;
  std::string commandWord;
  bool mixerView = false;
  bool soloPlayRequested = false;
};

}  // namespace varnow
