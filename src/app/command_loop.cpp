#include "app/command_loop.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/help_screen.hpp"
#include "app/list_file_check.hpp"
#include "app/options_menu.hpp"
#include "app/settings_file.hpp"
#include "app/track_list_commands.hpp"
#include "core/console_input.hpp"
#include "core/print.hpp"
#include "core/track_list.hpp"
#include "durable/durable.hpp"
#include "engine/latency_command.hpp"
#include "engine/transport_commands.hpp"
#include "meter/level_meter.hpp"
#include "mixer/mix_export.hpp"
#include "mixer/mixer_console.hpp"
#include "takes/take_menu.hpp"
#include "timeline/locate_commands.hpp"
#include "timeline/point_commands.hpp"
#include "timeline/time_menu.hpp"

namespace varnow {

namespace {

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> choices) {
  return std::find(choices.begin(), choices.end(), word) != choices.end();
}

bool contains(std::string_view word, std::string_view part) {
  return word.find(part) != std::string_view::npos;
}

// The words of the rows whose commands start no handler of this console yet
// are still matched here, so that they never fall through to a later row.
constexpr std::array<std::string_view, 12> kTimeCopies = {"i.e", "e.i", "o.e", "e.o", "o.i", "i.o",
                                                          "i.m", "o.m", "e.m", "m.i", "m.o", "m.e"};

void undoTakeDecision(RunState& state);
void redoTakeDecision(RunState& state);
void forgetTakeDecisions();
void measureLatencyCommand(RunState& state);

bool isTimeCopy(std::string_view word) {
  return std::find(kTimeCopies.begin(), kTimeCopies.end(), word) != kTimeCopies.end();
}

}  // namespace

bool splitTakeName(std::string& word, std::string& takeName) {
  if (!contains(word, "r_") && !contains(word, "R_") && !contains(word, "ri_")) return false;
  const std::size_t underscore = word.find('_');
  takeName = word.substr(underscore + 1);
  word.resize(underscore);
  return true;
}

bool isDirectSetWord(const std::string& word) {
  if (word.size() < 2) return false;
  const char first = word[0];
  if (first != 'i' && first != 'o' && first != 'e') return false;
  const char ownStop[] = {first, '.', '\0'};
  if (contains(word, ownStop)) return false;
  return !isOneOf(word, {"io", "io.", "opt", "exp-i", "exp-s"});
}

void dispatchCommand(RunState& state, std::string word) {
  ProjectSettings& settings = state.settings;
  const TimelineContext timeline{settings, state.counts, state.period};
  PassRequest& request = state.request;
  state.pendingAction = PendingAction::kNone;
  if (word != "sp") request.soloPlay = false;
  auto passIf = [&state](bool run) {
    if (run) state.pendingAction = PendingAction::kPass;
  };

  if (word == "+" || word == "h") return showHelpScreen();
  if (word == "opt") {
    runOptionsMenu(settings);
    state.mixerView = false;
    return;
  }
  if (word == "tempo") return runTempoMenu(settings);
  if (word == "safe") return runSafetySwitch(settings);
  if (word == "exp-i") return exportMixCommand(settings, ExportKind::kInterleaved);
  if (word == "exp-s") return exportMixCommand(settings, ExportKind::kSplit);
  if (word == "mix") {
    state.mixerView = !state.mixerView;
    return;
  }
  if (word == "d") {
    state.mixerView = false;
    return;
  }
  if (word == "io.") return TimeRangeStore(settings);
  if (word == ".io") return TimeRangeRecall(settings);
  if (word == "x") {
    state.pendingAction = PendingAction::kExit;
    return;
  }
  if (word == "s") {
    (void)Store_Settings(settings);
    return;
  }
  if (word == "p") return passIf(requestPlay(request, false));
  if (word == "sp") return passIf(requestPlay(request, true));
  if (isOneOf(word, {"i", "o", "e"})) return askPoint(timeline, word[0]);
  if (isDirectSetWord(word)) return setPointDirectly(timeline, word);
  if (word == "j") return jumpAhead(timeline);
  if (word == "J") return jumpBack(timeline);
  if (isOneOf(word, {"n", "b", "no", "bo", "ne", "be", "N", "B"})) {
    return nudgePoints(timeline, word);
  }
  if (word == "nn") return askNudgeAmount(timeline);
  if (word == "mtr") return askMeterRange(settings.meterRange, state.transport.meterScale());
  if (word == "pre") return askPreroll(timeline);
  if (word == "cf") return askCrossfade(timeline);
  if (word == "aa") return askAuditionLength(timeline);
  if (isOneOf(word, {"ai", "ao", "ae"})) {
    return passIf(requestTimelineAudition(settings, state.counts, request, word));
  }
  if (isTimeCopy(word)) return copyPoint(timeline, word);
  if (contains(word, ".l")) return StoreLocatePoint(settings, word);
  if (contains(word, "l.")) return RecallLocatePoint(settings, word);
  if (word == "ll") return EditLocatePoints(settings);
  if (word == "lio") return EditRange(settings);
  if (word == "pf") return selectPlayList(settings);
  if (word == "rf") return selectRecordList(settings);
  if (word == "bus") return editBusAssignments(settings);
  if (word == "f") return setStopToLongestFile(timeline);

  // The take-name forms are the one row that passes a rewritten word on.
  std::string takeName;
  if (splitTakeName(word, takeName)) state.preemptiveTakeName = takeName;
  if (isOneOf(word, {"r", "R", "ri"})) {
    return passIf(requestRecord(settings, state.counts, request, word));
  }
  if (word == "ma" || word == "mr") return passIf(requestMonitor(request, word == "ma"));
  if (word == "lr") return listRecordReady(settings);
  if (word == "lp") return listPlayReady(settings);
  if (word == "df") return showRecordingRoom(settings);
  if (word == "so") return editSolo(settings);
  if (word == "mod") return selectMixMode(settings);
  if (word == "undo") return undoTakeDecision(state);
  if (word == "redo") return redoTakeDecision(state);
  if (word == "hist") return listDecisionHistory();
  if (word == "forget") return forgetTakeDecisions();
  if (word == "lat") return measureLatencyCommand(state);
}

namespace {

// The counted lines of a list as the transport reads them: the file name,
// or "-" for a skipped channel.
std::vector<std::string> passLines(const TrackList& list) {
  std::vector<std::string> lines;
  for (int channel = 1; channel <= list.lineCount(); ++channel) {
    lines.push_back(list.isNamed(channel) ? list.fileName(channel) : std::string(1, kSkipMarker));
  }
  return lines;
}

// A take audition: the recorded channels play their takes from the punch
// point, the others their usual files; in and out come back afterwards.
void runTakeAudition(RunState& state, const TakeAudition& audition, const PassLines& lines) {
  ProjectSettings& s = state.settings;
  checkListFiles(s);
  PassRequest request;
  request.play = true;
  request.takeAudition = true;
  request.timelineAudition = true;
  request.savedIn = s.inPoint;
  request.savedOut = s.outPoint;
  request.auditionLines = audition.playLines;
  request.fileStart = audition.fileStart;
  request.startOffset = audition.startOffset;
  request.stopOffset = audition.stopOffset;
  s.inPoint = s.punchPoint;
  PassContext context{
      s, state.device, state.counts, state.period, request, state.preemptiveTakeName, {}};
  state.transport.runPass(context, lines);
}

// The take menu for the take the transport holds, with the lists of its
// pass (after carrying out `redo` again, when given).
void settleTake(RunState& state, const PassLines& lines, const TakeOnRecord* redo = nullptr) {
  TakeMenuContext menu{
      state.settings,
      state.transport.takeFiles(),
      state.counts,
      lines.record,
      lines.play,
      state.dontAskAgain,
      [&state, &lines](const TakeAudition& audition) { runTakeAudition(state, audition, lines); }};
  state.undoAfterMenu = runTakeMenu(menu, redo) == TakeMenuEnd::kUndoFurther;
}

// The context of a pass with the run's request, before any take menu is set.
PassContext passContext(RunState& state) {
  return PassContext{state.settings,
                     state.device,
                     state.counts,
                     state.period,
                     state.request,
                     state.preemptiveTakeName,
                     {}};
}

void runPass(RunState& state) {
  const PassLists lists = checkListFiles(state.settings);
  PassLines lines;
  lines.play = passLines(lists.play);
  lines.record = passLines(lists.record);
  PassContext context = passContext(state);
  context.settleTake = [&state, &lines] { settleTake(state, lines); };
  state.transport.runPass(context, lines);
  state.request.clearPassFlags();
  if (state.undoAfterMenu) undoTakeDecision(state);
}

// The take menu for `take`, given back by the history, at the punch and
// out points it was recorded with (its decision carried out again first,
// for a redo).
void settleTakeAgain(RunState& state, const TakeOnRecord& take, bool redo) {
  ProjectSettings& s = state.settings;
  state.transport.takeFiles().adopt(take.takeList, take.channelFlags, take.takeLength, take.stamp);
  PassLines lines;
  lines.play = passLines(checkListFiles(s).play);
  lines.record = take.recordLines;
  const Position punch = s.punchPoint;
  const Position out = s.outPoint;
  s.punchPoint = take.punchPoint;
  s.outPoint = take.outPoint;
  try {
    settleTake(state, lines, redo ? &take : nullptr);
  } catch (...) {
    s.punchPoint = punch;
    s.outPoint = out;
    throw;
  }
  s.punchPoint = punch;
  s.outPoint = out;
}

// 'undo': the newest take decision taken back, and the take menu for its
// take again; 'undo' there goes one decision further back.
void undoTakeDecision(RunState& state) {
  do {
    state.undoAfterMenu = false;
    const std::optional<TakeOnRecord> take = undoLastDecision();
    if (!take) return;
    settleTakeAgain(state, *take, false);
  } while (state.undoAfterMenu);
}

// 'redo': the decision taken back last, carried out again for its take.
void redoTakeDecision(RunState& state) {
  const std::optional<TakeOnRecord> take = decisionToRedo();
  if (!take) return;
  settleTakeAgain(state, *take, true);
  if (state.undoAfterMenu) undoTakeDecision(state);
}

// 'forget': the whole history of take decisions, after a "y".
void forgetTakeDecisions() {
  printLine("Forget every take decision on record, so that none can be undone or redone? (y/n)");
  if (console().readWord() == "y") forgetDecisionHistory();
}

// 'lat': the round trip of output 1 to input 1, and its correction.
void measureLatencyCommand(RunState& state) {
  PassContext context = passContext(state);
  measureLatency(context, state.transport);
}

}  // namespace

void windDown(RunState& state) {
  checkListFiles(state.settings);
  print("\n");
  state.device.stopAndClose();
}

void runCommandLoop(RunState& state) {
  for (;;) {
    if (state.mixerView) {
      // The mixer view replaces the prompt: edits are handled here; any other
      // word runs as a command of the main prompt ("d" and "mix" leave).
      showMixerView(state.settings);
      state.commandWord = console().readCommandWord();
      if (handleMixerToken(state.settings, state.commandWord)) continue;
    } else {
      if (state.settings.interfaceMode == 1) {
        printTimeMenu(state.settings);
      } else if (state.settings.interfaceMode == 0) {
        printStatusLine(state.settings);
      }
      state.commandWord = console().readCommandWord();
    }
    dispatchCommand(state, state.commandWord);
    if (state.pendingAction == PendingAction::kExit) {
      windDown(state);
      return;
    }
    if (state.pendingAction == PendingAction::kPass) runPass(state);
  }
}

}  // namespace varnow
