// The mixer console's cases that the end-to-end tests of tests/e2e do not
// reach: listing edge cases, every edit exclusion, the mode menu's odd
// replies, and the bus editor's recount.
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

#include "core/console_input.hpp"

namespace varnow {
namespace {

namespace fs = std::filesystem;

const std::string kRule(79, '-');

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

TEST_F(MixerConsole, ListingSkipsEmptyLinesAndShowsValuesAsStored) {
  // The empty line does not count; "-" skips channel 2. Values are shown
  // uncorrected and rounded; mode 7 shows no bus line.
  std::ofstream(dir_ / "play.txt", std::ios::binary) << "a.wav\n\n-\nb.wav\nc c.wav\n";
  settings_.volumes[2] = 12.345f;
  settings_.pans[2] = 4.6f;
  settings_.volumes[3] = -200.0f;
  settings_.pans[3] = 150.0f;
  settings_.busLevels[0] = -4.0f;
  settings_.mixMode = 7;
  int result = -1;
  EXPECT_EQ(printed([&] { result = ShowMixer(settings_); }),
            "Source:\na.wav\tCh 1\tVol 0.00\tPan    0\nb.wav\tCh 3\tVol 12.35\tPan    5\n"
            "c c.wav\tCh 4\tVol -200.00\tPan  150\n\n" +
                kRule + "\n");
  EXPECT_EQ(result, 1);
  // No tracks: no channel line, whatever the list holds.
  settings_.tracks = 0;
  EXPECT_EQ(printed([&] { ShowMixer(settings_); }), "Source:\n\n" + kRule + "\n");

  // A list that opens but cannot be read says why.
  fs::create_directory(dir_ / "folder.txt");
  settings_.playLists[1] = (dir_ / "folder.txt").string();
  EXPECT_EQ(printed([&] { result = ShowMixer(settings_); }),
            "Could not read " + (dir_ / "folder.txt").string() + ": Is a directory.\n");
  EXPECT_EQ(result, 0);
}

TEST_F(MixerConsole, EditsStoreWhatIsTypedAndExclusionsChangeNothing) {
  struct Edit {
    const char* word;
    float* field;
    float stored;
  };
  const Edit edits[] = {
      {"4v+2.5", &settings_.volumes[3], 2.5f},
      {"1p100", &settings_.pans[0], 100.0f},
      {"1v13", &settings_.volumes[0], 13.0f},  // SetVolume corrects it when a pass starts
      {"2p-150", &settings_.pans[1], -150.0f},
      {"4vloud", &settings_.volumes[3], 0.0f},       // no number: 0, as atof reads it
      {"3b-200", &settings_.busLevels[2], -144.0f},  // beyond a limit: the limit
      {"64b-4", &settings_.busLevels[63], -4.0f},
      {"2b-144", &settings_.busLevels[1], -144.0f},
  };
  for (const Edit& edit : edits) {
    EXPECT_TRUE(token(edit.word)) << edit.word;
    EXPECT_EQ(*edit.field, edit.stored) << edit.word;
  }
  // -144 dB is the lowest level that still sets the gain.
  EXPECT_FLOAT_EQ(settings_.busGains[1], static_cast<float>(std::pow(10.0, -7.2)) / 256.0f);

  EXPECT_EQ(settings_.busGains[2], settings_.busGains[1]);

  // Edits of no channel, no bus or no finite value: the mixer's own, but
  // nothing changes. Bus numbers are bounded by the table, not by the track
  // count.
  const ProjectSettings before = settings_;
  for (const char* edit : {"0v-6", "5v-6", "-1v3", "99999999999999999999v1", "0p50", "5p50", "xv3",
                           "2vnan", "2pnan", "3v1e300", "1v-1e400", "2p1e39"}) {
    EXPECT_TRUE(token(edit)) << edit;
  }
  settings_.tracks = 256;
  for (const char* edit : {"0b3", "65b3", "100b3", "1bnan", "1b-1e400", "1b1e39"}) {
    EXPECT_TRUE(token(edit)) << edit;
  }
  settings_.tracks = 4;
  EXPECT_EQ(settings_, before);

  // Not edits: a part is missing, or the word is a command with a 'p' or 'b'.
  for (const char* command : {"2v",  "v-6", "v",     "2p",    "p100",  "p",   "pf", "pre", "sp",
                              "opt", "lp",  "exp-i", "exp-s", "tempo", "mod", "d",  "mix", "u",
                              "x",   "s",   "12",    "1b",    "b-4",   "b",   "bo", "be",  "bus"}) {
    EXPECT_FALSE(token(command)) << command;
  }
  EXPECT_EQ(settings_, before);
  // A 'v' decides first: "1v2b3" sets channel 1's volume from "2b3" (2).
  EXPECT_TRUE(token("1v2b3"));
  EXPECT_EQ(settings_.volumes[0], 2.0f);
  EXPECT_EQ(settings_.busLevels, before.busLevels);
}

TEST_F(MixerConsole, ModeMenuTakesOnlyALoneDigit) {
  // The words after the choice stay unread.
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
  // A mode from nowhere: all four offered in the imperative, in order.
  settings_.mixMode = 9;
  reply("1");
  const std::string shown = printed([&] { selectMixMode(settings_); });
  EXPECT_TRUE(shown.starts_with("\nCurrently using mixmode [9]:\n'0'  Playback = assign")) << shown;
  EXPECT_NE(shown.find("\n'2'  Playback = route channels to multiple output busses.\n"
                       "     Export   = route all channels to the master. No busses.\n'3'"),
            std::string::npos)
      << shown;
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
    for (const std::size_t bus : {0u, 1u, 2u}) {
      EXPECT_EQ(settings_.busMatrix[bus][channel], 0) << bus << " " << channel;
    }
    EXPECT_EQ(settings_.busMatrix[63][channel], channel == 1 || channel == 255 ? 1 : 0) << channel;
  }
}

}  // namespace
}  // namespace varnow
