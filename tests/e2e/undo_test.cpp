// 'undo' takes the take menu's last decision back: every file as it was
// before it, the take under its take names, and the take menu again.
#include <filesystem>
#include <tuple>

#include "e2e/decision_project.hpp"

namespace varnow::testing {
namespace {

// Two inputs record vox.wav (there) and bass.wav (not yet), from `punch`.
struct UndoProject : ProjectFixture {
  explicit UndoProject(std::size_t punchFrame = 6144)
      : ProjectFixture("int\t0\nclock\thc\nmeter\t0\ne\t" + std::to_string(punchFrame) + "\no\t" +
                           std::to_string(punchFrame + kTake) + "\n",
                       "", "vox.wav\nbass.wav\n"),
        punch(punchFrame) {
    writeCapture(rampCapture(60000, {kBaseOne, kBaseTwo}));
    writeFile("vox.wav", kOld);
  }
  std::string take(int channel) const {
    return stamped("audio_ch_" + std::to_string(channel) + "_",
                   punch == 0 ? ".wav" : "_stp_" + std::to_string(punch) + ".wav");
  }
  std::vector<std::string> store() const { return storeNames(*this); }
  std::vector<std::string> stored() const { return storedFiles(*this); }
  // The project as the first recording left it, `others` besides, and no
  // decision on record with nothing stored.
  void expectAsRecorded(Names others = {}, std::int32_t shift = 0) const {
    const std::string one = take(1), two = take(2);
    EXPECT_TRUE(holds(one, staircase(kTake, kBaseOne + shift)));
    EXPECT_TRUE(holds(two, staircase(kTake, kBaseTwo + shift)));
    EXPECT_TRUE(readFile("vox.wav") == kOld);
    others.insert(others.end(), {one, two, "vox.wav"});
    EXPECT_EQ(files(), withListFiles(others));
    EXPECT_EQ(stored(), Names{});
    EXPECT_EQ(readFile(".varnow-undo/record"), "");
  }
  std::size_t punch;
};

TEST(Undo, EveryTakeDecisionIsTakenBackByteForByte) {
  const std::string gtr = wavFile(staircase(500, 9));
  for (const auto& [commands, punch] : {std::pair<std::string, std::size_t>{"rep w", 6144},
                                        {"ins", 6144},
                                        {"cin", 6144},
                                        {"del", 6144},
                                        {"pad", 6144},
                                        {"app gtr o", 6144},
                                        {"aws gtr", 6144},
                                        {"awp gtr o", 6144},
                                        {"stp", 0},
                                        {"ins undo del", 6144}}) {
    SCOPED_TRACE(commands);
    UndoProject p(punch);
    p.writeFile("vox_gtr.wav", gtr);
    std::filesystem::create_directory(p.dir() / ".varnow-undo");
    p.writeFile(".varnow-undo/left.wav", "");  // named by no record: the next decision sweeps it
    const std::string shown = p.console("R " + commands + " undo");
    EXPECT_EQ(count(shown, kPrompt), commands == "ins undo del" ? 3u : 2u);
    EXPECT_TRUE(has(shown, ".\n" + kPrompt));
    p.expectAsRecorded({"vox_gtr.wav"});
    EXPECT_TRUE(p.readFile("vox_gtr.wav") == gtr);
  }
  // Nothing on record.
  UndoProject p;
  EXPECT_TRUE(has(p.console("undo"), "There is no take decision to undo.\n"));
}

TEST(Undo, ADecisionIsKeptAcrossRunsAndNeverOverwritesWhatChangedSince) {
  // After a restart; then a kill in the middle of the undo: the next start
  // finishes it.
  for (const bool killed : {false, true}) {
    UndoProject p;
    p.console("R ins x");
    EXPECT_TRUE(p.readFile("vox.wav") != kOld);
    if (killed) {
      p.injectFaults("pwrite:*/vox.wav:1:kill");
      EXPECT_EQ(p.run("undo").exitStatus, -1);
      p.injectFaults("");
    }
    const std::string shown = p.run(killed ? "x" : "undo").out;
    EXPECT_TRUE(has(shown, killed ? "The undo of 'ins' did not finish; it was completed.\n"
                                  : ".wav.\n" + kPrompt));
    EXPECT_TRUE(has(shown, "Restored vox.wav.\n"));
    p.expectAsRecorded();
  }

  // A destination changed since: refused, nothing changed.
  UndoProject p;
  p.console("R ins x");
  std::string changed = p.readFile("vox.wav");
  changed[44 + 6144 * 3 + 100] ^= 1;  // a byte of the punched stretch
  p.writeFile("vox.wav", changed);
  EXPECT_TRUE(has(p.console("undo x"),
                  "Could not undo 'ins': vox.wav has changed since 'ins'; nothing was changed.\n"));
  EXPECT_TRUE(p.readFile("vox.wav") == changed);
  EXPECT_EQ(p.stored().size(), 3u);  // the journal and both takes

  // A record that cannot be written: the decision is refused, the menu asks
  // again, and the take stays as recorded.
  UndoProject full;
  full.injectFaults("pwrite:*/.varnow-undo/record:1:ENOSPC");
  const std::string refused = full.console("R ins");
  EXPECT_TRUE(refused.ends_with(kPrompt +
                                "Could not write the undo record .varnow-undo/record: No space "
                                "left on device.\n" +
                                kPrompt + "\n"));
  full.injectFaults("");
  full.expectAsRecorded();

  // The next decision keeps the last one on the history, stored files and all.
  UndoProject two;
  two.console("R del R del x");
  EXPECT_EQ(two.stored().size(), 4u);
  EXPECT_EQ(two.store().size(), 6u);  // and the record, and history/ for the older one
}

TEST(Undo, ADecisionThatFailsSaysWhyKeepsTheTakeAndIsTakenBackWhole) {
  // Each fault ends one file's part with a sentence naming the file and the
  // reason (TAKE: input 1's take) and keeps the take; 'undo' then brings back
  // the project as recorded. Interrupted and short writes are resumed; a
  // failed backup is reported and the insert goes on, as it always has.
  const std::string store = "into the undo store as .varnow-undo/";
  const std::vector<std::tuple<std::string, std::string, std::string>> faults{
      {"ins", "open:*/vox.wav:1+:EACCES", "Could not open vox.wav: Permission denied."},
      {"ins", "mkdir:*/.varnow-undo:1:EACCES",
       "Could not make the undo store .varnow-undo: Permission denied."},
      {"ins", "pwrite:*/.varnow-undo/record:1:EDQUOT",
       "Could not write the undo record .varnow-undo/record: Disk quota exceeded."},
      {"ins", "fdatasync:*/.varnow-undo/record:1:EIO",
       "Could not write the undo record .varnow-undo/record: Input/output error."},
      {"ins", "open:*/.vox.wav.varnow-journal:1:ENOSPC",
       "Could not create the undo journal .vox.wav.varnow-journal: No space left on device."},
      {"ins", "fwrite:*/.vox.wav.varnow-journal:1:short",
       "Could not write the undo journal .vox.wav.varnow-journal: No space left on device."},
      {"ins", "fdatasync:*/.vox.wav.varnow-journal:1:EIO",
       "Could not write the undo journal .vox.wav.varnow-journal: Input/output error."},
      {"ins", "pwrite:*/vox.wav:1:EIO",
       "Could not write vox.wav: Input/output error. vox.wav is as it was before the insert."},
      {"ins", "fdatasync:*/vox.wav:1:EDQUOT",
       "Could not write vox.wav: Disk quota exceeded. vox.wav is as it was before the insert."},
      {"ins", "rename:*/.vox.wav.varnow-journal:1:EIO",
       "Could not keep the undo journal .vox.wav.varnow-journal as .varnow-undo/"},
      {"ins", "rename:*/audio_ch_1_*:1:EIO", "Could not move TAKE " + store},
      {"ins", "pwrite:*/vox.wav:1:short", ""},
      {"ins", "pwrite:*/vox.wav:1:EINTR", ""},
      {"cin", "copy_file_range:*/temp_data.wav:1:EIO", "Could not write the new copy of vox_bkup_"},
      {"cin", "ioctl:*/temp_data.wav:1:EOPNOTSUPP", ""},
      {"cin", "copy_file_range:*/temp_data.wav:1:EXDEV", ""},
      {"cin",
       "ioctl:*/temp_data.wav:1:EOPNOTSUPP;copy_file_range:*/temp_data.wav:1:EXDEV;"
       "pread:*/vox.wav:1:eof",
       "Could not read vox.wav: the file ended 120044 bytes early."},
      {"rep w", "rename:*/vox.wav:1:EIO", "Could not move vox.wav " + store},
      {"rep w", "rename:*/vox.wav:2:ENOSPC", "Could not rename TAKE to vox.wav: No space left"},
      {"del", "rename:*/audio_ch_1_*:1:EIO", "Could not move TAKE " + store},
      {"app gtr", "rename:*/audio_ch_1_*:1:EIO", "Could not rename TAKE to vox_gtr.wav: Input"},
      {"pad", "open:*/temp_pad.wav:1:ENOSPC", "Could not create temp_pad.wav: No space left"},
      {"pad", "ftruncate:*/temp_pad.wav:1:EIO", "Could not create temp_pad.wav: Input/output"},
      {"pad", "fsync:*/temp_pad.wav:1:EIO", "Could not write the new copy of TAKE: Input/output"},
      {"awp gtr", "rename:*/temp_pad.wav:1:EDQUOT", "Could not replace TAKE: Disk quota exceeded."},
  };
  for (const auto& [commands, rule, message] : faults) {
    SCOPED_TRACE(commands + " " + rule);
    UndoProject p;
    p.injectFaults(rule);
    const std::string shown = p.console("R " + commands + " x");
    EXPECT_NE(p.firedFaults(), "");
    std::string line = message;
    if (const std::size_t at = line.find("TAKE"); at != std::string::npos)
      line.replace(at, 4, p.take(1));
    EXPECT_TRUE(line.empty() || has(shown, line));
    // A decision that cannot be recorded is not taken: the menu asks again.
    const bool unrecorded =
        rule.starts_with("mkdir") || rule.starts_with("pwrite:*/.varnow-undo/record:1:");
    EXPECT_EQ(!line.empty() && has(shown, line + "\n" + kPrompt), unrecorded);
    const bool kept = !line.empty() && commands != "cin" && !unrecorded;
    EXPECT_EQ(has(shown, "The take file " + p.take(1) + " was kept.\n"), kept);
    const bool changed = p.readFile("vox.wav") != kOld;
    const bool inserts = commands == "ins" || commands == "cin";
    EXPECT_TRUE(changed || kept || unrecorded || !inserts);
    EXPECT_FALSE(changed && (line.ends_with("before the insert.") || !inserts));
    p.injectFaults("");
    p.console("undo");
    p.expectAsRecorded();
  }
  // An 'ins' into a file not there yet pads the take first; that failing keeps the take.
  UndoProject p;
  p.injectFaults("open:*/temp_pad.wav:1:ENOSPC");
  const std::string shown = p.console("R ins x");
  EXPECT_TRUE(has(shown, "Could not create temp_pad.wav: No space left on device.\nThe take file " +
                             p.take(2) + " was kept.\n"));
}

TEST(Undo, AnUndoOrARecoveryThatFailsSaysWhyAndTheNextRunFinishesIt) {
  struct Row {
    std::string decision, crash, rule, input, message, next;
  };
  const std::string later = " The rest is taken back by the next 'undo' or at the next start.\n";
  const std::vector<Row> rows{
      {"R ins x", "", "pwrite:*/vox.wav:1:EIO", "undo",
       "Could not write vox.wav: Input/output error." + later,
       "The undo of 'ins' did not finish; it was completed.\nRestored vox.wav.\n"},
      {"R rep w x", "", "rename:*/.varnow-undo/*.vox.wav:1:EIO", "undo",
       "Could not restore vox.wav from .varnow-undo/", "Restored vox.wav.\n"},
      {"R ins", "pwrite:*/vox.wav:1:kill", "pwrite:*/vox.wav:1:EIO", "x",
       // The decision is the one judge of its insert's journal: no other
       // recovery plays it back meanwhile.
       "The take decision 'ins' did not finish; taking it back failed.\nCould not write vox.wav: "
       "Input/output error. The rest is taken back at the next start.\n\nVarnow",
       "The take decision 'ins' did not finish; it was taken back.\n"},
      {"R ins x", "", "open:*/.varnow-undo/record:1+:EACCES", "undo",
       "Could not read the undo record .varnow-undo/record: Permission denied.\n",
       "Restored vox.wav.\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rule);
    UndoProject p;
    p.injectFaults(row.crash);
    p.run(row.decision);
    const std::string decided = p.readFile("vox.wav");
    p.injectFaults(row.rule);
    EXPECT_TRUE(has(p.run(row.input).out, row.message));
    EXPECT_NE(p.firedFaults(), "");
    EXPECT_TRUE(!row.message.starts_with("Could not read") || p.readFile("vox.wav") == decided);
    p.injectFaults("");
    EXPECT_TRUE(has(p.run(row.rule.starts_with("open") ? "undo" : "x").out, row.next));
    p.expectAsRecorded();
  }
}

}  // namespace
}  // namespace varnow::testing
