// Locate points and ranges as the user meets them: storing, recalling,
// listing, renaming and deleting, in seconds and in measure.beat, and their
// way through param.txt.
#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

// Play start 24576 (0.51 s), stop 98304 (2.05 s), record start 49152
// (1.02 s) at 48000 Hz: whole 1024-frame periods, so they stay as written.
const std::string kPoints = "i\t24576\no\t98304\ne\t49152\n";
const std::string kMenu = secondsMenu("0.51", "2.05", "1.02", "1.02");
// Slot 1 of the ranges: 48128 (1.00 s) to 144384 (3.01 s).
const std::string kChorus = "range\t48128\t144384\tchorus\n";
const std::string kChorusRow = "1\t1.00\t3.01\tchorus\n";

const std::string kRanges = "Loc\tIn\tOut\tName\n";
const std::string kRangeEdit =
    "Enter 'n' to change region name\nEnter 'k' to delete region\nEnter 'c' to continue\n";
const std::string kStore = "Enter location to store to (1-64)\n";
const std::string kName = "Enter a range name or '0' to skip\n";
const std::string kRecall = "Enter location to recall (1-64)\n";
const std::string kNumber = "Enter the range number\n";
const std::string kAllFree = "All locations available\n";

const std::string kLocates = "Locate Points:\n";
const std::string kLocateStore = "\nEnter locate point number (1-64)\n";
const std::string kPointStored = "Stored locate point\n";
const std::string kLocateRecall = "Enter a locate point number (1-64)\n";
const std::string kLocateEdit =
    "Enter 'n' to change name\nEnter 'k' to delete point\nEnter 'c' to continue\n";

TEST(Ranges, StoreRecallAndTheirRefusals) {
  ProjectFixture empty(kPoints);
  EXPECT_EQ(empty.console(".io lio io. 4 first .io 4 x"),
            kMenu + "No locations available\n" +                        // .io
                kMenu + "No range locations to edit\n" +                // lio
                kMenu + kAllFree + kStore + kName +                     // io. 4 first
                kMenu + kRanges + "4\t0.51\t2.05\tfirst\n" + kRecall +  // .io 4
                kMenu + "\n");

  // Overwriting with the name "0" keeps the old name; recall sets in and out.
  ProjectFixture p(kPoints + kChorus);
  const std::string recalled = secondsMenu("1.00", "3.01", "1.02", "1.02");
  EXPECT_EQ(p.console("io. 2 verse .io 1 io. 2 0 .io 9 .io 65 x"),
            kMenu + kRanges + kChorusRow + kStore + kName +                   // io. 2 verse
                kMenu + kRanges + kChorusRow + "2\t0.51\t2.05\tverse\n" +     // .io 1
                kRecall +                                                     //
                recalled + kRanges + kChorusRow + "2\t0.51\t2.05\tverse\n" +  // io. 2 0
                kStore + kName +                                              //
                recalled + kRanges + kChorusRow + "2\t1.00\t3.01\tverse\n" +  // .io 9
                kRecall + "Location 9 is empty\n" +                           //
                recalled + kRanges + kChorusRow + "2\t1.00\t3.01\tverse\n" +  // .io 65
                kRecall + recalled + "\n");

  // Storing while in and out are 0 leaves the slot empty.
  ProjectFixture zero(kChorus);
  EXPECT_EQ(zero.console("io. 7 ghost .io 7 s x"),
            kZeroMenu + kRanges + kChorusRow + kStore + kName +                         //
                kZeroMenu + kRanges + kChorusRow + kRecall + "Location 7 is empty\n" +  //
                kZeroMenu + kStored + kZeroMenu + "\n");
  EXPECT_TRUE(has(zero.readFile("param.txt"), "\nTime Ranges:\n" + kChorus + "\nLocate Points:\n"));
}

TEST(Ranges, EditRenamesAndDeletesUntilContinueOrNoneLeft) {
  // Slot 2: 196608 (4.10 s) to 245760 (5.12 s).
  ProjectFixture p(kPoints + kChorus + "range\t196608\t245760\tbridge\n");
  const std::string both = kRanges + kChorusRow + "2\t4.10\t5.12\tbridge\n" + kRangeEdit;
  const std::string renamed = kRanges + kChorusRow + "2\t4.10\t5.12\toutro\n" + kRangeEdit;
  const std::string second = kRanges + "2\t4.10\t5.12\toutro\n" + kRangeEdit;
  EXPECT_EQ(p.console("lio what n 70 n 2 outro k 1 c lio k 2 io. 1 0 lio c x"),
            kMenu + both +                                                   // lio what
                both + kNumber +                                             // n 70: no such slot
                both + kNumber + "Enter a new range name\n" +                // n 2 outro
                renamed + kNumber +                                          // k 1
                second +                                                     // c
                kMenu + second + kNumber + "No range locations to edit\n" +  // lio k 2
                kMenu + kAllFree + kStore + kName +                          // io. 1 0
                kMenu + kRanges + "1\t0.51\t2.05\t(name)\n" +                // lio c: name reset
                kRangeEdit + kMenu + "\n");
}

TEST(LocatePoints, StoreRecallAndEdit) {
  ProjectFixture p(kPoints);
  const std::string one = "1\t0.51\t(name)\n";
  const std::string two = "2\t2.05\t(name)\n";
  const std::string list = kLocates + one + two + "3\t1.02\t(name)\n";
  EXPECT_EQ(p.console("i.l 1 o.l 2 e.l 3 m.l 5 o.l 65 q.l i.lx ll c x"),
            kMenu + kLocates + kLocateStore + kPointStored +                  // i.l 1
                kMenu + kLocates + one + kLocateStore + kPointStored +        // o.l 2
                kMenu + kLocates + one + two + kLocateStore + kPointStored +  // e.l 3
                kMenu + list + kLocateStore + kPointStored +  // m.l 5: the memory is 0
                kMenu + list + kLocateStore +                 // o.l 65: no such slot
                kMenu + kMenu +                               // q.l, i.lx
                kMenu + list + kLocateEdit +                  // ll c: slot 5 stays empty
                kMenu + "\n");

  // Slot 1: 196608 (4.10 s). "l.x 1" and "ll.i 1" ask but change nothing;
  // "l.i 65" and "l.i x" name no slot ("x" is taken as the answer 0, never
  // as the exit command).
  ProjectFixture cue(kPoints + "loc\t196608\tcue\n");
  const std::string ask = kLocates + "1\t4.10\tcue\n" + kLocateRecall;
  const std::string cleared = secondsMenu("0.51", "4.10", "0.00", "0.51", "4.10");
  EXPECT_EQ(cue.console("l.o 1 l.m 1 l.e 9 l.x 1 ll.i 1 l.i 65 l.i x l.i 1 x"),
            kMenu + ask +                                                    // l.o 1
                secondsMenu("0.51", "4.10", "1.02", "1.02") + ask +          // l.m 1
                secondsMenu("0.51", "4.10", "1.02", "1.02", "4.10") + ask +  // l.e 9: sets 0
                cleared + ask + cleared + ask + cleared + ask + cleared + ask + cleared + ask +
                secondsMenu("4.10", "4.10", "0.00", "4.10", "4.10") + "\n");

  // Renaming works even on empty slots; deleting empties the slot.
  const std::string withCue = kLocates + "1\t4.10\tcue\n" + kLocateEdit;
  const std::string none = kLocates + kLocateEdit;
  EXPECT_EQ(cue.console("ll n 4 spare k 1 n 99 bogus c o.l 4 i.l 1 ll c x"),
            kMenu + withCue + "Enter locate point\nEnter a name for point 4\n" +       // n 4 spare
                withCue + "Enter locate point number\n" +                              // k 1
                none + "Enter locate point\n" +                                        // n 99
                none + none +                                                          // bogus, c
                kMenu + kLocates + kLocateStore + kPointStored +                       // o.l 4
                kMenu + kLocates + "4\t2.05\tspare\n" + kLocateStore + kPointStored +  // i.l 1
                kMenu + kLocates + "1\t0.51\t(name)\n4\t2.05\tspare\n" +               // ll c
                kLocateEdit + kMenu + "\n");
}

TEST(LocatePoints, LongNamesKeep63CharactersAndNonNumbersAreConsumed) {
  ProjectFixture p(kPoints);
  const std::string a(70, 'a'), b(80, 'b'), c(100, 'c');
  const std::string none = kLocates + kLocateEdit;
  // Every non-number slot answer is a command word ("x", "s", "ll") that
  // would show if it were read again.
  EXPECT_EQ(p.console("io. x io. 1 " + a + " lio n 1 " + b + " c i.l s ll n x k ll n 2 " + c +
                      " c e.l 2 ll c x"),
            kMenu + kAllFree + kStore +                                         // io. x
                kMenu + kAllFree + kStore + kName +                             // io. 1 a
                kMenu + kRanges + "1\t0.51\t2.05\t" + a.substr(0, 63) + "\n" +  // lio n 1 b
                kRangeEdit + kNumber + "Enter a new range name\n" + kRanges +   //
                "1\t0.51\t2.05\t" + b.substr(0, 63) + "\n" + kRangeEdit +       // c
                kMenu + kLocates + kLocateStore +                               // i.l s
                kMenu + none + "Enter locate point\n" +                         // ll n x
                none + "Enter locate point number\n" +                          // k ll
                none + "Enter locate point\nEnter a name for point 2\n" +       // n 2 c
                none +                                                          // c
                kMenu + kLocates + kLocateStore + kPointStored +                // e.l 2
                kMenu + kLocates + "2\t1.02\t" + c.substr(0, 63) + "\n" + kLocateEdit +  // ll c
                kMenu + "\n");
  // The "s" given as a slot number saved nothing.
  EXPECT_FALSE(has(p.readFile("param.txt"), "Volume Settings"));
}

TEST(LocatePoints, SavedRangesAndLocatesAreFoundAgainAfterARestart) {
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
  // The next run lists both tables exactly as the first one did.
  EXPECT_EQ(p.console("lio c ll c x"), kMenu + ranges + kMenu + locates + kMenu + "\n");
}

TEST(LocatePoints, MeasureAndBeatListings) {
  // 120 bpm, 4/4, 44100 Hz: 22050 frames are beat 2, 88200 frames bar 2.
  // A period of 882 frames keeps 22050 and 88200 as they are.
  ProjectFixture p(
      "sr\t44100\nbuf\t882\ntmode\t1\ni\t22050\no\t88200\nloc\t88200\tbar2\nloc\t22050\tbeat2\n"
      "range\t22050\t88200\tintro\n");
  const std::string menu = musicalMenu("1.2.00", "2.1.00", "1.1.00", "1.2.00");
  const std::string punchSet = musicalMenu("1.2.00", "2.1.00", "2.1.00", "2.1.00");
  const std::string locates = kLocates + "1\t2.1.00\tbar2\n2\t1.2.00\tbeat2\n";
  const std::string intro = kRanges + "1\t1.2.00\t2.1.00\tintro\n";
  EXPECT_EQ(p.console("ll c lio c l.e 1 e.l 3 io. 2 0 .io 2 ll c x"),
            menu + locates + kLocateEdit +                                            // ll c
                menu + intro + kRangeEdit +                                           // lio c
                menu + locates + kLocateRecall +                                      // l.e 1
                punchSet + locates + kLocateStore + kPointStored +                    // e.l 3
                punchSet + intro + kStore + kName +                                   // io. 2 0
                punchSet + intro + "2\t1.2.00\t2.1.00\t(name)\n" +                    // .io 2
                kRecall + punchSet + locates + "3\t2.1.00\t(name)\n" + kLocateEdit +  // ll c
                punchSet + "\n");
}

}  // namespace
}  // namespace varnow::testing
