// How stored positions are shown: in seconds, or as measure.beat at a tempo.
#pragma once

#include <cstdint>

#include "core/project_settings.hpp"

namespace varnow {

// The settings every position display depends on, taken together so that a
// listing needs one argument instead of four.
struct TimeDisplay {
  std::uint32_t rate = 44100;  // frames per second
  int beatsPerMeasure = 4;
  float tempo = 120.0f;  // beats per minute
  int mode = 0;          // 1 = measure.beat; any other value shows seconds

  bool musical() const { return mode == 1; }
};

inline TimeDisplay timeDisplayOf(const ProjectSettings& settings) {
  return TimeDisplay{settings.sampleRate, settings.beatsPerMeasure, settings.tempo,
                     settings.timeMode};
}

}  // namespace varnow
