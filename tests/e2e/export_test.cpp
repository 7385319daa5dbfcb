// 'exp-i' and 'exp-s' through the real binary: the files byte for byte
// against a mix computed here from the gain, pan and bus laws, read back by
// an independent reader (sox), and everything the user sees.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

constexpr float kCentre = 0.70794576f;

// ---- The laws, written down once more for the reference mix. ----

double ratioOf(float decibels) {
  return std::pow(10.0, static_cast<double>(decibels) / 20.0);
}

struct TrackGains {
  std::int64_t left = 0;
  std::int64_t right = 0;
};

TrackGains gainsOf(float volume, float pan) {
  const auto volumeGain = static_cast<float>(ratioOf(volume) * 256.0);
  float left = kCentre;
  float right = kCentre;
  if (pan > 0.0f) {
    left = (100.0f - pan) * kCentre / 100.0f;
    right = static_cast<float>(static_cast<double>(kCentre) * ratioOf(pan * 3.0f / 100.0f));
  } else if (pan < 0.0f) {
    left = static_cast<float>(static_cast<double>(kCentre) * ratioOf(-pan * 3.0f / 100.0f));
    right = kCentre * (pan + 100.0f) / 100.0f;
  }
  return {static_cast<std::int64_t>(volumeGain * left),
          static_cast<std::int64_t>(volumeGain * right)};
}

float busGainOf(float level) {
  return static_cast<float>(ratioOf(level)) * 0.00390625f;
}

std::int64_t throughGain(std::int64_t sum, float gain) {
  return static_cast<std::int64_t>(static_cast<float>(sum) * gain);
}

std::int32_t saturated(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, -8388608, 8388607));
}

struct Track {
  std::vector<std::int32_t> samples;
  TrackGains gains;
  int bus = 1;  // mode 3 only; 0 = on no bus
};

struct StereoMix {
  std::vector<std::int32_t> left;
  std::vector<std::int32_t> right;
  std::int64_t peakLeft = 0;
  std::int64_t peakRight = 0;
  std::int64_t busPeakLeft = 0;  // bus 2, mode 3
  std::int64_t busPeakRight = 0;
};

std::int64_t sampleAt(const Track& track, std::int64_t position) {
  if (position < 0 || position >= static_cast<std::int64_t>(track.samples.size())) return 0;
  return track.samples[static_cast<std::size_t>(position)];
}

// Every frame of the stretch: the tracks summed with their integer gains,
// then the master gain; in mode 3 the tracks of bus 2 go through bus 2's
// gain and into the master x 256 first.
StereoMix mixOf(const std::vector<Track>& tracks, std::int64_t in, std::int64_t length,
                float masterGain, int mode = 1, float bus2Gain = 0.0f) {
  StereoMix mix;
  for (std::int64_t f = 0; f < length; ++f) {
    std::int64_t left = 0;
    std::int64_t right = 0;
    std::int64_t busLeft = 0;
    std::int64_t busRight = 0;
    for (const Track& track : tracks) {
      const std::int64_t s = sampleAt(track, in + f);
      if (mode != 3 || track.bus == 1) {
        left += s * track.gains.left;
        right += s * track.gains.right;
      } else if (track.bus == 2) {
        busLeft += s * track.gains.left;
        busRight += s * track.gains.right;
      }
    }
    if (mode == 3) {
      const std::int64_t yl = throughGain(busLeft, bus2Gain);
      const std::int64_t yr = throughGain(busRight, bus2Gain);
      mix.busPeakLeft = std::max(mix.busPeakLeft, std::abs(yl));
      mix.busPeakRight = std::max(mix.busPeakRight, std::abs(yr));
      left += 256 * yl;
      right += 256 * yr;
    }
    const std::int64_t l = throughGain(left, masterGain);
    const std::int64_t r = throughGain(right, masterGain);
    mix.peakLeft = std::max(mix.peakLeft, std::abs(l));
    mix.peakRight = std::max(mix.peakRight, std::abs(r));
    mix.left.push_back(saturated(l));
    mix.right.push_back(saturated(r));
  }
  return mix;
}

std::vector<std::int32_t> interleaved(const StereoMix& mix) {
  std::vector<std::int32_t> frames;
  for (std::size_t i = 0; i < mix.left.size(); ++i) {
    frames.push_back(mix.left[i]);
    frames.push_back(mix.right[i]);
  }
  return frames;
}

std::string peakLine(const char* label, std::int64_t peak) {
  if (peak < 1) return std::string(label) + ": -144 dBFS\n";
  const double decibels = -20.0 * std::log10(8388607.0 / static_cast<double>(peak));
  char text[80];
  std::snprintf(text, sizeof text, "%s: %.2f dBFS", label, decibels);
  std::string line = text;
  if (decibels == 0.0) return line + " WARNING!\n";
  if (decibels > 0.0) return line + " OVER!! \n";
  return line + "\n";
}

std::string outputPeaks(std::int64_t left, std::int64_t right) {
  return peakLine("channel 1", left) + peakLine("channel 2", right) + "\n";
}

std::string progress(std::int64_t length) {
  std::string text;
  for (std::int64_t offset = 0; offset < length; offset += 4096) {
    char line[40];
    std::snprintf(
        line, sizeof line, "\rExport Progress: %.0f %%",
        static_cast<double>(static_cast<float>(offset) / static_cast<float>(length) * 100.0f));
    text += line;
  }
  return text;
}

// ---- The independent reader. ----

std::string shell(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.append(buffer, got);
  ::pclose(pipe);
  return out;
}

// Checks with sox that `name` holds `frames` frames whose raw samples are `data`.
void expectSoxReads(const ProjectFixture& project, const std::string& name, std::int64_t frames,
                    const std::string& data) {
  const std::string path = (project.dir() / name).string();
  EXPECT_EQ(shell("sox --i -s '" + path + "' 2>&1"), std::to_string(frames) + "\n") << name;
  EXPECT_EQ(shell("sox '" + path + "' -t raw -e signed -b 24 - 2>/dev/null"), data) << name;
}

std::string dataOf(const std::string& wav) {
  return wav.substr(44);
}

// Runs the program in the project with `first` as its input until it prints
// `cue`, then runs the shell command `between` and sends `rest`; returns what
// it printed.
std::string runWithCue(const ProjectFixture& project, const std::string& first,
                       const std::string& cue, const std::string& between,
                       const std::string& rest) {
  const std::string out = (project.home() / "cued_out.txt").string();
  shell("cd '" + project.dir().string() + "' && { printf '" + first +
        "'; for i in $(seq 600); do grep -q '" + cue + "' '" + out +
        "' && break; sleep 0.05; done; " + between + "; printf '" + rest +
        "'; } | env -u ALSA_CONFIG_PATH HOME='" + project.home().string() + "' timeout 30 '" +
        varnowBinary() + "' >'" + out + "' 2>/dev/null");
  return shell("cat '" + out + "'");
}

std::vector<std::string> exportFiles(const ProjectFixture& project) {
  std::vector<std::string> names;
  for (const std::string& name : project.files()) {
    if (name.find("mix") != std::string::npos || name.find("nn") == 0) names.push_back(name);
  }
  return names;
}

TEST(Export, InterleavedFileHoldsTheStretchMixedFrameByFrame) {
  ProjectFixture project;
  const auto a = staircase(20000, -300000, 37);
  const auto b = staircase(3000, 5000000, -1);  // ends inside the stretch
  project.writeParams(
      "i\t1024\no\t10240\nmix\t1\nv\t1\t-6.00\np\t1\t37\nv\t2\t3.50\np\t2\t-63\n"
      "busvl\t1\t-2.50\n",
      2, 2, 3);
  project.writeFile("a.wav", wavFile(a));
  project.writeFile("b.wav", wavFile(b));
  project.writeFile("play.txt", "a.wav\n\nb.wav\n-\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("exp-i mix c x");
  ASSERT_EQ(result.exitStatus, 0);

  const std::int64_t length = 10240 - 1024;  // points fall on whole periods
  const StereoMix mix = mixOf({{a, gainsOf(-6.0f, 37.0f)}, {b, gainsOf(3.5f, -63.0f)}}, 1024,
                              length, busGainOf(-2.5f));
  EXPECT_NE(result.out.find("Enter mix filename\nMixing channels  1 2\n" + progress(length) +
                            "\n\nOutput Peaks:\n" + outputPeaks(mix.peakLeft, mix.peakRight) +
                            "Enter 'c' to continue\n"),
            std::string::npos)
      << result.out;
  const std::string expected = wavFile(interleaved(mix), 48000, 2);
  const std::string written = project.readFile("mix.wav");
  EXPECT_TRUE(written == expected);
  expectSoxReads(project, "mix.wav", length, dataOf(expected));
  EXPECT_EQ(exportFiles(project), std::vector<std::string>{"mix.wav"});  // no scratch left

  // Mode 2 exports through the master alone: bus 2's level changes nothing.
  project.writeParams(
      "i\t1024\no\t10240\nmix\t2\nv\t1\t-6.00\np\t1\t37\nv\t2\t3.50\np\t2\t-63\n"
      "busvl\t1\t-2.50\nbus\t2\t1,\nbusvl\t2\t-20.00\n",
      2, 2, 3);
  ASSERT_EQ(project.run("exp-i mix2 c x").exitStatus, 0);
  EXPECT_TRUE(project.readFile("mix2.wav") == expected);
}

TEST(Export, SplitFilesProgressAndPeaksAtAndAboveFullScale) {
  ProjectFixture project;
  const std::vector<std::int32_t> full(50000, 8388607);
  project.writeParams("o\t44032\nmix\t1\np\t1\t100\np\t2\t100\n", 2, 2, 2);
  project.writeFile("full.wav", wavFile(full));
  project.writeFile("play.txt", "full.wav\n");
  project.writeFile("record.txt", "");
  RunResult result = project.run("exp-s mix c x");
  ASSERT_EQ(result.exitStatus, 0);
  // Pan 100 at 0 dB is the integer gain 256: the right side is the track.
  EXPECT_NE(result.out.find("Mixing channels  1\n\rExport Progress: 0 %\rExport Progress: 9 %"
                            "\rExport Progress: 19 %\rExport Progress: 28 %"
                            "\rExport Progress: 37 %\rExport Progress: 47 %"
                            "\rExport Progress: 56 %\rExport Progress: 65 %"
                            "\rExport Progress: 74 %\rExport Progress: 84 %"
                            "\rExport Progress: 93 %\n\nOutput Peaks:\n"
                            "channel 1: -144 dBFS\nchannel 2: -0.00 dBFS WARNING!\n\n"
                            "Enter 'c' to continue\n"),
            std::string::npos)
      << result.out;
  const std::string left = wavFile(std::vector<std::int32_t>(44032, 0));
  const std::string right = wavFile(std::vector<std::int32_t>(44032, 8388607));
  EXPECT_TRUE(project.readFile("mix_L.wav") == left);
  EXPECT_TRUE(project.readFile("mix_R.wav") == right);
  expectSoxReads(project, "mix_R.wav", 44032, dataOf(right));

  // Two such tracks: the sum is held at full scale in the file, and the
  // report shows how far above it the mix went.
  project.writeFile("play.txt", "full.wav\nfull.wav\n");
  result = project.run("exp-s over c x");
  EXPECT_NE(result.out.find("\n\nOutput Peaks:\nchannel 1: -144 dBFS\n"
                            "channel 2: 6.02 dBFS OVER!! \n\n"),
            std::string::npos)
      << result.out;
  EXPECT_TRUE(project.readFile("over_R.wav") == right);
}

TEST(Export, ModeThreeSendsTheBussesToTheMasterAndReportsThem) {
  ProjectFixture project;
  const auto one = staircase(9000, 100000, 11);
  const auto two = staircase(9000, -200000, 7);
  const auto three = staircase(5000, 300000, -13);
  const auto four = staircase(9000, 4000000, 1);  // on no bus: silent
  project.writeParams(
      "o\t9216\nmix\t3\nv\t2\t-3.00\np\t3\t50\nbus\t1\t1,\nbus\t2\t2,3,\n"
      "busvl\t1\t4.00\nbusvl\t2\t-6.00\n",
      2, 2, 4);
  project.writeFile("1.wav", wavFile(one));
  project.writeFile("2.wav", wavFile(two));
  project.writeFile("3.wav", wavFile(three));
  project.writeFile("4.wav", wavFile(four));
  project.writeFile("play.txt", "1.wav\n2.wav\n3.wav\n4.wav\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("exp-i bus c x");
  ASSERT_EQ(result.exitStatus, 0);
  const StereoMix mix = mixOf({{one, gainsOf(0.0f, 0.0f), 1},
                               {two, gainsOf(-3.0f, 0.0f), 2},
                               {three, gainsOf(0.0f, 50.0f), 2},
                               {four, gainsOf(0.0f, 0.0f), 0}},
                              0, 9216, busGainOf(4.0f), 3, busGainOf(-6.0f));
  EXPECT_NE(
      result.out.find("Mixing channels  1 2 3\n" + progress(9216) + "\n\nBus Peaks:\n" +
                      peakLine("Bus 2 L", mix.busPeakLeft) + peakLine("Bus 2 R", mix.busPeakRight) +
                      "\n\nOutput Peaks:\n" + outputPeaks(mix.peakLeft, mix.peakRight)),
      std::string::npos)
      << result.out;
  const std::string expected = wavFile(interleaved(mix), 48000, 2);
  EXPECT_TRUE(project.readFile("bus.wav") == expected);
}

TEST(Export, FilesThatCannotPlayAreLeftOut) {
  ProjectFixture project;
  const auto a = staircase(6000, 1, 1);
  const auto b = staircase(6000, -70000, 3);
  project.writeParams("o\t5120\nmix\t1\n", 2, 2, 3);
  project.writeFile("a.wav", wavFile(a));
  project.writeFile("b.wav", wavFile(b));
  project.writeFile("play.txt", "gone.wav\na.wav\nb.wav\n");
  project.writeFile("record.txt", "");

  // gone.wav is turned away by the header check; b.wav becomes a directory
  // while the program waits for the name, so it cannot be opened for mixing.
  const std::string out =
      runWithCue(project, "exp-i\\n", "Enter mix filename", "rm b.wav; mkdir b.wav", "mix c x\\n");
  EXPECT_NE(out.find("Cannot find file in track list called gone.wav!!\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Enter mix filename\nMixing channels  2Can't open b.wav for Mixing\n\n"),
            std::string::npos)
      << out;
  const StereoMix mix = mixOf({{a, gainsOf(0.0f, 0.0f)}}, 0, 5120, busGainOf(0.0f));
  EXPECT_TRUE(project.readFile("mix.wav") == wavFile(interleaved(mix), 48000, 2));
}

TEST(Export, RefusalsWriteNothing) {
  ProjectFixture project;
  project.writeParams("o\t5000\nmix\t1\n", 2, 2, 2);
  project.writeFile("a.wav", wavFile(staircase(6000, 1, 1)));
  project.writeFile("play.txt", "a.wav\n");
  project.writeFile("record.txt", "");

  // A play list that is not there.
  RunResult result = project.run("pf nolist.txt exp-s x play.txt");
  EXPECT_NE(result.out.find("Playlist file called nolist.txt was not found!\n"), std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Enter mix filename"), std::string::npos);

  // Names too long for the file system: "%s.wav" and "%s_L.wav" of 256 bytes.
  result = project.run("exp-i " + std::string(252, 'n') + " exp-s " + std::string(250, 'n') + " x");
  EXPECT_NE(result.out.find("Cannot export to " + std::string(252, 'n') +
                            ".wav: a file name may be at most 255 bytes long.\n"),
            std::string::npos);
  EXPECT_NE(result.out.find("Cannot export to " + std::string(250, 'n') +
                            "_L.wav: a file name may be at most 255 bytes long.\n"),
            std::string::npos);
  EXPECT_EQ(result.out.find("Mixing channels"), std::string::npos);
  EXPECT_TRUE(exportFiles(project).empty());
  // 255 bytes exactly is a name like any other.
  result = project.run("exp-s " + std::string(249, 'n') + " c x");
  EXPECT_EQ(exportFiles(project), (std::vector<std::string>{std::string(249, 'n') + "_L.wav",
                                                            std::string(249, 'n') + "_R.wav"}));

  // No stretch between the in and the out point.
  project.writeParams("i\t8192\no\t4096\nmix\t1\n", 2, 2, 2);
  result = project.run("exp-i x");
  EXPECT_NE(result.out.find("Cannot export until in and out points are set incorrectly.\n"),
            std::string::npos);
  EXPECT_EQ(result.out.find("Enter mix filename"), std::string::npos);
}

TEST(Export, AFailedWriteIsReportedAndKeepsThePreviousMix) {
  ProjectFixture project;
  project.writeParams("o\t48000\nmix\t1\n", 2, 2, 2);
  project.writeFile("a.wav", wavFile(staircase(48000, 1, 1)));
  project.writeFile("play.txt", "a.wav\n");
  project.writeFile("record.txt", "");
  project.writeFile("mix.wav", "the previous mix");
  project.setFileSizeLimit(100000);
  const RunResult result = project.run("exp-i mix c x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("\nCould not write temp_mix.wav: File too large.\n"
                            "Enter 'c' to continue\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Output Peaks:"), std::string::npos);
  EXPECT_EQ(project.readFile("mix.wav"), "the previous mix");
  EXPECT_FALSE(project.exists("temp_mix.wav"));
}

TEST(Export, AMixThatPlaysUnderTheScratchNameIsNotOverwritten) {
  // A bounced mix played back under the name the export writes to first.
  ProjectFixture project;
  project.writeParams("o\t4096\nmix\t1\n", 2, 2, 2);
  const std::string bounce = wavFile(staircase(6000, 1, 1));
  project.writeFile("temp_mix.wav", bounce);
  project.writeFile("play.txt", "temp_mix.wav\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("exp-i final c x");
  EXPECT_NE(result.out.find("Mixing channels  1\nCannot export while temp_mix.wav is playing: "
                            "the export writes its mix there first.\nEnter 'c' to continue\n"),
            std::string::npos)
      << result.out;
  EXPECT_TRUE(project.readFile("temp_mix.wav") == bounce);
  EXPECT_FALSE(project.exists("final.wav"));
}

}  // namespace
}  // namespace varnow::testing
