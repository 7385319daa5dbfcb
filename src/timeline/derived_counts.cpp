#include "timeline/derived_counts.hpp"

#include <algorithm>

#include <cmath>

#include "wave/quantize.hpp"

namespace varnow {

namespace {

// Truncation of a float frame count that stays defined for any value.
std::int64_t truncateFrames(float frames) {
  if (!(frames > 0.0f)) return 0;
  if (frames >= 9.2e18f) return INT64_MAX;
  return static_cast<std::int64_t>(frames);
}

}  // namespace

std::int64_t crossfadeHalfFrames(float crossfadeMs, std::uint32_t rate) {
  if (crossfadeMs <= 0.0f) return 0;
  // Half the crossfade, at most half of the largest count so that the whole
  // length (twice this) stays representable.
  return std::min<std::int64_t>(truncateFrames(static_cast<float>(rate) * (crossfadeMs / 2000.0f)),
                                INT64_MAX / 2);
}

std::int64_t auditionFrames(float seconds, std::uint32_t rate) {
  return truncateFrames(seconds * static_cast<float>(rate));
}

DerivedCounts computeDerivedCounts(const ProjectSettings& settings, std::int64_t periodFrames) {
  DerivedCounts counts;
  counts.xfadeHalf = crossfadeHalfFrames(settings.crossfade, settings.sampleRate);
  counts.xfadeLength = 2 * counts.xfadeHalf;
  counts.auditionSamples = auditionFrames(settings.auditionLength, settings.sampleRate);
  if (periodFrames > 0) {
    counts.nudgeSamples = QUANTIZE(periodFrames, settings.sampleRate, settings.nudge);
    counts.prerollSamples = QUANTIZE(periodFrames, settings.sampleRate, settings.preroll);
  }
  counts.unstreamedClockInterval = settings.sampleRate / 12;
  counts.streamedClockInterval = settings.sampleRate / 48;
  counts.busCount = settings.tracks / 2;
  return counts;
}

}  // namespace varnow
