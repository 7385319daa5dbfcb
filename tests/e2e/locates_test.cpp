// Locate points and ranges, in seconds and measures, and through param.txt.
#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

// Play start 24576 (0.51 s), stop 98304 (2.05 s), record start 49152 (1.02 s)
// at 48000 Hz, whole periods; range slot 1 from 48128 (1.00 s) to 144384 (3.01 s).
const std::string kPoints = "i\t24576\no\t98304\ne\t49152\n";
const std::string kMenu = secondsMenu("0.51", "2.05", "1.02", "1.02");
const std::string kChorus = "range\t48128\t144384\tchorus\n",
                  kChorusRow = "1\t1.00\t3.01\tchorus\n";
const std::string kRanges = "Loc\tIn\tOut\tName\n", kNumber = "Enter the range number\n";
const std::string kRangeEdit =
    "Enter 'n' to change region name\nEnter 'k' to delete region\nEnter 'c' to continue\n";
const std::string kStore = "Enter location to store to (1-64)\n",
                  kAllFree = "All locations available\n";
const std::string kName = "Enter a range name or '0' to skip\n";
const std::string kRecall = "Enter location to recall (1-64)\n";
const std::string kLocates = "Locate Points:\n",
                  kLocateStore = "\nEnter locate point number (1-64)\n";
const std::string kPointStored = kLocateStore + "Stored locate point\n";
const std::string kLocateRecall = "Enter a locate point number (1-64)\n";
const std::string kLocateEdit =
    "Enter 'n' to change name\nEnter 'k' to delete point\nEnter 'c' to continue\n";

TEST(Ranges, StoreRecallEditAndTheirRefusals) {
  ProjectFixture empty(kPoints);
  EXPECT_EQ(empty.console(".io lio io. 4 first .io 4 x"),
            kMenu + "No locations available\n" + kMenu + "No range locations to edit\n" + kMenu +
                kAllFree + kStore + kName + kMenu + kRanges + "4\t0.51\t2.05\tfirst\n" + kRecall +
                kMenu + "\n");

  // Overwriting with the name "0" keeps the old name; recall sets in and out.
  ProjectFixture p(kPoints + kChorus);
  const std::string recalled = secondsMenu("1.00", "3.01", "1.02", "1.02");
  const std::string verse = kRanges + kChorusRow + "2\t0.51\t2.05\tverse\n";
  const std::string moved = kRanges + kChorusRow + "2\t1.00\t3.01\tverse\n";
  EXPECT_EQ(p.console("io. 2 verse .io 1 io. 2 0 .io 9 .io 65 x"),
            kMenu + kRanges + kChorusRow + kStore + kName + kMenu + verse + kRecall + recalled +
                verse + kStore + kName + recalled + moved + kRecall + "Location 9 is empty\n" +
                recalled + moved + kRecall + recalled + "\n");

  // Slot 2: 196608 (4.10 s) to 245760 (5.12 s). "n 70" names no slot; a
  // range stored again in a deleted slot has its name reset.
  ProjectFixture edit(kPoints + kChorus + "range\t196608\t245760\tbridge\n");
  const std::string both = kRanges + kChorusRow + "2\t4.10\t5.12\tbridge\n" + kRangeEdit;
  const std::string second = kRanges + "2\t4.10\t5.12\toutro\n" + kRangeEdit;
  EXPECT_EQ(edit.console("lio what n 70 n 2 outro k 1 c lio k 2 io. 1 0 lio c x"),
            kMenu + both + both + kNumber + both + kNumber + "Enter a new range name\n" + kRanges +
                kChorusRow + "2\t4.10\t5.12\toutro\n" + kRangeEdit + kNumber + second + kMenu +
                second + kNumber + "No range locations to edit\n" + kMenu + kAllFree + kStore +
                kName + kMenu + kRanges + "1\t0.51\t2.05\t(name)\n" + kRangeEdit + kMenu + "\n");
}

TEST(LocatePoints, StoreRecallEditLongNamesAndNonNumbers) {
  // "m.l 5" stores the memory, 0, so slot 5 stays empty; "o.l 65" names no slot.
  ProjectFixture p(kPoints);
  const std::string one = "1\t0.51\t(name)\n", two = "2\t2.05\t(name)\n";
  const std::string list = kLocates + one + two + "3\t1.02\t(name)\n";
  EXPECT_EQ(p.console("i.l 1 o.l 2 e.l 3 m.l 5 o.l 65 q.l i.lx ll c x"),
            kMenu + kLocates + kPointStored + kMenu + kLocates + one + kPointStored + kMenu +
                kLocates + one + two + kPointStored + kMenu + list + kPointStored + kMenu + list +
                kLocateStore + kMenu + kMenu + kMenu + list + kLocateEdit + kMenu + "\n");

  // Slot 1: 196608 (4.10 s). "l.e 9" sets the punch to 0; "l.x 1" and
  // "ll.i 1" ask but change nothing; "l.i 65" and "l.i x" name no slot ("x"
  // is the answer 0, never the exit command).
  ProjectFixture cue(kPoints + "loc\t196608\tcue\n");
  const std::string ask = kLocates + "1\t4.10\tcue\n" + kLocateRecall;
  const std::string cleared = secondsMenu("0.51", "4.10", "0.00", "0.51", "4.10") + ask;
  EXPECT_EQ(cue.console("l.o 1 l.m 1 l.e 9 l.x 1 ll.i 1 l.i 65 l.i x l.i 1 x"),
            kMenu + ask + secondsMenu("0.51", "4.10", "1.02", "1.02") + ask +
                secondsMenu("0.51", "4.10", "1.02", "1.02", "4.10") + ask + repeat(cleared, 5) +
                secondsMenu("4.10", "4.10", "0.00", "4.10", "4.10") + "\n");

  // Every non-number slot answer is a command word ("x", "s", "ll") that
  // would show if it were read again; the "s" saved nothing.
  ProjectFixture q(kPoints);
  const std::string a(70, 'a'), b(80, 'b'), c(100, 'c');
  const std::string shown = q.console("io. x io. 1 " + a + " lio n 1 " + b +
                                      " c i.l s ll n x k ll n 2 " + c + " c e.l 2 ll c x");
  EXPECT_EQ(count(shown, kMenu), 8U) << shown;
  EXPECT_TRUE(has(shown, kRanges + "1\t0.51\t2.05\t" + a.substr(0, 63) + "\n" + kRangeEdit +
                             kNumber + "Enter a new range name\n" + kRanges + "1\t0.51\t2.05\t" +
                             b.substr(0, 63) + "\n" + kRangeEdit + kMenu));
  EXPECT_TRUE(has(shown, kMenu + kLocates + kLocateStore + kMenu + kLocates + kLocateEdit +
                             "Enter locate point\n" + kLocates + kLocateEdit +
                             "Enter locate point number\n" + kLocates + kLocateEdit));
  EXPECT_TRUE(has(shown, kLocates + "2\t1.02\t" + c.substr(0, 63) + "\n" + kLocateEdit));
  EXPECT_FALSE(has(q.readFile("param.txt"), "Volume Settings"));
}

TEST(LocatePoints, SavedAndFoundAgainAfterARestartAndShownInMeasures) {
  // Ctrl-@ sends a NUL byte: it separates words as a blank does, so the
  // range name stored, saved and found after a restart is "verse".
  ProjectFixture p(kPoints + kChorus);
  const std::string ranges = kRanges + kChorusRow + "2\t0.51\t2.05\tverse\n" + kRangeEdit;
  const std::string locates =
      kLocates + "1\t0.51\t(name)\n2\t2.05\tend\n3\t1.02\tpunch\n" + kLocateEdit;
  const char script[] = "io. 2 \0verse\0 i.l 1 o.l 2 e.l 3 ll n 2 end n 3 punch c s lio c ll c x";
  EXPECT_TRUE(p.console(std::string(script, sizeof script - 1))
                  .ends_with(kStored + kMenu + ranges + kMenu + locates + kMenu + "\n"));
  EXPECT_TRUE(has(p.readFile("param.txt"),
                  "\nTime Ranges:\n" + kChorus +
                      "range\t24576\t98304\tverse\n\nLocate Points:\nloc\t24576\t(name)\n"
                      "loc\t98304\tend\nloc\t49152\tpunch\n\nPlaylist Files:\n"));
  EXPECT_EQ(p.console("lio c ll c x"), kMenu + ranges + kMenu + locates + kMenu + "\n");

  // 120 bpm, 4/4, 44100 Hz, 882-frame periods: 22050 frames are beat 2,
  // 88200 frames bar 2, both kept as they are.
  ProjectFixture m(
      "sr\t44100\nbuf\t882\ntmode\t1\ni\t22050\no\t88200\nloc\t88200\tbar2\nloc\t22050\tbeat2\n"
      "range\t22050\t88200\tintro\n");
  const std::string menu = musicalMenu("1.2.00", "2.1.00", "1.1.00", "1.2.00");
  EXPECT_EQ(m.console("ll c lio c x"), menu + kLocates + "1\t2.1.00\tbar2\n2\t1.2.00\tbeat2\n" +
                                           kLocateEdit + menu + kRanges +
                                           "1\t1.2.00\t2.1.00\tintro\n" + kRangeEdit + menu + "\n");
}

}  // namespace
}  // namespace varnow::testing
