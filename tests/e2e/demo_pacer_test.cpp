// The demo's card pacer: real time until its program ends, a tone per input.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

using std::chrono::steady_clock;

TEST(DemoPacer, KeepsRealTimeEndsWithItsProgramAndFeedsATonePerInput) {
  ProjectFixture project;
  const std::string play = (project.home() / "play.fifo").string();
  const std::string capture = (project.home() / "capture.fifo").string();
  ASSERT_EQ(mkfifo(play.c_str(), 0600) | mkfifo(capture.c_str(), 0600), 0);
  // 2 outputs and 2 inputs at 48 kHz, in periods of 256 frames.
  const auto paced = [&](const std::vector<std::string>& program) {
    std::vector<std::string> command{pacerBinary(), "48000", "256", "2", play, "2", capture, "--"};
    command.insert(command.end(), program.begin(), program.end());
    return command;
  };
  // The test as the card's user; read-write opens never wait for the pacer.
  const int playFd = ::open(play.c_str(), O_RDWR | O_NONBLOCK);
  const int captureFd = ::open(capture.c_str(), O_RDWR | O_NONBLOCK);
  RunResult result;
  std::thread pacer([&] {
    result =
        project.runCommand(paced({"/bin/sh", "-c", "until [ -e done ]; do sleep 0.05; done"}), "");
  });
  // Frames per second moved each way over one second, moving them as fast as
  // the pacer lets; the first window also waits for the pacer to start. A
  // busy machine (other real-time tests beside this one) can only slow a
  // window down: the first of up to seven that keeps the rate counts.
  double worst = 48000.0;
  char bytes[1536];
  for (int window = 0; window < 8 && worst > 0.04 * 48000; ++window) {
    double written = 0.0, read = 0.0;
    for (const auto end = steady_clock::now() + std::chrono::seconds(1);
         steady_clock::now() < end;) {
      const ssize_t in = ::write(playFd, bytes, sizeof bytes);
      const ssize_t out = ::read(captureFd, bytes, sizeof bytes);
      written += static_cast<double>(std::max<ssize_t>(in, 0)) / 6;
      read += static_cast<double>(std::max<ssize_t>(out, 0)) / 6;
      if (in <= 0 && out <= 0) std::this_thread::sleep_for(milliseconds(1));
    }
    if (window > 0) worst = std::max(std::abs(written - 48000.0), std::abs(read - 48000.0));
  }
  EXPECT_LE(worst, 0.04 * 48000);
  // The pacer ends with its program ("done" ends the shell's wait); one that
  // went on would be killed at the run's limit, and its status show it.
  project.writeFile("done", "");
  pacer.join();
  EXPECT_EQ(result.exitStatus, 0);
  ::close(playFd);
  ::close(captureFd);

  // A recording of 24064 frames through the pacer: 220 Hz on input 1 and 330
  // Hz on input 2 at a quarter of full scale. A period the program was too
  // busy to take is dropped, as a card would, so the pitch (sign changes) is
  // checked within 5 %: a frame out of place or a channel swapped is more.
  project.appendAsoundrc(cardDefinition("paced", play, capture));
  project.writeFile("param.txt", "dv\tpaced\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\nbuf\t256\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\nb.wav\n");
  result = project.runCommand(paced({varnowBinary()}), "o0.5 R_t x\n");
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  for (const auto& [name, hz] : {std::pair{"a_t.wav", 220.0}, std::pair{"b_t.wav", 330.0}}) {
    const Samples take = wavSamples(project.readFile(name));
    ASSERT_EQ(take.size(), 24064U);
    int crossings = 0, peak = 0;
    for (std::size_t i = 1; i < take.size(); ++i) {
      crossings += (take[i - 1] < 0) != (take[i] < 0) ? 1 : 0;
      peak = std::max(peak, std::abs(take[i]));
    }
    EXPECT_NEAR(crossings, hz * 2 * 24064 / 48000, hz * 2 * 24064 / 48000 / 20) << name;
    EXPECT_NEAR(peak, 2097152, 300) << name;
  }
}

}  // namespace
}  // namespace varnow::testing
