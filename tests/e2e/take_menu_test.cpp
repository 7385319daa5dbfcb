// The take menu, every file of the project read back byte for byte.
#include <ctime>
#include <filesystem>
#include <regex>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

constexpr std::int32_t kBaseOne = 1000000, kBaseTwo = 2000000;
// Punch and out on the period grid: takes of 9216 samples from 6144.
constexpr std::size_t kPunch = 6144, kOut = 15360, kTake = kOut - kPunch;
const Samples kTakeOne = staircase(kTake, kBaseOne), kTakeTwo = staircase(kTake, kBaseTwo);
const std::string kPrompt = "Recording finished.  Enter a take handling command.\n";
const std::string kFileCheck =
    "Enter 'w' to overwrite\nEnter 'W' to overwrite and don't ask again.\n"
    "Enter 'r' to return to previous menu.\n";
const std::string kConflict =
    "\n'o' to overwrite one file\n'O' (shift-o) to overwrite all conflicts,\n"
    "'n' to try a new append name\n";

// Two inputs (channel c of frame i holds base[c] + i) recorded without clock
// or meter, one-line prompts unless asked.
struct TakeProject : ProjectFixture {
  TakeProject(std::size_t punch, std::size_t out, const std::string& recordList,
              const std::string& settings = "")
      : ProjectFixture((settings.starts_with("int") ? "" : "int\t0\n") +
                           ("clock\thc\nmeter\t0\ne\t" + std::to_string(punch) + "\no\t" +
                            std::to_string(out) + "\n" + settings),
                       "", recordList) {
    writeCapture(rampCapture(60000, {kBaseOne, kBaseTwo}));
  }
  std::string take(int channel, std::size_t punch = kPunch) const {
    return stamped("audio_ch_" + std::to_string(channel) + "_",
                   punch == 0 ? ".wav" : "_stp_" + std::to_string(punch) + ".wav");
  }
  // The project's files are the list files, `others` and these wave files.
  void expectFiles(const std::vector<std::pair<std::string, Samples>>& waves,
                   Names others = {}) const {
    for (const auto& [name, samples] : waves) {
      EXPECT_TRUE(holds(name, samples)) << name;
      others.push_back(name);
    }
    EXPECT_EQ(files(), withListFiles(others));
  }
};

// Seconds since 2012-10-10 16:09:00 UTC, the stamp of automatic take names.
std::int64_t stampNow() {
  return static_cast<std::int64_t>(std::time(nullptr)) - 1349885340;
}

TEST(TakeMenu, MenuTextUnknownWordsAndDelete) {
  TakeProject p(kPunch, kOut, "vox.wav\nbass.wav\n", "int\t1\n");
  const std::string menu =
      "\n" + kPrompt +
      "\nCurrent take files:\n\t'aud' to audition current take\n"
      "\t'del' to delete current take\n\nChange files in record.txt (permanently):\n"
      "\t'rep' to replace files in record.txt with current take\n"
      "\t'ins' to insert new take into record.txt files\n"
      "\t'cin' to make a backup copy before inserting\n\n"
      "Make new files using record.txt names as base:\n"
      "\t'awp' to append base name, with padding (audio in sync)\n"
      "\t'aws' to append base name, with time stamp\n"
      "\t'app' to append base name, no padding or time stamp\n\nMake file names automatically:\n"
      "\t'pad' to save as padded files (audio in sync)\n\t'stp' to save with time stamp\n\n";
  const std::string shown = p.console("R xyz Del del x");
  EXPECT_TRUE(has(shown, menu + menu + menu));
  EXPECT_EQ(count(shown, menu), 3u);
  p.expectFiles({});
  TakeProject minimal(0, kTake, "vox.wav\n-\n");
  EXPECT_EQ(count(minimal.console("R xyz del x"), kPrompt + kPrompt), 1u);
  minimal.expectFiles({});
}

TEST(TakeMenu, ReplaceAsksBeforeWholeFilesAreReplaced) {
  // No destination yet: the take becomes the listed file.
  TakeProject fresh(0, kTake, "vox.wav\n-\nbass.wav\n");
  EXPECT_FALSE(has(fresh.console("R rep x"), "exists!"));
  fresh.expectFiles({{"vox.wav", kTakeOne}});

  // The safety switch answered n: nothing changes; y, then 'w': replaced.
  TakeProject p(kPunch, kOut, "vox.wav\n-\n", "safe\t1\n");
  const std::string old = wavFile(staircase(20000, -5, -1));
  p.writeFile("vox.wav", old);
  const std::string safety =
      "The file safety switch is on.\n"
      "Do you really want to replace a whole file rather than insert? (y,n)\n";
  EXPECT_TRUE(has(p.console("R rep n stp x"), kPrompt + safety + kPrompt));
  p.expectFiles({{p.take(1), kTakeOne}}, {"vox.wav"});
  EXPECT_EQ(p.readFile("vox.wav"), old);
  p.remove(p.take(1));
  EXPECT_TRUE(has(p.console("R rep y w x"),
                  safety + "-------------------------\n1 file exists!\n" + kFileCheck));
  p.expectFiles({{"vox.wav", silence(kPunch) + kTakeOne}});

  // 'r' returns to the menu; after 'W' no later 'rep' asks. The second take
  // continues the capture after the first pass's 12288 frames.
  TakeProject two(0, 8192, "a.wav\nb.wav\n");
  two.writeFile("a.wav", old);
  two.writeFile("b.wav", old);
  const std::string shown = two.console("R rep what r rep W R rep x");
  const std::string asked = "-------------------------\n2 files exists!\n" + kFileCheck;
  EXPECT_TRUE(has(shown, asked + kFileCheck + kPrompt + asked));
  EXPECT_EQ(count(shown, "files exists!"), 2u);
  two.expectFiles(
      {{"a.wav", staircase(8192, kBaseOne + 12288)}, {"b.wav", staircase(8192, kBaseTwo + 12288)}});
}

TEST(TakeMenu, InsertOverwritesExactlyTheTakeFromThePunchPoint) {
  // A missing destination is the padded take. 'cin' first copies the
  // destination to a backup with the take's stamp (4097 bytes: one past a piece).
  for (const auto& [command, length] :
       {std::pair{"ins", std::size_t{30000}}, std::pair{"cin", std::size_t{1351}}}) {
    TakeProject p(kPunch, kOut, "vox.wav\nnew.wav\n");
    const Samples old = staircase(length, -100, -1);
    p.writeWave("vox.wav", old);
    const std::int64_t before = stampNow();
    const std::string shown = p.console("R " + std::string(command) + " x");
    std::vector<std::pair<std::string, Samples>> files = {
        {"vox.wav", punchedIn(old, kTakeOne, kPunch)}, {"new.wav", silence(kPunch) + kTakeTwo}};
    if (command == std::string("cin")) {
      const std::string backup = p.stamped("vox_bkup_", ".wav");
      ASSERT_FALSE(backup.empty());
      EXPECT_GE(std::stoll(backup.substr(9)), before);
      EXPECT_LE(std::stoll(backup.substr(9)), stampNow());
      EXPECT_TRUE(has(shown, "Copied vox.wav to " + backup + "\nFile new.wav does not exist\n"));
      files.emplace_back(backup, old);
    }
    p.expectFiles(files);
  }

  // cf 1e9 is bounded to 10 s, and the fades to the take (the size limit
  // would stop a 10 s fade): the tail fade, written last, covers it all.
  TakeProject p(kPunch, kOut, "vox.wav\n-\n");
  const Samples old = staircase(30000, -100, -1);
  p.writeWave("vox.wav", old);
  p.setFileSizeLimit(200000);
  EXPECT_TRUE(has(p.console("cf 1e9 R ins x"),
                  "The crossfade has been set to 10000.0 milliseconds, the maximum.\n"));
  p.expectFiles({{"vox.wav", inserted(old, kTakeOne, kPunch, 480000)}});
}

TEST(TakeMenu, APunchInIntoAFileOfAnotherShapeIsRefusedBeforeAnythingIsWritten) {
  // 16-bit mono, 24-bit stereo, 24-bit mono at another rate: each is named,
  // nothing is written (no backup either), and the menu asks again.
  const std::string samples16 = le(0x1234, 2) + le(0x4321, 2) + le(0x7FFF, 2);
  const std::tuple<std::string, std::string> shapes[] = {
      {riff(formatChunk(1, 48000, 16) + "data" + le(samples16.size(), 4) + samples16),
       "16-bit mono file at 48000 Hz"},
      {wavFile(staircase(2000, -9), 48000, 2), "24-bit stereo file at 48000 Hz"},
      {wavFile(staircase(20000, -9), 44100), "24-bit mono file at 44100 Hz"}};
  for (const char* command : {"ins", "cin"}) {
    for (const auto& [bytes, shape] : shapes) {
      SCOPED_TRACE(std::string(command) + " " + shape);
      TakeProject p(kPunch, kOut, "vox.wav\nbass.wav\n", "xfade\t10\n");
      p.writeFile("vox.wav", bytes);
      p.writeWave("bass.wav", staircase(20000, 5));
      const std::string shown = p.console("R " + std::string(command) + " stp x");
      EXPECT_TRUE(has(shown, kPrompt + "Cannot insert into vox.wav: it is a " + shape +
                                 ", the take is 24-bit mono at 48000 Hz.\n" + kPrompt));
      EXPECT_EQ(p.readFile("vox.wav"), bytes);
      p.expectFiles(
          {{"bass.wav", staircase(20000, 5)}, {p.take(1), kTakeOne}, {p.take(2), kTakeTwo}},
          {"vox.wav"});
    }
  }
  // A file of the take's shape is punched into as before.
  TakeProject fits(kPunch, kOut, "vox.wav\n-\n");
  fits.writeWave("vox.wav", staircase(20000, -9));
  EXPECT_FALSE(has(fits.console("R ins x"), "Cannot insert"));
  fits.expectFiles({{"vox.wav", punchedIn(staircase(20000, -9), kTakeOne, kPunch)}});
}

TEST(TakeMenu, AppendNamesFromTheRecordList) {
  // aws: the punch point in full beyond 32 bits; the take is not padded.
  constexpr std::size_t kFar = 2400000000;
  TakeProject stamped(kFar, kFar + kTake, "guitar.wav\n-\n");
  const std::string far = "guitar_gtr_stp_2400000000.wav";
  const std::string shown = stamped.console("R aws gtr x");
  EXPECT_TRUE(has(shown, kPrompt + "Enter characters to append with.\naudio_ch_1_"));
  EXPECT_TRUE(has(shown, "_stp_2400000000.wav -> " + far + "\n"));
  stamped.expectFiles({{far, kTakeOne}});

  // awp pads only once the name is settled: input that ends at the name
  // question leaves the take as recorded.
  constexpr std::size_t kLate = 48128;
  TakeProject padded(kLate, kLate + kTake, "guitar.wav\n-\n");
  padded.console("R awp gtr x");
  padded.expectFiles({{"guitar_gtr.wav", silence(kLate) + kTakeOne}});
  EXPECT_TRUE(has(padded.console("R awp gtr"), "\nFile guitar_gtr.wav exists!\n" + kConflict));
  EXPECT_TRUE(padded.holds(padded.take(1, kLate), kTakeOne));

  // A wrong answer repeats the choices; 'n' asks for a text the next channel
  // keeps; 'o' overwrites one file, 'O' every conflict after one question.
  TakeProject p(0, kTake, "guitar.song.wav\nbass.wav\n");
  p.writeFile("guitar_gtr.wav", "old guitar");
  p.writeFile("bass_v2.wav", "old bass");
  const std::string conflicts = p.console("R app gtr q n v2 o x");
  EXPECT_TRUE(has(conflicts, "Enter characters to append with.\n\nFile guitar_gtr.wav exists!\n" +
                                 kConflict + kConflict + "Enter new append name\n"));
  EXPECT_TRUE(has(conflicts,
                  " -> guitar_v2.wav\n\nFile bass_v2.wav exists!\n" + kConflict + "audio_ch_2_"));
  p.expectFiles({{"guitar_v2.wav", kTakeOne}, {"bass_v2.wav", kTakeTwo}}, {"guitar_gtr.wav"});
  EXPECT_EQ(p.readFile("guitar_gtr.wav"), "old guitar");
  p.writeFile("guitar_v2.wav", "old guitar");
  EXPECT_EQ(count(p.console("R app v2 O x"), "exists!"), 1u);
  p.expectFiles({{"guitar_v2.wav", kTakeOne}, {"bass_v2.wav", kTakeTwo}}, {"guitar_gtr.wav"});
}

TEST(TakeMenu, PadAndStampNeverReplaceAFile) {
  // Input 1 finds every name an earlier take of the same second could have
  // left: it gets the smallest free suffix.
  const std::tuple<std::size_t, std::string, std::string> cases[] = {
      {kPunch, "stp", "_stp_6144"}, {0, "stp", "_stp_0"}, {kPunch, "pad", ""}};
  for (const auto& [punch, command, suffix] : cases) {
    TakeProject p(punch, punch + kTake, "vox.wav\nbass.wav\n");
    Names kept;
    for (std::int64_t stamp = stampNow() - 2; stamp < stampNow() + 30; ++stamp) {
      kept.push_back("audio_ch_1_" + std::to_string(stamp) + suffix + ".wav");
      p.writeFile(kept.back(), "an earlier take");
    }
    p.console("R " + command + " x");
    const Samples padding = silence(command == "pad" ? punch : 0);
    p.expectFiles({{p.stamped("audio_ch_1_", suffix + "-2.wav"), padding + kTakeOne},
                   {p.stamped("audio_ch_2_", suffix + ".wav"), padding + kTakeTwo}},
                  kept);
    for (const std::string& name : kept)
      EXPECT_EQ(p.readFile(name), "an earlier take");
  }
}

TEST(TakeMenu, EndOfInputAtATakeNameQuestionLeavesNoTakeFile) {
  // The input ends at input 2's name question: no take file is left
  // claiming samples it never got.
  TakeProject p(0, kTake, "vox.wav\nbass.wav\n");
  p.writeFile("bass_t.wav", "an earlier take");
  EXPECT_TRUE(has(p.console("R_t"), "The file named bass_t.wav already exists!\n"));
  p.expectFiles({}, {"bass_t.wav"});
  EXPECT_EQ(p.readFile("bass_t.wav"), "an earlier take");

  // 'w' over a FIFO: refused, not opened; input 1 records alone.
  p.remove("bass_t.wav");
  p.makeFifo("bass_t.wav");
  EXPECT_TRUE(
      has(p.console("R_t w x"), "Could not create bass_t.wav: it is not a regular file.\n"));
  EXPECT_TRUE(p.holds("vox_t.wav", kTakeOne));
  EXPECT_TRUE(std::filesystem::is_fifo(p.dir() / "bass_t.wav"));
}

TEST(TakeMenu, AuditionPlaysEachQuarterWithItsClockAndTheMenuComesBack) {
  // Track 2 plays the take in place of its file. A first answer that is no
  // quarter plays the whole take, a later one the last.
  constexpr std::int64_t kFrom = 8192, kTo = 40960, kQuarter = (kTo - kFrom) / 4;
  TakeProject p(kFrom, kTo, "-\nvox.wav\n");
  const Samples play = staircase(60000, -1, -1);
  const Samples take = staircase(kTo - kFrom, kBaseTwo);
  p.writeWave("p1.wav", play);
  p.writeWave("p2.wav", staircase(60000, 5000000));
  p.writeFile("play.txt", "p1.wav\np2.wav\n");
  const std::string shown = p.console("R aud 7 aud 1 aud 0 aud 2 aud 3 aud 4 aud 9 del x");
  const std::string choices =
      "0 = hear whole take   1 = 1st 1/4   2 = 2nd 1/4   3 = 3rd 1/4   4 = 4th 1/4\n";
  EXPECT_EQ(count(shown, kPrompt + choices + "Playing...\nAuditioning...\n"), 7u);
  EXPECT_EQ(count(shown, kPrompt), 8u);
  EXPECT_GT(shown.rfind("Play: 0.00   Rec: 0.17   Stop: 0.85   Mem: 0.00\n"), shown.rfind(kPrompt));
  p.expectFiles({}, {"p1.wav", "p2.wav"});

  // Each audition plays as a pass would, quarters counted from the take's
  // start and back from its end.
  const std::int64_t quarters[][2] = {{0, 0}, {0, 3}, {0, 0}, {1, 2}, {2, 1}, {3, 0}, {3, 0}};
  const std::string raw = p.playback();
  std::size_t at = 0;
  for (const auto& [start, stop] : quarters) {
    const std::int64_t from = kFrom + start * kQuarter, to = kTo - stop * kQuarter;
    const Samples left = playedFrom(play, from, to);
    const std::string pass = raw.substr(at, left.size() * 6);
    EXPECT_TRUE(same(channelOf(pass, 2, 0), left)) << start;
    EXPECT_TRUE(same(channelOf(pass, 2, 1), playedFrom(silence(kFrom) + take, from, to))) << start;
    at += left.size() * 6;
  }
  EXPECT_EQ(at, raw.size());

  // The streamed clock in both time modes, every 1000 frames; quarters of 49152
  // frames from 49152. Measure.beat reads as seconds at 4 beats of 0.5 s.
  const double interval = 1000.0 / 48000, slack = 0.01;  // two "%.2f" roundings
  const std::regex shownValue("(playback start|playback stop |clock|measure.beat) = ([0-9.]+)");
  for (const std::string mode : {"0", "1"}) {
    TakeProject clocked(49152, 245760, "vox.wav\n-\n", "int\t1\nclock\tsc\ntmode\t" + mode + "\n");
    clocked.writeCapture(rampCapture(260000, {kBaseOne, kBaseTwo}));
    const std::string clocks = clocked.console("R aud 0 aud 1 aud 2 aud 3 aud 4 del x");
    std::vector<std::vector<double>> passes;  // start, stop, then the clock
    for (std::sregex_iterator m(clocks.begin(), clocks.end(), shownValue), end; m != end; ++m) {
      const std::string text = (*m)[2];
      const std::size_t dot = text.find('.');
      const double seconds =
          text.find('.', dot + 1) == std::string::npos
              ? std::stod(text)
              : ((std::stoi(text) - 1) * 4 + std::stod(text.substr(dot + 1)) - 1) / 2;
      if ((*m)[1] == "playback start") passes.emplace_back();
      if (!passes.empty()) passes.back().push_back(seconds);
    }
    ASSERT_EQ(passes.size(), 5u);
    for (const std::vector<double>& pass : passes) {
      ASSERT_GT(pass.size(), 3u);
      EXPECT_NEAR(pass[2], pass[0] + interval, interval + slack) << mode;
      EXPECT_NEAR(pass.back(), pass[1] - interval / 2, interval / 2 + slack) << mode;
    }
  }
}

TEST(TakeMenuFaults, ADestinationThatFailsKeepsTheTakeAndTheOriginal) {
  // No data chunk ends the program (status 2); a full disk leaves it as it
  // was; one that cannot be opened is never taken for a missing one.
  using Kind = std::filesystem::file_type;
  std::string broken = wavFile(staircase(30000));
  broken.replace(36, 4, "junk");
  const std::string old = wavFile(staircase(10000, -100, -1));
  const std::string noData = "Can't find data block in wave file!\n", full = "File too large";
  // Commands, the destination, its kind; whether the take was padded before
  // its rename failed; the fade; a regular destination's bytes; what is said.
  const std::tuple<std::string, std::string, Kind, bool, std::string, std::string, std::string>
      cases[] = {{"ins", "vox.wav", Kind::regular, false, "0", broken, noData},
                 {"ins", "vox.wav", Kind::regular, false, "10", broken, noData},
                 {"ins", "vox.wav", Kind::regular, false, "0", old, "vox.wav: " + full},
                 {"ins", "vox.wav", Kind::regular, false, "10", old, "vox.wav: " + full},
                 {"ins", "vox.wav", Kind::directory, false, "", "", "vox.wav"},
                 {"rep w", "vox.wav", Kind::directory, true, "", "", "vox.wav"},
                 {"awp gtr o", "vox_gtr.wav", Kind::directory, true, "", "", "vox_gtr.wav"},
                 {"ins", "vox.wav", Kind::fifo, false, "", "", "vox.wav"},
                 {"ins", "vox.wav", Kind::symlink, false, "", "", "vox.wav"},
                 {"cin", "vox.wav", Kind::symlink, false, "", "", "vox.wav"}};
  for (const auto& [commands, blocked, kind, padded, xfade, bytes, said] : cases) {
    SCOPED_TRACE(commands + " " + said + " " + xfade);
    TakeProject p(kPunch, kOut, "vox.wav\n-\n", xfade.empty() ? "" : "xfade\t" + xfade + "\n");
    if (kind == Kind::directory) std::filesystem::create_directory(p.dir() / blocked);
    if (kind == Kind::fifo) p.makeFifo(blocked);
    if (kind == Kind::symlink) p.makeLinkLoop(blocked);
    if (kind == Kind::regular) p.writeFile(blocked, bytes);
    p.setFileSizeLimit(bytes == old ? old.size() + 300 : 0);
    const RunResult result = p.run("R " + commands + " x");
    const std::string take = p.take(1);
    EXPECT_EQ(result.exitStatus, bytes == broken ? 2 : 0);
    p.expectFiles({{take, padded ? silence(kPunch) + kTakeOne : kTakeOne}},
                  kind == Kind::regular ? Names{blocked} : Names{});
    EXPECT_EQ(std::filesystem::symlink_status(p.dir() / blocked).type(), kind);
    EXPECT_EQ(kind == Kind::regular ? p.readFile(blocked) : bytes, bytes);
    EXPECT_FALSE(has(result.out, "does not exist"));
    EXPECT_TRUE(has(result.out, said));
    const std::string note =
        padded ? "It now begins with 6144 samples of silence, so that it starts at time 0.\n"
               : "Play:";
    EXPECT_TRUE(bytes == broken ||
                has(result.out, "The take file " + take + " was kept.\n" + note));
  }
}

}  // namespace
}  // namespace varnow::testing
