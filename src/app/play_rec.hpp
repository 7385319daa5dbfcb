#pragma once

#include "core/project_settings.hpp"

namespace varnow {

// Exit status when the sound card cannot be opened or configured.
inline constexpr int kExitDeviceFailure = 1;

// Runs the project: opens and configures the sound card, writes the first
// param.txt on a first run, rounds the stored points to the granted period
// and runs the console until the user leaves. Returns the exit status: 0
// after exit, 1 when the device could not be set up, 128 + the signal number
// when a stop signal ended the run.
int PLAY_REC(ProjectSettings& settings);

}  // namespace varnow
