// The console side of the transport point commands: each entry point of the
// command loop picks the settings it works on and hands over to the file that
// holds the idea (point_entry, point_moves, time_copy, transport_lengths,
// tempo_menu).
#include "timeline/point_commands.hpp"

#include "core/console_input.hpp"
#include "core/position_limit.hpp"
#include "timeline/longest_file.hpp"
#include "timeline/point_entry.hpp"
#include "timeline/point_moves.hpp"
#include "timeline/tempo_menu.hpp"
#include "timeline/time_copy.hpp"
#include "timeline/transport_lengths.hpp"

namespace varnow {

namespace {

// The list marker of a channel that plays nothing.
constexpr std::string_view kSkipMarker = "-";

PointEntry entryFor(const TimelineContext& context, EntryMode mode, std::string_view word) {
  const ProjectSettings& settings = context.settings;
  PointEntry entry;
  entry.mode = mode;
  entry.commandText = word;
  entry.periodFrames = context.periodFrames;
  entry.rate = settings.sampleRate;
  entry.beatsPerMeasure = settings.beatsPerMeasure;
  entry.tempo = settings.tempo;
  return entry;
}

// Sets the point named by `letter` in the current display mode. A refused
// out point is left as it was, without a message.
void enterPoint(TimelineContext context, char letter, PointEntry& entry) {
  ProjectSettings& s = context.settings;
  const bool musical = s.timeMode == 1;
  if (letter == 'i') {
    if (musical) {
      SetInPointMeas(entry, s.inPoint);
    } else {
      SetInPoint(entry, s.inPoint);
    }
  } else if (letter == 'o') {
    if (musical) {
      (void)SetOutPointMeas(entry, s.inPoint, s.outPoint);
    } else {
      (void)SetOutPoint(entry, s.inPoint, s.outPoint);
    }
  } else if (letter == 'e') {
    if (musical) {
      SetPunchPointMeas(entry, s.punchPoint);
    } else {
      SetPunchPoint(entry, s.punchPoint);
    }
  }
}

}  // namespace

void askPoint(TimelineContext context, char letter) {
  PointEntry entry = entryFor(context, EntryMode::kPrompt, {});
  enterPoint(context, letter, entry);
}

void setPointDirectly(TimelineContext context, const std::string& word) {
  if (word.empty()) return;
  PointEntry entry = entryFor(context, EntryMode::kCommandText, word);
  enterPoint(context, word[0], entry);
}

void nudgePoints(TimelineContext context, const std::string& word) {
  ProjectSettings& s = context.settings;
  const std::int64_t frames = context.counts.nudgeSamples;
  if (word == "n") nudgeForward(s.inPoint, frames);
  if (word == "b") nudgeBack(s.inPoint, frames);
  if (word == "no") nudgeForward(s.outPoint, frames);
  if (word == "bo") nudgeBack(s.outPoint, frames);
  if (word == "ne") nudgeForward(s.punchPoint, frames);
  if (word == "be") nudgeBack(s.punchPoint, frames);
  if (word == "N") {
    nudgeForward(s.inPoint, frames);
    nudgeForward(s.outPoint, frames);
    nudgeForward(s.punchPoint, frames);
  }
  if (word == "B") {
    nudgeBack(s.inPoint, frames);
    nudgeBack(s.outPoint, frames);
    nudgeBack(s.punchPoint, frames);
  }
}

void jumpAhead(TimelineContext context) {
  JumpAhead(context.settings.inPoint, context.settings.outPoint);
}

void jumpBack(TimelineContext context) {
  JumpBack(context.settings.inPoint, context.settings.outPoint);
}

void copyPoint(TimelineContext context, const std::string& word) {
  copyTimePoint(context.settings, word);
}

void setStopToLongestFile(TimelineContext context) {
  // The file's own end, not rounded to the period and not compared with the
  // in point.
  ProjectSettings& s = context.settings;
  s.outPoint = clampedPosition(SEEK_LONG_FILE(s.tracks, kSkipMarker, s.playLists.current().str()));
}

void askNudgeAmount(TimelineContext context) {
  askNudgeAmount(context, console());
}

void askPreroll(TimelineContext context) {
  askPreroll(context, console());
}

void askCrossfade(TimelineContext context) {
  askCrossfade(context, console());
}

void askAuditionLength(TimelineContext context) {
  askAuditionLength(context, console());
}

void runTempoMenu(ProjectSettings& settings) {
  runTempoMenu(settings, console());
}

}  // namespace varnow
