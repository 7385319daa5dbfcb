// The record and play listings, the list-file menus and the solo editor.
#include <filesystem>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

const std::string kRule = "-------------------------\n";

TEST(TrackLists, ListingsOfMissingOrUnreadableLists) {
  ProjectFixture p("rec\t1\tgone.txt\nplay\t1\tlost.txt\n");
  const std::string ask = "Create the file or enter a different name\n";
  // The mixer view says so too; the exit then asks for both lists (play.txt
  // and record.txt exist).
  EXPECT_EQ(p.console("lr c lp c mix d x play.txt record.txt"),
            kZeroMenu + "Cannot find recordlist file called gone.txt\n" + kContinue + kZeroMenu +
                "Playlist file called lost.txt was not found!\n" + kContinue + kZeroMenu +
                "\nPlaylist file called lost.txt was not found!\n\n" + kZeroStatus +
                "\nMix commands are active.  Enter 'h' for help.\n" + kZeroMenu +
                "Cannot find playlist file called lost.txt\n" + ask +
                "Cannot find recordlist file called gone.txt\n" + ask + "\n");

  // A directory or a FIFO (never opened) as the play list is no empty list:
  // the listing, the mixer view and the exit each say why.
  for (const std::string why : {"Is a directory", "it is not a regular file"}) {
    ProjectFixture unread("play\t1\tsongs\nint\t0\n");
    if (why == "Is a directory") std::filesystem::create_directory(unread.dir() / "songs");
    if (why != "Is a directory") unread.makeFifo("songs");
    const std::string reason = "Could not read songs: " + why + ".\n";
    EXPECT_EQ(unread.console("lp c mix d x play.txt"),
              kZeroStatus + reason + kContinue + kZeroStatus + "\n" + reason + "\n" + kZeroStatus +
                  "\nMix commands are active.  Enter 'h' for help.\n" + kZeroStatus + reason + ask +
                  "\n");
  }
}

TEST(TrackLists, RecordListingArmsTheNamedLinesAndPlayListingShowsEveryModesDestinations) {
  // The empty line does not count: "-" is line 2; names are shown whole,
  // blanks included; the fifth name lies beyond the inputs.
  ProjectFixture record("", "", "the first take.wav\n\n-\n  spaced .wav\nfour\nfive.wav", 4, 2, 4);
  EXPECT_EQ(record.console("lr q c x"),
            kZeroMenu + "File: record.txt\nSource\t\tStatus\t\tDestination\n" +
                "In 1\t\tARMED\t\tthe first take.wav\nIn 3\t\tARMED\t\t  spaced .wav\n" +
                "In 4\t\tARMED\t\tfour\n" + kRule + kContinue + kZeroMenu + "\n");

  // Settings, outputs, tracks, the play list, and the listing's rows.
  const std::tuple<std::string, int, int, std::string, std::string> modes[] = {
      // Mode 0: tracks 3..8 lack an output; names cut to 12; track 2 soloed.
      {"solo\t2\n", 2, 8,
       "a_very_long_track_name.wav\nt2.wav\n\nt3.wav\n-\nt5.wav\nt6.wav\nt7.wav\nt8.wav\nt9.wav\n",
       "a_very_long_\t\toff\tOut 1\nt2.wav\t\tON\tOut 2\nt3.wav\t\toff\tOut (3)\n"
       "t5.wav\t\toff\tOut (5)\nt6.wav\t\toff\tOut (6)\nt7.wav\t\toff\tOut (7)\n"
       "t8.wav\t\toff\tOut (8)\n"},
      // Mode 1: every track to outputs 1 and 2, and to its own.
      {"mix\t1\n", 4, 6, "1.wav\n2.wav\n3.wav\n4.wav\n5.wav\n6.wav\n",
       "1.wav\t\toff\tOut 1 2\n2.wav\t\toff\tOut 1 2\n3.wav\t\toff\tOut 1 2 3\n"
       "4.wav\t\toff\tOut 1 2 4\n5.wav\t\toff\tOut 1 2 (5)\n6.wav\t\toff\tOut 1 2 (6)\n"},
      // Mode 2: bus 1 (outputs 1 2) holds track 3, bus 3 (outputs 5 6; the
      // interface lacks 6) track 4, bus 64 track 5; tracks 1 and 2 have their
      // pair taken by bus 1; tracks 3 and 4 keep their own outputs, whose bus is off.
      {"mix\t2\nbus\t1\t3,\nbus\t3\t4,\nbus\t64\t5,\n", 5, 7,
       "1.wav\n2.wav\n3.wav\n4.wav\n5.wav\n6.wav\n7.wav\n",
       "1.wav\t\toff\tOut \n2.wav\t\toff\tOut \n3.wav\t\toff\tOut 1 2 3 \n"
       "4.wav\t\toff\tOut 4 (5 6) \n5.wav\t\toff\tOut (127 128) \n6.wav\t\toff\tOut \n"
       "7.wav\t\toff\tOut (7) \n"},
      // Mode 3: busses summed into the master.
      {"mix\t3\nbus\t1\t1,2,\nbus\t3\t2,3,\nbus\t64\t4,\n", 2, 4, "1.wav\n2.wav\n3.wav\n4.wav\n",
       "1.wav\t\toff\tOut 1 2 \n2.wav\t\toff\tOut 1 2 Bus 3 -> Out 1 2 \n"
       "3.wav\t\toff\tBus 3 -> Out 1 2 \n4.wav\t\toff\tBus 64 -> Out 1 2 \n"},
  };
  for (const auto& [settings, outputs, tracks, list, rows] : modes) {
    ProjectFixture p(settings, list, "", 2, outputs, tracks);
    EXPECT_EQ(p.console("lp c x"), kZeroMenu + "File: play.txt\nSource\t\t\tSolo\tDestination\n" +
                                       rows + kRule + kContinue + kZeroMenu + "\n")
        << settings;
  }
}

const std::string kMenuChoices =
    "Enter a new filename to load\nor enter a number of a file in the list or\n"
    "'rem' to remove a file from the list\n'a'   to add a new file to the list\n"
    "'ac'  to add current file to list\n'd'   when done\n";

// The 'pf' menu with the stored entries (already formatted) and entry 1,
// then the closing line with entry 1 after the answers.
std::string playMenu(const std::string& entries, const std::string& current,
                     const std::string& answers, const std::string& set) {
  return "Stored playlist filenames:\n\n" + entries + "\nCurrently playing from " + current +
         "\n\n" + kMenuChoices + answers + "Set to play from " + set + "\n\n";
}

const std::string kStoredPlayLists = "play\t1\tplay.txt\nplay\t2\tmix.txt\nplay\t4\tdrums.txt\n";
const std::string kThree = "1\tplay.txt\n2\tmix.txt\n4\tdrums.txt\n";

TEST(TrackLists, PlayListMenuChoosesRemovesAddsAndRefusesOverlongNames) {
  ProjectFixture p(kStoredPlayLists);
  p.writeFile("mix.txt", "");
  // "2mix.txt" is entry 2, not a name.
  EXPECT_EQ(p.console("pf 2mix.txt s x"), kZeroMenu + playMenu(kThree, "play.txt", "", "mix.txt") +
                                              kZeroMenu + kStored + kZeroMenu + "\n");
  EXPECT_TRUE(has(p.readFile("param.txt"),
                  "\nPlaylist Files:\nplay\t1\tmix.txt\nplay\t2\tmix.txt\nplay\t4\tdrums.txt\n\n"));

  // "a new.txt 1" replaces the current list; "ac 0" and "rem 300" lie out of
  // range; 128 characters are refused, as a name to add or to play from.
  ProjectFixture r(kStoredPlayLists);
  r.writeFile("new.txt", "");
  const std::string longest(127, 'k'), tooLong(128, 'n');
  const std::string refused =
      "A list file name can have at most 127 characters; that name was not taken.\n";
  const std::string position = "Enter the list position (1-128)\n";
  const std::string add = "Enter the filename to add\n" + position;
  const std::string remove = "Enter the number to remove\n";
  const std::string after = "1\tnew.txt\n4\tdrums.txt\n7\tnew.txt\n";
  const std::string nine = after + "9\t" + longest + "\n";
  EXPECT_EQ(r.console("pf rem 2 a new.txt 1 ac 7 ac 0 rem 300 a " + tooLong + " 5 a " + longest +
                      " 9 d pf " + tooLong + " s x"),
            kZeroMenu + playMenu(kThree, "play.txt", remove, "play.txt") +
                playMenu("1\tplay.txt\n4\tdrums.txt\n", "play.txt", add, "new.txt") +
                playMenu("1\tnew.txt\n4\tdrums.txt\n", "new.txt", position, "new.txt") +
                playMenu(after, "new.txt", position, "new.txt") +
                playMenu(after, "new.txt", remove, "new.txt") +
                playMenu(after, "new.txt", add + refused, "new.txt") +
                playMenu(after, "new.txt", add, "new.txt") +
                playMenu(nine, "new.txt", "", "new.txt") + kZeroMenu +
                playMenu(nine, "new.txt", refused, "new.txt") + kZeroMenu + kStored + kZeroMenu +
                "\n");
  EXPECT_TRUE(has(
      r.readFile("param.txt"),
      "\nplay\t1\tnew.txt\nplay\t4\tdrums.txt\nplay\t7\tnew.txt\nplay\t9\t" + longest + "\n\n"));
}

TEST(TrackLists, RecordListMenuAndSoloEditor) {
  ProjectFixture p("rec\t3\told.txt\n", "", "", 2, 2, 8);
  p.writeFile("takes.txt", "");
  const std::string menu =
      "Stored recordlist filenames:\n\n1\trecord.txt\n3\told.txt\n"
      "\nCurrently recording to record.txt\n\n" +
      kMenuChoices;
  const std::string add = "Enter track number to add, or multiple if comma separated\n";
  const std::string remove = "Enter track number to remove, or multiple if comma separated\n";
  auto solo = [](const std::string& tracks) {
    return "Solo Enabled Tracks:" + tracks + "\n'a' add, 'r' remove, 'd' done\n";
  };
  EXPECT_EQ(p.console("rf d rf takes.txt so a 1,3,300 a x,0,,-2,8,9 r 3 q r 1,8 a 2,6 d s x"),
            kZeroMenu + menu + "Set to record from record.txt\n\n" + kZeroMenu + menu +
                "Set to record from takes.txt\n\n" + kZeroMenu + solo(" (none)") + add +
                solo(" 1 3") + add + solo(" 1 3 8") + remove + solo(" 1 8") + solo(" 1 8") +
                remove + solo(" (none)") + add + solo(" 2 6") + kZeroMenu + kStored + kZeroMenu +
                "\n");
  EXPECT_TRUE(has(p.readFile("param.txt"),
                  "\nPlaylist Files:\nplay\t1\tplay.txt\n\n"
                  "Recordlist Files:\nrec\t1\ttakes.txt\nrec\t3\told.txt\n\n"));
  EXPECT_TRUE(has(p.readFile("param.txt"), "\nSolo Settings:\nsolo\t2\nsolo\t6\n\n"));
}

}  // namespace
}  // namespace varnow::testing
