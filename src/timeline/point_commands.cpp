#include "timeline/point_commands.hpp"

namespace varnow {

void askPoint(TimelineContext, char) {}
void setPointDirectly(TimelineContext, const std::string&) {}
void nudgePoints(TimelineContext, const std::string&) {}
void jumpAhead(TimelineContext) {}
void jumpBack(TimelineContext) {}
void copyPoint(TimelineContext, const std::string&) {}
void setStopToLongestFile(TimelineContext) {}
void askNudgeAmount(TimelineContext) {}
void askPreroll(TimelineContext) {}
void askCrossfade(TimelineContext) {}
void askAuditionLength(TimelineContext) {}
void runTempoMenu(ProjectSettings&) {}

}  // namespace varnow
