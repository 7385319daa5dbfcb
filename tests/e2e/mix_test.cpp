// Playback, export and peaks in every mix mode, to the bit against the reference.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/settings_file.hpp"
#include "app/startup.hpp"
#include "e2e/e2e.hpp"
#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"

namespace varnow::testing {
namespace {

// The project's tracks mixed block by block by the reference kernels, with
// the settings the program read from the project's param.txt.
class ReferenceMixer {
 public:
  // `kernelMode`: 1 Mix, 2 or 3 MixMultiple, anything else no mix.
  ReferenceMixer(const ProjectFixture& p, std::vector<Samples> tracks, int kernelMode,
                 bool exporting)
      : tracks_(std::move(tracks)), mode_(kernelMode) {
    ::testing::internal::CaptureStdout();
    ParseSettingsText(p.readFile("param.txt"), s_);
    ::testing::internal::GetCapturedStdout();
    clampChannelCounts(s_);
    initialBusGains(s_.busLevels, s_.busGains);
    const int count = static_cast<int>(tracks_.size());
    for (std::size_t k = 0; k < tracks_.size(); ++k)
      flags_[k] = tracks_[k].empty() ? 0 : 1;
    if (exporting && mode_ == 3) VerifyChannels(s_.busMatrix, flags_);
    SetVolume(s_.pans, s_.volumes, gains_, s_.tracks, flags_);
    const int busCount = exporting ? busCountFor(3, s_.outputs, count, 0)
                                   : busCountFor(mode_, s_.outputs, s_.tracks, s_.tracks / 2);
    inputs_ = {count, &flags_, &gains_, &s_.busGains, &s_.busOn, &s_.busMatrix, busCount};
  }

  // The decoded output blocks of every channel after mixing the block at `start`.
  std::vector<Samples> mix(std::int64_t start) {
    const auto count = std::max<std::size_t>(tracks_.size(), 2);
    std::string blocks;
    const auto from = static_cast<std::size_t>(start);
    for (std::size_t k = 0; k < count; ++k) {
      Samples block(kBlock, 0);
      for (std::size_t i = 0; k < tracks_.size() && i < block.size(); ++i)
        block[i] = from + i < tracks_[k].size() ? tracks_[k][from + i] : 0;
      blocks += packSamples(block);
    }
    auto* bytes = reinterpret_cast<std::int8_t*>(blocks.data());
    if (mode_ == 1) referenceMix(bytes, inputs_, left[0], right[0]);
    if (mode_ == 2 || mode_ == 3) referenceMixMultiple(bytes, inputs_, left, right, mode_);
    std::vector<Samples> outputs;
    for (std::size_t k = 0; k < count; ++k)
      outputs.push_back(unpackSamples(blocks.substr(k * kBlock * 3, kBlock * 3), 0));
    return outputs;
  }

  // Peaks of the master (bus 1, also the outputs of mode 1) and every bus.
  BusPeakTable left{}, right{};

 private:
  std::vector<Samples> tracks_;
  int mode_;
  ProjectSettings s_;
  PlayFlags flags_{};
  ChannelGains gains_;
  MixInputs inputs_;
};

// "channel 1: -6.02 dBFS\n" and its relatives, as the reports print them.
std::string peakLine(const std::string& label, std::int64_t peak) {
  if (peak < 1) return label + ": -144 dBFS\n";
  const double decibels = -20.0 * std::log10(8388607.0 / static_cast<double>(peak));
  char text[80];
  std::snprintf(text, sizeof text, "%s: %.2f dBFS", label.c_str(), decibels);
  return text + std::string(decibels == 0.0 ? " WARNING!\n" : decibels > 0.0 ? " OVER!! \n" : "\n");
}

// The output peaks, and bus 2's.
std::string peaks(const ReferenceMixer& mix, int bus) {
  return bus == 1 ? peakLine("channel 1", mix.left[0]) + peakLine("channel 2", mix.right[0]) + "\n"
                  : peakLine("Bus 2 L", mix.left[1]) + peakLine("Bus 2 R", mix.right[1]) + "\n";
}

// Track 1 on busses 1 and 2.
const char* kMixSettings =
    "v\t1\t-6.00\np\t2\t50\np\t3\t-30\nv\t4\t3.00\n"
    "bus\t1\t1,2,\nbus\t2\t1,3,4,\nbusvl\t1\t-1.50\nbusvl\t2\t-3.00\n";
const std::vector<Samples> kTracks = {staircase(9000, 30000, -3), staircase(9000, -200000, 5),
                                      staircase(5000, 300000, -7), staircase(9000, -4000000, 11)};

std::string progress(std::int64_t length) {
  std::string text;
  for (std::int64_t offset = 0; offset < length; offset += kBlock) {
    char line[40];
    std::snprintf(
        line, sizeof line, "\rExport Progress: %.0f %%",
        static_cast<double>(static_cast<float>(offset) / static_cast<float>(length) * 100.0f));
    text += line;
  }
  return text;
}

TEST(Mix, EveryModeExportsAndPlaysAsTheReferenceAndReportsEachRunAlone) {
  // Track 4 is "-", track 5 on no bus (mode 3 exports without it). The export
  // of [1024, 10240), then passes over it and, after 'j', the next stretch: a
  // block of silence, two blocks, one period of a third; a fourth is mixed.
  for (const int mode : {0, 1, 2, 3}) {
    ProjectFixture p(
        "i\t1024\no\t10240\nclock\thc\nmix\t" + std::to_string(mode) + "\n" + kMixSettings,
        "t1.wav\n\nt2.wav\nt3.wav\n-\nt4.wav\n", "", 2, 4, 5);
    for (std::size_t k = 0; k < kTracks.size(); ++k)
      p.writeWave("t" + std::to_string(k + 1) + ".wav", kTracks[k]);
    const std::string shown = p.console("exp-i mix c p j p x");
    std::vector<Samples> tracks = kTracks;
    tracks.insert(tracks.begin() + 3, Samples{});
    ReferenceMixer exported(p, tracks, mode == 3 ? 3 : 1, true);
    Samples frames;  // interleaved stereo frames of [1024, 10240) as the reference mixes them
    for (std::int64_t start = 1024; start < 10240; start += kBlock) {
      const std::vector<Samples> outputs = exported.mix(start);
      for (std::size_t i = 0; i < static_cast<std::size_t>(std::min(kBlock, 10240 - start)); ++i)
        frames.insert(frames.end(), {outputs[0][i], outputs[1][i]});
    }
    EXPECT_TRUE(
        has(shown, std::string("Enter mix filename\nMixing channels  1 2 3") +
                       (mode == 3 ? "" : " 5") + "\n" + progress(9216) +
                       (mode == 3 ? "\n\nBus Peaks:\n" + peaks(exported, 2) + "\n" : "\n\n") +
                       "Output Peaks:\n" + peaks(exported, 1) + kContinue));
    EXPECT_TRUE(same(p.readFile("mix.wav"), wavFile(frames, 48000, 2)));
    EXPECT_TRUE(p.soxReads("mix.wav", 9216, packSamples(frames)));
    EXPECT_EQ(p.files().size(), 8u);  // no scratch file is left

    ReferenceMixer reference(p, tracks, mode, false);
    std::vector<Samples> expected(4);
    std::size_t reported = shown.find(kContinue);
    for (const std::int64_t in : {1024, 10240}) {
      reference.left = reference.right = {};
      for (std::int64_t start = in - kBlock; start <= in + 3 * kBlock; start += kBlock) {
        const std::vector<Samples> outputs =
            start < in ? std::vector<Samples>(4, silence(kBlock)) : reference.mix(start);
        const auto played = start <= in + kBlock ? kBlock : start == in + 2 * kBlock ? 1024 : 0;
        for (std::size_t k = 0; k < 4; ++k)
          expected[k].insert(expected[k].end(), outputs[k].begin(), outputs[k].begin() + played);
      }
      const std::string report = (mode >= 2 ? "\nBus Peaks:\n\n" + peaks(reference, 2) : "") +
                                 "\nOutput Channel Peaks:\n" +
                                 (mode == 0 ? "\n" : peaks(reference, 1));
      reported = shown.find(report, reported);
      ASSERT_NE(reported, std::string::npos) << "mode " << mode << " pass at " << in << shown;
      reported += report.size();
    }
    for (int k = 0; k < 4; ++k)
      EXPECT_TRUE(same(channelOf(p.playback(), 4, k), expected[static_cast<std::size_t>(k)]))
          << "mode " << mode << " output " << k + 1;
  }

  // One track, one output: the stereo mix of modes 1 and 3 still writes two
  // blocks, of which output 1 plays the left. Constant 10000 at gain 181/256.
  for (const std::string mode : {"mix\t1\n", "mix\t3\nbus\t1\t1,\n"}) {
    ProjectFixture p("o\t8192\nclock\thc\n" + mode, "t.wav\n", "", 1, 1, 1);
    p.writeWave("t.wav", Samples(9000, 10000));
    p.console("p x");
    EXPECT_EQ(channelOf(p.playback(), 1, 0), silence(kBlock) + Samples(8192, 7070)) << mode;
  }
}

TEST(Export, SplitFilesOneFramePeaksAtFullScaleRefusalsAndFailures) {
  // Pan 100 at 0 dB is the integer gain 256: the right side is the track.
  ProjectFixture p("o\t44032\nmix\t1\np\t1\t100\np\t2\t100\n", "full.wav\n");
  p.writeWave("full.wav", Samples(50000, 8388607));
  std::string shown = p.console("exp-s mix c x");
  EXPECT_TRUE(has(shown, "Mixing channels  1\n" + progress(44032) +
                             "\n\nOutput Peaks:\nchannel 1: -144 dBFS\n"
                             "channel 2: -0.00 dBFS WARNING!\n\nEnter 'c' to continue\n"));
  EXPECT_TRUE(same(p.readFile("mix_L.wav"), wavFile(silence(44032))));
  EXPECT_TRUE(same(p.readFile("mix_R.wav"), wavFile(Samples(44032, 8388607))));

  // A window of one frame: the out point at the end of a one-sample file.
  p.writeWave("one.wav", {-4194304});
  p.writeFile("play.txt", "one.wav\n");
  shown = p.console("f exp-s one c x");
  EXPECT_TRUE(has(shown,
                  "Mixing channels  1\n\rExport Progress: 0 %\n\nOutput Peaks:\n"
                  "channel 1: -144 dBFS\nchannel 2: -6.02 dBFS\n\n"));
  EXPECT_TRUE(same(p.readFile("one_R.wav"), wavFile({-4194304})));
  EXPECT_TRUE(p.soxReads("one_L.wav", 1, packSamples({0})));

  // A name of 256 bytes with "_L.wav"; 255 bytes, the directory not counted, is
  // a name like any other.
  p.writeParams("o\t5000\nmix\t1\n");
  p.writeFile("play.txt", "a.wav\n");
  p.writeWave("a.wav", staircase(6000, 1, 1));
  const std::string n(248, 'n');
  std::filesystem::create_directory(p.dir() / "sub");
  const std::size_t files = p.files().size();
  EXPECT_TRUE(
      has(p.console("exp-s sub/nn" + n + " exp-s sub/n" + n + " c x"),
          "Cannot export to sub/nn" + n + "_L.wav: a file name may be at most 255 bytes long.\n"));
  EXPECT_EQ(p.files().size(), files);
  EXPECT_TRUE(p.exists("sub/n" + n + "_L.wav") && p.exists("sub/n" + n + "_R.wav"));

  // No stretch between the in and the out point.
  p.writeParams("i\t8192\no\t4096\nmix\t1\n");
  shown = p.console("exp-i x");
  EXPECT_TRUE(has(shown, "Cannot export until in and out points are set incorrectly.\n"));
  EXPECT_FALSE(has(shown, "Enter mix filename"));

  // A full disk keeps the previous mix and leaves no scratch file.
  p.writeParams("o\t48000\nmix\t1\n");
  p.writeWave("a.wav", staircase(48000, 1, 1));
  p.writeFile("mix.wav", "the previous mix");
  p.setFileSizeLimit(100000);
  shown = p.console("exp-i mix c x");
  p.setFileSizeLimit(0);
  EXPECT_TRUE(
      has(shown, "\nCould not write temp_mix.wav: File too large.\nEnter 'c' to continue\n"));
  EXPECT_FALSE(has(shown, "Output Peaks:"));
  EXPECT_EQ(p.readFile("mix.wav"), "the previous mix");
  EXPECT_FALSE(p.exists("temp_mix.wav"));

  // A bounced mix played back under the name the export writes to first.
  const std::string bounce = wavFile(staircase(6000, 1, 1));
  p.writeFile("temp_mix.wav", bounce);
  p.writeFile("play.txt", "temp_mix.wav\n");
  shown = p.console("exp-i final c x");
  EXPECT_TRUE(has(shown,
                  "Mixing channels  1\nCannot export while temp_mix.wav is playing: "
                  "the export writes its mix there first.\nEnter 'c' to continue\n"));
  EXPECT_EQ(p.readFile("temp_mix.wav"), bounce);
  EXPECT_FALSE(p.exists("final.wav"));
}

TEST(Export, NeverReplacesATrackOrADestinationUnderAnyNameButAnOldMix) {
  // Both tracks panned right at 0 dB: the right side is track 1.
  ProjectFixture p("int\t0\no\t4096\nmix\t1\np\t1\t100\np\t2\t100\n", "t1.wav\nt2.wav\n",
                   "vox_R.wav\ntemp_mix_R.wav\n");
  p.writeWave("t1.wav", staircase(5000));
  p.writeWave("t2.wav", silence(5000));
  for (const std::string name : {"vox_R.wav", "temp_mix_R.wav", "old_L.wav", "old_R.wav"})
    p.writeFile(name, "a recording");
  std::filesystem::create_symlink("t2.wav", p.dir() / "link.wav");
  const auto contents = [&p] {
    std::string all;
    for (const std::string& name : p.files())
      all += name + ": " + p.readFile(name) + "\n";
    return all;
  };
  const std::string before = contents();
  const std::string refusals[][2] = {
      {"exp-i t1", "t1.wav: it is track 1 of the play list."},
      {"exp-i ./t2", "./t2.wav: it is track 2 of the play list."},
      {"exp-i link", "link.wav: it is track 2 of the play list."},
      {"exp-s vox", "vox_R.wav: it is the destination of input 1 in the record list."},
      {"exp-i ./vox_R", "./vox_R.wav: it is the destination of input 1 in the record list."}};
  std::string typed;
  for (const auto& [command, said] : refusals)
    typed += command + " ";
  const std::string shown = p.console(typed + "exp-s mix x");
  for (const auto& [command, said] : refusals)
    EXPECT_TRUE(has(shown, "Enter mix filename\nCannot export to " + said + "\nPlay: "));
  EXPECT_TRUE(has(shown,
                  "Enter mix filename\nCannot export while temp_mix_R.wav is the destination "
                  "of input 2 in the record list: the export writes its mix there first.\n"
                  "Play: "));
  EXPECT_EQ(contents(), before);

  // An old mix is replaced, unless the record list cannot be read.
  p.writeFile("record.txt", "vox_R.wav\n");
  p.console("exp-s old c x");
  EXPECT_TRUE(same(p.readFile("old_R.wav"), wavFile(staircase(4096))));
  p.remove("record.txt");
  std::filesystem::create_directory(p.dir() / "record.txt");
  const std::string old = contents();
  EXPECT_TRUE(has(p.console("exp-s old c x"),
                  "Enter mix filename\nCould not read record.txt: Is a directory. Nothing was "
                  "exported: the destinations it names are not known.\nPlay: "));
  EXPECT_EQ(contents(), old);
}

}  // namespace
}  // namespace varnow::testing
