// What the console shows before it reads a command: the time menu (default
// interface) or the one-line status (minimal interface).
#pragma once

#include "core/project_settings.hpp"

namespace varnow {

// The time menu for the current time mode, followed by the three closing lines.
void printTimeMenu(const ProjectSettings& settings);

// "Play: ...   Rec: ...   Stop: ...   Mem: ..." for the current time mode.
void printStatusLine(const ProjectSettings& settings);

}  // namespace varnow
