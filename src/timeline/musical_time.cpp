#include "timeline/musical_time.hpp"

#include <limits>

namespace varnow {

namespace {

// Truncation toward zero that stays defined for values no int can hold (a
// rate of 0 or an absurd position): those saturate, and NaN reads as 0.
int truncateToInt(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483520.0f) return std::numeric_limits<int>::max();
  if (value <= -2147483520.0f) return std::numeric_limits<int>::min() + 1;
  return static_cast<int>(value);
}

Position truncateToPosition(double value) {
  if (!(value == value)) return 0;
  if (value >= 9.2e18) return std::numeric_limits<Position>::max();
  if (value <= -9.2e18) return std::numeric_limits<Position>::min();
  return static_cast<Position>(value);
}

}  // namespace

int SampleToMeasures(int beatsPerMeasure, float tempo, Position position, int& measure, float& beat,
                     std::uint32_t rate) {
  const double beatsPerSecond = static_cast<double>(tempo) / 60.0;
  const double secondsPerFrame = 1.0 / static_cast<double>(rate);
  const auto frames = static_cast<double>(static_cast<float>(position));
  auto elapsedBeats = static_cast<float>(beatsPerSecond * secondsPerFrame * frames);
  if (!(elapsedBeats == elapsedBeats)) elapsedBeats = 0.0f;  // a rate of 0 at position 0
  const auto measuresPerBeat = static_cast<float>(beatsPerMeasure);
  measure = truncateToInt(elapsedBeats / measuresPerBeat + 1.0f);
  beat =
      elapsedBeats - static_cast<float>(measure - 1) * static_cast<float>(beatsPerMeasure) + 1.0f;
  return measure - 1;
}

MusicalPosition toMusical(Position position, int beatsPerMeasure, float tempo, std::uint32_t rate) {
  MusicalPosition result;
  SampleToMeasures(beatsPerMeasure, tempo, position, result.measure, result.beat, rate);
  return result;
}

Position MeasuresToSample(int beatsPerMeasure, float tempo, int measure, float beat,
                          std::uint32_t rate) {
  const float beatsFromStart =
      (beat - 1.0f) + static_cast<float>(beatsPerMeasure) * static_cast<float>(measure - 1);
  const double secondsPerBeat = 60.0 / static_cast<double>(tempo);
  const auto frames = secondsPerBeat * static_cast<double>(beatsFromStart) *
                      static_cast<double>(static_cast<float>(rate));
  return truncateToPosition(frames);
}

float toSeconds(Position position, std::uint32_t rate) {
  return static_cast<float>(position) / static_cast<float>(rate);
}

}  // namespace varnow
