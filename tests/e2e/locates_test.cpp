// Locate points and ranges as the user meets them: storing, recalling,
// listing, renaming and deleting, in seconds and in measure.beat, and their
// way through param.txt.
#include <gtest/gtest.h>

#include "e2e/transcripts.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

// Play start 24576 (0.51 s), stop 98304 (2.05 s), record start 49152
// (1.02 s) at 48000 Hz: whole 1024-frame periods, so they stay as written.
const std::string kPoints = "i\t24576\no\t98304\ne\t49152\n";
const std::string kMenu = secondsMenu("0.00", "0.51", "2.05", "1.02", "1.02");

const std::string kRangeHeader = "Loc\tIn\tOut\tName\n";
const std::string kRangeEditChoices =
    "Enter 'n' to change region name\nEnter 'k' to delete region\nEnter 'c' to continue\n";
const std::string kStorePrompt = "Enter location to store to (1-64)\n";
const std::string kNamePrompt = "Enter a range name or '0' to skip\n";
const std::string kRecallPrompt = "Enter location to recall (1-64)\n";

const std::string kLocateHeader = "Locate Points:\n";
const std::string kLocateStorePrompt = "\nEnter locate point number (1-64)\n";
const std::string kStored = "Stored locate point\n";
const std::string kLocateRecallPrompt = "Enter a locate point number (1-64)\n";
const std::string kLocateEditChoices =
    "Enter 'n' to change name\nEnter 'k' to delete point\nEnter 'c' to continue\n";

// The time menu in measure.beat with every point at the given texts.
std::string musicalMenu(const std::string& memory, const std::string& in, const std::string& out,
                        const std::string& punch, const std::string& recordFrom) {
  return "Time functions:  (memory = " + memory + ")\n\n   'i' to set play start  (" + in +
         ")\n   'o' to set play/record stop (" + out + ")\n   'e' to set record enter (" + punch +
         ")\n\nTransport:\n\n   'p' to play from " + in + " to " + out + "\n   'r' to play from " +
         in + " and record from " + recordFrom + " to " + out +
         "\n   'R' to record without playback from " + punch + " to " + out +
         "\n\n   '+' for all functions\n   's' to save all settings to param.txt file\n"
         "   'x' to exit program\n";
}

// A project on the virtual card with both list files present, at 48000 Hz
// with a period of 1024 frames unless asked otherwise.
struct LocateProject {
  explicit LocateProject(const std::string& extraSettings, int sampleRate = 48000,
                         int periodFrames = 1024)
      : rate(sampleRate), period(periodFrames) {
    project.writeParams("sr\t" + std::to_string(rate) + "\nbuf\t" + std::to_string(period) + "\n" +
                        extraSettings);
    project.writeFile("play.txt", "");
    project.writeFile("record.txt", "take.wav\n");
  }

  // Standard output after the start-up printout and the driver report.
  std::string run(const std::string& input) const {
    const RunResult result = project.run(input);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(result.timedOut);
    const std::string report = driverReport(period, rate, 2, 2);
    const std::size_t at = result.out.find(report);
    return at == std::string::npos ? result.out : result.out.substr(at + report.size());
  }

  int rate;
  int period;
  ProjectFixture project;
};

TEST(Ranges, WithNoneStoredRecallAndEditSaySoAndStoreStillWorks) {
  LocateProject p(kPoints);
  EXPECT_EQ(p.run(".io lio io. 4 first .io 4 x"),
            kMenu + "No locations available\n" +                                    // .io
                kMenu + "No range locations to edit\n" +                            // lio
                kMenu + "All locations available\n" + kStorePrompt + kNamePrompt +  // io. 4 first
                kMenu + kRangeHeader + "4\t0.51\t2.05\tfirst\n" + kRecallPrompt +   // .io 4
                kMenu + "\n");
}

TEST(Ranges, OverwriteKeepsTheOldNameOnZeroAndRecallSetsPlayStartAndStop) {
  // Slot 1 from param.txt: 48128 (1.00 s) to 144384 (3.01 s).
  LocateProject p(kPoints + "range\t48128\t144384\tchorus\n");
  const std::string chorus = "1\t1.00\t3.01\tchorus\n";
  const std::string recalled = secondsMenu("0.00", "1.00", "3.01", "1.02", "1.02");
  EXPECT_EQ(p.run("io. 2 verse .io 1 io. 2 0 .io 9 .io 65 x"),
            kMenu + kRangeHeader + chorus + kStorePrompt + kNamePrompt +       // io. 2 verse
                kMenu + kRangeHeader + chorus + "2\t0.51\t2.05\tverse\n" +     // .io 1
                kRecallPrompt +                                                //
                recalled + kRangeHeader + chorus + "2\t0.51\t2.05\tverse\n" +  // io. 2 0
                kStorePrompt + kNamePrompt +                                   //
                recalled + kRangeHeader + chorus + "2\t1.00\t3.01\tverse\n" +  // .io 9
                kRecallPrompt + "Location 9 is empty\n" +                      //
                recalled + kRangeHeader + chorus + "2\t1.00\t3.01\tverse\n" +  // .io 65
                kRecallPrompt + recalled + "\n");
}

TEST(Ranges, StoringWhileInAndOutAreZeroLeavesTheSlotEmpty) {
  LocateProject p("range\t48128\t144384\tchorus\n");
  const std::string list = kRangeHeader + "1\t1.00\t3.01\tchorus\n";
  EXPECT_EQ(p.run("io. 7 ghost .io 7 s x"),
            kZeroMenu + list + kStorePrompt + kNamePrompt +                   // io. 7 ghost
                kZeroMenu + list + kRecallPrompt + "Location 7 is empty\n" +  // .io 7
                kZeroMenu + "\nStored Settings\n" + kZeroMenu + "\n");        // s
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_NE(saved.find("\nTime Ranges:\nrange\t48128\t144384\tchorus\n\nLocate Points:\n"),
            std::string::npos)
      << saved;
}

TEST(Ranges, NulTypedInANameEndsTheWordAndTheNameSurvivesASave) {
  // Ctrl-@ sends a NUL byte: it separates words as a blank does, so the
  // name stored (and saved, and found after a restart) is "verse".
  LocateProject p(kPoints);
  const char script[] = "io. 1 \0verse\0 s x";
  p.run(std::string(script, sizeof script - 1));
  EXPECT_NE(p.project.readFile("param.txt").find("\nrange\t24576\t98304\tverse\n"),
            std::string::npos);
  EXPECT_NE(p.run(".io 1 x").find("1\t0.51\t2.05\tverse\n"), std::string::npos);
}

TEST(Ranges, EditRenamesAndDeletesUntilContinueOrNoneLeft) {
  // Slot 2: 196608 (4.10 s) to 245760 (5.12 s).
  LocateProject p(kPoints + "range\t48128\t144384\tchorus\nrange\t196608\t245760\tbridge\n");
  const std::string chorus = "1\t1.00\t3.01\tchorus\n";
  const std::string both = kRangeHeader + chorus + "2\t4.10\t5.12\tbridge\n" + kRangeEditChoices;
  const std::string renamed = kRangeHeader + chorus + "2\t4.10\t5.12\toutro\n" + kRangeEditChoices;
  const std::string second = kRangeHeader + "2\t4.10\t5.12\toutro\n" + kRangeEditChoices;
  const std::string number = "Enter the range number\n";
  EXPECT_EQ(p.run("lio what n 70 n 2 outro k 1 c lio k 2 io. 1 0 lio c x"),
            kMenu + both +                                                  // lio what
                both + number +                                             // n 70: no such slot
                both + number + "Enter a new range name\n" +                // n 2 outro
                renamed + number +                                          // k 1
                second +                                                    // c
                kMenu + second + number + "No range locations to edit\n" +  // lio k 2
                kMenu + "All locations available\n" + kStorePrompt +        // io. 1 0
                kNamePrompt +                                               //
                kMenu + kRangeHeader + "1\t0.51\t2.05\t(name)\n" +          // lio c: name reset
                kRangeEditChoices + kMenu + "\n");
}

TEST(LocatePoints, StoreWordsStoreTheirPointAndOtherDotLWordsDoNothing) {
  LocateProject p(kPoints);
  const std::string one = "1\t0.51\t(name)\n";
  const std::string two = "2\t2.05\t(name)\n";
  const std::string three = "3\t1.02\t(name)\n";
  const std::string list = kLocateHeader + one + two + three;
  EXPECT_EQ(p.run("i.l 1 o.l 2 e.l 3 m.l 5 o.l 65 q.l i.lx ll c x"),
            kMenu + kLocateHeader + kLocateStorePrompt + kStored +                  // i.l 1
                kMenu + kLocateHeader + one + kLocateStorePrompt + kStored +        // o.l 2
                kMenu + kLocateHeader + one + two + kLocateStorePrompt + kStored +  // e.l 3
                kMenu + list + kLocateStorePrompt + kStored +  // m.l 5: the memory is 0
                kMenu + list + kLocateStorePrompt +            // o.l 65: no such slot
                kMenu + kMenu +                                // q.l, i.lx
                kMenu + list + kLocateEditChoices +            // ll c: slot 5 stays empty
                kMenu + "\n");
}

TEST(LocatePoints, RecallWordsSetTheirPointAndOtherLDotWordsOnlyAsk) {
  // Slot 1: 196608 (4.10 s).
  LocateProject p(kPoints + "loc\t196608\tcue\n");
  const std::string ask = kLocateHeader + "1\t4.10\tcue\n" + kLocateRecallPrompt;
  const std::string outSet = secondsMenu("0.00", "0.51", "4.10", "1.02", "1.02");
  const std::string memorySet = secondsMenu("4.10", "0.51", "4.10", "1.02", "1.02");
  const std::string punchCleared = secondsMenu("4.10", "0.51", "4.10", "0.00", "0.51");
  const std::string inSet = secondsMenu("4.10", "4.10", "4.10", "0.00", "4.10");
  // "l.x 1" and "ll.i 1" ask but change nothing; "l.i 65" and "l.i x" name
  // no slot ("x" is taken as the answer 0, never as the exit command).
  EXPECT_EQ(p.run("l.o 1 l.m 1 l.e 9 l.x 1 ll.i 1 l.i 65 l.i x l.i 1 x"),
            kMenu + ask +                            // l.o 1
                outSet + ask +                       // l.m 1
                memorySet + ask +                    // l.e 9: empty slot sets 0
                punchCleared + ask +                 // l.x 1
                punchCleared + ask +                 // ll.i 1
                punchCleared + ask +                 // l.i 65
                punchCleared + ask +                 // l.i x
                punchCleared + ask + inSet + "\n");  // l.i 1
}

TEST(LocatePoints, EditRenamesEvenEmptySlotsAndDeletes) {
  LocateProject p(kPoints + "loc\t196608\tcue\n");
  const std::string withCue = kLocateHeader + "1\t4.10\tcue\n" + kLocateEditChoices;
  const std::string none = kLocateHeader + kLocateEditChoices;
  EXPECT_EQ(p.run("ll n 4 spare k 1 n 99 bogus c o.l 4 i.l 1 ll c x"),
            kMenu + withCue + "Enter locate point\nEnter a name for point 4\n" +   // n 4 spare
                withCue + "Enter locate point number\n" +                          // k 1
                none + "Enter locate point\n" +                                    // n 99
                none +                                                             // bogus
                none +                                                             // c
                kMenu + kLocateHeader + kLocateStorePrompt + kStored +             // o.l 4
                kMenu + kLocateHeader + "4\t2.05\tspare\n" + kLocateStorePrompt +  // i.l 1
                kStored +                                                          //
                kMenu + kLocateHeader + "1\t0.51\t(name)\n4\t2.05\tspare\n" +      // ll c
                kLocateEditChoices + kMenu + "\n");
}

TEST(LocatePoints, MeasureAndBeatListings) {
  // 120 bpm, 4/4, 44100 Hz: 22050 frames are beat 2, 88200 frames bar 2.
  // A period of 882 frames keeps 22050 and 88200 as they are.
  LocateProject p(
      "tmode\t1\ni\t22050\no\t88200\nloc\t88200\tbar2\nloc\t22050\tbeat2\n"
      "range\t22050\t88200\tintro\n",
      44100, 882);
  const std::string menu = musicalMenu("1.1.00", "1.2.00", "2.1.00", "1.1.00", "1.2.00");
  const std::string punchSet = musicalMenu("1.1.00", "1.2.00", "2.1.00", "2.1.00", "2.1.00");
  const std::string locates = kLocateHeader + "1\t2.1.00\tbar2\n2\t1.2.00\tbeat2\n";
  EXPECT_EQ(p.run("ll c lio c l.e 1 e.l 3 io. 2 0 .io 2 ll c x"),
            menu + locates + kLocateEditChoices +                                         // ll c
                menu + kRangeHeader + "1\t1.2.00\t2.1.00\tintro\n" + kRangeEditChoices +  // lio c
                menu + locates + kLocateRecallPrompt +                                    // l.e 1
                punchSet + locates + kLocateStorePrompt + kStored +                       // e.l 3
                punchSet + kRangeHeader + "1\t1.2.00\t2.1.00\tintro\n" + kStorePrompt +   // io. 2
                kNamePrompt + punchSet + kRangeHeader +                                   // .io 2
                "1\t1.2.00\t2.1.00\tintro\n2\t1.2.00\t2.1.00\t(name)\n" + kRecallPrompt + punchSet +
                locates + "3\t2.1.00\t(name)\n" + kLocateEditChoices +  // ll c
                punchSet + "\n");
}

TEST(LocatePoints, LongNamesKeep63CharactersAndNonNumbersAreConsumed) {
  LocateProject p(kPoints);
  const std::string a(70, 'a');
  const std::string b(80, 'b');
  const std::string c(100, 'c');
  const std::string a63(63, 'a');
  const std::string b63(63, 'b');
  const std::string c63(63, 'c');
  const std::string none = kLocateHeader + kLocateEditChoices;
  // Every non-number slot answer is a command word ("x", "s", "ll") that
  // would show if it were read again.
  const std::string output = p.run("io. x io. 1 " + a + " lio n 1 " + b +
                                   " c i.l s ll n x k ll n 2 " + c + " c e.l 2 ll c x");
  EXPECT_EQ(output,
            kMenu + "All locations available\n" + kStorePrompt +                    // io. x
                kMenu + "All locations available\n" + kStorePrompt + kNamePrompt +  // io. 1 a
                kMenu + kRangeHeader + "1\t0.51\t2.05\t" + a63 + "\n" +             // lio n 1 b
                kRangeEditChoices + "Enter the range number\nEnter a new range name\n" +
                kRangeHeader + "1\t0.51\t2.05\t" + b63 + "\n" + kRangeEditChoices +  // c
                kMenu + kLocateHeader + kLocateStorePrompt +                         // i.l s
                kMenu + none + "Enter locate point\n" +                              // ll n x
                none + "Enter locate point number\n" +                               // k ll
                none + "Enter locate point\nEnter a name for point 2\n" +            // n 2 c
                none +                                                               // c
                kMenu + kLocateHeader + kLocateStorePrompt + kStored +               // e.l 2
                kMenu + kLocateHeader + "2\t1.02\t" + c63 + "\n" +                   // ll c
                kLocateEditChoices + kMenu + "\n");
  // The "s" given as a slot number saved nothing.
  EXPECT_EQ(p.project.readFile("param.txt").find("Volume Settings"), std::string::npos);
}

TEST(LocatePoints, SavedRangesAndLocatesAreFoundAgainAfterARestart) {
  LocateProject p(kPoints + "range\t48128\t144384\tchorus\n");
  const std::string ranges =
      kRangeHeader + "1\t1.00\t3.01\tchorus\n2\t0.51\t2.05\tverse\n" + kRangeEditChoices;
  const std::string locates =
      kLocateHeader + "1\t0.51\t(name)\n2\t2.05\tend\n3\t1.02\tpunch\n" + kLocateEditChoices;
  const std::string first =
      p.run("io. 2 verse i.l 1 o.l 2 e.l 3 ll n 2 end n 3 punch c s lio c ll c x");
  EXPECT_NE(first.find("\nStored Settings\n" + kMenu + ranges + kMenu + locates + kMenu + "\n"),
            std::string::npos)
      << first;
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_NE(saved.find("\nTime Ranges:\nrange\t48128\t144384\tchorus\nrange\t24576\t98304\tverse\n"
                       "\nLocate Points:\nloc\t24576\t(name)\nloc\t98304\tend\nloc\t49152\tpunch\n"
                       "\nPlaylist Files:\n"),
            std::string::npos)
      << saved;

  // The next run lists both tables exactly as the first one did.
  EXPECT_EQ(p.run("lio c ll c x"), kMenu + ranges + kMenu + locates + kMenu + "\n");
}

}  // namespace
}  // namespace varnow::testing
