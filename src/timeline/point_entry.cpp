#include "timeline/point_entry.hpp"

#include <algorithm>
#include <limits>

#include "core/print.hpp"
#include "timeline/musical_time.hpp"
#include "timeline/numeric_reply.hpp"
#include "wave/quantize.hpp"

namespace varnow {

namespace {

// The prompts of one point, in both display modes.
struct PointPrompts {
  std::string_view seconds;
  std::string_view measure;
  std::string_view beat;
};

constexpr PointPrompts kInPrompts{"Enter in-time in seconds.",
                                  "Enter measure for playback start time.",
                                  "Enter beat for playback start time."};
constexpr PointPrompts kOutPrompts{"Enter out-time in seconds.", "Enter measure for stop time.",
                                   "Enter beat for stop time."};
constexpr PointPrompts kPunchPrompts{"Enter recording start time in seconds.",
                                     "Enter measure for recording start time.",
                                     "Enter beat for recording start time."};

ConsoleInput& repliesOf(const PointEntry& entry) {
  return entry.replies != nullptr ? *entry.replies : console();
}

// The value of a command word: everything after its first letter.
std::string_view afterFirstLetter(std::string_view word) {
  return word.empty() ? word : word.substr(1);
}

// The measure form of a command word ("o9", "e5.3"): the measure is the number
// between the letter and the first ".", the beat the number after it (beat 1
// when there is none). Only the first 16 characters of the word count.
void readMeasureText(std::string_view word, int& measure, float& beat) {
  constexpr std::size_t kMeasureTextChars = 16;
  const std::string_view text = word.substr(0, kMeasureTextChars);
  const std::size_t dot = text.find('.');
  // The lowest int is left out so that measure - 1 stays an int.
  measure = std::max(intFromWord(afterFirstLetter(text.substr(0, dot))),
                     std::numeric_limits<int>::min() + 1);
  beat = dot == std::string_view::npos ? 1.0f : floatFromWord(text.substr(dot + 1));
}

Position enterSeconds(PointEntry& entry, const PointPrompts& prompts) {
  switch (entry.mode) {
    case EntryMode::kPrompt:
      printLine(prompts.seconds);
      entry.seconds = readFloatReply(repliesOf(entry));
      break;
    case EntryMode::kCommandText:
      entry.seconds = floatFromWord(afterFirstLetter(entry.commandText));
      break;
    case EntryMode::kHeldValue:
      break;
  }
  return positionFromSeconds(entry.seconds, entry.rate, entry.periodFrames);
}

Position enterMeasures(PointEntry& entry, const PointPrompts& prompts) {
  switch (entry.mode) {
    case EntryMode::kPrompt:
      printLine(prompts.measure);
      entry.measure = std::max(1, readIntReply(repliesOf(entry)));
      printLine(prompts.beat);
      entry.beat = readFloatReply(repliesOf(entry));
      break;
    case EntryMode::kCommandText:
      readMeasureText(entry.commandText, entry.measure, entry.beat);
      break;
    case EntryMode::kHeldValue:
      break;
  }
  return positionFromMeasures(entry.measure, entry.beat, entry);
}

}  // namespace

Position positionFromSeconds(float seconds, std::uint32_t rate, std::int64_t periodFrames) {
  return QUANTIZE(periodFrames, rate, seconds);
}

Position positionFromMeasures(int measure, float beat, const PointEntry& entry) {
  // A beat below 1 is the first beat of the measure. Passing beat 1 for it
  // keeps the offset (beat - 1) exactly 0 in single precision.
  const float countedBeat = beat >= 1.0f ? beat : 1.0f;
  const Position unrounded =
      MeasuresToSample(entry.beatsPerMeasure, entry.tempo, measure, countedBeat, entry.rate);
  if (unrounded < 1) return 0;
  return QUANTIZE_SAMPLES(entry.periodFrames, unrounded);
}

void SetInPoint(PointEntry& entry, Position& inPoint) {
  inPoint = enterSeconds(entry, kInPrompts);
}

void SetPunchPoint(PointEntry& entry, Position& punchPoint) {
  punchPoint = enterSeconds(entry, kPunchPrompts);
}

void SetInPointMeas(PointEntry& entry, Position& inPoint) {
  inPoint = enterMeasures(entry, kInPrompts);
}

void SetPunchPointMeas(PointEntry& entry, Position& punchPoint) {
  punchPoint = enterMeasures(entry, kPunchPrompts);
}

bool SetOutPoint(PointEntry& entry, Position inPoint, Position& outPoint) {
  const Position candidate = enterSeconds(entry, kOutPrompts);
  if (candidate < inPoint) return false;
  outPoint = candidate;
  return true;
}

bool SetOutPointMeas(PointEntry& entry, Position inPoint, Position& outPoint) {
  const Position candidate = enterMeasures(entry, kOutPrompts);
  if (candidate <= inPoint) return false;
  outPoint = candidate;
  return true;
}

}  // namespace varnow
