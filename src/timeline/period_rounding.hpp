// Rounding of stored positions to whole periods of the granted device period.
#pragma once

#include <cstdint>

#include "core/project_settings.hpp"

namespace varnow {

// Rounds in, out, punch and memory, every range start and end and every locate
// point up to a whole multiple of the period; a value of 0 or less becomes 0.
void roundStoredPointsToPeriod(ProjectSettings& settings, std::int64_t periodFrames);

}  // namespace varnow
