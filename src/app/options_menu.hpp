#pragma once

#include "core/project_settings.hpp"

namespace varnow {

// 'opt': clock, peak checking and interface mode, until "d".
void runOptionsMenu(ProjectSettings& settings);

// 'safe': the safety switch for replacing files.
void runSafetySwitch(ProjectSettings& settings);

}  // namespace varnow
