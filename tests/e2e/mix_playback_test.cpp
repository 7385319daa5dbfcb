// Playback through the mixer on the virtual card, in every mix mode, against
// the scalar reference kernels fed with the same blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"
#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"
#include "wave/sample_codec.hpp"

namespace varnow::testing {
namespace {

constexpr int kTracks = 4;
constexpr std::int64_t kBlock = 4096;

const std::vector<std::vector<std::int32_t>>& trackSamples() {
  static const std::vector<std::vector<std::int32_t>> tracks = {
      staircase(9000, 1000, 3), staircase(9000, -2000, -5), staircase(5000, 300000, 7),
      staircase(9000, -4000000, 11)};
  return tracks;
}

// The settings the project below writes to param.txt, as the program will
// hold them.
ProjectSettings mixSettings(int mode) {
  ProjectSettings s;
  s.tracks = kTracks;
  s.outputs = kTracks;
  s.mixMode = mode;
  s.volumes[0] = -6.0f;
  s.pans[1] = 50.0f;
  s.pans[2] = -30.0f;
  s.volumes[3] = 3.0f;
  for (int c : {0, 1})
    s.busMatrix[0][static_cast<std::size_t>(c)] = 1;
  for (int c : {2, 3})
    s.busMatrix[1][static_cast<std::size_t>(c)] = 1;
  s.busMatrix[1][0] = 1;  // track 1 on two busses
  s.busOn[0] = s.busOn[1] = 1;
  s.busLevels[1] = -3.0f;
  s.busLevels[0] = -1.5f;
  return s;
}

const char* kMixParams =
    "v\t1\t-6.00\np\t2\t50\np\t3\t-30\nv\t4\t3.00\n"
    "bus\t1\t1,2,\nbus\t2\t1,3,4,\nbusvl\t1\t-1.50\nbusvl\t2\t-3.00\n";

// Output frames of a play pass from 0 to 8192: one block of silence (never
// mixed), the mixed block at 0, then one period of the mixed block at 4096.
std::vector<std::vector<std::int32_t>> expectedOutputs(int mode) {
  ProjectSettings s = mixSettings(mode);
  PlayFlags playFlags{};
  for (int k = 0; k < kTracks; ++k)
    playFlags[static_cast<std::size_t>(k)] = 1;
  ChannelGains gains;
  SetVolume(s.pans, s.volumes, gains, kTracks, playFlags);
  BusGains busGains{};
  busGains.fill(1.0f);
  initialBusGains(s.busLevels, busGains);
  MixInputs inputs;
  inputs.channelCount = kTracks;
  inputs.playFlags = &playFlags;
  inputs.gains = &gains;
  inputs.busGains = &busGains;
  inputs.busOn = &s.busOn;
  inputs.busMatrix = &s.busMatrix;
  inputs.busCount = busCountFor(mode, kTracks, kTracks, kTracks / 2);

  std::vector<std::vector<std::int32_t>> outputs(kTracks);
  for (auto& output : outputs)
    output.assign(kBlock, 0);
  std::vector<std::int8_t> blocks(static_cast<std::size_t>(kTracks * kBlock * 3));
  std::int64_t peakLeft = 0, peakRight = 0;
  BusPeakTable busLeft{}, busRight{};
  for (const std::int64_t start : {std::int64_t{0}, kBlock}) {
    for (int k = 0; k < kTracks; ++k) {
      const auto& file = trackSamples()[static_cast<std::size_t>(k)];
      std::vector<std::int64_t> block(kBlock, 0);
      for (std::int64_t i = 0; i < kBlock; ++i) {
        const auto t = static_cast<std::size_t>(start + i);
        if (t < file.size()) block[static_cast<std::size_t>(i)] = file[t];
      }
      NUM24MONO_TO_CHAR(block.data(), blocks.data() + k * kBlock * 3);
    }
    if (mode == 1) referenceMix(blocks.data(), inputs, peakLeft, peakRight);
    if (mode >= 2) referenceMixMultiple(blocks.data(), inputs, busLeft, busRight, mode);
    const std::int64_t frames = start == 0 ? kBlock : 1024;
    for (int k = 0; k < kTracks; ++k) {
      std::vector<std::int64_t> decoded(kBlock);
      CHAR_TO_NUM32(blocks.data() + k * kBlock * 3, decoded.data(), 3);
      for (std::int64_t i = 0; i < frames; ++i) {
        outputs[static_cast<std::size_t>(k)].push_back(
            static_cast<std::int32_t>(decoded[static_cast<std::size_t>(i)]));
      }
    }
  }
  return outputs;
}

TEST(MixPlayback, EveryModeMatchesTheReferenceMixToTheBit) {
  for (const int mode : {0, 1, 2, 3}) {
    ProjectFixture project;
    project.writeParams("o\t8192\nclock\thc\nmix\t" + std::to_string(mode) + "\n" + kMixParams, 2,
                        kTracks, kTracks);
    std::string list;
    for (int k = 0; k < kTracks; ++k) {
      const std::string name = "t" + std::to_string(k + 1) + ".wav";
      project.writeFile(name, wavFile(trackSamples()[static_cast<std::size_t>(k)]));
      list += name + "\n";
    }
    project.writeFile("play.txt", list);
    project.writeFile("record.txt", "");
    const RunResult result = project.run("p x");
    ASSERT_EQ(result.exitStatus, 0);
    const std::string raw = project.playback();
    const auto expected = expectedOutputs(mode);
    for (int k = 0; k < kTracks; ++k) {
      EXPECT_EQ(channelOf(raw, kTracks, k), expected[static_cast<std::size_t>(k)])
          << "mode " << mode << " output " << k + 1;
    }
    if (mode == 2 || mode == 3) {
      EXPECT_NE(result.out.find("\nBus Peaks:\n\n"), std::string::npos) << result.out;
      EXPECT_NE(result.out.find("Bus 2 L: "), std::string::npos);
    }
    if (mode != 0) {
      EXPECT_NE(result.out.find("\nOutput Channel Peaks:\nchannel 1: "), std::string::npos)
          << result.out;
    }
  }
}

TEST(MixPlayback, OneOutputProjectMixesIntoItsOnlyBlock) {
  // One track, one output: the stereo mix of modes 1 and 3 still writes two
  // blocks, of which output 1 plays the left. Constant 10000 at gain 181/256.
  for (const std::string mode : {"mix\t1\n", "mix\t3\nbus\t1\t1,\n"}) {
    ProjectFixture project;
    project.writeParams("o\t8192\nclock\thc\n" + mode, 1, 1, 1);
    project.writeFile("t.wav", wavFile(std::vector<std::int32_t>(9000, 10000)));
    project.writeFile("play.txt", "t.wav\n");
    project.writeFile("record.txt", "");
    const RunResult result = project.run("p x");
    ASSERT_EQ(result.exitStatus, 0) << mode << result.err;
    std::vector<std::int32_t> expected(kBlock, 0);
    expected.resize(kBlock + kBlock + 1024, 7070);
    EXPECT_EQ(channelOf(project.playback(), 1, 0), expected) << mode;
  }
}

}  // namespace
}  // namespace varnow::testing
