// The mixer view: the listing of every channel's volume and pan and of the
// bus levels, and the edit tokens typed at the mixer prompt.
//
// An edit token is a number, a letter and a value, cut at the first letter:
//
//   "2v-6"   -> channel 2, volume  -6 dB
//   "1b-4"   -> bus 1,     level   -4 dB
//   "3p-100" -> channel 3, pan   -100 (fully left)
//
// Volumes and pans are stored as typed and brought into range, with their
// messages, when the gains are next computed for a pass or an export; bus
// levels are brought into range at once.
#include "mixer/mixer_console.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "core/track_list.hpp"
#include "mixer/channel_mixer.hpp"
#include "timeline/time_menu.hpp"

namespace varnow {

namespace {

// Two runs of 30 and one of 19.
constexpr std::string_view kListingRule =
    "-------------------------------------------------------------------------------";
static_assert(kListingRule.size() == 79);

// Words of the main prompt that contain a 'p' before which text stands, and
// so would otherwise read as pan edits.
constexpr std::array<std::string_view, 6> kNotPanEdits = {"sp",    "opt",   "lp",
                                                          "exp-i", "exp-s", "tempo"};

constexpr std::array<std::string_view, 18> kMixerHelpLines = {
    "\nMixer Help:\n",
    "To set a channel's volume:\n",
    "   Type the channel number, then 'v', and then volume in dB.",
    "   Example: '2v-6' sets channel 2's volume to -6 dB.",
    "",
    "To set the pan:\n",
    "   Type the channel number, then 'p', and then a value -100 to 100.",
    "   left = -100,  center = 0, right = 100",
    "   Example: '2p100' sets channel 2's pan to the right.",
    "",
    "To adjust bus master levels:\n",
    "   Type the bus number, then 'b', and then volume in dB.",
    "   Example: '1b-4' sets bus 1's volume to -4 dB.",
    "",
    "Enter 'mod' to view/change the mix mode.",
    "\nEnter 'u' to update the mixer after editing the play.txt file.",
    "\nEnter 'd' when done viewing mixer settings.",
    "Or, 'mix' will toggle the mixer view on/off.\n",
};

// The channels the console can address: 1..tracks, never more than 256.
int channelCount(const ProjectSettings& settings) {
  return std::clamp(settings.tracks, 0, kMaxChannels);
}

// An edit token cut at its letter: the number before it (read as atoi reads
// it) and the value after it (read as atof reads it).
struct EditToken {
  std::int64_t number = 0;
  double value = 0.0;
};

// Cuts `token` at the first `letter`. Nothing when either side is empty: such
// a token is not an edit and runs as a command.
std::optional<EditToken> cutAt(const std::string& token, char letter) {
  const std::size_t at = token.find(letter);
  if (at == std::string::npos || at == 0 || at + 1 == token.size()) return std::nullopt;
  return EditToken{wordAsInteger(token.substr(0, at)), wordAsFloat(token.substr(at + 1))};
}

// A typed value as a single-precision float; values beyond its range become
// infinities (which the edits refuse).
float toFloat(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (value > kLargest) return std::numeric_limits<float>::infinity();
  if (value < -kLargest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// Array index of a 1-based number when it lies in 1..count.
std::optional<std::size_t> indexOf(std::int64_t number, int count) {
  if (number < 1 || number > count) return std::nullopt;
  return static_cast<std::size_t>(number - 1);
}

// The edit itself. A value that is no finite float ("nan", "1e400", "1e39")
// changes nothing: stored, it would reach the gain arithmetic, and param.txt
// would hold "inf", which reads back as 0.
std::optional<float> finiteValue(const EditToken& edit) {
  const float value = toFloat(edit.value);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

void applyVolume(ProjectSettings& settings, const EditToken& edit) {
  const auto channel = indexOf(edit.number, channelCount(settings));
  const auto value = finiteValue(edit);
  if (!channel || !value) return;
  settings.volumes[*channel] = *value;
}

void applyPan(ProjectSettings& settings, const EditToken& edit) {
  const auto channel = indexOf(edit.number, channelCount(settings));
  const auto value = finiteValue(edit);
  if (!channel || !value) return;
  settings.pans[*channel] = *value;
}

// The level is stored within -144..15 dB (a level beyond either limit as
// that limit) and the gain follows at once, so the gain always matches the
// level shown and saved.
void applyBusLevel(ProjectSettings& settings, const EditToken& edit) {
  const auto bus = indexOf(edit.number, kMaxBusses);
  const auto value = finiteValue(edit);
  if (!bus || !value) return;
  const float level = boundedBusLevel(*value);
  settings.busLevels[*bus] = level;
  (void)SetBusVolume(settings.busGains, level, static_cast<int>(*bus));
}

void showMixerHelp() {
  for (const std::string_view line : kMixerHelpLines)
    printLine(line);
  printLine("Enter 'c' to continue");
  waitForContinue();
}

bool contains(const std::string& token, char letter) {
  return token.find(letter) != std::string::npos;
}

}  // namespace

int ShowMixer(const ProjectSettings& settings) {
  const std::string& path = settings.playLists.current().str();
  TrackList list;
  const std::optional<Status> read = readExistingTrackList(path, list);
  if (!read) {
    print("Playlist file called %s was not found!\n", path.c_str());
    return 0;
  }
  if (!*read) {
    printLine(read->message());
    return 0;
  }

  printLine("Source:");
  const int shownLines = std::min(list.lineCount(), channelCount(settings));
  for (int channel = 1; channel <= shownLines; ++channel) {
    if (!list.isNamed(channel)) continue;
    const auto index = static_cast<std::size_t>(channel - 1);
    print("%.15s\tCh %i\tVol %4.2f\tPan %4.0f\n", list.fileName(channel).c_str(), channel,
          static_cast<double>(settings.volumes[index]), static_cast<double>(settings.pans[index]));
  }

  print("\n");
  if (settings.mixMode == 1) {
    print("Master\t  %4.2f dB\n", static_cast<double>(settings.busLevels[0]));
  } else if (settings.mixMode == 2 || settings.mixMode == 3) {
    for (int bus = 1; bus <= kMaxBusses; ++bus) {
      const float level = settings.busLevels[static_cast<std::size_t>(bus - 1)];
      if (level != 0.0f) print("Bus %i\t  %4.2f dB\n", bus, static_cast<double>(level));
    }
  }
  printLine(kListingRule);
  return 1;
}

void showMixerView(const ProjectSettings& settings) {
  print("\n");
  (void)ShowMixer(settings);
  print("\n");
  printStatusLine(settings);
  print("\n");
  printLine("Mix commands are active.  Enter 'h' for help.");
}

bool handleMixerToken(ProjectSettings& settings, const std::string& token) {
  if (token == "h") {
    showMixerHelp();
    return true;
  }
  // The letters are tried in this order and only the first one present
  // counts: a token with a 'v' is a volume edit or no edit at all.
  if (contains(token, 'v')) {
    const auto edit = cutAt(token, 'v');
    if (edit) applyVolume(settings, *edit);
    return edit.has_value();
  }
  if (contains(token, 'b')) {
    const auto edit = cutAt(token, 'b');
    if (edit) applyBusLevel(settings, *edit);
    return edit.has_value();
  }
  if (contains(token, 'p') &&
      std::find(kNotPanEdits.begin(), kNotPanEdits.end(), token) == kNotPanEdits.end()) {
    const auto edit = cutAt(token, 'p');
    if (edit) applyPan(settings, *edit);
    return edit.has_value();
  }
  return false;
}

}  // namespace varnow
