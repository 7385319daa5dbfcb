// The demo's card pacer: the virtual card with FIFOs keeps real time while
// the pacer runs, its capture holds a tone per input, and the pacer ends
// with the program it runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

// Sign changes along the samples: twice the frequency per second of a tone.
int zeroCrossings(const std::vector<std::int32_t>& samples) {
  int crossings = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
  return crossings;
}

TEST(DemoPacer, KeepsRealTimeFeedsATonePerInputAndEndsWithTheProgram) {
  ProjectFixture project;
  const std::string play = (project.home() / "play.fifo").string();
  const std::string capture = (project.home() / "capture.fifo").string();
  ASSERT_EQ(mkfifo(play.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(capture.c_str(), 0600), 0);
  project.appendAsoundrc(
      "pcm.paced { type asym\n"
      "  playback.pcm { type file slave.pcm \"null\" file \"" +
      play +
      "\" format \"raw\" }\n"
      "  capture.pcm { type file slave.pcm \"null\" file \"/dev/null\" infile \"" +
      capture + "\" format \"raw\" } }\n");
  project.writeFile("param.txt",
                    "dv\tpaced\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\nbuf\t256\nclock\thc\n"
                    "meter\t0\no\t96000\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\nb.wav\n");

  const std::vector<std::string> paced{pacerBinary(), "48000", "256", "2",           play,
                                       "2",           capture, "--",  varnowBinary()};
  // Seconds from start to end of a run; the pacer must end with the program.
  const auto secondsToRun = [&](const std::string& input) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = project.runCommand(paced, input, std::chrono::seconds(20));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  // A 2-second pass takes 2 seconds beyond a run that plays nothing.
  const double idle = secondsToRun("x\n");
  const double playing = secondsToRun("p x\n");
  EXPECT_NEAR(playing - idle, 2.0, 0.1);

  // Half a second recorded (24064 frames, whole periods): 220 Hz on input 1,
  // 330 Hz on input 2, at a quarter of full scale.
  secondsToRun("o0.5 R_t x\n");
  const std::vector<std::int32_t> low = wavSamples(project.readFile("a_t.wav"));
  const std::vector<std::int32_t> high = wavSamples(project.readFile("b_t.wav"));
  ASSERT_EQ(low.size(), 24064U);
  ASSERT_EQ(high.size(), 24064U);
  EXPECT_NEAR(zeroCrossings(low), 2 * 220 * 24064 / 48000, 2);
  EXPECT_NEAR(zeroCrossings(high), 2 * 330 * 24064 / 48000, 2);
  const auto peak = [](const std::vector<std::int32_t>& samples) {
    return std::abs(*std::max_element(samples.begin(), samples.end(),
                                      [](auto a, auto b) { return std::abs(a) < std::abs(b); }));
  };
  EXPECT_NEAR(peak(low), 2097152, 300);
  EXPECT_NEAR(peak(high), 2097152, 300);
}

}  // namespace
}  // namespace varnow::testing
