// Base names, the renaming schemes, removal and the take-audition list.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "take_test_files.hpp"
#include "takes/append_names.hpp"
#include "takes/file_move.hpp"
#include "takes/file_names.hpp"
#include "takes/hybridize.hpp"
#include "takes/remove_files.hpp"
#include "takes/stamp_files.hpp"
#include "timeline/scripted_replies.hpp"

namespace varnow {
namespace {

using testing::printedBy;
using testing::readBytes;
using testing::ScriptedReplies;
using testing::TakeDir;

std::vector<ChannelState> states(const ChannelOutcomes& outcomes) {
  std::vector<ChannelState> result;
  for (const ChannelOutcome& outcome : outcomes)
    result.push_back(outcome.state);
  return result;
}

constexpr ChannelState kSkipped = ChannelState::kSkipped;
constexpr ChannelState kDone = ChannelState::kDone;
constexpr ChannelState kFailed = ChannelState::kFailed;

TEST(FileNames, BasesCutAtTheFirstDotOfTheFileName) {
  EXPECT_EQ(baseName("guitar.wav"), "guitar");
  EXPECT_EQ(baseName("song.v2.wav"), "song");
  EXPECT_EQ(baseName("..hidden.take.wav"), "hidden");
  EXPECT_EQ(baseName("noext"), "noext");
  EXPECT_EQ(baseName("mix.v1/song.v2.wav"), "mix.v1/song");
  EXPECT_EQ(baseName("./song.wav"), "./song");
  EXPECT_EQ(stampedName("audio_ch_2_777.wav", 0), "audio_ch_2_777_stp_0.wav");
  EXPECT_EQ(stampedName("a.b.wav", 96000), "a_stp_96000.wav");
  EXPECT_EQ(withoutStamp("audio_ch_3_123456_stp_96000.wav"), "audio_ch_3_123456.wav");
  EXPECT_EQ(withoutStamp("x_stp/audio_ch_3_1.wav"), "x_stp/audio_ch_3_1.wav");
  EXPECT_EQ(appendedName("drums.wav", "take2"), "drums_take2.wav");
  EXPECT_EQ(backupName("takes.v2.wav", 77), "takes_bkup_77.wav");
  EXPECT_EQ(besideFile("dir/sub/x.wav", "temp_pad.wav"), "dir/sub/temp_pad.wav");
  EXPECT_EQ(besideFile("x.wav", "temp_pad.wav"), "temp_pad.wav");
}

TEST(StampFiles, StampsArmedTakesAndRemovesStamps) {
  TakeDir dir;
  const std::string one = dir.wave("audio_ch_1_777.wav", {1});
  dir.wave("audio_ch_2_777.wav", {2});
  const std::string three = dir.wave("audio_ch_3_777.wav", {3});
  const std::string list = one + "\n" + dir.file("audio_ch_2_777.wav") + "\n" + three + "\n-\n";
  const std::array<std::int32_t, 4> flags{1, 0, 1, 1};
  const ChannelOutcomes outcomes = STAMP_FILES({4, list, 0, flags});
  EXPECT_EQ(states(outcomes), (std::vector{kDone, kSkipped, kDone, kSkipped}));
  EXPECT_EQ(dir.entries(),
            (std::vector<std::string>{"audio_ch_1_777_stp_0.wav", "audio_ch_2_777.wav",
                                      "audio_ch_3_777_stp_0.wav"}));

  ASSERT_TRUE(REMOVE_STAMP(dir.file("audio_ch_1_777_stp_0.wav")).ok());
  ASSERT_TRUE(REMOVE_STAMP(dir.file("audio_ch_2_777.wav")).ok());  // no stamp: stays
  EXPECT_EQ(testing::wavSamples(readBytes(one)), (testing::Samples{1}));
  EXPECT_EQ(REMOVE_STAMP(dir.file("gone_stp_5.wav")).message(),
            "Could not rename " + dir.file("gone_stp_5.wav") + " to " + dir.file("gone.wav") +
                ": No such file or directory.");
}

TEST(MoveFile, CopiesAcrossFileSystems) {
  TakeDir here;
  TakeDir shared("/dev/shm");
  const std::string from = here.wave("take.wav", testing::staircase(5000));
  const std::string bytes = readBytes(from);
  const std::string to = shared.wave("song.wav", {1});
  ASSERT_TRUE(moveFile(from, to).ok());
  EXPECT_EQ(readBytes(to), bytes);
  EXPECT_TRUE(here.entries().empty());
  EXPECT_EQ(shared.entries(), std::vector<std::string>{"song.wav"});
}

TEST(RemoveFiles, RemovesNamedLinesOnly) {
  TakeDir dir;
  const std::string a = dir.wave("a.wav", {1});
  const std::string c = dir.wave("c.wav", {1});
  std::filesystem::create_directories(dir.file("d.wav/inside"));
  const std::string list = a + "\n-\n" + dir.file("gone.wav") + "\n" + dir.file("d.wav") + "\n" + c;
  const ChannelOutcomes outcomes = REMOVE_FILES(4, list);
  EXPECT_EQ(states(outcomes), (std::vector{kDone, kSkipped, kDone, kFailed}));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"c.wav", "d.wav"}));
}

TEST(Hybridize, PlaysTakesOnArmedChannelsAndPlayFilesElsewhere) {
  const std::array<std::int32_t, 3> flags{1, 0, 1};
  EXPECT_EQ(Hybridize({"p1.wav\np2.wav\n", "t1.wav\n-\nt3.wav\n", flags, 3}),
            "t1.wav\np2.wav\nt3.wav\n");
  EXPECT_EQ(Hybridize({"p1.wav\n\n-\n", "t1.wav\n", flags, 4}), "t1.wav\n-\n-\n-\n");
  EXPECT_EQ(Hybridize({"p1.wav", "t1.wav", flags, 0}), "");
}

TEST(AppendNames, RenamesAfterTheRecordListAndAsksAboutEveryConflict) {
  TakeDir dir;
  const std::array<std::int32_t, 3> flags{1, 1, 1};
  const std::string take1 = dir.wave("audio_ch_1_500.wav", {1});
  const std::string take2 = dir.wave("audio_ch_2_500.wav", {2});
  const std::string take3 = dir.wave("audio_ch_3_500.wav", {3});
  const std::string takeList = take1 + "\n" + take2 + "\n" + take3 + "\n";
  const std::string recordList =
      dir.file("drums.wav") + "\n" + dir.file("bass.v1.wav") + "\n" + dir.file("vox.wav") + "\n";
  dir.wave("bass_take2.wav", {9});
  dir.wave("bass_take3.wav", {9});
  dir.wave("vox_take3.wav", {9});

  // Channel 2 meets bass_take2.wav: 'x' repeats the choices, 'n' asks for a
  // new text, which meets bass_take3.wav; 'O' then overwrites it and the
  // later conflict with vox_take3.wav without asking.
  ScriptedReplies replies("x n take3 O");
  std::string text = "take2";
  ChannelOutcomes outcomes;
  const std::string out = printedBy([&] {
    outcomes = APPEND_NAMES({3, takeList, recordList, flags, {}}, text, replies.input());
  });
  const std::string choices =
      "\n'o' to overwrite one file\n'O' (shift-o) to overwrite all conflicts,\n"
      "'n' to try a new append name\n";
  EXPECT_EQ(out, take1 + " -> " + dir.file("drums_take2.wav") + "\n" +                  //
                     "\nFile " + dir.file("bass_take2.wav") + " exists!\n" + choices +  //
                     choices + "Enter new append name\n" +                              //
                     "\nFile " + dir.file("bass_take3.wav") + " exists!\n" + choices +  //
                     take2 + " -> " + dir.file("bass_take3.wav") + "\n" +               //
                     take3 + " -> " + dir.file("vox_take3.wav") + "\n");
  EXPECT_EQ(text, "take3");
  EXPECT_EQ(states(outcomes), (std::vector{kDone, kDone, kDone}));
  EXPECT_EQ(testing::wavSamples(readBytes(dir.file("vox_take3.wav"))), (testing::Samples{3}));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bass_take2.wav", "bass_take3.wav",
                                                     "drums_take2.wav", "vox_take3.wav"}));
}

}  // namespace
}  // namespace varnow
