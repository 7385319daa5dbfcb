#include "timeline/locate_commands.hpp"

namespace varnow {

void TimeRangeStore(ProjectSettings&) {}
void TimeRangeRecall(ProjectSettings&) {}
void EditRange(ProjectSettings&) {}
void StoreLocatePoint(ProjectSettings&, const std::string&) {}
void RecallLocatePoint(ProjectSettings&, const std::string&) {}
void EditLocatePoints(ProjectSettings&) {}

}  // namespace varnow
