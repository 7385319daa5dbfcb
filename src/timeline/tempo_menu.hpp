// The 'tempo' menu: the time display mode, the tempo and the beats per
// measure. New values take effect at once for every later display and entry;
// 's' saves them.
#pragma once

#include "core/console_input.hpp"
#include "core/project_settings.hpp"

namespace varnow {

inline constexpr float kDefaultTempo = 120.0f;  // beats per minute
inline constexpr float kLowestTempo = 1.0f;
inline constexpr float kHighestTempo = 400.0f;
inline constexpr int kDefaultBeatsPerMeasure = 4;
inline constexpr int kMostBeatsPerMeasure = 128;

// The tempo, or the default where it lies outside 1..400 (or is not a
// number): the rule of the menu and of param.txt alike.
float validTempo(float tempo);

// The beats per measure, or the default where they lie outside 1..128.
int validBeatsPerMeasure(int beats);

// Shows the menu and reads choices from `replies` until one is 4 or more, or
// negative. 1 toggles the display mode, 2 asks for the tempo (outside 1..400
// it becomes 120), 3 for the beats per measure (outside 1..128 they become 4);
// a choice that reads as 0 (a word that is not a number included) shows the
// menu again. Nothing else is printed for values set to their default.
void runTempoMenu(ProjectSettings& settings, ConsoleInput& replies);

}  // namespace varnow
