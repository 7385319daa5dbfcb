// The meter line and the peak reports of passes on the virtual card, for
// known signals.
#include <gtest/gtest.h>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

// A steady level: every frame of the channel holds `value`.
std::string steadyCapture(std::size_t frames, std::int32_t left, std::int32_t right) {
  std::vector<std::int32_t> interleaved;
  for (std::size_t i = 0; i < frames; ++i) {
    interleaved.push_back(left);
    interleaved.push_back(right);
  }
  return packSamples(interleaved);
}

TEST(MeterAndReports, SteadyLevelDrawsTwelveBarsAndOverIsMarked) {
  // 1491695 is -15.00 dB of full scale: 12 of 24 bars with a 30 dB span,
  // the peak-hold mark (channel 1) right after them.
  ProjectFixture project;
  project.writeParams("o\t48128\nclock\thc\nmeter\t-30\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\nb.wav\n");
  project.writeCapture(steadyCapture(60000, 1491695, 0));
  const RunResult steady = project.run("R_m x");
  EXPECT_NE(steady.out.find("\r\t -30 dB [||||||||||||1           ] -15 dB   "), std::string::npos)
      << steady.out;
  EXPECT_NE(steady.out.find("\n\nInput Channel Peaks:\n\tchannel 1: -15.00 dBFS\n"
                            "\tchannel 2: -inf dBFS\n"),
            std::string::npos)
      << steady.out;

  // A full-scale negative sample on channel 2 reaches 0 dB on the meter.
  ProjectFixture over;
  over.writeParams("o\t48128\nclock\thc\nmeter\t-30\n");
  over.writeFile("play.txt", "");
  over.writeFile("record.txt", "a.wav\nb.wav\n");
  over.writeCapture(steadyCapture(60000, 1000, -8388608));
  const RunResult loud = over.run("R_m x");
  EXPECT_NE(loud.out.find("] OVER CH 2   "), std::string::npos) << loud.out;
  EXPECT_NE(loud.out.find("\tchannel 2: 0.00 dBFS\n"), std::string::npos) << loud.out;

  // 'np': nothing is scanned, so no input report.
  ProjectFixture unchecked;
  unchecked.writeParams("o\t48128\nclock\thc\nmeter\t-30\npeak\tnp\n");
  unchecked.writeFile("play.txt", "");
  unchecked.writeFile("record.txt", "a.wav\n");
  const RunResult quiet = unchecked.run("R_m x");
  EXPECT_EQ(quiet.out.find("Input Channel Peaks"), std::string::npos);
  EXPECT_NE(quiet.out.find("[1                       ] -144 dB   "), std::string::npos)
      << quiet.out;
}

TEST(MeterAndReports, OutputAndBusPeaksForKnownSignals) {
  // Mode 1: two full-scale tracks sum above full scale on both outputs.
  ProjectFixture loud;
  loud.writeParams("o\t4096\nclock\thc\nmix\t1\n");
  loud.writeFile("a.wav", wavFile(staircase(9000, 8388607, 0)));
  loud.writeFile("b.wav", wavFile(staircase(9000, 8388607, 0)));
  loud.writeFile("play.txt", "a.wav\nb.wav\n");
  loud.writeFile("record.txt", "");
  const RunResult over = loud.run("p x");
  // 8388607 x 181 x 2 / 256: 2 x 181/256 of full scale, +3.01 dB.
  EXPECT_NE(over.out.find("\nOutput Channel Peaks:\nchannel 1: 3.01 dBFS OVER!! \n"
                          "channel 2: 3.01 dBFS OVER!! \n\n"),
            std::string::npos)
      << over.out;

  // Mode 2 with silence: bus 2 and the outputs report -144.
  ProjectFixture silent;
  silent.writeParams("o\t4096\nclock\thc\nmix\t2\nbus\t1\t1,\nbus\t2\t2,\n", 2, 4, 4);
  silent.writeFile("a.wav", wavFile(staircase(9000, 0, 0)));
  silent.writeFile("play.txt", "a.wav\na.wav\n");
  silent.writeFile("record.txt", "");
  const RunResult quiet = silent.run("p x");
  EXPECT_NE(quiet.out.find("\nBus Peaks:\n\nBus 2 L: -144 dBFS\nBus 2 R: -144 dBFS\n\n"
                           "\nOutput Channel Peaks:\nchannel 1: -144 dBFS\nchannel 2: -144 dBFS\n"),
            std::string::npos)
      << quiet.out;
}

}  // namespace
}  // namespace varnow::testing
