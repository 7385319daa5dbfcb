#include "mixer/mixer_console.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>

#include "app/console_input.hpp"

namespace varnow {
namespace {

namespace fs = std::filesystem;

const std::string kRule(79, '-');
const std::string kMixPrompt = "Mix commands are active.  Enter 'h' for help.\n";

// A project directory with a play list, and the console fed from a text.
class MixerConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnow-mixcon-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    settings_.tracks = 4;
    settings_.outputs = 8;
    settings_.playLists[1] = (dir_ / "play.txt").string();
  }
  void TearDown() override {
    setConsoleStream(stdin);
    if (replies_ != nullptr) std::fclose(replies_);
    fs::remove_all(dir_);
  }

  void writePlayList(const std::string& text) const {
    std::ofstream(dir_ / "play.txt", std::ios::binary) << text;
  }

  // The console reads `text` from now on.
  void reply(const std::string& text) {
    if (replies_ != nullptr) std::fclose(replies_);
    repliesText_ = text;
    replies_ = fmemopen(repliesText_.data(), repliesText_.size(), "r");
    if (replies_ == nullptr) throw std::runtime_error("fmemopen failed");
    setConsoleStream(replies_);
  }

  // Runs `command` and returns what it printed.
  template <typename Command>
  static std::string printed(Command command) {
    ::testing::internal::CaptureStdout();
    command();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }

  // Handles `token` silently; returns whether it was the mixer's own.
  bool token(const std::string& word) {
    bool handled = false;
    const std::string shown = printed([&] { handled = handleMixerToken(settings_, word); });
    EXPECT_EQ(shown, "") << word;
    return handled;
  }

  ProjectSettings settings_;
  fs::path dir_;

 private:
  std::string repliesText_;
  std::FILE* replies_ = nullptr;
};

TEST_F(MixerConsole, ListingShowsNamedLinesUpToTheTrackCountAndTheBusLevelsOfTheMode) {
  // Line 2 is empty and does not count; "-" skips channel 2; the fifth
  // counted line lies beyond the 4 tracks. Names are cut to 15 characters.
  writePlayList("a_very_long_track_name.wav\n\n-\nb.wav\nc c.wav\nbeyond.wav\n");
  settings_.volumes[0] = -6.0f;
  settings_.pans[0] = -100.0f;
  settings_.volumes[1] = 3.5f;  // skipped line: not shown
  settings_.volumes[2] = 12.345f;
  settings_.pans[2] = 4.6f;
  settings_.volumes[3] = -200.0f;  // shown uncorrected
  settings_.pans[3] = 150.0f;
  settings_.busLevels[0] = -4.0f;
  settings_.busLevels[2] = 15.0f;
  settings_.busLevels[63] = -200.0f;

  const std::string channels =
      "Source:\n"
      "a_very_long_tra\tCh 1\tVol -6.00\tPan -100\n"
      "b.wav\tCh 3\tVol 12.35\tPan    5\n"
      "c c.wav\tCh 4\tVol -200.00\tPan  150\n"
      "\n";
  int result = -1;
  EXPECT_EQ(printed([&] { result = ShowMixer(settings_); }), channels + kRule + "\n");
  EXPECT_EQ(result, 1);

  settings_.mixMode = 1;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }),
            channels + "Master\t  -4.00 dB\n" + kRule + "\n");
  // Busses at exactly 0 dB are not listed.
  const std::string busses =
      channels + "Bus 1\t  -4.00 dB\nBus 3\t  15.00 dB\nBus 64\t  -200.00 dB\n" + kRule + "\n";
  settings_.mixMode = 2;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }), busses);
  settings_.mixMode = 3;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }), busses);
  settings_.mixMode = 7;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }), channels + kRule + "\n");

  // The list is read afresh every time.
  writePlayList("new.wav\n");
  settings_.mixMode = 0;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }),
            "Source:\nnew.wav\tCh 1\tVol -6.00\tPan -100\n\n" + kRule + "\n");

  // No tracks: no channel line, whatever the list holds.
  settings_.tracks = 0;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }), "Source:\n\n" + kRule + "\n");
}

TEST_F(MixerConsole, MissingOrUnreadablePlayListIsNamedAndTheViewGoesOn) {
  settings_.playLists[1] = (dir_ / "gone.txt").string();
  int result = -1;
  EXPECT_EQ(printed([&] { result = ShowMixer(settings_); }),
            "Playlist file called " + (dir_ / "gone.txt").string() + " was not found!\n");
  EXPECT_EQ(result, 0);

  // A list that opens but cannot be read says why.
  fs::create_directory(dir_ / "folder.txt");
  settings_.playLists[1] = (dir_ / "folder.txt").string();
  EXPECT_EQ(printed([&] { result = ShowMixer(settings_); }),
            "Could not read " + (dir_ / "folder.txt").string() + ": Is a directory.\n");
  EXPECT_EQ(result, 0);

  // The whole view: the message takes the place of the listing.
  settings_.playLists[1] = (dir_ / "gone.txt").string();
  settings_.sampleRate = 48000;
  settings_.inPoint = 48000;
  settings_.punchPoint = 72000;
  settings_.outPoint = 96000;
  EXPECT_EQ(printed([&] { showMixerView(settings_); }),
            "\nPlaylist file called " + (dir_ / "gone.txt").string() +
                " was not found!\n\nPlay: 1.00   Rec: 1.50   Stop: 2.00   Mem: 0.00\n\n" +
                kMixPrompt);
}

TEST_F(MixerConsole, VolumeAndPanEditsNeedANumberAndAValueAndAChannelInRange) {
  EXPECT_TRUE(token("2v-6"));
  EXPECT_EQ(settings_.volumes[1], -6.0f);
  EXPECT_TRUE(token("4v+2.5"));
  EXPECT_EQ(settings_.volumes[3], 2.5f);
  EXPECT_TRUE(token("3p-100"));
  EXPECT_EQ(settings_.pans[2], -100.0f);
  EXPECT_TRUE(token("1p100"));
  EXPECT_EQ(settings_.pans[0], 100.0f);
  // Not limited here: SetVolume corrects them when a pass starts.
  EXPECT_TRUE(token("1v13"));
  EXPECT_EQ(settings_.volumes[0], 13.0f);
  EXPECT_TRUE(token("2p-150"));
  EXPECT_EQ(settings_.pans[1], -150.0f);
  // A value that is no number reads as 0, as atof reads it.
  EXPECT_TRUE(token("4vloud"));
  EXPECT_EQ(settings_.volumes[3], 0.0f);
  // Beyond single precision: an infinity, which the gains later clamp.
  EXPECT_TRUE(token("3v1e300"));
  EXPECT_EQ(settings_.volumes[2], std::numeric_limits<float>::infinity());

  // Edits that change nothing, and are not commands either.
  const ProjectSettings before = settings_;
  for (const char* edit : {"0v-6", "5v-6", "-1v3", "99999999999999999999v1", "0p50", "5p50", "xv3",
                           "2vnan", "2pnan"}) {
    EXPECT_TRUE(token(edit)) << edit;
  }
  EXPECT_EQ(settings_, before);

  // Not edits: a part is missing, or the word is a command with a 'p'.
  for (const char* command :
       {"2v",    "v-6",   "v",     "2p",  "p100", "p",   "pf", "pre", "sp", "opt", "lp",
        "exp-i", "exp-s", "tempo", "mod", "d",    "mix", "u",  "x",   "s",  "12"}) {
    EXPECT_FALSE(token(command)) << command;
  }
  EXPECT_EQ(settings_, before);
}

TEST_F(MixerConsole, BusLevelEditClampsAboveFifteenAndKeepsTheGainBelowMinus144) {
  const float gainAt15dB = static_cast<float>(std::pow(10.0, 15.0 / 20.0)) / 256.0f;
  const float gainAtMinus4dB = static_cast<float>(std::pow(10.0, -4.0 / 20.0)) / 256.0f;

  EXPECT_TRUE(token("1b20"));
  EXPECT_EQ(settings_.busLevels[0], 15.0f);
  EXPECT_FLOAT_EQ(settings_.busGains[0], gainAt15dB);

  EXPECT_TRUE(token("1b-200"));
  EXPECT_EQ(settings_.busLevels[0], -200.0f);
  EXPECT_FLOAT_EQ(settings_.busGains[0], gainAt15dB);

  EXPECT_TRUE(token("64b-4"));
  EXPECT_EQ(settings_.busLevels[63], -4.0f);
  EXPECT_FLOAT_EQ(settings_.busGains[63], gainAtMinus4dB);
  EXPECT_TRUE(token("2b-144"));
  EXPECT_EQ(settings_.busLevels[1], -144.0f);
  EXPECT_FLOAT_EQ(settings_.busGains[1], static_cast<float>(std::pow(10.0, -7.2)) / 256.0f);
  // Bus numbers beyond the table reach none of it, channel count or not.
  settings_.tracks = 256;
  const ProjectSettings before = settings_;
  for (const char* edit : {"0b3", "65b3", "100b3", "1bnan"}) {
    EXPECT_TRUE(token(edit)) << edit;
  }
  EXPECT_EQ(settings_, before);
  for (const char* command : {"1b", "b-4", "b", "bo", "be", "bus"}) {
    EXPECT_FALSE(token(command)) << command;
  }
  EXPECT_EQ(settings_, before);
  // A 'v' decides first: "1v2b3" sets channel 1's volume from "2b3" (2).
  EXPECT_TRUE(token("1v2b3"));
  EXPECT_EQ(settings_.volumes[0], 2.0f);
  EXPECT_EQ(settings_.busLevels, before.busLevels);
}

TEST_F(MixerConsole, ModeMenuShowsTheCurrentModeFirstAndTakesOnlyADigit) {
  // Only a lone digit 0..3 is a choice; the words after it stay unread.
  settings_.mixMode = 2;
  reply("7 02 2x -1 3 next");
  (void)printed([&] { selectMixMode(settings_); });
  EXPECT_EQ(settings_.mixMode, 3);
  EXPECT_EQ(console().readWord(), "next");

  settings_.mixMode = 0;
  reply("0");
  EXPECT_TRUE(
      printed([&] { selectMixMode(settings_); })
          .starts_with("\nCurrently using mixmode [0]:\n"
                       "'0'  Playback = channels are using direct outputs only.\n"
                       "     Export   = all channels will be routed to the master. No busses.\n"
                       "'1'  Playback = route"));
  EXPECT_EQ(settings_.mixMode, 0);

  // A mode from nowhere: all four offered in the imperative.
  settings_.mixMode = 9;
  reply("1");
  EXPECT_EQ(printed([&] { selectMixMode(settings_); }),
            "\nCurrently using mixmode [9]:\n"
            "'0'  Playback = assign channels to direct outputs only.\n"
            "     Export   = route all channels to the master.  No busses.\n"
            "'1'  Playback = route all channels to outputs 1 and 2.\n"
            "     Export   = route all channels to the master. No busses.\n"
            "'2'  Playback = route channels to multiple output busses.\n"
            "     Export   = route all channels to the master. No busses.\n"
            "'3'  Playback = route busses to outputs 1 and 2.\n"
            "     Export   = route busses to the master.\n"
            "\nSelect a mix mode\n");
  EXPECT_EQ(settings_.mixMode, 1);
}

TEST_F(MixerConsole, BusEditorEditsTheMatrixAndRecountsTheFlags) {
  // Bus 3 is flagged on but empty: the first recount turns it off. Channels
  // 7 and 256 lie beyond the 6 tracks: assigned, but not listed. Pieces that
  // are not 1..256 are skipped; a bus reply that is no number reads as 0
  // and its list is still consumed; emptying bus 2 turns it off, emptying
  // bus 1 does not.
  settings_.tracks = 6;
  settings_.busOn[2] = 1;
  reply("a 64 256,,7,2,300,0,-1,x a 2 1,4 a 1 5 a x 3 r 2 1,4 r 1 5 r 64 7 r 0 2 c next");
  const std::string shown = printed([&] { editBusAssignments(settings_); });
  EXPECT_NE(shown.find("Stereo Bus Assignments: (8 outputs, 4 busses)\n\nBus 1\t\tOut 01-02\t\tCh: "
                       "5 \nBus 2\t\tOut 03-04\t\tCh: 1 4 \nBus 64\t\tOut 127-128\t\tCh: 2 \n"),
            std::string::npos)
      << shown;
  EXPECT_TRUE(shown.ends_with(
      "Stereo Bus Assignments: (8 outputs, 4 busses)\n\nBus 1\t\tOut 01-02\t\tCh: \nBus 64\t\tOut "
      "127-128\t\tCh: 2 \nEnter 'a' to add a channel to a bus\nEnter 'r' to remove a channel from "
      "a bus\nEnter 'c' to continue\n"))
      << shown;
  EXPECT_EQ(console().readWord(), "next");

  std::array<std::int32_t, kMaxBusses> expectedOn{};
  expectedOn[0] = 1;
  expectedOn[63] = 1;
  EXPECT_EQ(settings_.busOn, expectedOn);
  for (std::size_t channel = 0; channel < kMaxChannels; ++channel) {
    EXPECT_EQ(settings_.busMatrix[0][channel], 0) << channel;
    EXPECT_EQ(settings_.busMatrix[1][channel], 0) << channel;
    EXPECT_EQ(settings_.busMatrix[2][channel], 0) << channel;
    EXPECT_EQ(settings_.busMatrix[63][channel], channel == 1 || channel == 255 ? 1 : 0) << channel;
  }
}

}  // namespace
}  // namespace varnow
