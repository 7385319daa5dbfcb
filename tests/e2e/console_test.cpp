// The console as a user meets it: prompts, the dispatch of words, the help
// screen, the options menu, the safety switch, saving and leaving.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/transcripts.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

// A project on the virtual card with both list files present.
struct ConsoleProject {
  explicit ConsoleProject(const std::string& extraSettings = "") {
    project.writeParams(extraSettings);
    project.writeFile("play.txt", "");
    project.writeFile("record.txt", "take.wav\n");
  }

  // Standard output after the start-up printout and the driver report.
  std::string console(const RunResult& result) const {
    const std::string report = driverReport(1024, 48000, 2, 2);
    const std::size_t at = result.out.find(report);
    return at == std::string::npos ? result.out : result.out.substr(at + report.size());
  }

  ProjectFixture project;
};

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST(Console, UnknownWordsAreIgnoredAndEveryWordOfALineIsACycle) {
  ConsoleProject p;
  const RunResult result = p.project.run("hello   world\n\n  \t \nx\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(p.console(result), kZeroMenu + kZeroMenu + kZeroMenu + "\n");
}

TEST(Console, EndOfInputEndsTheRunLikeExit) {
  ConsoleProject p;
  const RunResult result = p.project.run("nothing-here");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(p.console(result), kZeroMenu + kZeroMenu + "\n");
  // Even with the play list gone, the end of input asks nothing more.
  p.project.remove("play.txt");
  const RunResult ended = p.project.run("");
  EXPECT_EQ(ended.exitStatus, 0);
  EXPECT_EQ(ended.out.find("Cannot find playlist file"), std::string::npos);
}

TEST(Console, OverlongWordKeepsItsFirst511CharactersOnly) {
  ConsoleProject p;
  // 600 letters 's': the first 511 are one unknown word; the other 89 must
  // not be read as further words (89 saves).
  const RunResult result = p.project.run(std::string(600, 's') + " x\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(p.console(result), kZeroMenu + kZeroMenu + "\n");
  EXPECT_EQ(p.project.readFile("param.txt").find("Volume Settings"), std::string::npos);
}

TEST(Console, HelpScreenListsEveryFunctionAndWaitsForC) {
  ConsoleProject p;
  const RunResult result = p.project.run("+ a b c h c x");
  const std::string shown = p.console(result);
  const std::string start =
      "\nFunctions:\n\nMonitoring:\n   'ma' to monitor all input channels for peaks \n"
      "   'mr' to monitor record enabled channels for peaks \nAssignments:\n";
  const std::string end =
      "   'l.i' 'l.o' or 'l.e' to recall times from locate point\n\nEnter 'c' continue\n";
  ASSERT_EQ(shown.substr(kZeroMenu.size(), start.size()), start);
  const std::size_t endAt = shown.find(end);
  ASSERT_NE(endAt, std::string::npos);
  const std::string screen = shown.substr(kZeroMenu.size(), endAt + end.size() - kZeroMenu.size());
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 62);
  EXPECT_NE(screen.find("\n   'R_takeName' to record with preemptive take naming\n"),
            std::string::npos);
  // 'h' shows the same screen; 'a' and 'b' are read and ignored while waiting.
  EXPECT_EQ(shown, kZeroMenu + screen + kZeroMenu + screen + kZeroMenu + "\n");
}

TEST(Console, OptionsMenuSwitchesToTheMinimalInterface) {
  ConsoleProject p;
  const RunResult result = p.project.run("opt sc np int0 d zzz x");
  const std::string menuUc =
      "\nOptions:\n\nClock: (now set to uc)\n  'sc' to stream clock\n"
      "  'uc' to unstream clock (default)\n  'hc' to hide clock\n"
      "\nPeaks: (now set to cp)\n  'cp' to check peaks while recording (default)\n"
      "  'np' for no peak checking while recording\n"
      "\nInterface: (now set to int1)\n  'int0' for minimal interface\n"
      "  'int1' for default interface\n\n  'd' if done changing options\n";
  std::string menuSc = menuUc;
  menuSc.replace(menuSc.find("(now set to uc)"), 15, "(now set to sc)");
  std::string menuNp = menuSc;
  menuNp.replace(menuNp.find("(now set to cp)"), 15, "(now set to np)");
  std::string menuInt0 = menuNp;
  menuInt0.replace(menuInt0.find("(now set to int1)"), 17, "(now set to int0)");
  const std::string status = "Play: 0.00   Rec: 0.00   Stop: 0.00   Mem: 0.00\n";
  EXPECT_EQ(p.console(result),
            kZeroMenu + menuUc + menuSc + menuNp + menuInt0 + status + status + "\n");
  // Options reach param.txt only through 's'.
  EXPECT_EQ(p.project.readFile("param.txt").find("clock"), std::string::npos);
}

TEST(Console, OptionsAreSavedWithS) {
  ConsoleProject p;
  p.project.run("opt hc np int0 d s x");
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_NE(saved.find("\nint\t0\nclock\thc\npeak\tnp\n"), std::string::npos);
  // The next run starts in the minimal interface with those options.
  const RunResult again = p.project.run("opt d x");
  EXPECT_NE(p.console(again).find("Clock: (now set to hc)"), std::string::npos);
  EXPECT_EQ(p.console(again).substr(0, 5), "Play:");
}

TEST(Console, SafetySwitch) {
  ConsoleProject off;
  const RunResult on = off.project.run("safe what 1 safe 0 safe 2 x");
  EXPECT_EQ(off.console(on), kZeroMenu +
                                 "Safety mode for replacing files is OFF\nEnter '1' to turn on\n"
                                 "Enter '2' to keep current settings\nSafety mode is ON\n" +
                                 kZeroMenu +
                                 "Safety mode for replacing files is ON\nEnter '0' to turn off\n"
                                 "Enter '2' to keep current settings\nSafety mode is OFF\n" +
                                 kZeroMenu +
                                 "Safety mode for replacing files is OFF\nEnter '1' to turn on\n"
                                 "Enter '2' to keep current settings\n" +
                                 kZeroMenu + "\n");

  // A value from param.txt other than 0 and 1 shows OFF without the offer to
  // turn it on; "1" still turns it on.
  ConsoleProject odd("safe\t7\n");
  const RunResult odd7 = odd.project.run("safe 1 s x");
  EXPECT_EQ(odd.console(odd7), kZeroMenu +
                                   "Safety mode for replacing files is OFF\n"
                                   "Enter '2' to keep current settings\nSafety mode is ON\n" +
                                   kZeroMenu + "\nStored Settings\n" + kZeroMenu + "\n");
  EXPECT_NE(odd.project.readFile("param.txt").find("\nsafe\t1\n"), std::string::npos);
}

TEST(Console, SaveWritesTheCompleteFileAndKeepsItWhenItCannot) {
  ConsoleProject p("v\t2\t-6.5\np\t1\t-40\nrange\t48000\t96000\tverse\nloc\t4096\tcount-in\n");
  const RunResult result = p.project.run("s x");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(p.project.readFile("param.txt"),
            "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\nbuf\t1024\nint\t1\n"
            "clock\tuc\npeak\tcp\ni\t0\no\t0\ne\t0\nnudge\t0.2500\nproll\t0.000\naud\t3.00\n"
            "xfade\t0.0\nmem\t0\nodcomp\t4\nmix\t0\nmeter\t-30\ntmode\t0\ntempo\t120.00\nsig\t4\n"
            "safe\t0\n\nVolume Settings:\nv\t1\t0.00\nv\t2\t-6.50\n\nPan Settings:\np\t1\t-40\n"
            "p\t2\t0\n\nSolo Settings:\n\nTime Ranges:\nrange\t48128\t96256\tverse\n"
            "\nLocate Points:\nloc\t4096\tcount-in\n\nPlaylist Files:\nplay\t1\tplay.txt\n"
            "\nRecordlist Files:\nrec\t1\trecord.txt\n\nBus Assignments:\n\nBus Volumes (dB):\n");

  // A directory where the scratch file would go makes the save fail: the old
  // file stays as it was and the run says so instead of "Stored Settings".
  const std::string before = p.project.readFile("param.txt");
  std::filesystem::create_directory(p.project.dir() / "param.txt.new");
  const RunResult failed = p.project.run("s x");
  EXPECT_EQ(failed.exitStatus, 0);
  EXPECT_EQ(failed.out.find("Stored Settings"), std::string::npos);
  EXPECT_NE(failed.out.find("param.txt"), std::string::npos);
  EXPECT_EQ(p.project.readFile("param.txt"), before);
}

TEST(Console, MusicalTimeMenuAndStatusLine) {
  // 88200 frames at 44100 Hz, 120 bpm, 4/4: 2 seconds = 4 beats = 2.1.00.
  ProjectFixture project;
  project.writeFile("param.txt", "dv\tvcard\nsr\t44100\ntmode\t1\ni\t88200\no\t176400\ne\t22050\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n");
  const RunResult result = project.run("opt int0 d x");
  // Points are rounded up to 1024-frame periods first: 88200 -> 89088,
  // 176400 -> 177152, 22050 -> 22528.
  const std::string menuStart =
      "Time functions:  (memory = 1.1.00)\n\n"
      "   'i' to set play start  (2.1.04)\n"
      "   'o' to set play/record stop (3.1.03)\n"
      "   'e' to set record enter (1.2.02)\n\nTransport:\n\n"
      "   'p' to play from 2.1.04 to 3.1.03\n"
      "   'r' to play from 2.1.04 and record from 2.1.04 to 3.1.03\n"
      "   'R' to record without playback from 1.2.02 to 3.1.03\n";
  EXPECT_NE(result.out.find(menuStart), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Play: 2.1.04   Rec: 1.2.02   Stop: 3.1.03   Mem: 1.1.00\n"),
            std::string::npos);
}

TEST(Console, ExitAsksForAMissingPlayListBeforeItEnds) {
  // The list in use is gone (start-up only creates play.txt in its place).
  ConsoleProject p("play\t1\tsongs.txt\n");
  p.project.writeFile("other.txt", "");
  const std::string tooLong(130, 'n');
  const RunResult result = p.project.run("x gone.txt " + tooLong + " other.txt s");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(p.console(result),
            kZeroMenu +
                "Cannot find playlist file called songs.txt\n"
                "Create the file or enter a different name\n"
                "Cannot find playlist file called gone.txt\n"
                "Create the file or enter a different name\n"
                "A list file name can have at most 127 characters; that name was not taken.\n"
                "Cannot find playlist file called gone.txt\n"
                "Create the file or enter a different name\n"
                "\n");
  // The word after the answer is never read: nothing was saved.
  EXPECT_EQ(count(p.project.readFile("param.txt"), "Volume"), 0u);
}

TEST(Console, CommandsOfTheTableNeverFallThroughToLaterRows) {
  // "ex" and "io.x" set a point directly; "io" is no command; "q.l" is a
  // locate store form that stores nothing. None of them may end the run,
  // save, or ask a question.
  ConsoleProject p;
  const RunResult result = p.project.run("ex io io.x q.l d x");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(count(result.out, "Time functions:"), 6u);
  EXPECT_EQ(result.out.find("Stored Settings"), std::string::npos);
}

}  // namespace
}  // namespace varnow::testing
