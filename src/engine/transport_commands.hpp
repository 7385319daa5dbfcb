// The commands that start a pass: they set the pass request, move the points
// the pass needs, and run the stop-time checks of the recording commands.
#pragma once

#include <string>

#include "core/project_settings.hpp"
#include "engine/transport.hpp"
#include "timeline/derived_counts.hpp"

namespace varnow {

// Each returns true when a pass should run.
bool requestPlay(PassRequest& request, bool soloed);
// 'r', 'R' and 'ri'.
bool requestRecord(ProjectSettings& settings, const DerivedCounts& counts, PassRequest& request,
                   const std::string& command);
// 'ai', 'ao', 'ae'.
bool requestTimelineAudition(ProjectSettings& settings, const DerivedCounts& counts,
                             PassRequest& request, const std::string& command);
// 'ma' and 'mr': asks for the monitor time.
bool requestMonitor(PassRequest& request, bool allInputs);

// The stop-time checks of a recording; each warning waits for "c". Returns
// false when the pass must not run.
bool stopTimeChecks(const ProjectSettings& settings);

}  // namespace varnow
