// The console commands of the locate points and the ranges.
#pragma once

#include <string>

#include "core/project_settings.hpp"

namespace varnow {

// 'io.', '.io', 'lio'.
void TimeRangeStore(ProjectSettings& settings);
void TimeRangeRecall(ProjectSettings& settings);
void EditRange(ProjectSettings& settings);

// Words containing ".l": "i.l", "o.l", "e.l", "m.l" store a point; any other
// such word does nothing.
void StoreLocatePoint(ProjectSettings& settings, const std::string& word);

// Words containing "l." (and not ".l"): list, ask for a number, and for
// "l.i", "l.o", "l.e", "l.m" recall that locate point.
void RecallLocatePoint(ProjectSettings& settings, const std::string& word);

// 'll': list, rename and delete locate points.
void EditLocatePoints(ProjectSettings& settings);

}  // namespace varnow
