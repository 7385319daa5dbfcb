// The mixer's console: the mixer view and its edit tokens, the mix mode
// ('mod') and the bus assignments ('bus').
#pragma once

#include <string>

#include "core/project_settings.hpp"

namespace varnow {

// The mixer listing; returns 1, or 0 when the play list cannot be opened
// (after "Playlist file called %s was not found!\n").
int ShowMixer(const ProjectSettings& settings);

// The whole view shown before every mixer prompt: an empty line, the
// listing, an empty line, the status line, an empty line and "Mix commands
// are active.  Enter 'h' for help."
void showMixerView(const ProjectSettings& settings);

// Handles one token read at the mixer prompt: "h" (help), or an edit
// ("2v-6", "1b-4", "3p-100"). Returns false when the token is not one of
// these and must be run as a command of the main prompt.
bool handleMixerToken(ProjectSettings& settings, const std::string& token);

// 'mod': shows the mix modes and reads the new one.
void selectMixMode(ProjectSettings& settings);

// 'bus': shows and edits the bus assignments.
void editBusAssignments(ProjectSettings& settings);

}  // namespace varnow
