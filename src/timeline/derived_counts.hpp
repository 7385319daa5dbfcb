// Sample counts derived once at start from the settings and the granted period.
#pragma once

#include <cstdint>

#include "core/project_settings.hpp"

namespace varnow {

struct DerivedCounts {
  std::int64_t xfadeHalf = 0;                // half the crossfade, frames
  std::int64_t xfadeLength = 0;              // the whole crossfade, frames
  std::int64_t auditionSamples = 0;          // audition length, frames (not rounded to the period)
  std::int64_t nudgeSamples = 0;             // nudge amount, whole periods
  std::int64_t prerollSamples = 0;           // preroll, whole periods
  std::int64_t unstreamedClockInterval = 0;  // frames between clock redraws, 'uc'
  std::int64_t streamedClockInterval = 0;    // frames between clock redraws, 'sc'
  int busCount = 0;
};

DerivedCounts computeDerivedCounts(const ProjectSettings& settings, std::int64_t periodFrames);

// Crossfade length in milliseconds to its half length in frames.
std::int64_t crossfadeHalfFrames(float crossfadeMs, std::uint32_t rate);

// Seconds to frames, truncated (the audition length).
std::int64_t auditionFrames(float seconds, std::uint32_t rate);

}  // namespace varnow
