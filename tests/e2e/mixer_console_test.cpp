// The mixer console as a user meets it: the mixer view and its edit tokens,
// the mix mode menu and the bus assignments, and what of it is saved.
#include <gtest/gtest.h>

#include <utility>

#include "e2e/transcripts.hpp"
#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

const std::string kRule(79, '-');
const std::string kZeroStatus = "Play: 0.00   Rec: 0.00   Stop: 0.00   Mem: 0.00\n";
const std::string kStored = "\nStored Settings\n";

// A project on the virtual card with both list files present.
struct MixerProject {
  MixerProject(const std::string& extraSettings, int tracks, int outputs,
               const std::string& playList)
      : outputCount(outputs) {
    project.writeParams(extraSettings, 2, outputs, tracks);
    project.writeFile("play.txt", playList);
    project.writeFile("record.txt", "");
  }

  // Standard output after the start-up printout and the driver report.
  std::string console(const RunResult& result) const {
    const std::string report = driverReport(1024, 48000, outputCount, 2);
    const std::size_t at = result.out.find(report);
    return at == std::string::npos ? result.out : result.out.substr(at + report.size());
  }

  int outputCount;
  ProjectFixture project;
};

// The view shown before every mixer prompt, all points at 0.
std::string mixerView(const std::string& channelRows, const std::string& busRows = "") {
  return "\nSource:\n" + channelRows + "\n" + busRows + kRule + "\n\n" + kZeroStatus +
         "\nMix commands are active.  Enter 'h' for help.\n";
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST(MixerConsole, ViewListsNamedTracksAndTakesEditsUntilDone) {
  // Channel 3's line is skipped; the fifth line lies beyond the 4 tracks.
  MixerProject p("", 4, 2, "a_very_long_track_name.wav\nb.wav\n-\nd.wav\ne.wav\n");
  const RunResult result = p.project.run("mix 2v-6 2v 0v-6 v-6 3p-100 4p-100 4p d x");
  EXPECT_EQ(result.exitStatus, 0);
  const std::string a = "a_very_long_tra\tCh 1\tVol 0.00\tPan    0\n";
  const std::string b = "b.wav\tCh 2\tVol -6.00\tPan    0\n";
  const std::string first =
      mixerView(a + "b.wav\tCh 2\tVol 0.00\tPan    0\n" + "d.wav\tCh 4\tVol 0.00\tPan    0\n");
  const std::string quieter = mixerView(a + b + "d.wav\tCh 4\tVol 0.00\tPan    0\n");
  const std::string panned = mixerView(a + b + "d.wav\tCh 4\tVol 0.00\tPan -100\n");
  // "2v", "v-6" and "4p" are no edits: they run as (unknown) commands and the
  // view comes back; "0v-6" is an edit of no channel.
  EXPECT_EQ(p.console(result), kZeroMenu + first + quieter + quieter + quieter + quieter + quieter +
                                   panned + panned + kZeroMenu + "\n");

  // 'mix' typed at the mixer prompt leaves the view as 'd' does.
  const RunResult toggled = p.project.run("mix mix x");
  EXPECT_EQ(p.console(toggled), kZeroMenu + first + kZeroMenu + "\n");
}

TEST(MixerConsole, EditsAreSavedAndFoundAfterARestart) {
  MixerProject p("mix\t2\n", 4, 2, "a.wav\nb.wav\nc.wav\n");
  const RunResult result = p.project.run("mix 2v-6 3p-100 1b20 2b-200 4v3.25 s x");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(p.console(result).find(kStored), std::string::npos);
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_NE(saved.find("\nv\t1\t0.00\nv\t2\t-6.00\nv\t3\t0.00\nv\t4\t3.25\n"), std::string::npos)
      << saved;
  EXPECT_NE(saved.find("\np\t1\t0\np\t2\t0\np\t3\t-100\np\t4\t0\n"), std::string::npos) << saved;
  // Above 15 dB the level is 15; below -144 dB it is -144.
  EXPECT_NE(saved.find("\nBus Volumes (dB):\nbusvl\t1\t15.00\nbusvl\t2\t-144.00\n"),
            std::string::npos)
      << saved;

  const RunResult restarted = p.project.run("mix x");
  EXPECT_EQ(p.console(restarted),
            kZeroMenu +
                mixerView("a.wav\tCh 1\tVol 0.00\tPan    0\nb.wav\tCh 2\tVol -6.00\tPan    0\n"
                          "c.wav\tCh 3\tVol 0.00\tPan -100\n",
                          "Bus 1\t  15.00 dB\nBus 2\t  -144.00 dB\n") +
                "\n");
}

TEST(MixerConsole, BusLevelsShownPerMixMode) {
  const std::string levels = "busvl\t1\t-4\nbusvl\t3\t6\nbusvl\t64\t-1.5\n";
  const std::string row = "a.wav\tCh 1\tVol 0.00\tPan    0\n";
  // Mode 0 shows no bus line; mode 1 the master; modes 2 and 3 every bus
  // whose level is not 0 (bus 3 set to 0 drops out).
  MixerProject direct(levels, 1, 2, "a.wav\n");
  EXPECT_EQ(direct.console(direct.project.run("mix x")), kZeroMenu + mixerView(row) + "\n");

  MixerProject stereo("mix\t1\n" + levels, 1, 2, "a.wav\n");
  EXPECT_EQ(stereo.console(stereo.project.run("mix x")),
            kZeroMenu + mixerView(row, "Master\t  -4.00 dB\n") + "\n");

  for (const char* mode : {"mix\t2\n", "mix\t3\n"}) {
    MixerProject busses(mode + levels, 1, 2, "a.wav\n");
    EXPECT_EQ(busses.console(busses.project.run("mix 3b0 x")),
              kZeroMenu +
                  mixerView(row, "Bus 1\t  -4.00 dB\nBus 3\t  6.00 dB\nBus 64\t  -1.50 dB\n") +
                  mixerView(row, "Bus 1\t  -4.00 dB\nBus 64\t  -1.50 dB\n") + "\n")
        << mode;
  }
}

TEST(MixerConsole, MissingPlayListIsNamedInPlaceOfTheListing) {
  MixerProject p("play\t1\tlost.txt\n", 2, 2, "");
  // The exit then asks for the missing list; play.txt exists.
  const RunResult result = p.project.run("mix x play.txt");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(p.console(result).starts_with(
      kZeroMenu + "\nPlaylist file called lost.txt was not found!\n\n" + kZeroStatus +
      "\nMix commands are active.  Enter 'h' for help.\nCannot find playlist file"))
      << p.console(result);
}

TEST(MixerConsole, HelpAtTheMixerPromptWaitsForC) {
  MixerProject p("", 1, 2, "a.wav\n");
  const RunResult result = p.project.run("mix h x q c d x");
  const std::string view = mixerView("a.wav\tCh 1\tVol 0.00\tPan    0\n");
  const std::string help =
      "\nMixer Help:\n\nTo set a channel's volume:\n\n"
      "   Type the channel number, then 'v', and then volume in dB.\n"
      "   Example: '2v-6' sets channel 2's volume to -6 dB.\n\nTo set the pan:\n\n"
      "   Type the channel number, then 'p', and then a value -100 to 100.\n"
      "   left = -100,  center = 0, right = 100\n"
      "   Example: '2p100' sets channel 2's pan to the right.\n\n"
      "To adjust bus master levels:\n\n"
      "   Type the bus number, then 'b', and then volume in dB.\n"
      "   Example: '1b-4' sets bus 1's volume to -4 dB.\n\n"
      "Enter 'mod' to view/change the mix mode.\n"
      "\nEnter 'u' to update the mixer after editing the play.txt file.\n"
      "\nEnter 'd' when done viewing mixer settings.\n"
      "Or, 'mix' will toggle the mixer view on/off.\n\nEnter 'c' to continue\n";
  // The 'x' and 'q' inside the help are answers, not commands.
  EXPECT_EQ(p.console(result), kZeroMenu + view + help + view + kZeroMenu + "\n");
}

TEST(MixerConsole, CommandsRunFromTheMixerPromptAndTheViewComesBack) {
  ProjectFixture project;
  project.writeParams("o\t4096\nsolo\t2\n");
  project.writeFile("a.wav", wavFile(staircase(9000, 1)));
  project.writeFile("b.wav", wavFile(staircase(9000, -1, -1)));
  project.writeFile("play.txt", "a.wav\nb.wav\n");
  project.writeFile("record.txt", "");
  // 'sp' is solo play, never a pan edit of channel "s".
  const RunResult result = project.run("mix sp d x");
  EXPECT_EQ(result.exitStatus, 0);
  const std::size_t played = result.out.find("Playing...\nTracks are soloed\n");
  ASSERT_NE(played, std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Mix commands are active.  Enter 'h' for help.\n", played),
            std::string::npos);

  // Switching the play list from the mixer prompt: the view reads the new
  // list at once, and 'u' (no command) only shows the view again.
  project.writeFile("other.txt", "zz.wav\n");
  const RunResult switched = project.run("mix u pf other.txt u d x");
  const std::string before = "\nSource:\na.wav\tCh 1\tVol 0.00\tPan    0\n";
  const std::string after = "\nSource:\nzz.wav\tCh 1\tVol 0.00\tPan    0\n\n";
  EXPECT_EQ(count(switched.out, before), 2u) << switched.out;
  EXPECT_EQ(count(switched.out, after), 2u) << switched.out;
  EXPECT_LT(switched.out.rfind(before), switched.out.find(after));

  // 'opt' runs its menu and leaves the view off.
  const RunResult options = project.run("mix opt d x");
  EXPECT_EQ(count(options.out, "Mix commands are active."), 1u);
  EXPECT_EQ(count(options.out, "Time functions:"), 2u);
}

TEST(MixerConsole, EditedLevelsReachThePlaybackOfTheNextPass) {
  // Mode 1 mixes track 1 onto outputs 1 and 2 through the master gain.
  auto playback = [](const std::string& settings, const std::string& input) {
    ProjectFixture project;
    project.writeParams("o\t4096\nmix\t1\n" + settings);
    project.writeFile("a.wav", wavFile(staircase(9000, 1000, 37)));
    project.writeFile("play.txt", "a.wav\n");
    project.writeFile("record.txt", "");
    const RunResult result = project.run(input);
    EXPECT_EQ(result.exitStatus, 0);
    return std::make_pair(project.playback(), result.out);
  };
  const auto plain = playback("", "p x").first;
  const auto edited = playback("", "mix 1v-6 1p40 1b-3 d p x").first;
  EXPECT_NE(edited, plain);
  EXPECT_EQ(edited, playback("v\t1\t-6\np\t1\t40\nbusvl\t1\t-3\n", "p x").first);
  // A bus level below -144 dB is -144 dB, typed or read from param.txt: the
  // gain always follows the level shown.
  const auto quietest = playback("busvl\t1\t-144\n", "p x").first;
  EXPECT_EQ(playback("", "mix 1b-3 1b-200 d p x").first, quietest);
  EXPECT_EQ(playback("busvl\t1\t-200\n", "p x").first, quietest);
  // Above 15 dB it is 15 dB.
  EXPECT_EQ(playback("", "mix 1b20 d p x").first, playback("busvl\t1\t15\n", "p x").first);
  // Volumes are corrected, with their messages, when the pass starts.
  const auto loud = playback("", "mix 1v13 d p x");
  EXPECT_NE(loud.second.find(
                "Volume of channel 1 is too high.\nIt has been reset to 12 dB, the maximum.\n"),
            std::string::npos)
      << loud.second;
  EXPECT_EQ(loud.first, playback("v\t1\t12\n", "p x").first);
}

TEST(MixerConsole, ModeMenuShowsTheCurrentModeFirstAndIsSaved) {
  MixerProject p("mix\t2\n", 2, 2, "");
  const RunResult result = p.project.run("mod 7 x 3 s x");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(p.console(result),
            kZeroMenu +
                "\nCurrently using mixmode [2]:\n"
                "'2'  Playback = channels are routed through multiple output busses.\n"
                "     Export   = all channels will be routed to the master. No busses.\n"
                "'0'  Playback = assign channels to direct outputs only.\n"
                "     Export   = route all channels to the master.  No busses.\n"
                "'1'  Playback = route all channels to outputs 1 and 2.\n"
                "     Export   = route all channels to the master. No busses.\n"
                "'3'  Playback = route busses to outputs 1 and 2.\n"
                "     Export   = route busses to the master.\n"
                "\nSelect a mix mode\n" +
                kZeroMenu + kStored + kZeroMenu + "\n");
  EXPECT_NE(p.project.readFile("param.txt").find("\nmix\t3\n"), std::string::npos);

  const RunResult restarted = p.project.run("mod 0 x");
  EXPECT_NE(p.console(restarted).find("\nCurrently using mixmode [3]:\n"
                                      "'3'  Playback = busses are routed to outputs 1 and 2.\n"
                                      "     Export   = busses will be sent to the master.\n"
                                      "'0'  Playback = assign"),
            std::string::npos)
      << restarted.out;
}

TEST(MixerConsole, BusAssignmentsAreEditedListedAndSaved) {
  MixerProject p("", 6, 8, "");
  // Add 3,4,300 to bus 2 (300 skipped); put 5 on bus 1 and take it off again;
  // a bus reply that is no number reads as 0 and its list "6" is consumed.
  const RunResult result = p.project.run("bus a 2 3,4,300 a 1 5 r 1 5 a x 6 zz c s x");
  EXPECT_EQ(result.exitStatus, 0);
  const std::string header = "Stereo Bus Assignments: (8 outputs, 4 busses)\n";
  const std::string menu =
      "\nEnter 'a' to add a channel to a bus\nEnter 'r' to remove a channel from a bus\n"
      "Enter 'c' to continue\n";
  const std::string add =
      "Enter bus number\nEnter channel to add, or multiple if comma separated\n";
  const std::string remove =
      "Enter a bus number\nEnter the channel to remove, or multiple if comma separated\n";
  const std::string bus2 = "\nBus 2\t\tOut 03-04\t\tCh: 3 4 ";
  EXPECT_EQ(p.console(result),
            kZeroMenu + header + menu + add +                                       //
                header + bus2 + menu + add +                                        //
                header + "\nBus 1\t\tOut 01-02\t\tCh: 5 " + bus2 + menu + remove +  //
                header + "\nBus 1\t\tOut 01-02\t\tCh: " + bus2 + menu + add +       //
                header + "\nBus 1\t\tOut 01-02\t\tCh: " + bus2 + menu +             //
                header + "\nBus 1\t\tOut 01-02\t\tCh: " + bus2 + menu +             //
                kZeroMenu + kStored + kZeroMenu + "\n");
  EXPECT_NE(p.project.readFile("param.txt").find("\nBus Assignments:\nbus\t1\t\nbus\t2\t3,4,\n"),
            std::string::npos)
      << p.project.readFile("param.txt");

  // After a restart the empty bus 1 is off; bus 2 keeps its channels.
  const RunResult restarted = p.project.run("bus c x");
  EXPECT_EQ(p.console(restarted), kZeroMenu + header + bus2 + menu + kZeroMenu + "\n");
}

}  // namespace
}  // namespace varnow::testing
