// The console commands that set, nudge, jump and copy the transport points,
// and set the lengths that belong with them.
#pragma once

#include <cstdint>
#include <string>

#include "core/project_settings.hpp"
#include "timeline/derived_counts.hpp"

namespace varnow {

// What the point commands work on: the settings (points and lengths in
// seconds), the lengths in frames, and the granted period.
struct TimelineContext {
  ProjectSettings& settings;
  DerivedCounts& counts;
  std::int64_t periodFrames;
};

// 'i', 'o', 'e': ask for a new play start, stop or record start.
void askPoint(TimelineContext context, char letter);

// "i12.5", "o9", "e5.3": set the point from the text after the first letter.
void setPointDirectly(TimelineContext context, const std::string& word);

// 'n', 'b', 'no', 'bo', 'ne', 'be', 'N', 'B'.
void nudgePoints(TimelineContext context, const std::string& word);

// 'j' and 'J'.
void jumpAhead(TimelineContext context);
void jumpBack(TimelineContext context);

// "i.o", "m.e", ...: copy one point into another.
void copyPoint(TimelineContext context, const std::string& word);

// 'f': stop at the end of the longest file of the play list.
void setStopToLongestFile(TimelineContext context);

// 'nn', 'pre', 'cf', 'aa'.
void askNudgeAmount(TimelineContext context);
void askPreroll(TimelineContext context);
void askCrossfade(TimelineContext context);
void askAuditionLength(TimelineContext context);

// 'tempo': display mode, tempo and beats per measure.
void runTempoMenu(ProjectSettings& settings);

}  // namespace varnow
