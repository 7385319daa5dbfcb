// The take menu through the real binary on the virtual card. After every
// command each file of the project directory is read back byte for byte:
// destinations before, inside and after the punch, the two fades, backups,
// renamed takes, and what is gone.
//
// With the null-based card a take is the first takeLength frames of the
// capture file, channel c holding base[c] + frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

using Samples = std::vector<std::int32_t>;
using Names = std::vector<std::string>;

constexpr std::int64_t kBlock = 4096;
constexpr std::int64_t kPeriod = 1024;
constexpr std::int32_t kBaseOne = 1000000;
constexpr std::int32_t kBaseTwo = 2000000;
// Punch and out on the period grid: takes of 9216 samples from 6144.
constexpr std::int64_t kPunch = 6144;
constexpr std::int64_t kOut = 15360;
constexpr std::int64_t kTake = kOut - kPunch;

const std::string kPrompt = "Recording finished.  Enter a take handling command.\n";
const std::string kFileCheck =
    "Enter 'w' to overwrite\nEnter 'W' to overwrite and don't ask again.\n"
    "Enter 'r' to return to previous menu.\n";
const std::string kConflictChoices =
    "\n'o' to overwrite one file\n'O' (shift-o) to overwrite all conflicts,\n"
    "'n' to try a new append name\n";

// Two inputs, two tracks, one-line prompts (unless `extraParams` starts with
// "int"), no clock and no meter.
void setUp(const ProjectFixture& project, std::int64_t punch, std::int64_t out,
           const std::string& recordList, const std::string& extraParams = "",
           const std::vector<std::int32_t>& bases = {kBaseOne, kBaseTwo}) {
  const std::string interface = extraParams.rfind("int", 0) == 0 ? "" : "int\t0\n";
  project.writeParams(interface + "clock\thc\nmeter\t0\ne\t" + std::to_string(punch) + "\no\t" +
                      std::to_string(out) + "\n" + extraParams);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", recordList);
  project.writeCapture(rampCapture(60000, bases));
}

Samples ramp(std::int32_t base, std::int64_t n) {
  return staircase(static_cast<std::size_t>(n), base);
}

Samples operator+(Samples head, const Samples& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

Samples silence(std::int64_t n) {
  return Samples(static_cast<std::size_t>(n), 0);
}

// `destination` with `take` punched in at `punch` (growing it if needed).
Samples punchedIn(Samples destination, const Samples& take, std::int64_t punch) {
  const std::size_t end = static_cast<std::size_t>(punch) + take.size();
  if (destination.size() < end) destination.resize(end, 0);
  std::copy(take.begin(), take.end(), destination.begin() + punch);
  return destination;
}

// One sample of the equal-power fade over `length` samples, computed here
// from the law: theta = k / length x 1.570796327 in double precision,
// trunc(from x cos + to x sin) toward zero, saturated to 24 bits.
std::int32_t faded(std::int32_t from, std::int32_t to, std::int64_t k, std::int64_t length) {
  const double theta = static_cast<double>(k) / static_cast<double>(length) * 1.570796327;
  const double blend = from * std::cos(theta) + to * std::sin(theta);
  return static_cast<std::int32_t>(std::clamp(std::trunc(blend), -8388608.0, 8388607.0));
}

// Seconds since 2012-10-10 16:09:00 UTC, the stamp of automatic take names.
std::int64_t stampNow() {
  return static_cast<std::int64_t>(std::time(nullptr)) - 1349885340;
}

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// The one file named prefix, digits, suffix, or empty text.
std::string stampedFile(const ProjectFixture& project, const std::string& prefix,
                        const std::string& suffix) {
  std::string found;
  for (const std::string& name : project.files()) {
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
        !allDigits(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()))) {
      continue;
    }
    EXPECT_TRUE(found.empty()) << "two files are named " << prefix << "*" << suffix;
    found = name;
  }
  return found;
}

// Input `channel`'s take file as recorded with `punch`.
std::string takeFile(const ProjectFixture& project, int channel, std::int64_t punch) {
  return stampedFile(project, "audio_ch_" + std::to_string(channel) + "_",
                     punch == 0 ? ".wav" : "_stp_" + std::to_string(punch) + ".wav");
}

Names withListFiles(Names names) {
  names.insert(names.end(), {"param.txt", "play.txt", "record.txt"});
  std::sort(names.begin(), names.end());
  return names;
}

std::size_t count(const std::string& text, const std::string& piece) {
  std::size_t found = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++found;
  return found;
}

// Whole files and sample runs compared without printing megabytes: the
// sizes, then the first difference.
template <typename Sequence>
::testing::AssertionResult same(const Sequence& actual, const Sequence& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
    ++at;
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << actual.size() << " items instead of " << expected.size() << ", first difference at "
          << at;
  if (at < actual.size() && at < expected.size()) {
    failure << ": " << static_cast<std::int64_t>(actual[at]) << " instead of "
            << static_cast<std::int64_t>(expected[at]);
  }
  return failure;
}

std::string commandOutput(const std::string& command) {
  std::string bytes;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char piece[4096];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, pipe)) > 0;)
      bytes.append(piece, got);
    pclose(pipe);
  }
  return bytes;
}

// The file `name` holds exactly a canonical mono 24-bit file of `samples`,
// and a second, independent reader (sox, where installed) sees the same
// length and samples.
::testing::AssertionResult holds(const ProjectFixture& project, const std::string& name,
                                 const Samples& samples) {
  ::testing::AssertionResult bytes = same(project.readFile(name), wavFile(samples));
  if (!bytes || std::system("command -v sox >/dev/null 2>&1") != 0) return bytes << " in " << name;
  const std::string path = "'" + (project.dir() / name).string() + "'";
  if (commandOutput("sox --i -s " + path + " 2>/dev/null") != std::to_string(samples.size()) + "\n")
    return ::testing::AssertionFailure() << "sox reads another length from " << name;
  return same(commandOutput("sox " + path + " -t s24 - 2>/dev/null"), packSamples(samples))
         << " as sox reads " << name;
}

TEST(TakeMenu, MenuTextUnknownWordsAndDelete) {
  ProjectFixture project;
  setUp(project, kPunch, kOut, "vox.wav\nbass.wav\n", "int\t1\n");
  const std::string menu =
      "\nRecording finished.  Enter a take handling command.\n\nCurrent take files:\n"
      "\t'aud' to audition current take\n\t'del' to delete current take\n"
      "\nChange files in record.txt (permanently):\n"
      "\t'rep' to replace files in record.txt with current take\n"
      "\t'ins' to insert new take into record.txt files\n"
      "\t'cin' to make a backup copy before inserting\n"
      "\nMake new files using record.txt names as base:\n"
      "\t'awp' to append base name, with padding (audio in sync)\n"
      "\t'aws' to append base name, with time stamp\n"
      "\t'app' to append base name, no padding or time stamp\n"
      "\nMake file names automatically:\n"
      "\t'pad' to save as padded files (audio in sync)\n\t'stp' to save with time stamp\n\n";
  RunResult result = project.run("R xyz Del del x");
  ASSERT_EQ(result.exitStatus, 0) << result.out;
  // The menu, then once more for each word it does not know.
  EXPECT_NE(result.out.find(menu + menu + menu), std::string::npos) << result.out;
  EXPECT_EQ(count(result.out, menu), 3u);
  EXPECT_EQ(project.files(), withListFiles({}));

  setUp(project, 0, kTake, "vox.wav\n-\n");
  result = project.run("R xyz del x");
  EXPECT_EQ(count(result.out, kPrompt), 2u);
  EXPECT_NE(result.out.find(kPrompt + kPrompt), std::string::npos);
  EXPECT_EQ(project.files(), withListFiles({}));
}

TEST(TakeMenu, ReplaceRenamesTakesPaddedToTimeZero) {
  // Punch 0: the takes become the listed files as they are.
  ProjectFixture zero;
  setUp(zero, 0, kTake, "vox.wav\nbass.wav\n");
  RunResult result = zero.run("R rep x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out.find("exists!"), std::string::npos);
  EXPECT_EQ(zero.files(), withListFiles({"bass.wav", "vox.wav"}));
  EXPECT_TRUE(holds(zero, "vox.wav", ramp(kBaseOne, kTake)));
  EXPECT_TRUE(holds(zero, "bass.wav", ramp(kBaseTwo, kTake)));

  // Punch 6144: the take gains 6144 silent samples first.
  ProjectFixture later;
  setUp(later, kPunch, kOut, "-\nbass.wav\n");
  result = later.run("R rep x");
  ASSERT_EQ(result.exitStatus, 0);
  const Samples padded = silence(kPunch) + ramp(kBaseTwo, kTake);
  EXPECT_EQ(later.files(), withListFiles({"bass.wav"}));
  EXPECT_TRUE(holds(later, "bass.wav", padded));
}

TEST(TakeMenu, ReplaceAsksBeforeWholeFilesAreReplaced) {
  // The safety switch answered n: the menu comes back and nothing changed
  // ('stp' with a punch keeps the take as recorded).
  ProjectFixture project;
  setUp(project, kPunch, kOut, "vox.wav\n-\n", "safe\t1\n");
  const std::string old = wavFile(staircase(20000, -5, -1));
  project.writeFile("vox.wav", old);
  const std::string safety =
      "The file safety switch is on.\n"
      "Do you really want to replace a whole file rather than insert? (y,n)\n";
  RunResult result = project.run("R rep n stp x");
  EXPECT_NE(result.out.find(kPrompt + safety + kPrompt), std::string::npos) << result.out;
  const std::string take = takeFile(project, 1, kPunch);
  ASSERT_FALSE(take.empty());
  EXPECT_EQ(project.files(), withListFiles({take, "vox.wav"}));
  EXPECT_TRUE(holds(project, take, ramp(kBaseOne, kTake)));
  EXPECT_TRUE(same(project.readFile("vox.wav"), old));
  project.remove(take);

  // Answered y, then 'w' at the overwrite check: replaced.
  result = project.run("R rep y w x");
  EXPECT_NE(result.out.find(safety + "-------------------------\n1 file exists!\n" + kFileCheck),
            std::string::npos)
      << result.out;
  EXPECT_EQ(project.files(), withListFiles({"vox.wav"}));
  EXPECT_TRUE(holds(project, "vox.wav", silence(kPunch) + ramp(kBaseOne, kTake)));

  // Two destinations: 'r' returns to the menu, 'W' replaces and the next
  // recording's 'rep' in the same run does not ask again. The second take
  // continues the capture stream after the first pass's 8192 + 4096 frames.
  ProjectFixture two;
  setUp(two, 0, 8192, "a.wav\nb.wav\n");
  two.writeFile("a.wav", old);
  two.writeFile("b.wav", old);
  result = two.run("R rep what r rep W R rep x");
  ASSERT_EQ(result.exitStatus, 0);
  const std::string asked = "-------------------------\n2 files exists!\n" + kFileCheck;
  EXPECT_NE(result.out.find(asked + kFileCheck + kPrompt + asked), std::string::npos) << result.out;
  EXPECT_EQ(count(result.out, "files exists!"), 2u);
  EXPECT_EQ(two.files(), withListFiles({"a.wav", "b.wav"}));
  EXPECT_TRUE(holds(two, "a.wav", ramp(kBaseOne + 12288, 8192)));
  EXPECT_TRUE(holds(two, "b.wav", ramp(kBaseTwo + 12288, 8192)));
}

TEST(TakeMenu, InsertOverwritesExactlyTheTakeFromThePunchPoint) {
  // Without crossfades: samples [6144, 15360) are the take, the rest and the
  // header are as they were; a missing destination is the padded take.
  ProjectFixture project;
  setUp(project, kPunch, kOut, "vox.wav\nnew.wav\n");
  const Samples old = staircase(30000, -100, -1);
  project.writeFile("vox.wav", wavFile(old));
  RunResult result = project.run("R ins x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_EQ(project.files(), withListFiles({"new.wav", "vox.wav"}));
  const Samples inserted = punchedIn(old, ramp(kBaseOne, kTake), kPunch);
  EXPECT_TRUE(holds(project, "vox.wav", inserted));
  EXPECT_TRUE(holds(project, "new.wav", silence(kPunch) + ramp(kBaseTwo, kTake)));

  // A destination shorter than the punch point grows; the gap is silence.
  // With crossfades on, both fades are refused (they start beyond its end)
  // and the take goes in without them.
  ProjectFixture refused;
  setUp(refused, kPunch, kOut, "vox.wav\n-\n", "xfade\t10\n");
  refused.writeFile("vox.wav", wavFile(staircase(1000, 77)));
  result = refused.run("R ins x");
  EXPECT_NE(result.out.find("Invalid crossfade for destination file at sample 6144\n"
                            "Invalid crossfade for source file at sample 14880\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(refused.files(), withListFiles({"vox.wav"}));
  EXPECT_TRUE(holds(refused, "vox.wav",
                    staircase(1000, 77) + silence(kPunch - 1000) + ramp(kBaseOne, kTake)));
}

TEST(TakeMenu, InsertWithCrossfadesBlendsBothEnds) {
  // xfade 10 ms at 48000 Hz: xfadeHalf 240, fades of 480 samples. Input 2
  // and its destination are loud and in phase, so the middle of each fade
  // saturates at full scale.
  constexpr std::int64_t kFade = 480;
  ProjectFixture project;
  setUp(project, kPunch, kOut, "vox.wav\nloud.wav\n", "xfade\t10\n", {kBaseOne, 8000000});
  const Samples quiet = staircase(30000, -3000000, 7);
  const Samples loud = staircase(30000, 7000000);
  project.writeFile("vox.wav", wavFile(quiet));
  project.writeFile("loud.wav", wavFile(loud));
  const RunResult result = project.run("R ins x");
  ASSERT_EQ(result.exitStatus, 0) << result.out;
  EXPECT_EQ(project.files(), withListFiles({"loud.wav", "vox.wav"}));

  auto expected = [&](const Samples& old, const Samples& take) {
    Samples out = punchedIn(old, take, kPunch);
    for (std::int64_t k = 0; k < kFade; ++k) {
      const auto head = static_cast<std::size_t>(kPunch + k);
      const auto tail = static_cast<std::size_t>(kPunch + kTake - kFade + k);
      out[head] = faded(old[head], take[static_cast<std::size_t>(k)], k, kFade);
      out[tail] = faded(take[static_cast<std::size_t>(kTake - kFade + k)], old[tail], k, kFade);
    }
    return out;
  };
  const Samples voxResult = expected(quiet, ramp(kBaseOne, kTake));
  const Samples loudResult = expected(loud, ramp(8000000, kTake));
  // The first blended sample is the old one, the last ones of the head fade
  // are near the take; at the middle of the loud fades the sum saturates.
  EXPECT_EQ(voxResult[kPunch], quiet[kPunch]);
  EXPECT_EQ(loudResult[kPunch + 240], 8388607);
  EXPECT_EQ(loudResult[kPunch + kTake - 240], 8388607);
  EXPECT_TRUE(holds(project, "vox.wav", voxResult));
  EXPECT_TRUE(holds(project, "loud.wav", loudResult));
}

TEST(TakeMenu, CopyInsertBacksUpBeforeInserting) {
  ProjectFixture project;
  setUp(project, kPunch, kOut, "vox.wav\nnew.wav\n");
  const std::string old = wavFile(staircase(30000, -100, -1));
  project.writeFile("vox.wav", old);
  const std::int64_t before = stampNow();
  const RunResult result = project.run("R cin x");
  const std::int64_t after = stampNow();
  ASSERT_EQ(result.exitStatus, 0);
  // The backup is numbered with the take's time stamp.
  const std::string backup = stampedFile(project, "vox_bkup_", ".wav");
  ASSERT_FALSE(backup.empty());
  const std::int64_t stamp = std::stoll(backup.substr(9));
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
  // A destination to back up that does not exist is reported, and the
  // insert goes on (it is created from the padded take).
  EXPECT_NE(result.out.find("Copied vox.wav to " + backup + "\nFile new.wav does not exist\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(project.files(), withListFiles({"new.wav", "vox.wav", backup}));
  EXPECT_TRUE(holds(project, backup, staircase(30000, -100, -1)));
  const Samples inserted = punchedIn(staircase(30000, -100, -1), ramp(kBaseOne, kTake), kPunch);
  EXPECT_TRUE(holds(project, "vox.wav", inserted));
  EXPECT_TRUE(holds(project, "new.wav", silence(kPunch) + ramp(kBaseTwo, kTake)));
}

TEST(TakeMenu, AppendNamesFromTheRecordList) {
  // aws: the append text carries the punch point, in full beyond 32 bits;
  // the take is not padded.
  constexpr std::int64_t kFar = 2400000000;
  ProjectFixture stamped;
  setUp(stamped, kFar, kFar + kTake, "guitar.wav\n-\n");
  RunResult result = stamped.run("R aws gtr x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find(kPrompt + "Enter characters to append with.\naudio_ch_1_"),
            std::string::npos);
  const std::string far = "guitar_gtr_stp_2400000000.wav";
  EXPECT_NE(result.out.find("_stp_2400000000.wav -> " + far + "\n"), std::string::npos);
  EXPECT_EQ(stamped.files(), withListFiles({far}));
  EXPECT_TRUE(holds(stamped, far, ramp(kBaseOne, kTake)));

  // awp: padded to time zero, but only once the name is settled: input that
  // ends at the name question leaves the take as recorded.
  constexpr std::int64_t kLate = 48128;
  ProjectFixture padded;
  setUp(padded, kLate, kLate + kTake, "guitar.wav\n-\n");
  padded.run("R awp gtr x");
  EXPECT_EQ(padded.files(), withListFiles({"guitar_gtr.wav"}));
  EXPECT_TRUE(holds(padded, "guitar_gtr.wav", silence(kLate) + ramp(kBaseOne, kTake)));
  result = padded.run("R awp gtr");
  EXPECT_NE(result.out.find("\nFile guitar_gtr.wav exists!\n" + kConflictChoices),
            std::string::npos);
  const std::string take = takeFile(padded, 1, kLate);
  ASSERT_FALSE(take.empty());
  EXPECT_TRUE(holds(padded, take, ramp(kBaseOne, kTake)));

  // app with conflicts: a wrong answer repeats the choices, 'n' asks for a
  // new text that the next channel keeps, 'o' overwrites one file.
  ProjectFixture conflicts;
  setUp(conflicts, 0, kTake, "guitar.song.wav\nbass.wav\n");
  conflicts.writeFile("guitar_gtr.wav", "old guitar");
  conflicts.writeFile("bass_v2.wav", "old bass");
  result = conflicts.run("R app gtr q n v2 o x");
  EXPECT_NE(result.out.find("Enter characters to append with.\n\nFile guitar_gtr.wav exists!\n" +
                            kConflictChoices + kConflictChoices + "Enter new append name\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(" -> guitar_v2.wav\n\nFile bass_v2.wav exists!\n" + kConflictChoices +
                            "audio_ch_2_"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(conflicts.files(), withListFiles({"bass_v2.wav", "guitar_gtr.wav", "guitar_v2.wav"}));
  EXPECT_TRUE(same(conflicts.readFile("guitar_gtr.wav"), std::string("old guitar")));
  EXPECT_TRUE(holds(conflicts, "guitar_v2.wav", ramp(kBaseOne, kTake)));
  EXPECT_TRUE(holds(conflicts, "bass_v2.wav", ramp(kBaseTwo, kTake)));

  // 'O' overwrites every conflict of the command after one question.
  conflicts.writeFile("guitar_v2.wav", "old guitar");
  result = conflicts.run("R app v2 O x");
  EXPECT_EQ(count(result.out, "exists!"), 1u);
  EXPECT_EQ(conflicts.files(), withListFiles({"bass_v2.wav", "guitar_gtr.wav", "guitar_v2.wav"}));
  EXPECT_TRUE(holds(conflicts, "guitar_v2.wav", ramp(kBaseOne, kTake)));
}

TEST(TakeMenu, PadAndStampKeepAutomaticNames) {
  // pad: padded, and the stamp taken off the name.
  ProjectFixture pad;
  setUp(pad, kPunch, kOut, "vox.wav\nbass.wav\n");
  ASSERT_EQ(pad.run("R pad x").exitStatus, 0);
  const std::string one = takeFile(pad, 1, 0);
  const std::string two = takeFile(pad, 2, 0);
  ASSERT_FALSE(one.empty());
  ASSERT_FALSE(two.empty());
  EXPECT_EQ(pad.files(), withListFiles({one, two}));
  EXPECT_TRUE(holds(pad, one, silence(kPunch) + ramp(kBaseOne, kTake)));
  EXPECT_TRUE(holds(pad, two, silence(kPunch) + ramp(kBaseTwo, kTake)));

  // stp with punch 0: X.wav becomes X_stp_0.wav.
  ProjectFixture zero;
  setUp(zero, 0, kTake, "-\nbass.wav\n");
  zero.run("R stp x");
  const std::string stamped = stampedFile(zero, "audio_ch_2_", "_stp_0.wav");
  ASSERT_FALSE(stamped.empty());
  EXPECT_EQ(zero.files(), withListFiles({stamped}));
  EXPECT_TRUE(holds(zero, stamped, ramp(kBaseTwo, kTake)));

  // stp with a punch: the names already carry it and stay.
  ProjectFixture later;
  setUp(later, kPunch, kOut, "-\nbass.wav\n");
  later.run("R stp x");
  const std::string kept = takeFile(later, 2, kPunch);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(later.files(), withListFiles({kept}));
  EXPECT_TRUE(holds(later, kept, ramp(kBaseTwo, kTake)));
}

TEST(TakeMenu, TakeNamesNeverReplaceAFile) {
  // Files that an earlier take of the same second could have left: every
  // name the new take would get is taken, so it gets the smallest free
  // suffix, from the recording (automatic names) or from 'stp' and 'pad'.
  struct NameCase {
    std::int64_t punch;
    std::string taken;  // "audio_ch_1_<stamp>" + this
    std::string command;
    std::string suffix;  // of the take's final name, after the stamp
    bool padded;
  };
  for (const NameCase& c : {NameCase{kPunch, "_stp_6144.wav", "stp", "_stp_6144-2.wav", false},
                            NameCase{0, "_stp_0.wav", "stp", "_stp_0-2.wav", false},
                            NameCase{kPunch, ".wav", "pad", "-2.wav", true}}) {
    ProjectFixture project;
    setUp(project, c.punch, c.punch + kTake, "vox.wav\n-\n");
    Names kept;
    for (std::int64_t stamp = stampNow() - 2; stamp < stampNow() + 30; ++stamp) {
      kept.push_back("audio_ch_1_" + std::to_string(stamp) + c.taken);
      project.writeFile(kept.back(), "an earlier take");
    }
    ASSERT_EQ(project.run("R " + c.command + " x").exitStatus, 0);
    const std::string take = stampedFile(project, "audio_ch_1_", c.suffix);
    ASSERT_FALSE(take.empty()) << c.command << c.suffix;
    kept.push_back(take);
    EXPECT_EQ(project.files(), withListFiles(kept)) << c.command;
    EXPECT_TRUE(holds(project, take, silence(c.padded ? c.punch : 0) + ramp(kBaseOne, kTake)));
    for (std::size_t i = 0; i + 1 < kept.size(); ++i)
      EXPECT_EQ(project.readFile(kept[i]), "an earlier take");
  }
}

TEST(TakeMenu, EndOfInputAtATakeNameQuestionLeavesNoTakeFile) {
  // Input 2's name is taken; the input ends at its question. No file of
  // the take exists yet, so none is left claiming samples it never got.
  ProjectFixture project;
  setUp(project, 0, kTake, "vox.wav\nbass.wav\n");
  project.writeFile("bass_t.wav", "an earlier take");
  const RunResult result = project.run("R_t");
  EXPECT_NE(result.out.find("The file named bass_t.wav already exists!\n"), std::string::npos);
  EXPECT_EQ(project.files(), withListFiles({"bass_t.wav"}));
  EXPECT_EQ(project.readFile("bass_t.wav"), "an earlier take");

  // 'w' over a FIFO: it is refused, not opened (that open would wait for a
  // reader for ever), and input 1 records alone.
  project.remove("bass_t.wav");
  project.makeFifo("bass_t.wav");
  const RunResult fifo = project.run("R_t w x", std::chrono::seconds(10));
  EXPECT_NE(fifo.out.find("Could not create bass_t.wav: it is not a regular file.\n"),
            std::string::npos)
      << fifo.out;
  EXPECT_TRUE(holds(project, "vox_t.wav", ramp(kBaseOne, kTake)));
  EXPECT_TRUE(std::filesystem::is_fifo(project.dir() / "bass_t.wav"));
}

TEST(TakeMenu, CrossfadeLongerThanTheTakeSpansTheWholeTake) {
  // cf 1e9 is bounded to 10 s, and the fades to the take's 9216 samples:
  // the scratch files stay small (the limit would stop a 10 s fade). Both
  // fades cover the whole take; the tail fade is written last.
  ProjectFixture project;
  setUp(project, kPunch, kOut, "vox.wav\n-\n");
  const Samples old = staircase(30000, -100, -1);
  project.writeFile("vox.wav", wavFile(old));
  project.setFileSizeLimit(200000);
  const RunResult result = project.run("cf 1e9 R ins x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("The crossfade has been set to 10000.0 milliseconds, the maximum.\n"),
            std::string::npos)
      << result.out;
  const Samples take = ramp(kBaseOne, kTake);
  Samples expected = old;
  for (std::int64_t k = 0; k < kTake; ++k) {
    const auto at = static_cast<std::size_t>(kPunch + k);
    expected[at] = faded(take[static_cast<std::size_t>(k)], old[at], k, kTake);
  }
  EXPECT_EQ(project.files(), withListFiles({"vox.wav"}));
  EXPECT_TRUE(holds(project, "vox.wav", expected));
}

// What one take audition writes to the card: a block of silence, then from
// timeline frame `from` until the first period of the block streamed while
// the block at or after `stop` is read. Track 1 plays `play`, track 2 the
// take from the punch point.
Samples auditionOutput(int track, const Samples& play, const Samples& take, std::int64_t punch,
                       std::int64_t from, std::int64_t stop) {
  const std::int64_t blocks = (stop - from + kBlock - 1) / kBlock;
  Samples out;
  for (std::int64_t f = 0; f < blocks * kBlock + kPeriod; ++f) {
    const std::int64_t t = from - kBlock + f;
    const Samples& file = track == 0 ? play : take;
    const std::int64_t at = track == 0 ? t : t - punch;
    const bool inFile = f >= kBlock && at >= 0 && at < static_cast<std::int64_t>(file.size());
    out.push_back(inFile ? file[static_cast<std::size_t>(at)] : 0);
  }
  return out;
}

TEST(TakeMenu, AuditionPlaysEachQuarterAndTheMenuComesBack) {
  // Punch 8192, out 40960: quarters of 8192 samples. Input 2 records; track
  // 1 plays its play file, track 2 the take in place of its play file.
  ProjectFixture project;
  constexpr std::int64_t kFrom = 8192;
  constexpr std::int64_t kTo = 40960;
  constexpr std::int64_t kQuarter = (kTo - kFrom) / 4;
  setUp(project, kFrom, kTo, "-\nvox.wav\n");
  const Samples play = staircase(60000, -1, -1);
  project.writeFile("p1.wav", wavFile(play));
  project.writeFile("p2.wav", wavFile(staircase(60000, 5000000)));
  project.writeFile("play.txt", "p1.wav\np2.wav\n");
  const RunResult result = project.run("R aud 0 aud 1 aud 2 aud 3 aud 4 aud 9 del x");
  ASSERT_EQ(result.exitStatus, 0) << result.out;
  const std::string choices =
      "0 = hear whole take   1 = 1st 1/4   2 = 2nd 1/4   3 = 3rd 1/4   4 = 4th 1/4\n";
  EXPECT_EQ(count(result.out, kPrompt + choices + "Playing...\nAuditioning...\n"), 6u);
  EXPECT_EQ(count(result.out, kPrompt), 7u);
  // In and out are as they were afterwards.
  const std::string status = "Play: 0.00   Rec: 0.17   Stop: 0.85   Mem: 0.00\n";
  EXPECT_GT(result.out.rfind(status), result.out.rfind(kPrompt));
  EXPECT_EQ(project.files(), withListFiles({"p1.wav", "p2.wav"}));

  // Start and stop offsets per choice; 9 keeps the last ones.
  const std::int64_t offsets[][2] = {{0, 0},
                                     {0, 3 * kQuarter},
                                     {kQuarter, 2 * kQuarter},
                                     {2 * kQuarter, kQuarter},
                                     {3 * kQuarter, 0},
                                     {3 * kQuarter, 0}};
  const Samples take = ramp(kBaseTwo, kTo - kFrom);
  const std::string raw = project.playback();
  std::size_t at = 0;
  for (const auto& offset : offsets) {
    const Samples left = auditionOutput(0, play, take, kFrom, kFrom + offset[0], kTo - offset[1]);
    const Samples right = auditionOutput(1, play, take, kFrom, kFrom + offset[0], kTo - offset[1]);
    const std::size_t bytes = left.size() * 6;
    ASSERT_LE(at + bytes, raw.size()) << offset[0];
    const std::string pass = raw.substr(at, bytes);
    EXPECT_TRUE(same(channelOf(pass, 2, 0), left)) << offset[0];
    EXPECT_TRUE(same(channelOf(pass, 2, 1), right)) << offset[0];
    at += bytes;
  }
  EXPECT_EQ(at, raw.size());
}

// A wave file whose data chunk is called something else.
std::string withoutDataChunk(const Samples& samples) {
  std::string bytes = wavFile(samples);
  bytes.replace(36, 4, "junk");
  return bytes;
}

TEST(TakeMenuFaults, DestinationWithoutDataChunkEndsTheProgramAndKeepsTheTake) {
  for (const std::string xfade : {"0", "10"}) {
    ProjectFixture project;
    setUp(project, kPunch, kOut, "vox.wav\n-\n", "xfade\t" + xfade + "\n");
    const std::string broken = withoutDataChunk(staircase(30000));
    project.writeFile("vox.wav", broken);
    const RunResult result = project.run("R ins x");
    EXPECT_EQ(result.exitStatus, 2) << xfade;
    EXPECT_NE(result.out.find("Can't find data block in wave file!\n"), std::string::npos);
    const std::string take = takeFile(project, 1, kPunch);
    ASSERT_FALSE(take.empty()) << xfade;
    EXPECT_EQ(project.files(), withListFiles({take, "vox.wav"}));
    EXPECT_TRUE(holds(project, take, ramp(kBaseOne, kTake))) << xfade;
    EXPECT_TRUE(same(project.readFile("vox.wav"), broken));
  }
}

TEST(TakeMenuFaults, FullDiskLeavesOriginalsAndKeepsTheTakes) {
  // 'ins' into a destination it has to lengthen: its new copy cannot grow
  // past the limit. With crossfades the fades are made, but the take is
  // still kept as recorded.
  for (const std::string xfade : {"0", "10"}) {
    ProjectFixture insert;
    setUp(insert, kPunch, kOut, "vox.wav\n-\n", "xfade\t" + xfade + "\n");
    const std::string old = wavFile(staircase(10000, -100, -1));
    insert.writeFile("vox.wav", old);
    insert.setFileSizeLimit(old.size() + 300);
    const RunResult result = insert.run("R ins x");
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    const std::string take = takeFile(insert, 1, kPunch);
    ASSERT_FALSE(take.empty()) << xfade;
    EXPECT_EQ(insert.files(), withListFiles({take, "vox.wav"})) << xfade;
    EXPECT_TRUE(same(insert.readFile("vox.wav"), old)) << xfade;
    EXPECT_TRUE(holds(insert, take, ramp(kBaseOne, kTake))) << xfade;
    EXPECT_NE(result.out.find("vox.wav: File too large"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("The take file " + take + " was kept.\n"), std::string::npos);
  }

  // 'pad': neither padded copy fits; both takes stay as recorded.
  ProjectFixture pad;
  setUp(pad, kPunch, kOut, "vox.wav\nbass.wav\n");
  pad.setFileSizeLimit(44 + 3 * kTake + 300);
  const RunResult result = pad.run("R pad x");
  ASSERT_EQ(result.exitStatus, 0) << result.out;
  const std::string one = takeFile(pad, 1, kPunch);
  const std::string two = takeFile(pad, 2, kPunch);
  ASSERT_FALSE(one.empty());
  ASSERT_FALSE(two.empty());
  EXPECT_EQ(pad.files(), withListFiles({one, two}));
  EXPECT_TRUE(holds(pad, one, ramp(kBaseOne, kTake)));
  EXPECT_TRUE(holds(pad, two, ramp(kBaseTwo, kTake)));
  EXPECT_EQ(count(result.out, "File too large"), 2u) << result.out;
  EXPECT_NE(
      result.out.find("The take file " + one + " was kept.\nThe take file " + two + " was kept.\n"),
      std::string::npos)
      << result.out;
}

struct BlockedCase {
  std::string commands;
  std::string blocked;  // the name a directory, FIFO or link loop takes
  bool padded;          // the take was padded before its rename failed
  std::filesystem::file_type kind = std::filesystem::file_type::directory;
};

TEST(TakeMenuFaults, DestinationThatCannotBeWrittenKeepsTheTake) {
  using Kind = std::filesystem::file_type;
  // A destination that is there but cannot be opened (a FIFO would block
  // the open) is never taken for a missing one and replaced.
  for (const BlockedCase& c :
       {BlockedCase{"ins", "vox.wav", false}, BlockedCase{"rep w", "vox.wav", true},
        BlockedCase{"awp gtr o", "vox_gtr.wav", true},
        BlockedCase{"ins", "vox.wav", false, Kind::fifo},
        BlockedCase{"ins", "vox.wav", false, Kind::symlink},
        BlockedCase{"cin", "vox.wav", false, Kind::symlink}}) {
    ProjectFixture project;
    setUp(project, kPunch, kOut, "vox.wav\n-\n");
    if (c.kind == Kind::directory) std::filesystem::create_directory(project.dir() / c.blocked);
    if (c.kind == Kind::fifo) project.makeFifo(c.blocked);
    if (c.kind == Kind::symlink) project.makeLinkLoop(c.blocked);
    const RunResult result = project.run("R " + c.commands + " x", std::chrono::seconds(10));
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    const std::string take = takeFile(project, 1, kPunch);
    ASSERT_FALSE(take.empty()) << c.commands;
    EXPECT_EQ(project.files(), withListFiles({take})) << c.commands;
    EXPECT_EQ(std::filesystem::symlink_status(project.dir() / c.blocked).type(), c.kind);
    EXPECT_EQ(result.out.find("does not exist"), std::string::npos) << result.out;
    // The failure names the destination; the kept take is named, and one
    // that was padded on the way says so (its name still has the punch).
    EXPECT_NE(result.out.find(c.blocked), std::string::npos) << result.out;
    const std::string kept = "The take file " + take + " was kept.\n";
    const std::string note =
        "It now begins with 6144 samples of silence, so that it starts at time 0.\n";
    EXPECT_NE(result.out.find(c.padded ? kept + note : kept + "Play:"), std::string::npos)
        << c.commands << result.out;
    EXPECT_TRUE(holds(project, take,
                      c.padded ? silence(kPunch) + ramp(kBaseOne, kTake) : ramp(kBaseOne, kTake)))
        << c.commands;
  }
}

}  // namespace
}  // namespace varnow::testing
