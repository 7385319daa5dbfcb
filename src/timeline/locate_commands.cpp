#include "timeline/locate_commands.hpp"

#include <optional>

#include "timeline/locate_points.hpp"
#include "timeline/ranges.hpp"
#include "timeline/time_copy.hpp"

namespace varnow {

namespace {

// "i.l" names the in point as a store source; "l.i" names it as a recall
// target. Any other word names no point.
Position* storeSource(ProjectSettings& settings, const std::string& word) {
  if (word.size() != 3 || word.compare(1, 2, ".l") != 0) return nullptr;
  return pointForLetter(settings, word[0]);
}

Position* recallTarget(ProjectSettings& settings, const std::string& word) {
  if (word.size() != 3 || word.compare(0, 2, "l.") != 0) return nullptr;
  return pointForLetter(settings, word[2]);
}

}  // namespace

void TimeRangeStore(ProjectSettings& settings) {
  TimeRangeStore(settings.inPoint, settings.outPoint, rangeTableOf(settings),
                 timeDisplayOf(settings));
}

void TimeRangeRecall(ProjectSettings& settings) {
  TimeRangeRecall(settings.inPoint, settings.outPoint, rangeTableOf(settings),
                  timeDisplayOf(settings));
}

void EditRange(ProjectSettings& settings) {
  EditRange(rangeTableOf(settings), timeDisplayOf(settings));
}

void StoreLocatePoint(ProjectSettings& settings, const std::string& word) {
  const Position* source = storeSource(settings, word);
  if (source == nullptr) return;
  LocateStore(*source, locateTableOf(settings), timeDisplayOf(settings));
}

void RecallLocatePoint(ProjectSettings& settings, const std::string& word) {
  // Every such word lists and asks; only the four recall words use the answer.
  const std::optional<Position> recalled =
      LocateRecall(locateTableOf(settings), timeDisplayOf(settings));
  if (!recalled) return;
  if (Position* target = recallTarget(settings, word)) *target = *recalled;
}

void EditLocatePoints(ProjectSettings& settings) {
  EditLocates(locateTableOf(settings), timeDisplayOf(settings));
}

}  // namespace varnow
