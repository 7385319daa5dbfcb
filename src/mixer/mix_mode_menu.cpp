// 'mod': shows the four mix modes, the current one first, and reads the new
// one.
#include <array>
#include <string>
#include <string_view>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "mixer/mixer_console.hpp"

namespace varnow {

namespace {

constexpr int kMixModes = 4;

// How the current mode is described.
constexpr std::array<std::string_view, kMixModes> kPresentTense = {
    "'0'  Playback = channels are using direct outputs only.\n"
    "     Export   = all channels will be routed to the master. No busses.\n",
    "'1'  Playback = all channels are routed to outputs 1 and 2. No busses.\n"
    "     Export   = all channels will be routed to the master. No busses.\n",
    "'2'  Playback = channels are routed through multiple output busses.\n"
    "     Export   = all channels will be routed to the master. No busses.\n",
    "'3'  Playback = busses are routed to outputs 1 and 2.\n"
    "     Export   = busses will be sent to the master.\n",
};

// How the other modes are offered.
constexpr std::array<std::string_view, kMixModes> kImperative = {
    "'0'  Playback = assign channels to direct outputs only.\n"
    "     Export   = route all channels to the master.  No busses.\n",
    "'1'  Playback = route all channels to outputs 1 and 2.\n"
    "     Export   = route all channels to the master. No busses.\n",
    "'2'  Playback = route channels to multiple output busses.\n"
    "     Export   = route all channels to the master. No busses.\n",
    "'3'  Playback = route busses to outputs 1 and 2.\n"
    "     Export   = route busses to the master.\n",
};

bool isModeChoice(const std::string& word) {
  return word.size() == 1 && word[0] >= '0' && word[0] < '0' + kMixModes;
}

}  // namespace

void selectMixMode(ProjectSettings& settings) {
  const int current = settings.mixMode;
  print("\nCurrently using mixmode [%i]:\n", current);
  const bool known = current >= 0 && current < kMixModes;
  if (known) printText(kPresentTense[static_cast<std::size_t>(current)]);
  for (int mode = 0; mode < kMixModes; ++mode) {
    if (!known || mode != current) printText(kImperative[static_cast<std::size_t>(mode)]);
  }
  print("\n");
  printLine("Select a mix mode");

  std::string word = console().readWord();
  while (!isModeChoice(word))
    word = console().readWord();
  settings.mixMode = word[0] - '0';
}

}  // namespace varnow
