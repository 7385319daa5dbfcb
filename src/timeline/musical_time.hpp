// Positions shown and entered as measure.beat at a tempo.
//
// The arithmetic is deliberately single precision where the display has
// always been single precision: near a bar line the rounding decides whether a
// position shows as the last beat of one measure or beat 1.00 of the next,
// and users compare these numbers with what they wrote down.
#pragma once

#include <cstdint>

#include "core/project_settings.hpp"

namespace varnow {

struct MusicalPosition {
  int measure = 1;    // counted from 1
  float beat = 1.0f;  // counted from 1.00 at the first beat of the measure
};

// Frames to measure.beat. Returns measure - 1, as the display code expects.
int SampleToMeasures(int beatsPerMeasure, float tempo, Position position, int& measure, float& beat,
                     std::uint32_t rate);

// Convenience form of SampleToMeasures.
MusicalPosition toMusical(Position position, int beatsPerMeasure, float tempo, std::uint32_t rate);

// measure.beat to frames (no rounding to the period).
Position MeasuresToSample(int beatsPerMeasure, float tempo, int measure, float beat,
                          std::uint32_t rate);

// A position in seconds, single precision, as every "%.2f" display shows it.
float toSeconds(Position position, std::uint32_t rate);

}  // namespace varnow
