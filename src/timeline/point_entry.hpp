// Entering the in, out and punch points: in seconds or as measure.beat, from a
// prompt or from the text of a command word, always rounded up to whole
// periods so that every transport point falls on a period boundary.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/console_input.hpp"
#include "core/project_settings.hpp"

namespace varnow {

// Where a point entry takes its value from.
enum class EntryMode : int {
  kPrompt = 0,       // ask at the console
  kCommandText = 1,  // the text after the first letter of the command word
  kHeldValue = 2,    // enter again the value held in the PointEntry
};

// Everything a point entry needs besides the point itself.
struct PointEntry {
  EntryMode mode = EntryMode::kPrompt;
  std::string_view commandText;     // kCommandText: the whole word, e.g. "i12.5" or "e5.3"
  ConsoleInput* replies = nullptr;  // kPrompt reads here; nullptr means the program's console

  std::int64_t periodFrames = 1;  // the quantum the result is rounded up to
  std::uint32_t rate = 44100;
  int beatsPerMeasure = 4;
  float tempo = 120.0f;

  // The value last entered, updated by every entry; kHeldValue uses it again.
  float seconds = 0.0f;
  int measure = 1;
  float beat = 1.0f;
};

// Rounding rule 1: `seconds` at `rate` as a position (x = rate * seconds in
// single precision), rounded up to the first multiple k of the period with
// x <= float(k). 0 for x <= 0 (and for NaN); any positive time gives at least
// one period.
Position positionFromSeconds(float seconds, std::uint32_t rate, std::int64_t periodFrames);

// measure.beat at the entry's tempo, beats per measure and rate, rounded by
// rule 2: the position x = trunc(60 / tempo * ((measure - 1) * B + offset) *
// rate), where offset is beat - 1, or 0 for a beat below 1; 0 when x < 1,
// otherwise the first multiple of the period >= x. The measure is taken as
// given (measure 0 lies before the start and gives 0); raising a typed
// measure to 1 is the prompt's business.
Position positionFromMeasures(int measure, float beat, const PointEntry& entry);

// The in point and the punch point take the entered position unconditionally.
void SetInPoint(PointEntry& entry, Position& inPoint);
void SetPunchPoint(PointEntry& entry, Position& punchPoint);
void SetInPointMeas(PointEntry& entry, Position& inPoint);
void SetPunchPointMeas(PointEntry& entry, Position& punchPoint);

// The out point takes the entered position only if it does not lie before the
// in point: from seconds a position equal to the in point is accepted, from
// measure.beat it must be greater. Otherwise the out point is kept, silently.
// Returns whether the out point was set.
bool SetOutPoint(PointEntry& entry, Position inPoint, Position& outPoint);
bool SetOutPointMeas(PointEntry& entry, Position inPoint, Position& outPoint);

}  // namespace varnow
