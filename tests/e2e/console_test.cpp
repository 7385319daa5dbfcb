// The console: words, help, options, safety, saving, leaving, and the mixer.
#include <algorithm>
#include <filesystem>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

TEST(Console, WordsLinesTheEndOfInputAndTheHelpScreen) {
  ProjectFixture p("", "", "take.wav\n");
  // Every word is a cycle; blank lines and unknown words are skipped; "ex"
  // and "io.x" set a point, "io" is no command, "q.l" stores nothing.
  EXPECT_EQ(p.console("hello   world\n\n  \t \nio ex io.x q.l x\n"), repeat(kZeroMenu, 7) + "\n");
  // 600 letters: the first 511 are one unknown word, the other 89 no further
  // words (89 saves). The end of input asks nothing, even for a lost list.
  EXPECT_EQ(p.console(std::string(600, 's')), repeat(kZeroMenu, 2) + "\n");
  EXPECT_FALSE(has(p.readFile("param.txt"), "Volume Settings"));
  p.remove("play.txt");
  EXPECT_FALSE(has(p.console(""), "Cannot find playlist file"));

  // The help screen; 'h' shows it again; 'a' and 'b' are ignored while it waits.
  const std::string shown = p.console("+ a b c h c x");
  const std::string end = "'l.e' to recall times from locate point\n\nEnter 'c' continue\n";
  ASSERT_TRUE(shown.starts_with(kZeroMenu + "\nFunctions:\n\nMonitoring:\n   'ma' to monitor"));
  const std::string screen =
      shown.substr(kZeroMenu.size(), shown.find(end) + end.size() - kZeroMenu.size());
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 68);
  EXPECT_TRUE(
      has(screen, "for peaks \n   'lat' to measure the latency from output 1 to input 1\n"));
  EXPECT_TRUE(has(screen,
                  "   'lp' to list play ready tracks.\n   'df' to show free disk space "
                  "and recording time left\nMixing:"));
  EXPECT_TRUE(has(screen,
                  "\n   'R_takeName' to record with preemptive take naming\n   'undo' to "
                  "take back the last take handling command\n   'redo' to carry out again the "
                  "take handling command taken back\n   'hist' to list the take handling "
                  "commands on record\n   'forget' to forget the take handling commands on "
                  "record\n   'f'  to set"));
  EXPECT_EQ(shown, kZeroMenu + screen + kZeroMenu + screen + kZeroMenu + "\n");
}

TEST(Console, OptionsMenuSwitchesToTheMinimalInterfaceAndSIsNeededToKeepIt) {
  ProjectFixture p("", "", "take.wav\n");
  const std::string menuUc =
      "\nOptions:\n\nClock: (now set to uc)\n  'sc' to stream clock\n"
      "  'uc' to unstream clock (default)\n  'hc' to hide clock\n"
      "\nPeaks: (now set to cp)\n  'cp' to check peaks while recording (default)\n"
      "  'np' for no peak checking while recording\n"
      "\nInterface: (now set to int1)\n  'int0' for minimal interface\n"
      "  'int1' for default interface\n\n  'd' if done changing options\n";
  auto with = [](std::string menu, const std::string& from, const std::string& to) {
    return menu.replace(menu.find(from), from.size(), to);
  };
  const std::string menuSc = with(menuUc, "(now set to uc)", "(now set to sc)");
  const std::string menuNp = with(menuSc, "(now set to cp)", "(now set to np)");
  const std::string menuInt0 = with(menuNp, "(now set to int1)", "(now set to int0)");
  EXPECT_EQ(p.console("opt sc np int0 d zzz x"),
            kZeroMenu + menuUc + menuSc + menuNp + menuInt0 + kZeroStatus + kZeroStatus + "\n");
  EXPECT_FALSE(has(p.readFile("param.txt"), "clock"));

  p.console("opt hc np int0 d s x");
  EXPECT_TRUE(has(p.readFile("param.txt"), "\nint\t0\nclock\thc\npeak\tnp\n"));
  // The next run starts in the minimal interface with those options.
  EXPECT_TRUE(p.console("opt d x").starts_with(
      kZeroStatus + with(menuInt0, "(now set to sc)", "(now set to hc)")));
}

TEST(Console, SafetySwitchAndWhatSaveAndExitDoWhenFilesAreMissing) {
  ProjectFixture p("play\t1\tsongs.txt\n", "", "take.wav\n");
  const auto safety = [](const char* now, const char* turn) {
    return std::string("Safety mode for replacing files is ") + now + "\nEnter " + turn +
           "\nEnter '2' to keep current settings\n";
  };
  const std::string ask = "Create the file or enter a different name\n";
  // A directory where the scratch file would go makes the save fail and keeps
  // the old file. The list in use is gone (start-up creates play.txt): the
  // exit asks for it, refuses an over-long name, and reads no further word.
  const std::string before = p.readFile("param.txt");
  std::filesystem::create_directory(p.dir() / "param.txt.new");
  p.writeFile("other.txt", "");
  EXPECT_EQ(
      p.console("safe what 1 safe 0 safe 2 s x gone.txt " + std::string(130, 'n') + " other.txt s"),
      kZeroMenu + safety("OFF", "'1' to turn on") + "Safety mode is ON\n" + kZeroMenu +
          safety("ON", "'0' to turn off") + "Safety mode is OFF\n" + kZeroMenu +
          safety("OFF", "'1' to turn on") + kZeroMenu +
          "Could not create param.txt.new: Is a directory.\n" + kZeroMenu +
          "Cannot find playlist file called songs.txt\n" + ask +
          "Cannot find playlist file called gone.txt\n" + ask +
          "A list file name can have at most 127 characters; that name was not taken.\n"
          "Cannot find playlist file called gone.txt\n" +
          ask + "\n");
  EXPECT_EQ(p.readFile("param.txt"), before);
}

// The view shown before every mixer prompt, all points at 0.
std::string mixerView(const std::string& channelRows, const std::string& busRows = "") {
  return "\nSource:\n" + channelRows + "\n" + busRows + std::string(79, '-') + "\n\n" +
         kZeroStatus + "\nMix commands are active.  Enter 'h' for help.\n";
}

std::string row(const std::string& name, int channel, const std::string& volume,
                const std::string& pan = "   0") {
  return name + "\tCh " + std::to_string(channel) + "\tVol " + volume + "\tPan " + pan + "\n";
}

TEST(MixerConsole, ViewListsNamedTracksAndTakesEditsUntilDone) {
  // Channel 3's line is skipped; the fifth line lies beyond the 4 tracks.
  ProjectFixture p("", "a_very_long_track_name.wav\nb.wav\n-\nd.wav\ne.wav\n", "", 2, 2, 4);
  const std::string a = row("a_very_long_tra", 1, "0.00");
  const std::string first = mixerView(a + row("b.wav", 2, "0.00") + row("d.wav", 4, "0.00"));
  const std::string quieter = mixerView(a + row("b.wav", 2, "-6.00") + row("d.wav", 4, "0.00"));
  const std::string panned =
      mixerView(a + row("b.wav", 2, "-6.00") + row("d.wav", 4, "0.00", "-100"));
  // "2v", "v-6" and "4p" are no edits but unknown commands; "0v-6" edits no
  // channel; 'mix' at the mixer prompt leaves the view as 'd' does.
  EXPECT_EQ(p.console("mix 2v-6 2v 0v-6 v-6 3p-100 4p-100 4p d mix mix x"),
            kZeroMenu + first + repeat(quieter, 5) + repeat(panned, 2) + kZeroMenu + panned +
                kZeroMenu + "\n");
}

TEST(MixerConsole, BusLevelsShownPerMixModeAndTheHelp) {
  // Mode 0 shows no bus; mode 1 the master; modes 2 and 3 every bus not at 0.
  const std::string a = row("a.wav", 1, "0.00");
  const std::string busses = "Bus 1\t  -4.00 dB\nBus 3\t  6.00 dB\nBus 64\t  -1.50 dB\n";
  const std::string shown[] = {
      repeat(mixerView(a), 2), repeat(mixerView(a, "Master\t  -4.00 dB\n"), 2),
      mixerView(a, busses) + mixerView(a, "Bus 1\t  -4.00 dB\nBus 64\t  -1.50 dB\n")};
  for (int mode = 0; mode < 4; ++mode) {
    ProjectFixture p(
        "mix\t" + std::to_string(mode) + "\nbusvl\t1\t-4\nbusvl\t3\t6\nbusvl\t64\t-1.5\n",
        "a.wav\n", "", 2, 2, 1);
    EXPECT_EQ(p.console("mix 3b0 x"), kZeroMenu + shown[std::min(mode, 2)] + "\n") << mode;
  }

  // The mixer help; the 'x' and 'q' inside it are answers, not commands.
  ProjectFixture q("", "a.wav\n", "", 2, 2, 1);
  const std::string helped = q.console("mix h x q c d x");
  ASSERT_TRUE(helped.starts_with(kZeroMenu + mixerView(a) + "\nMixer Help:\n\nTo set a channel"));
  EXPECT_TRUE(helped.ends_with("view on/off.\n\nEnter 'c' to continue\n" + mixerView(a) +
                               kZeroMenu + "\n"));
}

TEST(MixerConsole, CommandsRunFromTheMixerPromptAndTheViewComesBack) {
  ProjectFixture p("o\t4096\nsolo\t2\n", "a.wav\nb.wav\n");
  p.writeWave("a.wav", staircase(9000, 1));
  p.writeWave("b.wav", staircase(9000, -1, -1));
  // 'sp' is solo play, never a pan edit of channel "s".
  const std::string played = p.console("mix sp d x");
  const std::size_t at = played.find("Playing...\nTracks are soloed\n");
  ASSERT_NE(at, std::string::npos) << played;
  EXPECT_NE(played.find("Mix commands are active.  Enter 'h' for help.\n", at), std::string::npos);

  // After 'pf' the view shows the new list; 'u' only shows the view again.
  p.writeFile("other.txt", "zz.wav\n");
  const std::string switched = p.console("mix u pf other.txt u d x");
  const std::string before = "\nSource:\n" + row("a.wav", 1, "0.00");
  const std::string after = "\nSource:\n" + row("zz.wav", 1, "0.00") + "\n";
  EXPECT_EQ(count(switched, before), 2u);
  EXPECT_EQ(count(switched, after), 2u);
  EXPECT_LT(switched.rfind(before), switched.find(after));
}

TEST(MixerConsole, EditedLevelsReachThePlaybackOfTheNextPass) {
  auto playback = [](const std::string& settings, const std::string& input) {
    ProjectFixture p("o\t4096\nmix\t1\n" + settings, "a.wav\n", "vox.wav\n");
    p.writeWave("a.wav", staircase(9000, 1000, 37));
    p.console(input);
    return p.playback();
  };
  const std::string edited = playback("", "mix 1v-6 1p40 1b-3 d p x"),
                    levels = "v\t1\t-6\np\t1\t40\nbusvl\t1\t-3\n";
  EXPECT_NE(edited, playback("", "p x"));
  EXPECT_EQ(edited, playback(levels, "p x"));
  // A recording plays the tracks as a play pass does (input 1 armed).
  EXPECT_EQ(playback(levels, "r del x").substr(0, edited.size()), edited);
  // A bus level beyond 15 dB plays as 15 dB, the level shown.
  EXPECT_EQ(playback("", "mix 1b20 d p x"), playback("busvl\t1\t15\n", "p x"));
}

TEST(MixerConsole, ModeMenuAndBusAssignmentsAreSavedAndFoundAfterARestart) {
  // The menu shows the current mode first; 7, 4 and x are no mode.
  ProjectFixture p("mix\t2\n", "", "", 2, 8, 6);
  EXPECT_TRUE(p.console("mod 7 4 x 3 s x")
                  .starts_with(kZeroMenu + "\nCurrently using mixmode [2]:\n"
                                           "'2'  Playback = channels are routed through multiple "
                                           "output busses.\n     Export   = all channels will be "
                                           "routed to the master. No busses.\n'0'  Playback = "));
  const std::string shown = p.console("mod 0 x");
  EXPECT_TRUE(has(shown, "[3]:\n'3'  Playback = busses are routed to outputs 1 and 2.\n"));
  EXPECT_TRUE(has(shown, "route all channels to the master. No busses.\n\nSelect a mix mode\n"));
  EXPECT_TRUE(has(p.readFile("param.txt"), "\nmix\t3\n"));

  // Bus 2 gets 3 and the last track, 8 (300 is skipped); bus 1 gets 5, is
  // on, and loses 5 again.
  EXPECT_TRUE(has(p.console("bus a 2 3,8,300 a 1 5 r 1 5 c s x"),
                  "\nBus 1\t\tOut 01-02\t\tCh: 5 \nBus 2\t\tOut 03-04\t\tCh: 3 8 \n"));
  EXPECT_TRUE(has(p.readFile("param.txt"), "\nBus Assignments:\nbus\t1\t\nbus\t2\t3,8,\n"));
  // After a restart the empty bus 1 is off; bus 2 keeps its channels.
  EXPECT_EQ(p.console("bus c x"),
            kZeroMenu +
                "Stereo Bus Assignments: (8 outputs, 4 busses)\n"
                "\nBus 2\t\tOut 03-04\t\tCh: 3 8 \nEnter 'a' to add a channel to a bus\n"
                "Enter 'r' to remove a channel from a bus\nEnter 'c' to continue\n" +
                kZeroMenu + "\n");
}

}  // namespace
}  // namespace varnow::testing
