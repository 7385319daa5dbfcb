#include "app/settings_file.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>

#include "core/print.hpp"
#include "core/text_file.hpp"
#include "mixer/channel_mixer.hpp"
#include "timeline/tempo_menu.hpp"

namespace varnow {
namespace {

enum class Key {
  kDevice,
  kSampleRate,
  kInputs,
  kOutputs,
  kTracks,
  kBufferFrames,
  kInterfaceMode,
  kClockMode,
  kPeakMode,
  kInPoint,
  kOutPoint,
  kPunchPoint,
  kNudge,
  kPreroll,
  kAuditionLength,
  kCrossfade,
  kMemoryPoint,
  kOdcomp,
  kOdcompFrames,
  kMixMode,
  kMeterRange,
  kTimeMode,
  kTempo,
  kBeatsPerMeasure,
  kSafeMode,
  kUndoBudget,
  kVolume,
  kPan,
  kSolo,
  kRange,
  kLocate,
  kPlayList,
  kRecordList,
  kBus,
  kBusLevel,
};

struct KeyWord {
  std::string_view word;
  Key key;
};

constexpr std::array<KeyWord, 35> kKeyWords{{
    {"dv", Key::kDevice},
    {"sr", Key::kSampleRate},
    {"inputs", Key::kInputs},
    {"outputs", Key::kOutputs},
    {"ch", Key::kTracks},
    {"buf", Key::kBufferFrames},
    {"int", Key::kInterfaceMode},
    {"clock", Key::kClockMode},
    {"peak", Key::kPeakMode},
    {"i", Key::kInPoint},
    {"o", Key::kOutPoint},
    {"e", Key::kPunchPoint},
    {"nudge", Key::kNudge},
    {"proll", Key::kPreroll},
    {"aud", Key::kAuditionLength},
    {"xfade", Key::kCrossfade},
    {"mem", Key::kMemoryPoint},
    {"odcomp", Key::kOdcomp},
    {"odframes", Key::kOdcompFrames},
    {"mix", Key::kMixMode},
    {"meter", Key::kMeterRange},
    {"tmode", Key::kTimeMode},
    {"tempo", Key::kTempo},
    {"sig", Key::kBeatsPerMeasure},
    {"safe", Key::kSafeMode},
    {"undobudget", Key::kUndoBudget},
    {"v", Key::kVolume},
    {"p", Key::kPan},
    {"solo", Key::kSolo},
    {"range", Key::kRange},
    {"loc", Key::kLocate},
    {"play", Key::kPlayList},
    {"rec", Key::kRecordList},
    {"bus", Key::kBus},
    {"busvl", Key::kBusLevel},
}};

std::optional<Key> findKey(std::string_view word) {
  for (const KeyWord& entry : kKeyWords) {
    if (entry.word == word) return entry.key;
  }
  return std::nullopt;
}

bool isWordSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view withoutTrailingReturns(std::string_view text) {
  while (!text.empty() && text.back() == '\r')
    text.remove_suffix(1);
  return text;
}

// A decimal integer: leading blanks, an optional sign, base-10 digits up to
// the first other character. Text without digits reads 0; values beyond the
// 64-bit range saturate.
std::int64_t readInteger(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos]))
    ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  constexpr auto kMaxMagnitude =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  const std::uint64_t limit = negative ? kMaxMagnitude + 1 : kMaxMagnitude;
  std::uint64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    const auto digit = static_cast<std::uint64_t>(text[pos] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  if (magnitude == kMaxMagnitude + 1) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(magnitude);
}

std::int32_t readInt32(std::string_view text) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(readInteger(text), std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t readUint32(std::string_view text) {
  return static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(readInteger(text), 0, std::numeric_limits<std::uint32_t>::max()));
}

// A decimal number, read in double precision and stored in single. Leading
// blanks and a plus sign are allowed; anything after the number is ignored.
// Text that is not a number, and a number that is not finite or does not fit
// a float (no setting means anything there), reads 0.
float readNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos]))
    ++pos;
  if (pos < text.size() && text[pos] == '+') {
    ++pos;
    if (pos < text.size() && text[pos] == '-') return 0.0f;
  }
  double value = 0.0;
  const std::from_chars_result parsed =
      std::from_chars(text.data() + pos, text.data() + text.size(), value);
  if (parsed.ec != std::errc() || !std::isfinite(value) ||
      std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
    return 0.0f;
  }
  return static_cast<float>(value);
}

// The text a name slot keeps from a value: up to a NUL byte (the rest of
// the program treats names as C texts), at most maxChars characters, without
// trailing carriage returns (also after the cut, so that the name reads back
// the same after a save).
std::string_view nameText(std::string_view value, std::size_t maxChars) {
  value = value.substr(0, value.find('\0'));
  value = withoutTrailingReturns(value);
  return withoutTrailingReturns(value.substr(0, maxChars));
}

// The fields of an indexed line after its key:
//
//   range <tab> 48000 <tab> 96000 <tab> verse 1 <newline>
//               ^^^^^       ^^^^^       ^^^^^^^
//               number      number      last field: the rest of the line
//               fields end at a tab
class FieldSplitter {
 public:
  explicit FieldSplitter(std::string_view line) : rest_(line) {}

  // The next number field, or nothing when it is missing (empty, or the
  // line ended before it).
  std::optional<std::string_view> numberField() {
    if (ended_) return std::nullopt;
    const std::size_t tab = rest_.find('\t');
    std::string_view field = rest_.substr(0, tab);
    if (tab == std::string_view::npos) {
      rest_ = {};
      ended_ = true;
    } else {
      rest_.remove_prefix(tab + 1);
    }
    if (field.empty()) return std::nullopt;
    return field;
  }

  // Whether a last field follows the number fields taken so far (a tab
  // ended the last of them), and its text.
  bool hasRest() const { return !ended_; }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
  bool ended_ = false;
};

struct ReaderState {
  int nextRangeSlot = 0;  // 0-based slot the next range line fills
  int nextLocateSlot = 0;
  std::array<std::string, kMaxBusses> busTexts{};
};

// Track n is addressable when it lies in 1..min(tracks read so far, 256).
bool validTrack(const ProjectSettings& settings, std::int64_t track) {
  return track >= 1 && track <= std::min<std::int64_t>(settings.tracks, kMaxChannels);
}

std::size_t trackIndex(std::int64_t track) {
  return static_cast<std::size_t>(track - 1);
}

void applyPlainKey(Key key, std::string_view value, ProjectSettings& settings) {
  switch (key) {
    case Key::kDevice: {
      const std::string_view name = nameText(value, DeviceName::capacity());
      if (!name.empty()) settings.device = name;
      break;
    }
    case Key::kSampleRate:
      // No time display or length means anything at a rate of 0.
      settings.sampleRate = readUint32(value);
      if (settings.sampleRate < 1) settings.sampleRate = kDefaultSampleRate;
      break;
    case Key::kInputs:
      settings.inputs = readInt32(value);
      break;
    case Key::kOutputs:
      settings.outputs = readInt32(value);
      break;
    case Key::kTracks:
      settings.tracks = readInt32(value);
      break;
    case Key::kBufferFrames:
      settings.bufferFrames = readInt32(value);
      break;
    case Key::kInterfaceMode:
      if (readInteger(value) == 0) settings.interfaceMode = 0;
      break;
    case Key::kClockMode:
      if (value == "hc") settings.clockMode = kClockHidden;
      if (value == "sc") settings.clockMode = kClockStreamed;
      break;
    case Key::kPeakMode:
      if (value == "np") settings.peakMode = 0;
      break;
    case Key::kInPoint:
      settings.inPoint = readInteger(value);
      break;
    case Key::kOutPoint:
      settings.outPoint = readInteger(value);
      break;
    case Key::kPunchPoint:
      settings.punchPoint = readInteger(value);
      break;
    case Key::kNudge:
      settings.nudge = readNumber(value);
      break;
    case Key::kPreroll:
      settings.preroll = readNumber(value);
      break;
    case Key::kAuditionLength:
      settings.auditionLength = std::max(readNumber(value), 0.0f);
      break;
    case Key::kCrossfade:
      settings.crossfade = readNumber(value);
      break;
    case Key::kMemoryPoint:
      settings.memoryPoint = readInteger(value);
      break;
    case Key::kOdcomp:
      settings.odcomp = readInt32(value);
      break;
    case Key::kOdcompFrames:
      settings.odcompFrames = std::max(readInt32(value), 0);
      break;
    case Key::kMixMode: {
      const std::int64_t mode = readInteger(value);
      settings.mixMode = mode >= 1 && mode <= 3 ? static_cast<std::int32_t>(mode) : 0;
      break;
    }
    case Key::kMeterRange:
      settings.meterRange = readInt32(value);
      break;
    case Key::kTimeMode:
      settings.timeMode = readInteger(value) == 1 ? 1 : 0;
      break;
    case Key::kTempo:
      settings.tempo = validTempo(readNumber(value));
      break;
    case Key::kBeatsPerMeasure:
      settings.beatsPerMeasure = validBeatsPerMeasure(readInt32(value));
      break;
    case Key::kSafeMode:
      settings.safeMode = readInt32(value);
      break;
    case Key::kUndoBudget:
      settings.undoBudget = std::max(readInt32(value), 0);
      break;
    case Key::kSolo: {
      const std::int64_t track = readInteger(value);
      if (validTrack(settings, track)) settings.solo[trackIndex(track)] = 1;
      break;
    }
    default:
      break;
  }
}

void applyIndexedKey(Key key, std::string_view line, ProjectSettings& settings,
                     ReaderState& state) {
  FieldSplitter fields(line);
  const std::optional<std::string_view> first = fields.numberField();
  if (!first) return;
  const std::int64_t index = readInteger(*first);

  switch (key) {
    case Key::kVolume:
    case Key::kPan: {
      if (!fields.hasRest() || fields.rest().empty() || !validTrack(settings, index)) return;
      auto& values = key == Key::kVolume ? settings.volumes : settings.pans;
      values[trackIndex(index)] = readNumber(fields.rest());
      break;
    }
    case Key::kRange: {
      const std::optional<std::string_view> end = fields.numberField();
      if (!end || state.nextRangeSlot >= kMaxRanges) return;
      const auto slot = static_cast<std::size_t>(state.nextRangeSlot++);
      settings.rangeIn[slot] = index;
      settings.rangeOut[slot] = readInteger(*end);
      const std::string_view name =
          fields.hasRest() ? nameText(fields.rest(), SlotName::capacity()) : std::string_view{};
      if (name.empty()) {
        settings.rangeNames[slot] = formatText("range%i", static_cast<int>(slot) + 1);
        print("Error parsing time ranges in param.txt file!\n");
      } else {
        settings.rangeNames[slot] = name;
      }
      break;
    }
    case Key::kLocate: {
      if (state.nextLocateSlot >= kMaxLocates) return;
      const auto slot = static_cast<std::size_t>(state.nextLocateSlot++);
      settings.locateTimes[slot] = index;
      // Without a name the slot keeps the one it has.
      if (fields.hasRest()) {
        const std::string_view name = nameText(fields.rest(), SlotName::capacity());
        if (!name.empty()) settings.locateNames[slot] = name;
      }
      break;
    }
    case Key::kPlayList:
    case Key::kRecordList: {
      if (!fields.hasRest() || !ListFileTable::validEntry(index)) return;
      const std::string_view name = nameText(fields.rest(), ListFileName::capacity());
      if (name.empty()) return;
      auto& table = key == Key::kPlayList ? settings.playLists : settings.recordLists;
      table[static_cast<int>(index)] = name;
      break;
    }
    case Key::kBus:
      // The list is only collected here; ActivateBusses applies it at the end.
      if (!fields.hasRest() || index < 1 || index > kMaxBusses) return;
      state.busTexts[static_cast<std::size_t>(index - 1)] = fields.rest();
      break;
    case Key::kBusLevel:
      if (!fields.hasRest() || fields.rest().empty() || index < 1 || index > kMaxBusses) return;
      // Bounded as the console bounds it: the gain computed at start then
      // matches the level shown.
      settings.busLevels[static_cast<std::size_t>(index - 1)] =
          boundedBusLevel(readNumber(fields.rest()));
      break;
    default:
      break;
  }
}

bool isIndexedKey(Key key) {
  switch (key) {
    case Key::kVolume:
    case Key::kPan:
    case Key::kRange:
    case Key::kLocate:
    case Key::kPlayList:
    case Key::kRecordList:
    case Key::kBus:
    case Key::kBusLevel:
      return true;
    default:
      return false;
  }
}

const char* clockWord(std::int32_t clockMode) {
  if (clockMode == kClockHidden) return "hc";
  if (clockMode == kClockStreamed) return "sc";
  return "uc";
}

long long decimal(Position position) {
  return static_cast<long long>(position);
}

double wide(float value) {
  return static_cast<double>(value);
}

Status writeSettingsFile(std::string_view text) {
  return writeFileAtomically(kSettingsFileName, text);
}

}  // namespace

void ParseSettingsText(std::string_view text, ProjectSettings& settings) {
  ReaderState state;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && isWordSeparator(text[pos]))
      ++pos;
    if (pos >= text.size()) break;
    const std::size_t wordStart = pos;
    while (pos < text.size() && !isWordSeparator(text[pos]))
      ++pos;
    const std::optional<Key> key = findKey(text.substr(wordStart, pos - wordStart));
    if (!key) continue;  // a heading word or other text: try the next word

    // A key ended by the end of its line has no value; the next line is
    // never taken as its value.
    if (pos >= text.size() || text[pos] == '\n') continue;
    ++pos;  // the one separator that ended the key
    const std::size_t lineEnd = std::min(text.find('\n', pos), text.size());
    const std::string_view value = withoutTrailingReturns(text.substr(pos, lineEnd - pos));
    pos = lineEnd;

    if (isIndexedKey(*key)) {
      applyIndexedKey(*key, value, settings, state);
    } else if (!value.empty()) {
      applyPlainKey(*key, value, settings);
    }
  }
  ActivateBusses(state.busTexts, settings);
}

Status GET_PARAMS(ProjectSettings& settings, std::FILE* file) {
  std::string text;
  Status read = readWholeStream(file, kSettingsFileName, text);
  if (read) ParseSettingsText(text, settings);
  return read;
}

void ActivateBusses(const std::array<std::string, kMaxBusses>& busTexts,
                    ProjectSettings& settings) {
  for (std::size_t bus = 0; bus < busTexts.size(); ++bus) {
    std::string_view list = busTexts[bus];
    while (true) {
      const std::size_t comma = list.find(',');
      const std::int64_t channel = readInteger(list.substr(0, comma));
      if (channel >= 1 && channel <= kMaxChannels) {
        settings.busMatrix[bus][static_cast<std::size_t>(channel - 1)] = 1;
        settings.busOn[bus] = 1;
      }
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
  }
}

std::string FirstSettingsText(const ProjectSettings& settings) {
  std::string text;
  text += formatText("dv\t%s\n", settings.device.c_str());
  text += formatText("sr\t%u\n", settings.sampleRate);
  text += formatText("inputs\t%i\n", settings.inputs);
  text += formatText("outputs\t%i\n", settings.outputs);
  text += formatText("ch\t%i\n", settings.tracks);
  text += formatText("buf\t%i\n", settings.bufferFrames);
  text += formatText("int\t%i\n", settings.interfaceMode);
  return text;
}

std::string SettingsText(const ProjectSettings& settings) {
  // The first seven of the 25 plain lines are those of the first file.
  std::string text = FirstSettingsText(settings);
  text += formatText("clock\t%s\n", clockWord(settings.clockMode));
  text += formatText("peak\t%s\n", settings.peakMode == 0 ? "np" : "cp");
  text += formatText("i\t%lld\n", decimal(settings.inPoint));
  text += formatText("o\t%lld\n", decimal(settings.outPoint));
  text += formatText("e\t%lld\n", decimal(settings.punchPoint));
  text += formatText("nudge\t%.4f\n", wide(settings.nudge));
  text += formatText("proll\t%.3f\n", wide(settings.preroll));
  text += formatText("aud\t%.2f\n", wide(settings.auditionLength));
  text += formatText("xfade\t%.1f\n", wide(settings.crossfade));
  text += formatText("mem\t%lld\n", decimal(settings.memoryPoint));
  text += formatText("odcomp\t%i\n", settings.odcomp);
  // Written only when set, so that a project that never measured its
  // latency keeps the file it had.
  if (settings.odcompFrames != 0) text += formatText("odframes\t%i\n", settings.odcompFrames);
  text += formatText("mix\t%i\n", settings.mixMode);
  text += formatText("meter\t%i\n", settings.meterRange);
  text += formatText("tmode\t%i\n", settings.timeMode);
  text += formatText("tempo\t%.2f\n", wide(settings.tempo));
  text += formatText("sig\t%i\n", settings.beatsPerMeasure);
  text += formatText("safe\t%i\n", settings.safeMode);
  text += formatText("undobudget\t%i\n", settings.undoBudget);

  // The arrays hold 256 tracks whatever `tracks` says.
  const int trackCount = std::clamp(settings.tracks, 0, kMaxChannels);
  text += "\nVolume Settings:\n";
  for (int track = 1; track <= trackCount; ++track) {
    text += formatText("v\t%i\t%.2f\n", track, wide(settings.volumes[trackIndex(track)]));
  }
  text += "\nPan Settings:\n";
  for (int track = 1; track <= trackCount; ++track) {
    text += formatText("p\t%i\t%.0f\n", track, wide(settings.pans[trackIndex(track)]));
  }
  text += "\nSolo Settings:\n";
  for (int track = 1; track <= trackCount; ++track) {
    if (settings.solo[trackIndex(track)] == 1) text += formatText("solo\t%i\n", track);
  }

  text += "\nTime Ranges:\n";
  const auto rangeSlots = static_cast<std::size_t>(std::clamp(settings.maxRanges, 0, kMaxRanges));
  for (std::size_t slot = 0; slot < rangeSlots; ++slot) {
    if (settings.rangeIn[slot] > 0 || settings.rangeOut[slot] > 0) {
      text += formatText("range\t%lld\t%lld\t%s\n", decimal(settings.rangeIn[slot]),
                         decimal(settings.rangeOut[slot]), settings.rangeNames[slot].c_str());
    }
  }
  text += "\nLocate Points:\n";
  const auto locateSlots =
      static_cast<std::size_t>(std::clamp(settings.maxLocates, 0, kMaxLocates));
  for (std::size_t slot = 0; slot < locateSlots; ++slot) {
    // Time 0 marks an empty slot.
    if (settings.locateTimes[slot] != 0) {
      text += formatText("loc\t%lld\t%s\n", decimal(settings.locateTimes[slot]),
                         settings.locateNames[slot].c_str());
    }
  }

  text += "\nPlaylist Files:\n";
  for (int entry = ListFileTable::kFirst; entry <= ListFileTable::kLast; ++entry) {
    if (!settings.playLists[entry].empty()) {
      text += formatText("play\t%i\t%s\n", entry, settings.playLists[entry].c_str());
    }
  }
  text += "\nRecordlist Files:\n";
  for (int entry = ListFileTable::kFirst; entry <= ListFileTable::kLast; ++entry) {
    if (!settings.recordLists[entry].empty()) {
      text += formatText("rec\t%i\t%s\n", entry, settings.recordLists[entry].c_str());
    }
  }

  text += "\nBus Assignments:\n";
  for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
    if (settings.busOn[bus] != 1) continue;
    // "bus\t2\t3,4,\n": every channel is followed by a comma.
    text += formatText("bus\t%i\t", static_cast<int>(bus) + 1);
    for (std::size_t channel = 0; channel < kMaxChannels; ++channel) {
      if (settings.busMatrix[bus][channel] == 1) {
        text += formatText("%i,", static_cast<int>(channel) + 1);
      }
    }
    text += '\n';
  }
  text += "\nBus Volumes (dB):\n";
  for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
    if (settings.busLevels[bus] != 0.0f) {
      text +=
          formatText("busvl\t%i\t%.2f\n", static_cast<int>(bus) + 1, wide(settings.busLevels[bus]));
    }
  }
  return text;
}

Status MAKE_PARAM_FILE(const ProjectSettings& settings) {
  Status written = writeSettingsFile(FirstSettingsText(settings));
  if (written) {
    print("Created param.txt file\n");
  } else {
    printLine(written.message());
  }
  return written;
}

Status Store_Settings(const ProjectSettings& settings) {
  Status written = writeSettingsFile(SettingsText(settings));
  if (written) {
    print("\nStored Settings\n");
  } else {
    printLine(written.message());
  }
  return written;
}

}  // namespace varnow
