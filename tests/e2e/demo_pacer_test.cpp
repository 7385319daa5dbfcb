// The demo's card pacer: it drains and feeds the virtual card's FIFOs in real
// time until the program it runs ends, and a recording through it holds a
// tone per input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

using std::chrono::steady_clock;

struct Fifos {
  explicit Fifos(const ProjectFixture& project)
      : play((project.home() / "play.fifo").string()),
        capture((project.home() / "capture.fifo").string()) {
    EXPECT_EQ(mkfifo(play.c_str(), 0600), 0);
    EXPECT_EQ(mkfifo(capture.c_str(), 0600), 0);
  }
  // The pacer for 2 outputs and 2 inputs at 48 kHz in periods of 256 frames.
  std::vector<std::string> pacer(std::vector<std::string> program) const {
    std::vector<std::string> command{pacerBinary(), "48000", "256", "2", play, "2", capture, "--"};
    command.insert(command.end(), program.begin(), program.end());
    return command;
  }
  std::string play;
  std::string capture;
};

// Frames per second taken from the playback FIFO and given by the capture
// FIFO over 2 seconds, the test writing and reading as fast as it may.
std::pair<double, double> framesPerSecond(int playFd, int captureFd) {
  char bytes[1536];  // 256 frames of 2 channels
  double written = 0.0;
  double read = 0.0;
  const auto end = steady_clock::now() + std::chrono::seconds(2);
  while (steady_clock::now() < end) {
    const ssize_t in = ::write(playFd, bytes, sizeof bytes);
    const ssize_t out = ::read(captureFd, bytes, sizeof bytes);
    written += static_cast<double>(std::max<ssize_t>(in, 0)) / 6 / 2;
    read += static_cast<double>(std::max<ssize_t>(out, 0)) / 6 / 2;
    if (in <= 0 && out <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return {written, read};
}

TEST(DemoPacer, DrainsAndFeedsInRealTimeUntilItsProgramEnds) {
  ProjectFixture project;
  const Fifos fifos(project);
  // Read-write opens never wait, whichever side comes first.
  const int playFd = ::open(fifos.play.c_str(), O_RDWR | O_NONBLOCK);
  const int captureFd = ::open(fifos.capture.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(playFd, 0);
  ASSERT_GE(captureFd, 0);
  RunResult result;
  std::thread pacer([&] {
    // Its program ends once the file "done" exists.
    result =
        project.runCommand(fifos.pacer({"/bin/sh", "-c", "until [ -e done ]; do sleep 0.05; done"}),
                           "", std::chrono::seconds(30));
  });
  // The first tone bytes say that the pacer runs (and has sized its FIFOs).
  char period[1536];
  const auto started = steady_clock::now();
  while (::read(captureFd, period, sizeof period) <= 0 &&
         steady_clock::now() - started < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A busy machine can only slow a window down: the best of three counts.
  const auto error = [](std::pair<double, double> rates) {
    return std::max(std::abs(rates.first - 48000.0), std::abs(rates.second - 48000.0));
  };
  std::pair<double, double> best{0.0, 0.0};
  for (int attempt = 0; attempt < 3 && error(best) > 0.04 * 48000; ++attempt) {
    const auto rates = framesPerSecond(playFd, captureFd);
    if (error(rates) < error(best)) best = rates;
  }
  EXPECT_NEAR(best.first, 48000.0, 0.04 * 48000);
  EXPECT_NEAR(best.second, 48000.0, 0.04 * 48000);

  const auto ending = steady_clock::now();
  project.writeFile("done", "");
  pacer.join();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_LT(steady_clock::now() - ending, std::chrono::seconds(2));
  ::close(playFd);
  ::close(captureFd);
}

// Sign changes along the samples: twice the frequency per second of a tone.
int zeroCrossings(const std::vector<std::int32_t>& samples) {
  int crossings = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
  return crossings;
}

TEST(DemoPacer, ARecordingThroughItHoldsATonePerInput) {
  ProjectFixture project;
  const Fifos fifos(project);
  project.appendAsoundrc(
      "pcm.paced { type asym\n"
      "  playback.pcm { type file slave.pcm \"null\" file \"" +
      fifos.play +
      "\" format \"raw\" }\n"
      "  capture.pcm { type file slave.pcm \"null\" file \"/dev/null\" infile \"" +
      fifos.capture + "\" format \"raw\" } }\n");
  project.writeFile("param.txt",
                    "dv\tpaced\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\nbuf\t256\nclock\thc\n"
                    "meter\t0\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\nb.wav\n");
  // A short pass; the pacer ends with the program.
  const RunResult result =
      project.runCommand(fifos.pacer({varnowBinary()}), "o0.5 R_t x\n", std::chrono::seconds(20));
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 0) << result.err;

  // 24064 frames (whole periods): 220 Hz on input 1, 330 Hz on input 2, at a
  // quarter of full scale. A period the program was too busy to take in time
  // is dropped, as a card would, so the pitch is checked within 5 %: a frame
  // out of place or a channel swapped is far more.
  const std::vector<std::int32_t> low = wavSamples(project.readFile("a_t.wav"));
  const std::vector<std::int32_t> high = wavSamples(project.readFile("b_t.wav"));
  ASSERT_EQ(low.size(), 24064U);
  ASSERT_EQ(high.size(), 24064U);
  EXPECT_NEAR(zeroCrossings(low), 220.0 * 2 * 24064 / 48000, 11.0);
  EXPECT_NEAR(zeroCrossings(high), 330.0 * 2 * 24064 / 48000, 16.5);
  const auto peak = [](const std::vector<std::int32_t>& samples) {
    return std::abs(*std::max_element(samples.begin(), samples.end(),
                                      [](auto a, auto b) { return std::abs(a) < std::abs(b); }));
  };
  EXPECT_NEAR(peak(low), 2097152, 300);
  EXPECT_NEAR(peak(high), 2097152, 300);
}

}  // namespace
}  // namespace varnow::testing
