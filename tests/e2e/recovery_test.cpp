// What a crash or a failing disk leaves of a take decision, and what the
// next start, the next use of a track and 'undo' make of it: only the files
// the decision left are ever touched, a file the user put in their place
// since is named and kept, and no recorded sample ends up in no file.
#include <filesystem>
#include <functional>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

constexpr std::size_t kPunch = 6144;
constexpr std::size_t kTake = 9216;
constexpr std::int32_t kBaseOne = 1000000;
constexpr std::int32_t kBaseTwo = 2000000;
const std::string kOld = wavFile(staircase(40000, -100, -1));
const std::string kBassOld = wavFile(staircase(30000, -5000, -1));
const std::string kMine = wavFile(staircase(700, 77));
const std::string kRecord = "*/.varnow-undo/record";

// Inputs record vox.wav (there) and, with two inputs, bass.wav (there when
// `bassToo`), from kPunch.
struct RecoveryProject : ProjectFixture {
  explicit RecoveryProject(int inputs = 2, bool withBass = false)
      : ProjectFixture("int\t0\nclock\thc\nmeter\t0\ne\t" + std::to_string(kPunch) + "\no\t" +
                           std::to_string(kPunch + kTake) + "\n",
                       "", inputs == 2 ? "vox.wav\nbass.wav\n" : "vox.wav\n-\n"),
        inputCount(inputs),
        bassToo(withBass) {
    writeCapture(rampCapture(60000, {kBaseOne, kBaseTwo}));
    writeFile("vox.wav", kOld);
    if (withBass) writeFile("bass.wav", kBassOld);
  }
  // The name of input `channel`'s take, wherever the decision has put it
  // (in the undo store its name follows the store's own prefix).
  std::string take(int channel) const {
    const std::string prefix = "audio_ch_" + std::to_string(channel) + "_";
    if (std::string name = stamped(prefix, "_stp_6144.wav"); !name.empty()) return name;
    std::error_code none;
    for (const auto& entry : std::filesystem::directory_iterator(dir() / ".varnow-undo", none)) {
      const std::string name = entry.path().filename().string();
      const std::size_t at = name.find(prefix);
      if (at != std::string::npos && name.ends_with("_stp_6144.wav")) return name.substr(at);
    }
    return "";
  }
  // The lines the fault injector logged for `rules` (each "...:1+:log") in
  // a run of `input`.
  std::vector<std::string> rehearse(const std::string& input, const std::string& rules) {
    injectFaults(rules);
    run(input);
    injectFaults("");
    return firedFaultLines();
  }
  // The number of the record write that follows the last rename from a
  // file whose path holds `from`, in a run of `input` (that rehearsal is
  // undone again by the caller's fresh project).
  long markAfterRename(const std::string& input, const std::string& from) {
    const std::vector<std::string> lines =
        rehearse(input, "rename:*:1+:log;pwrite:" + kRecord + ":1+:log");
    std::size_t last = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].starts_with("rename ") && lines[i].find(from) != std::string::npos) last = i;
    }
    for (std::size_t i = last; i < lines.size(); ++i) {
      if (lines[i].starts_with("pwrite ")) {
        return std::stol(lines[i].substr(lines[i].find('#') + 1));
      }
    }
    ADD_FAILURE() << "no record write after a rename from " << from;
    return 0;
  }
  // Kills `input` at the record write that marks the rename from `from`.
  void killAtMarkAfterRename(const std::string& input, const std::string& from) {
    RecoveryProject rehearsal(inputCount, bassToo);
    const long mark = rehearsal.markAfterRename(input, from);
    injectFaults("pwrite:" + kRecord + ":" + std::to_string(mark) + ":kill");
    EXPECT_EQ(run(input).exitStatus, -1);
    EXPECT_NE(firedFaults(), "");
    injectFaults("");
  }
  int inputCount;
  bool bassToo;
};

// One take, recorded as it came in, is in `name`.
::testing::AssertionResult holdsTake(const RecoveryProject& p, const std::string& name,
                                     std::int32_t base) {
  return p.holds(name, staircase(kTake, base));
}

TEST(Recovery, AFileTheUserPutUnderADecisionsNameAfterACrashIsKeptAndNamed) {
  // Killed just after the take (or the backup) reached the name; the user
  // then puts a recording of their own there. The next start keeps it, says
  // so, and keeps everything the decision moved away under a name it says.
  struct Case {
    std::string commands, from, name;
  };
  for (const Case& c :
       {Case{"R rep w x", "audio_ch_1_", "vox.wav"}, Case{"R cin x", "temp_data.wav", "BACKUP"},
        Case{"R awp gtr o x", "audio_ch_1_", "vox_gtr.wav"},
        Case{"R pad x", "audio_ch_1_", "UNSTAMPED"}}) {
    SCOPED_TRACE(c.commands);
    RecoveryProject p;
    p.killAtMarkAfterRename(c.commands, c.from);
    const std::string takeOne = p.take(1);
    ASSERT_NE(takeOne, "");
    std::string name = c.name;
    if (name == "BACKUP") name = p.stamped("vox_bkup_", ".wav");
    if (name == "UNSTAMPED") name = p.stamped("audio_ch_1_", ".wav");
    ASSERT_NE(name, "");
    ASSERT_TRUE(p.exists(name));
    p.writeFile(name, kMine);

    const std::string shown = p.run("x").out;
    const std::string command = c.commands.substr(2, 3);
    EXPECT_TRUE(has(shown, "The take decision '" + command +
                               "' did not finish; it was taken back as far as its files "
                               "allowed.\n"));
    EXPECT_TRUE(
        has(shown, name + " is not the file '" + command + "' left there; it was left alone.\n"));
    EXPECT_TRUE(p.readFile(name) == kMine);
    // The take as recorded is back under its name, the old vox.wav kept.
    EXPECT_TRUE(holdsTake(p, takeOne, kBaseOne));
    if (c.name == "vox.wav") {
      EXPECT_TRUE(has(shown,
                      "Could not restore vox.wav: another file stands under that name. The file "
                      "it held before 'rep' is now vox-2.wav.\n"));
      EXPECT_TRUE(p.readFile("vox-2.wav") == kOld);
    } else {
      EXPECT_TRUE(p.readFile("vox.wav") == kOld);
    }
    EXPECT_FALSE(has(shown, "Restored " + name));
    // Settled: the next start says nothing, and vox.wav is used again.
    EXPECT_FALSE(has(p.run("x").out, "did not finish"));
  }
}

TEST(Recovery, ATakeGivenBackByUndoAfterARestartIsDecidedAnewAsRecorded) {
  // The record brings the take back whole: its channels, its punch point,
  // its length and its names; the same decision then leaves the same files.
  for (const std::string commands : {"ins", "awp gtr", "cin"}) {
    SCOPED_TRACE(commands);
    RecoveryProject p;
    p.console("R " + commands + " x");
    const std::string vox = p.readFile("vox.wav");
    const std::vector<std::string> decided = p.files();
    EXPECT_TRUE(has(p.console("undo " + commands + " x"), "Recording finished."));
    EXPECT_TRUE(p.readFile("vox.wav") == vox);
    EXPECT_EQ(p.files(), decided);
  }
}

TEST(Recovery, AnUndoCutShortIsCompletedAroundAFileTheUserPutThere) {
  // 'undo' of 'rep' killed as it puts the old vox.wav back; the user then
  // records something of their own as vox.wav.
  RecoveryProject p;
  p.console("R rep w x");
  p.injectFaults("rename:*/.varnow-undo/*.vox.wav:1:kill");
  EXPECT_EQ(p.run("undo").exitStatus, -1);
  p.injectFaults("");
  EXPECT_FALSE(p.exists("vox.wav"));
  p.writeFile("vox.wav", kMine);
  const std::string shown = p.run("x").out;
  EXPECT_TRUE(has(shown,
                  "The undo of 'rep' did not finish; it was completed as far as its files "
                  "allowed.\n"));
  EXPECT_TRUE(has(shown,
                  "\nCould not restore vox.wav: another file stands under that name. The file it "
                  "held before 'rep' is now vox-2.wav.\n"));
  EXPECT_TRUE(p.readFile("vox.wav") == kMine);
  EXPECT_TRUE(p.readFile("vox-2.wav") == kOld);
  EXPECT_TRUE(holdsTake(p, p.take(1), kBaseOne));
  EXPECT_TRUE(holdsTake(p, p.take(2), kBaseTwo));
}

TEST(Recovery, AnInsertJournalCutShortByACrashIsSettledAtTheNextStart) {
  // One input, killed while the journal is written: the destination was not
  // touched, so the torn journal goes and the decision is taken back.
  for (const std::string command : {"ins", "cin"}) {
    SCOPED_TRACE(command);
    RecoveryProject p(1);
    p.injectFaults("fwrite:*/.vox.wav.varnow-journal:2:kill");
    EXPECT_EQ(p.run("R " + command + " x").exitStatus, -1);
    EXPECT_NE(p.firedFaults(), "");
    p.injectFaults("");
    const std::string take = p.take(1);
    const std::string shown = p.run("x").out;
    EXPECT_TRUE(
        has(shown, "The take decision '" + command + "' did not finish; it was taken back.\n"));
    EXPECT_FALSE(has(shown, "checksum"));
    EXPECT_TRUE(p.readFile("vox.wav") == kOld);
    EXPECT_FALSE(p.exists(".vox.wav.varnow-journal"));
    EXPECT_TRUE(holdsTake(p, take, kBaseOne));
    EXPECT_EQ(p.stamped("vox_bkup_", ".wav"), "");  // cin's backup is removed
    EXPECT_EQ(p.run("x").out.find("did not finish"), std::string::npos);
    // vox.wav is used again.
    EXPECT_FALSE(has(p.console("R ins x"), "was not used"));
  }

  // Two destinations, killed while the second journal is written: the first
  // punch-in is taken back too, and the next decision loses nothing.
  RecoveryProject p(2, true);
  p.injectFaults("fwrite:*/.bass.wav.varnow-journal:2:kill");
  EXPECT_EQ(p.run("R ins x").exitStatus, -1);
  p.injectFaults("");
  const std::string one = p.take(1), two = p.take(2);
  EXPECT_TRUE(p.readFile("vox.wav") != kOld);
  const std::string shown = p.run("R del x").out;
  EXPECT_TRUE(has(shown, "The take decision 'ins' did not finish; it was taken back.\n"));
  EXPECT_TRUE(p.readFile("vox.wav") == kOld);
  EXPECT_TRUE(p.readFile("bass.wav") == kBassOld);
  EXPECT_TRUE(holdsTake(p, one, kBaseOne));
  EXPECT_TRUE(holdsTake(p, two, kBaseTwo));
}

TEST(Recovery, ATakeWhoseTrackTheUserReplacedOrRemovedAfterACrashIsKeptAndNamed) {
  // Killed at the decision's last write (its done mark): the insert and the
  // take's move into the store were made. The user then replaces or removes
  // vox.wav.
  for (const bool removed : {false, true}) {
    SCOPED_TRACE(removed ? "removed" : "replaced");
    RecoveryProject p(1);
    long last = 0;
    {
      RecoveryProject rehearsal(1);
      last =
          static_cast<long>(rehearsal.rehearse("R ins x", "pwrite:" + kRecord + ":1+:log").size());
    }
    p.injectFaults("pwrite:" + kRecord + ":" + std::to_string(last) + ":kill");
    EXPECT_EQ(p.run("R ins x").exitStatus, -1);

    p.injectFaults("");
    const std::string take = p.take(1);
    ASSERT_NE(take, "");
    EXPECT_FALSE(p.exists(take));  // in the store
    if (removed) {
      p.remove("vox.wav");
    } else {
      p.writeFile("vox.wav", kMine);
    }
    const std::string shown = p.run("x").out;
    EXPECT_TRUE(has(shown, "Restored " + take + ".\n"));
    EXPECT_TRUE(has(shown, removed ? "vox.wav, which 'ins' left, is not there any more. The "
                                     "bytes it held before 'ins' are kept in .varnow-undo/"
                                   : "vox.wav is not the file 'ins' left there; it was left "
                                     "alone. The bytes it held before 'ins' are kept in "
                                     ".varnow-undo/"));
    EXPECT_TRUE(holdsTake(p, take, kBaseOne));
    EXPECT_EQ(p.exists("vox.wav"), !removed);
    EXPECT_TRUE(removed || p.readFile("vox.wav") == kMine);
    // The next decision never deletes the take: it is out of the store.
    p.console("R del x");
    EXPECT_TRUE(holdsTake(p, take, kBaseOne));
  }
}

TEST(Recovery, OneJudgeDecidesAnInterruptedInsertAndAnIOErrorDuringRecoveryLosesNothing) {
  // Killed with the punch-in written but not synced; the next start meets
  // an I/O error while it writes the old bytes back. Nothing else may then
  // settle the journal as a finished insert: the start after that takes the
  // whole decision back.
  for (const bool twoDestinations : {false, true}) {
    SCOPED_TRACE(twoDestinations ? "two destinations" : "one");
    RecoveryProject p(twoDestinations ? 2 : 1, twoDestinations);
    const std::string last = twoDestinations ? "bass.wav" : "vox.wav";
    p.injectFaults("fdatasync:*/" + last + ":1:kill");
    EXPECT_EQ(p.run("R ins").exitStatus, -1);
    p.injectFaults("pwrite:*/" + last + ":1:EIO");
    const std::string failed = p.run("x").out;
    EXPECT_TRUE(has(failed, "The take decision 'ins' did not finish; taking it back failed.\n"));
    EXPECT_FALSE(has(failed, "had finished"));
    // The disk is well again.
    p.injectFaults("");
    const std::string shown = p.run("x").out;
    EXPECT_TRUE(has(shown, "The take decision 'ins' did not finish; it was taken back.\n"));
    EXPECT_TRUE(p.readFile("vox.wav") == kOld);
    EXPECT_TRUE(!twoDestinations || p.readFile("bass.wav") == kBassOld);
    EXPECT_TRUE(holdsTake(p, p.take(1), kBaseOne));
    EXPECT_TRUE(has(p.run("undo x").out, "There is no take decision to undo.\n"));
  }
}

TEST(Recovery, EveryFailedMarkIsReportedAndTheDecisionStaysUndoable) {
  // An I/O error at the unsynced "done" mark of the step that put a file
  // under its name (FROM: the file renamed): said at once, the decision
  // goes on (EFFECT: the name it reaches), and 'undo' takes it back whole.
  struct Case {
    std::string commands, from, effect;
  };
  for (const Case& c :
       {Case{"rep w", "audio_ch_1_", "vox.wav"}, Case{"rep w", "temp_pad", "vox.wav"},
        Case{"ins", "audio_ch_1_", "vox.wav"}, Case{"cin", "temp_data", "vox.wav"},
        Case{"awp gtr o", "audio_ch_1_", "vox_gtr.wav"},
        Case{"pad", "audio_ch_1_", "audio_ch_1_"}}) {
    SCOPED_TRACE(c.commands + " after " + c.from);
    long mark = 0;
    {
      RecoveryProject rehearsal;
      mark = rehearsal.markAfterRename("R " + c.commands + " x", c.from);
    }
    RecoveryProject p;
    p.injectFaults("pwrite:" + kRecord + ":" + std::to_string(mark) + ":EIO");
    const std::string shown = p.console("R " + c.commands + " x");
    EXPECT_TRUE(has(shown,
                    "Could not write the undo record .varnow-undo/record: Input/output "
                    "error.\n"));
    if (c.effect == "vox.wav") {
      EXPECT_TRUE(p.readFile("vox.wav") != kOld);
    } else if (c.effect == "audio_ch_1_") {
      EXPECT_NE(p.stamped("audio_ch_1_", ".wav"), "");
    } else {
      EXPECT_TRUE(p.exists(c.effect));
    }
    p.injectFaults("");
    const std::string undone = p.console("undo x");
    EXPECT_FALSE(has(undone, "Could not undo"));
    EXPECT_TRUE(has(undone, "Recording finished."));
    EXPECT_TRUE(p.readFile("vox.wav") == kOld);
    EXPECT_TRUE(holdsTake(p, p.take(1), kBaseOne));
    EXPECT_TRUE(holdsTake(p, p.take(2), kBaseTwo));
  }
}

TEST(Recovery, AScratchFileACrashLeftIsRemovedWithTheDecision) {
  // Killed while temp_pad.wav (a padded take) or temp_data.wav (a backup)
  // is written: "taken back" means that file is gone too.
  for (const auto& [commands, rule] :
       {std::pair<std::string, std::string>{"R rep w x", "fwrite:*/temp_pad.wav:2:kill"},
        {"R pad x", "fwrite:*/temp_pad.wav:2:kill"},
        {"R cin x", "copy_file_range,write,pwrite:*/temp_data.wav:1:kill"}}) {
    SCOPED_TRACE(commands);
    RecoveryProject p;
    p.injectFaults(rule);
    EXPECT_EQ(p.run(commands).exitStatus, -1);
    EXPECT_NE(p.firedFaults(), "");
    p.injectFaults("");
    const std::size_t at = rule.find("*/") + 2;
    const std::string scratch = rule.substr(at, rule.find(':', at) - at);
    EXPECT_TRUE(p.exists(scratch));
    const std::string take = p.take(1);
    EXPECT_TRUE(has(p.run("x").out, "did not finish; it was taken back.\n"));
    EXPECT_FALSE(p.exists(scratch));
    EXPECT_TRUE(holdsTake(p, take, kBaseOne));
    EXPECT_TRUE(p.readFile("vox.wav") == kOld);
  }
}

}  // namespace
}  // namespace varnow::testing
