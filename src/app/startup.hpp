// The program's start: banner, settings from param.txt or the first-run
// dialog, the list-file checks, the channel-count clamping rule and the
// printout of what will be requested from the sound card.
#pragma once

#include "core/project_settings.hpp"

namespace varnow {

inline constexpr const char* kProgramName = "Varnow";
inline constexpr const char* kProgramVersion = "3.76 (r52)";

// Exit status when the user answers 'x' in the first-run dialog.
inline constexpr int kExitDialogCancelled = 2;

// Exit status when param.txt is there but cannot be read; it is left as it is.
inline constexpr int kExitSettingsUnreadable = 1;

// The channel-count clamping rule: afterwards inputs and outputs lie in
// 0..256 and tracks in 0..256, at least inputs and at least outputs.
void clampChannelCounts(ProjectSettings& settings);

// Asks the first-run questions. Returns false when the user answered 'x'.
bool runFirstRunDialog(ProjectSettings& settings);

// Makes sure the current record and play list files exist, creating empty
// record.txt / play.txt with their explanations when they do not; a file of
// either name that exists already is left as it is.
void checkListFilesAtStart(const ProjectSettings& settings);

// The whole program: returns the exit status.
int runProgram();

}  // namespace varnow
