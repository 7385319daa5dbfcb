// The track lists as a user meets them: the record and play listings, the
// menus that choose the list files, and the solo editor.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/transcripts.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

const std::string kContinue = "Enter 'c' to continue\n";
const std::string kRule = "-------------------------\n";

// A project on the virtual card with the given channel counts and lists.
struct ListsProject {
  ListsProject(const std::string& extraSettings, int inputCount, int outputCount, int tracks,
               const std::string& playList = "", const std::string& recordList = "")
      : inputs(inputCount), outputs(outputCount) {
    project.writeParams(extraSettings, inputCount, outputCount, tracks);
    project.writeFile("play.txt", playList);
    project.writeFile("record.txt", recordList);
  }

  // Standard output after the start-up printout and the driver report of a
  // run that ends with status 0.
  std::string run(const std::string& input) const {
    const RunResult result = project.run(input);
    EXPECT_EQ(result.exitStatus, 0);
    const std::string report = driverReport(1024, 48000, outputs, inputs);
    const std::size_t at = result.out.find(report);
    return at == std::string::npos ? result.out : result.out.substr(at + report.size());
  }

  // The play listing of `lp` with its rows, as the console shows it.
  std::string playListing(const std::string& rows) const {
    return "File: play.txt\nSource\t\t\tSolo\tDestination\n" + rows + kRule + kContinue;
  }

  int inputs;
  int outputs;
  ProjectFixture project;
};

// The text of the saved param.txt from `heading` up to the next heading.
std::string savedSection(const std::string& saved, const std::string& heading) {
  const std::size_t start = saved.find("\n" + heading + "\n");
  if (start == std::string::npos) return "(no " + heading + ")";
  const std::size_t end = saved.find("\n\n", start + 1);
  return saved.substr(start + 1, end == std::string::npos ? std::string::npos : end - start);
}

TEST(TrackLists, RecordListingArmsTheNamedLinesUpToTheInputCount) {
  // The empty line does not count: "-" is line 2 and b.wav line 3; input 4
  // has no line.
  ListsProject p("", 4, 2, 4, "", "a.wav\n\n-\nb.wav\n");
  EXPECT_EQ(p.run("lr q c x"), kZeroMenu +
                                   "File: record.txt\nSource\t\tStatus\t\tDestination\n"
                                   "In 1\t\tARMED\t\ta.wav\nIn 3\t\tARMED\t\tb.wav\n" +
                                   kRule + kContinue + kZeroMenu + "\n");

  // Names are shown whole, blanks included; lines beyond the inputs are not
  // listed. The list is read afresh at every 'lr'.
  p.project.writeFile("record.txt", "the first take of the song.wav\n  spaced .wav\nthird.wav");
  const std::string again = p.run("lr c x");
  EXPECT_NE(again.find("Destination\nIn 1\t\tARMED\t\tthe first take of the song.wav\n"
                       "In 2\t\tARMED\t\t  spaced .wav\nIn 3\t\tARMED\t\tthird.wav\n" +
                       kRule),
            std::string::npos)
      << again;

  ListsProject two("", 2, 2, 2, "", "one.wav\ntwo.wav\nthree.wav\n");
  const std::string bounded = two.run("lr c x");
  EXPECT_NE(bounded.find("In 1\t\tARMED\t\tone.wav\nIn 2\t\tARMED\t\ttwo.wav\n" + kRule),
            std::string::npos);
}

TEST(TrackLists, ListingsOfAMissingListSayWhichFile) {
  ListsProject p("rec\t1\tgone.txt\nplay\t1\tlost.txt\n", 2, 2, 2);
  // The exit then asks for both lists; play.txt and record.txt exist.
  EXPECT_EQ(p.run("lr c lp c x play.txt record.txt"),
            kZeroMenu + "Cannot find recordlist file called gone.txt\n" + kContinue + kZeroMenu +
                "Playlist file called lost.txt was not found!\n" + kContinue + kZeroMenu +
                "Cannot find playlist file called lost.txt\n"
                "Create the file or enter a different name\n"
                "Cannot find recordlist file called gone.txt\n"
                "Create the file or enter a different name\n\n");
}

TEST(TrackLists, AListThatOpensButCannotBeReadIsNeverTakenAsEmpty) {
  // A directory named as the play list yields no text; a FIFO is not even
  // opened (its open would wait for a writer). The listing, the mixer view
  // and the pass each say why.
  const std::string rule(79, '-');
  for (const std::string& why :
       {std::string("Is a directory"), std::string("it is not a regular file")}) {
    ListsProject p("play\t1\tsongs\nint\t0\n", 2, 2, 2);
    if (why == "Is a directory") std::filesystem::create_directory(p.project.dir() / "songs");
    if (why != "Is a directory") p.project.makeFifo("songs");
    const std::string unread = "Could not read songs: " + why + ".\n";
    const std::string status = "Play: 0.00   Rec: 0.00   Stop: 0.00   Mem: 0.00\n";
    EXPECT_EQ(p.run("lp c mix d x play.txt"),
              status + unread + kContinue + status + "\n" + unread + "\n" + status +
                  "\nMix commands are active.  Enter 'h' for help.\n" + status + unread +
                  "Create the file or enter a different name\n\n");
  }
}

TEST(TrackLists, PlayListingDestinationsInEveryMixMode) {
  const struct {
    std::string settings;
    int outputs, tracks;
    std::string list, rows;
  } modes[] = {
      // Mode 0, 8 tracks on 2 outputs: tracks 3..8 have no output of their
      // own. Line 4 is skipped, the tenth line lies beyond the tracks, the
      // first name is cut to 12 characters, and track 2 is soloed.
      {"solo\t2\n", 2, 8,
       "a_very_long_track_name.wav\nt2.wav\n\nt3.wav\n-\nt5.wav\nt6.wav\nt7.wav\nt8.wav\nt9.wav\n",
       "a_very_long_\t\toff\tOut 1\nt2.wav\t\tON\tOut 2\nt3.wav\t\toff\tOut (3)\n"
       "t5.wav\t\toff\tOut (5)\nt6.wav\t\toff\tOut (6)\nt7.wav\t\toff\tOut (7)\n"
       "t8.wav\t\toff\tOut (8)\n"},
      // Mode 1: every track to outputs 1 and 2, and to its own if it exists.
      {"mix\t1\n", 4, 6, "1.wav\n2.wav\n3.wav\n4.wav\n5.wav\n6.wav\n",
       "1.wav\t\toff\tOut 1 2\n2.wav\t\toff\tOut 1 2\n3.wav\t\toff\tOut 1 2 3\n"
       "4.wav\t\toff\tOut 1 2 4\n5.wav\t\toff\tOut 1 2 (5)\n6.wav\t\toff\tOut 1 2 (6)\n"},
      // Mode 2: bus 1 (outputs 1 2) holds track 3, bus 2 is off, bus 3
      // (outputs 5 6, which the 4-output interface lacks) holds track 4, bus
      // 4 is off. Tracks 1 and 2 are heard nowhere: their pair belongs to bus
      // 1, which is on. Tracks 3 and 4 keep their own outputs, whose pair's
      // bus is off.
      {"mix\t2\nbus\t1\t3,\nbus\t3\t4,\n", 4, 7,
       "1.wav\n2.wav\n3.wav\n4.wav\n5.wav\n6.wav\n7.wav\n",
       "1.wav\t\toff\tOut \n2.wav\t\toff\tOut \n3.wav\t\toff\tOut 1 2 3 \n"
       "4.wav\t\toff\tOut 4 (5 6) \n5.wav\t\toff\tOut \n6.wav\t\toff\tOut \n"
       "7.wav\t\toff\tOut (7) \n"},
      // Mode 3: busses summed into the master.
      {"mix\t3\nbus\t1\t1,2,\nbus\t3\t2,3,\n", 2, 4, "1.wav\n2.wav\n3.wav\n4.wav\n",
       "1.wav\t\toff\tOut 1 2 \n2.wav\t\toff\tOut 1 2 Bus 3 -> Out 1 2 \n"
       "3.wav\t\toff\tBus 3 -> Out 1 2 \n4.wav\t\toff\t\n"},
  };
  for (const auto& mode : modes) {
    ListsProject p(mode.settings, 2, mode.outputs, mode.tracks, mode.list);
    EXPECT_EQ(p.run("lp c x"), kZeroMenu + p.playListing(mode.rows) + kZeroMenu + "\n")
        << mode.settings;
  }
}

const std::string kPlayMenuChoices =
    "Enter a new filename to load\nor enter a number of a file in the list or\n"
    "'rem' to remove a file from the list\n'a'   to add a new file to the list\n"
    "'ac'  to add current file to list\n'd'   when done\n";

// The 'pf' menu with the stored entries (already formatted) and entry 1.
std::string playMenu(const std::string& entries, const std::string& current) {
  return "Stored playlist filenames:\n\n" + entries + "\nCurrently playing from " + current +
         "\n\n" + kPlayMenuChoices;
}

std::string setToPlay(const std::string& current) {
  return "Set to play from " + current + "\n\n";
}

const std::string kStoredPlayLists = "play\t1\tplay.txt\nplay\t2\tmix.txt\nplay\t4\tdrums.txt\n";

TEST(TrackLists, PlayListMenuChoosesByNumberWithLeadingDigits) {
  ListsProject p(kStoredPlayLists, 2, 2, 2);
  p.project.writeFile("mix.txt", "");
  // "2mix.txt" is entry 2, not a name.
  EXPECT_EQ(p.run("pf 2mix.txt s x"),
            kZeroMenu + playMenu("1\tplay.txt\n2\tmix.txt\n4\tdrums.txt\n", "play.txt") +
                setToPlay("mix.txt") + kZeroMenu + "\nStored Settings\n" + kZeroMenu + "\n");
  EXPECT_EQ(savedSection(p.project.readFile("param.txt"), "Playlist Files:"),
            "Playlist Files:\nplay\t1\tmix.txt\nplay\t2\tmix.txt\nplay\t4\tdrums.txt\n");

  // An empty entry chosen by number empties the current list: the exit then
  // asks for a play list name.
  ListsProject q(kStoredPlayLists, 2, 2, 2);
  q.project.writeFile("drums.txt", "");
  EXPECT_EQ(q.run("pf 3 x drums.txt s"),
            kZeroMenu + playMenu("1\tplay.txt\n2\tmix.txt\n4\tdrums.txt\n", "play.txt") +
                setToPlay("") + kZeroMenu +
                "Cannot find playlist file called \nCreate the file or enter a different name\n\n");
}

TEST(TrackLists, PlayListMenuRemovesAddsAndRefusesOverlongNames) {
  ListsProject p(kStoredPlayLists, 2, 2, 2);
  p.project.writeFile("new.txt", "");
  const std::string longest(127, 'k');
  const std::string tooLong(128, 'n');
  const std::string refused =
      "A list file name can have at most 127 characters; that name was not taken.\n";
  const std::string position = "Enter the list position (1-128)\n";
  const std::string result = p.run("pf rem 2 a new.txt 1 ac 7 ac 0 rem 300 a " + tooLong + " 5 a " +
                                   longest + " 9 d pf " + tooLong + " s x");
  const std::string after = "1\tnew.txt\n4\tdrums.txt\n7\tnew.txt\n";
  EXPECT_EQ(
      result,
      kZeroMenu +
          // rem 2
          playMenu("1\tplay.txt\n2\tmix.txt\n4\tdrums.txt\n", "play.txt") +
          "Enter the number to remove\n" + setToPlay("play.txt") +
          // a new.txt at 1 replaces the current list
          playMenu("1\tplay.txt\n4\tdrums.txt\n", "play.txt") + "Enter the filename to add\n" +
          position + setToPlay("new.txt") +
          // ac 7
          playMenu("1\tnew.txt\n4\tdrums.txt\n", "new.txt") + position + setToPlay("new.txt") +
          // ac 0 and rem 300: out of range, ignored
          playMenu(after, "new.txt") + position + setToPlay("new.txt") +
          playMenu(after, "new.txt") + "Enter the number to remove\n" + setToPlay("new.txt") +
          // a 128-character name is refused; 127 characters are taken
          playMenu(after, "new.txt") + "Enter the filename to add\n" + position + refused +
          setToPlay("new.txt") + playMenu(after, "new.txt") + "Enter the filename to add\n" +
          position + setToPlay("new.txt") + playMenu(after + "9\t" + longest + "\n", "new.txt") +
          setToPlay("new.txt") + kZeroMenu +
          // an over-long name as the new current list: refused, menu done
          playMenu(after + "9\t" + longest + "\n", "new.txt") + refused + setToPlay("new.txt") +
          kZeroMenu + "\nStored Settings\n" + kZeroMenu + "\n");
  EXPECT_EQ(savedSection(p.project.readFile("param.txt"), "Playlist Files:"),
            "Playlist Files:\nplay\t1\tnew.txt\nplay\t4\tdrums.txt\nplay\t7\tnew.txt\nplay\t9\t" +
                longest + "\n");
}

TEST(TrackLists, RecordListMenu) {
  ListsProject p("rec\t3\told.txt\n", 2, 2, 2);
  p.project.writeFile("takes.txt", "");
  const std::string result = p.run("rf d rf takes.txt s x");
  const std::string menu =
      "Stored recordlist filenames:\n\n1\trecord.txt\n3\told.txt\n"
      "\nCurrently recording to record.txt\n\n" +
      kPlayMenuChoices;
  EXPECT_EQ(result, kZeroMenu + menu + "Set to record from record.txt\n\n" + kZeroMenu + menu +
                        "Set to record from takes.txt\n\n" + kZeroMenu + "\nStored Settings\n" +
                        kZeroMenu + "\n");
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_EQ(savedSection(saved, "Recordlist Files:"),
            "Recordlist Files:\nrec\t1\ttakes.txt\nrec\t3\told.txt\n");
  EXPECT_EQ(savedSection(saved, "Playlist Files:"), "Playlist Files:\nplay\t1\tplay.txt\n");
}

TEST(TrackLists, SoloEditorAddsAndRemovesCommaLists) {
  ListsProject p("", 2, 2, 8);
  const std::string result = p.run("so a 1,3,300 a x,0,,-2,8,9 r 3 q r 1,8 a 2,6 d s x");
  const std::string choices = "'a' add, 'r' remove, 'd' done\n";
  const std::string add = "Enter track number to add, or multiple if comma separated\n";
  const std::string remove = "Enter track number to remove, or multiple if comma separated\n";
  auto shown = [&](const std::string& tracks) {
    return "Solo Enabled Tracks:" + tracks + "\n" + choices;
  };
  EXPECT_EQ(result, kZeroMenu + shown(" (none)") + add + shown(" 1 3") + add + shown(" 1 3 8") +
                        remove + shown(" 1 8") + shown(" 1 8") + remove + shown(" (none)") + add +
                        shown(" 2 6") + kZeroMenu + "\nStored Settings\n" + kZeroMenu + "\n");
  EXPECT_EQ(savedSection(p.project.readFile("param.txt"), "Solo Settings:"),
            "Solo Settings:\nsolo\t2\nsolo\t6\n");
}

}  // namespace
}  // namespace varnow::testing
