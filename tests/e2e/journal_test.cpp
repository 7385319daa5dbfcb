// Inserts that a crash or a failing disk leaves unfinished: the undo journal
// beside the destination puts the old bytes back, and only ever onto the
// file it was written for.
#include <filesystem>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

constexpr std::size_t kPunch = 6144;
constexpr std::size_t kTake = 30720;  // more than one piece of the insert's writing
constexpr std::int32_t kBase = 1000000;
const Samples kOld = staircase(60000, -100, -1);
const Samples kTakeOne = staircase(kTake, kBase);
const Samples kInserted = punchedIn(kOld, kTakeOne, kPunch);
const std::string kRefused = "; it was not applied and is left as it is.";

// Input 1 records `destination` (60000 samples): R takes kTake samples from
// kPunch without playback; a second R in the same run continues the capture.
struct InsertProject : ProjectFixture {
  explicit InsertProject(const std::string& name = "vox.wav")
      : ProjectFixture("int\t0\nclock\thc\nmeter\t0\ne\t6144\no\t36864\n", "", name + "\n-\n"),
        destination(name),
        journal(name.substr(0, name.size() - 7) + ".vox.wav.varnow-journal") {
    std::filesystem::create_directories(dir() / "tracks");
    writeCapture(rampCapture(80000, {kBase, 2 * kBase}));
    writeWave(destination, kOld);
  }
  // R ins, killed at the second write into the destination; without its
  // decision's record, the journal alone is left to restore it.
  void crashMidInsert(bool withRecord = false) {
    injectFaults("pwrite:*/" + destination + ":2:kill");
    EXPECT_EQ(run("R ins").exitStatus, -1);
    EXPECT_EQ(firedFaults(), "pwrite " + path(destination) + " #2 kill\n");
    injectFaults("");
    const std::string half = readFile(destination);
    EXPECT_TRUE(half != wavFile(kOld) && half != wavFile(kInserted)) << "not half-written";
    if (!withRecord) remove(".varnow-undo/record");
  }
  std::string take() const { return stamped("audio_ch_1_", "_stp_6144.wav"); }
  std::string restored() const {
    return "Restored " + destination + " as it was before an insert that did not finish (undo " +
           "journal " + journal + ").\n";
  }
  std::string destination;
  std::string journal;
};

TEST(Journal, ACrashInAnInsertIsUndoneAtTheNextStartWhereverTheDestinationLives) {
  for (const std::string destination : {"vox.wav", "tracks/vox.wav"}) {
    SCOPED_TRACE(destination);
    // The decision is taken back, then its journal alone restores the file.
    InsertProject p(destination);
    p.crashMidInsert(true);
    const std::string take = p.take();
    EXPECT_TRUE(has(p.run("x").out,
                    "The take decision 'ins' did not finish; it was taken "
                    "back.\nRestored " +
                        destination + ".\n\nVarnow"));
    EXPECT_TRUE(p.readFile(destination) == wavFile(kOld));
    p.crashMidInsert();
    EXPECT_TRUE(has(p.run("x").out, p.restored()));
    EXPECT_TRUE(p.readFile(destination) == wavFile(kOld));
    EXPECT_FALSE(p.exists(p.journal));
    EXPECT_TRUE(p.holds(take, kTakeOne));
    // A new recording replaces it, and no later start touches it.
    EXPECT_FALSE(has(p.console("R rep w x"), "Restored"));
    EXPECT_FALSE(has(p.run("x").out, "Restored"));
    EXPECT_TRUE(p.readFile(destination) == wavFile(silence(kPunch) + kTakeOne));
  }

  // An extension the crash left with its length but without its bytes.
  InsertProject z;
  const Samples shorter = staircase(10000, -100, -1);
  z.writeWave("vox.wav", shorter);
  z.crashMidInsert();
  std::filesystem::resize_file(z.dir() / "vox.wav",
                               wavFile(punchedIn(shorter, kTakeOne, kPunch)).size());
  EXPECT_TRUE(has(z.run("x").out, z.restored()));
  EXPECT_TRUE(z.readFile("vox.wav") == wavFile(shorter));

  // A damaged journal, or one from an earlier version, is reported and kept.
  InsertProject p;
  p.crashMidInsert();
  const std::string half = p.readFile("vox.wav");
  std::string journal = p.readFile(p.journal);
  journal[200] = static_cast<char>(journal[200] ^ 1);
  p.writeFile(p.journal, journal);
  EXPECT_TRUE(has(p.run("x").out,
                  "The undo journal .vox.wav.varnow-journal does not match its "
                  "checksum" +
                      kRefused + "\n" + kBanner));
  p.writeFile(p.journal, "VNUNDO01" + journal.substr(8));
  EXPECT_TRUE(has(p.run("x").out,
                  "The undo journal .vox.wav.varnow-journal was written by an "
                  "earlier version of Varnow and cannot be checked against its "
                  "file" +
                      kRefused + "\n" + kBanner));
  EXPECT_TRUE(p.readFile("vox.wav") == half);
  EXPECT_TRUE(p.readFile(p.journal) == "VNUNDO01" + journal.substr(8));
}

TEST(Journal, ARollbackThatFailsKeepsTheJournalUntilTheDestinationIsNextUsed) {
  InsertProject p;
  p.injectFaults("pwrite:*/vox.wav:2-3:EIO");
  const std::string shown = p.console("R ins R rep w x");
  const std::string failed = "Could not write vox.wav: Input/output error.";
  EXPECT_TRUE(has(shown, failed + " Then restoring vox.wav failed: " + failed +
                             " The undo journal .vox.wav.varnow-journal is left as it is; vox.wav "
                             "will be restored from it before it is next used, or at the next "
                             "start.\nThe take file " +
                             p.take() + " was kept.\n"));
  EXPECT_TRUE(has(shown, "1 file exists!\n"));
  EXPECT_TRUE(has(shown, p.restored()));
  EXPECT_EQ(count(p.firedFaults(), "\n"), 2u);
  const Samples second = staircase(kTake, kBase + 36864);
  EXPECT_TRUE(p.holds("vox.wav", silence(kPunch) + second));
  EXPECT_FALSE(p.exists(p.journal));
  EXPECT_FALSE(has(p.run("x").out, "Restored"));
  EXPECT_TRUE(p.holds("vox.wav", silence(kPunch) + second));

  // Killed once the insert is complete, before its journal is kept: the
  // decision is taken back. Without its record, the journal of a complete
  // insert is never applied.
  for (const bool withRecord : {true, false}) {
    InsertProject q;
    q.injectFaults("rename:*/.vox.wav.varnow-journal:1:kill");
    EXPECT_EQ(q.run("R ins").exitStatus, -1);
    q.injectFaults("");
    if (!withRecord) q.remove(".varnow-undo/record");
    const std::string restart = q.run("x").out;
    EXPECT_TRUE(has(restart, withRecord ? "it was taken back.\nRestored vox.wav.\n"
                                        : "The insert into vox.wav had finished; its leftover "
                                          "undo journal .vox.wav.varnow-journal was removed "
                                          "without being applied.\n"));
    EXPECT_TRUE(q.holds("vox.wav", withRecord ? kOld : kInserted));
    EXPECT_FALSE(q.exists(q.journal));
  }
}

TEST(Journal, AJournalNeverTouchesAnotherFileThanItsOwn) {
  const std::string other = wavFile(staircase(60000, 7, 3));
  // Changed in place, or made anew under the same name: refused at the start
  // and before an insert, and kept.
  InsertProject p;
  p.crashMidInsert();
  const std::string journal = p.readFile(p.journal);
  p.writeFile("vox.wav", other + "more");
  EXPECT_TRUE(has(p.run("x").out,
                  "The undo journal .vox.wav.varnow-journal does not belong to "
                  "vox.wav as it is now (its length is not one the insert could "
                  "have left)" +
                      kRefused + "\n"));
  p.writeFile("vox.wav", other);
  EXPECT_TRUE(has(p.run("x").out,
                  "The undo journal .vox.wav.varnow-journal does not belong to "
                  "vox.wav as it is now (its bytes from 18476 on are neither the "
                  "old nor the new ones)" +
                      kRefused + "\n"));
  p.writeFile("new.wav", other);
  std::filesystem::rename(p.path("new.wav"), p.path("vox.wav"));
  const std::string anotherFile =
      "The undo journal .vox.wav.varnow-journal was written for another file than the vox.wav "
      "there now" +
      kRefused;
  const std::string shown = p.run("R ins x").out;
  EXPECT_TRUE(has(shown, anotherFile + "\n" + kBanner));
  EXPECT_TRUE(has(shown, anotherFile + " vox.wav was not used.\nThe take file "));
  EXPECT_TRUE(p.readFile("vox.wav") == other);
  EXPECT_TRUE(p.readFile(p.journal) == journal);

  // Copied beside another file of the same name: only its own file is restored.
  InsertProject q("tracks/vox.wav");
  q.crashMidInsert();
  q.writeFile(".vox.wav.varnow-journal", q.readFile(q.journal));
  q.writeFile("vox.wav", other);
  const std::string restart = q.run("x").out;
  EXPECT_TRUE(has(restart, anotherFile + "\n"));
  EXPECT_TRUE(has(restart, q.restored()));
  EXPECT_TRUE(q.readFile("vox.wav") == other);
  EXPECT_TRUE(q.readFile("tracks/vox.wav") == wavFile(kOld));
  EXPECT_TRUE(q.exists(".vox.wav.varnow-journal"));
}

}  // namespace
}  // namespace varnow::testing
