// The mixdown of the in-out stretch to one interleaved stereo file or to a
// left and a right mono file, without the sound card.
#pragma once

#include "core/project_settings.hpp"

namespace varnow {

enum class ExportKind : unsigned { kSplit = 1, kInterleaved = 2 };

// 'exp-i' and 'exp-s': reads the play list, computes the gains, asks for
// the name and writes the mix with its progress line and peak report.
void exportMixCommand(ProjectSettings& settings, ExportKind kind);

}  // namespace varnow
