// The demo's card pacer: it drains and feeds the virtual card's FIFOs in real
// time until the program it runs ends, and a recording through it holds a
// tone per input.
#include <sys/stat.h>

#include <cmath>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

TEST(DemoPacer, KeepsRealTimeEndsWithItsProgramAndFeedsATonePerInput) {
  ProjectFixture project;
  const std::string play = (project.home() / "play.fifo").string();
  const std::string capture = (project.home() / "capture.fifo").string();
  ASSERT_EQ(mkfifo(play.c_str(), 0600) | mkfifo(capture.c_str(), 0600), 0);
  project.appendAsoundrc(
      "pcm.paced { type asym\n playback.pcm { type file slave.pcm \"null\" file \"" + play +
      "\" format \"raw\" }\n capture.pcm { type file slave.pcm \"null\" file "
      "\"/dev/null\" infile \"" +
      capture + "\" format \"raw\" } }\n");
  project.writeFile("param.txt", "dv\tpaced\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\nbuf\t256\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\nb.wav\n");

  // 24064 frames at 48 kHz in periods of 256: not before the pacer fed them
  // (but the two periods it keeps waiting); the pacer ends with the program.
  const auto start = std::chrono::steady_clock::now();
  const RunResult result = project.runCommand(
      {pacerBinary(), "48000", "256", "2", play, "2", capture, "--", varnowBinary()},
      "o0.5 R_t x\n", milliseconds(20000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(23552 * 1000 / 48000));
  EXPECT_EQ(result.exitStatus, 0) << result.err;

  // 220 and 330 Hz at a quarter of full scale; a period the program missed
  // is dropped, so the pitch (sign changes) is checked within 5 %.
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
