#include "app/command_loop.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/console_input.hpp"
#include "app/help_screen.hpp"
#include "app/list_file_check.hpp"
#include "app/options_menu.hpp"
#include "app/print.hpp"
#include "app/prompt.hpp"
#include "app/settings_file.hpp"

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

bool isTimeCopy(std::string_view word) {
  return std::find(kTimeCopies.begin(), kTimeCopies.end(), word) != kTimeCopies.end();
}

// A take-name form ("R_take", "r_take", "ri_take"): the word is cut at its
// first underscore; the text after it names the take.
bool splitTakeName(std::string& word, std::string& takeName) {
  if (!contains(word, "r_") && !contains(word, "R_") && !contains(word, "ri_")) return false;
  const std::size_t underscore = word.find('_');
  takeName = word.substr(underscore + 1);
  word.resize(underscore);
  return true;
}

}  // namespace

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
  state.pendingAction = PendingAction::kNone;
  if (word != "sp") state.soloPlayRequested = false;

  if (word == "+" || word == "h") return showHelpScreen();
  if (word == "opt") {
    runOptionsMenu(settings);
    state.mixerView = false;
    return;
  }
  if (word == "tempo") return;
  if (word == "safe") return runSafetySwitch(settings);
  if (word == "exp-i" || word == "exp-s") return;
  if (word == "mix") return;
  if (word == "d") {
    state.mixerView = false;
    return;
  }
  if (word == "io." || word == ".io") return;
  if (word == "x") {
    state.pendingAction = PendingAction::kExit;
    return;
  }
  if (word == "s") {
    (void)Store_Settings(settings);
    return;
  }
  if (word == "p") return;
  if (word == "sp") {
    state.soloPlayRequested = true;
    return;
  }
  if (isOneOf(word, {"i", "o", "e"})) return;
  if (isDirectSetWord(word)) return;
  if (isOneOf(word, {"j", "J"})) return;
  if (isOneOf(word, {"n", "b", "no", "bo", "ne", "be", "N", "B"})) return;
  if (isOneOf(word, {"nn", "mtr", "pre", "cf", "aa"})) return;
  if (isOneOf(word, {"ai", "ao", "ae"})) return;
  if (isTimeCopy(word)) return;
  if (contains(word, ".l")) return;
  if (contains(word, "l.")) return;
  if (isOneOf(word, {"ll", "lio", "pf", "rf", "bus", "f"})) return;

  // The take-name forms are the one row that passes a rewritten word on.
  std::string takeName;
  splitTakeName(word, takeName);
  if (isOneOf(word, {"r", "R", "ri", "ma", "mr", "lr", "lp", "so", "mod"})) return;
}

void windDown(RunState& state) {
  checkListFiles(state.settings);
  print("\n");
  state.device.drainAndClose();
}

void runCommandLoop(RunState& state) {
  for (;;) {
    if (!state.mixerView) {
      if (state.settings.interfaceMode == 1) {
        printTimeMenu(state.settings);
      } else if (state.settings.interfaceMode == 0) {
        printStatusLine(state.settings);
      }
      state.commandWord = console().readWord();
    }
    dispatchCommand(state, state.commandWord);
    if (state.pendingAction == PendingAction::kExit) {
      windDown(state);
      return;
    }
  }
}

}  // namespace varnow
