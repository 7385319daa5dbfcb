// The one settings record of a run, and the fixed capacities of the system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnow {

inline constexpr int kMaxChannels = 256;  // tracks, and hardware channels per direction
inline constexpr int kMaxBusses = 64;
inline constexpr int kMaxRanges = 64;
inline constexpr int kMaxLocates = 64;
inline constexpr int kNameWidth = 64;  // one range or locate name slot, terminator included
inline constexpr int kListEntries = 128;
inline constexpr int kListNameWidth = 128;  // one list-file name, terminator included
inline constexpr int kDeviceNameWidth = 64;

// A position on the timeline: frames from the start of the files.
using Position = std::int64_t;

// Text with a fixed capacity in characters: longer text keeps its first
// MaxChars characters, as a fixed char array with a terminator would.
template <std::size_t MaxChars>
class BoundedText {
 public:
  BoundedText() = default;
  BoundedText(std::string_view text) { assign(text); }  // NOLINT(google-explicit-constructor)
  BoundedText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }
  void assign(std::string_view text) { text_.assign(text.substr(0, MaxChars)); }
  void clear() { text_.clear(); }

  const std::string& str() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  bool empty() const { return text_.empty(); }
  static constexpr std::size_t capacity() { return MaxChars; }

  friend bool operator==(const BoundedText& a, const BoundedText& b) = default;

 private:
  std::string text_;
};

using SlotName = BoundedText<kNameWidth - 1>;
using ListFileName = BoundedText<kListNameWidth - 1>;
using DeviceName = BoundedText<kDeviceNameWidth - 1>;

// 128 list-file names, numbered 1..128. Entry 1 is the list in use; an empty
// entry is an unused slot.
class ListFileTable {
 public:
  static constexpr int kFirst = 1;
  static constexpr int kLast = kListEntries;

  static bool validEntry(long long n) { return n >= kFirst && n <= kLast; }
  ListFileName& operator[](int n) { return entries_.at(static_cast<std::size_t>(n - 1)); }
  const ListFileName& operator[](int n) const {
    return entries_.at(static_cast<std::size_t>(n - 1));
  }
  const ListFileName& current() const { return entries_[0]; }
  ListFileName& current() { return entries_[0]; }

  friend bool operator==(const ListFileTable& a, const ListFileTable& b) = default;

 private:
  std::array<ListFileName, kListEntries> entries_{};
};

inline constexpr std::uint32_t kDefaultSampleRate = 44100;  // Hz

enum ClockMode : std::int32_t { kClockHidden = 0, kClockUnstreamed = 1, kClockStreamed = 2 };

struct ProjectSettings {
  std::int32_t tracks = -1;   // ch: play channels, resolved by the clamping rule
  std::int32_t inputs = -1;   // inputs: capture channels
  std::int32_t outputs = -1;  // outputs: playback channels
  DeviceName device{"default"};
  std::uint32_t sampleRate = kDefaultSampleRate;

  Position inPoint = 0;
  Position outPoint = 0;
  Position punchPoint = 0;
  Position memoryPoint = 0;

  std::int32_t clockMode = kClockUnstreamed;
  std::int32_t peakMode = 1;
  std::int32_t bufferFrames = 1024;  // requested period size
  std::int32_t interfaceMode = 1;
  std::int32_t odcomp = 4;
  // Frames of overdub compensation beyond the odcomp periods (0 .. period-1):
  // captured frames a recording with playback drops before its take begins.
  std::int32_t odcompFrames = 0;

  std::array<float, kMaxChannels> volumes{};  // dB
  std::array<float, kMaxChannels> pans{};     // -100 left .. 100 right
  std::int32_t mixMode = 0;
  std::int32_t meterRange = -30;
  float tempo = 120.0f;
  std::int32_t beatsPerMeasure = 4;
  std::int32_t timeMode = 0;
  std::int32_t safeMode = 0;
  std::int32_t undoBudget = 2048;  // undobudget: MB the undo store may keep for older decisions

  std::array<Position, kMaxRanges> rangeIn{};
  std::array<Position, kMaxRanges> rangeOut{};
  std::array<SlotName, kMaxRanges> rangeNames{};
  std::int32_t maxRanges = kMaxRanges;
  std::int32_t nameWidth = kNameWidth;

  std::array<Position, kMaxLocates> locateTimes{};  // 0 marks an empty slot
  std::array<SlotName, kMaxLocates> locateNames{};
  std::int32_t maxLocates = kMaxLocates;

  float nudge = 0.25f;  // seconds
  std::array<std::int32_t, kMaxChannels> solo{};
  ListFileTable playLists;
  ListFileTable recordLists;

  std::array<std::int32_t, kMaxBusses> busOn{};
  std::array<std::array<std::int32_t, kMaxChannels>, kMaxBusses> busMatrix{};

  float preroll = 0.0f;    // seconds
  float crossfade = 0.0f;  // milliseconds
  std::int32_t firstRun = 0;
  std::array<float, kMaxBusses> busLevels{};  // dB
  std::array<float, kMaxBusses> busGains{};   // ratios
  float auditionLength = 3.0f;                // seconds

  ProjectSettings() {
    for (auto& name : rangeNames)
      name = "(name)";
    for (auto& name : locateNames)
      name = "(name)";
    playLists[1] = "play.txt";
    recordLists[1] = "record.txt";
    busGains.fill(1.0f);
  }

  friend bool operator==(const ProjectSettings& a, const ProjectSettings& b) = default;
};

}  // namespace varnow
