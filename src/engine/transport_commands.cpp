#include "engine/transport_commands.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/console_input.hpp"
#include "core/position_limit.hpp"
#include "core/print.hpp"

namespace varnow {

namespace {

void warn(const char* line) {
  printLine(line);
  printLine("Enter 'c' to continue and fix");
  waitForContinue();
}

}  // namespace

bool stopTimeChecks(const ProjectSettings& s) {
  bool fine = true;
  if (s.outPoint == 0) {
    warn(">> Stop time is not set!");
    fine = false;
  }
  if (s.punchPoint > s.outPoint) {
    warn("\n>> Stop time is set before record start!");
    fine = false;
  }
  if (s.punchPoint == s.outPoint) {
    warn("\n>> Stop time is the same as record start!");
    fine = false;
  }
  return fine;
}

bool requestPlay(PassRequest& request, bool soloed) {
  request.play = true;
  request.soloPlay = soloed;
  return true;
}

bool requestRecord(ProjectSettings& s, const DerivedCounts& counts, PassRequest& request,
                   const std::string& command) {
  if (command == "ri") {
    request.recordAtIn = true;
    request.savedIn = s.inPoint;
    request.savedPunch = s.punchPoint;
    s.punchPoint = s.inPoint;
    s.inPoint = std::max<Position>(0, s.inPoint - counts.prerollSamples);
  }
  request.record = true;
  request.play = command != "R";
  if (request.play && s.punchPoint < s.inPoint) s.punchPoint = s.inPoint;
  if (stopTimeChecks(s)) return true;
  if (request.recordAtIn) {
    s.punchPoint = request.savedPunch;
    s.inPoint = request.savedIn;
  }
  request.clearPassFlags();
  return false;
}

bool requestTimelineAudition(ProjectSettings& s, const DerivedCounts& counts, PassRequest& request,
                             const std::string& command) {
  request.play = true;
  request.timelineAudition = true;
  request.savedIn = s.inPoint;
  request.savedOut = s.outPoint;
  if (command == "ao") s.inPoint = s.outPoint;
  if (command == "ae") s.inPoint = s.punchPoint;
  // An audition never reaches past the last position, however long it is.
  s.outPoint = positionPlus(s.inPoint, counts.auditionSamples);
  return true;
}

bool requestMonitor(PassRequest& request, bool allInputs) {
  request.monitor = true;
  request.monitorAll = allInputs;
  printLine("Enter monitor time in seconds.");
  // A time that is no finite float monitors for no time at all, as a reply
  // that is not a number does: an infinity would never end.
  const double seconds = console().readWordAsFloat();
  const bool finite = std::fabs(seconds) <= std::numeric_limits<float>::max();
  request.monitorSeconds = finite ? static_cast<float>(seconds) : 0.0f;
  print("\n");
  return true;
}

}  // namespace varnow
