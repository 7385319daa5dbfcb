// Playing passes on the virtual card: what reaches the card, frame by frame.
#include <gtest/gtest.h>

#include "e2e/transcripts.hpp"
#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

constexpr std::int64_t kBlock = 4096;

// The frames a pass that only plays writes: the block of silence before the
// in point, then the blocks from in, until the first period of the first
// streamed block whose successor starts at or after the out point.
std::int64_t framesPlayed(std::int64_t in, std::int64_t out, std::int64_t period) {
  std::int64_t streamed = in - kBlock;
  while (streamed + kBlock < out)
    streamed += kBlock;
  return streamed - (in - kBlock) + period;
}

// What output frame f of a play pass from `in` holds for a file whose
// samples are `file` (empty for a silent track).
std::vector<std::int32_t> expectedOutput(const std::vector<std::int32_t>& file, std::int64_t in,
                                         std::int64_t frames) {
  std::vector<std::int32_t> out(static_cast<std::size_t>(frames), 0);
  for (std::int64_t f = 0; f < frames; ++f) {
    const std::int64_t t = in - kBlock + f;
    if (t >= in && t < static_cast<std::int64_t>(file.size())) {
      out[static_cast<std::size_t>(f)] = file[static_cast<std::size_t>(t)];
    }
  }
  return out;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

std::string afterReport(const RunResult& result, int outputs = 2, int inputs = 2) {
  const std::string report = driverReport(1024, 48000, outputs, inputs);
  const std::size_t at = result.out.find(report);
  return at == std::string::npos ? result.out : result.out.substr(at + report.size());
}

TEST(PlayPass, BlocksFromTheInPointAfterOneBlockOfSilence) {
  ProjectFixture project;
  const auto one = staircase(20000, 1);
  const auto two = staircase(6000, -1000, -1);  // ends inside the pass
  const auto three = staircase(30000, 500000);
  project.writeParams("i\t4096\no\t16384\n", 2, 3, 3);
  project.writeFile("one.wav", wavFile(one));
  project.writeFile("two.wav", wavFile(two));
  project.writeFile("three.wav", wavFile(three));
  project.writeFile("play.txt", "one.wav\n\ntwo.wav\n-\nthree.wav\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("p x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find(kZeroMenu.substr(0, 0) +
                            "Playing...\nplayback start = 0.09 sec\nplayback stop  = 0.34 sec\n"),
            std::string::npos);
  const std::string raw = project.playback();
  const std::int64_t frames = framesPlayed(4096, 16384, 1024);
  ASSERT_EQ(raw.size(), static_cast<std::size_t>(frames * 9));
  EXPECT_EQ(channelOf(raw, 3, 0), expectedOutput(one, 4096, frames));
  EXPECT_EQ(channelOf(raw, 3, 1), expectedOutput(two, 4096, frames));
  // The third counted line is "-": output 3 stays silent.
  EXPECT_EQ(channelOf(raw, 3, 2), expectedOutput({}, 4096, frames));
}

TEST(PlayPass, RejectedAndMissingFilesAreSilentAndSaySo) {
  // A FIFO is refused without being opened (the open would wait for a
  // writer), here and where 'f' and the export read the play files.
  ProjectFixture project;
  project.writeParams("o\t8192\n", 2, 5, 5);
  project.writeFile("good.wav", wavFile(staircase(9000, 7)));
  project.writeFile("stereo.wav", wavFile(staircase(9000), 48000, 2));
  std::string sixteen = wavFile(staircase(9000));
  sixteen[34] = 16;  // bits per sample
  project.writeFile("sixteen.wav", sixteen);
  project.makeFifo("fifo.wav");
  project.writeFile("play.txt", "stereo.wav\nsixteen.wav\nmissing.wav\nfifo.wav\ngood.wav\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("p f exp-i mix c x", std::chrono::seconds(10));
  const std::string refused = "Could not read fifo.wav: it is not a regular file.\n";
  EXPECT_NE(afterReport(result, 5).find("stereo.wav is not a mono file and will not be played\n"
                                        "sixteen.wav is not a 24 bit file and will not be played\n"
                                        "Cannot find file in track list called missing.wav!!\n" +
                                        refused + "Playing...\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(count(result.out, refused), 3u) << result.out;
  const std::string raw = project.playback();
  const std::int64_t frames = framesPlayed(0, 8192, 1024);
  ASSERT_EQ(raw.size(), static_cast<std::size_t>(frames * 15));
  for (int channel = 0; channel < 4; ++channel) {
    EXPECT_EQ(channelOf(raw, 5, channel), expectedOutput({}, 0, frames)) << channel;
  }
  EXPECT_EQ(channelOf(raw, 5, 4), expectedOutput(staircase(9000, 7), 0, frames));
}

TEST(PlayPass, OutAtOrBeforeInWritesOnePeriodOfSilence) {
  ProjectFixture project;
  project.writeParams("i\t8192\no\t4096\n");
  project.writeFile("a.wav", wavFile(staircase(20000)));
  project.writeFile("play.txt", "a.wav\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("p x");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(project.playback(), std::string(1024 * 6, '\0'));
}

TEST(PlayPass, SoloPlayKeepsOnlySoloedTracks) {
  ProjectFixture project;
  project.writeParams("o\t4096\nsolo\t2\n");
  project.writeFile("a.wav", wavFile(staircase(9000, 1)));
  project.writeFile("b.wav", wavFile(staircase(9000, -1, -1)));
  project.writeFile("play.txt", "a.wav\nb.wav\n");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("sp x");
  EXPECT_NE(result.out.find("Playing...\nTracks are soloed\nplayback start = 0.00 sec\n"),
            std::string::npos);
  const std::string raw = project.playback();
  const std::int64_t frames = framesPlayed(0, 4096, 1024);
  EXPECT_EQ(channelOf(raw, 2, 0), expectedOutput({}, 0, frames));
  EXPECT_EQ(channelOf(raw, 2, 1), expectedOutput(staircase(9000, -1, -1), 0, frames));

  // With no track soloed nothing plays.
  ProjectFixture none;
  none.writeParams("o\t4096\n");
  none.writeFile("a.wav", wavFile(staircase(9000, 1)));
  none.writeFile("play.txt", "a.wav\n");
  none.writeFile("record.txt", "");
  none.run("sp x");
  EXPECT_EQ(none.playback(), std::string(static_cast<std::size_t>(frames * 6), '\0'));
}

TEST(PlayPass, TimelineAuditionsPlayTheirStretchAndRestoreInAndOut) {
  // Audition length 0.1 s = 4800 frames at 48000 Hz.
  ProjectFixture project;
  project.writeParams("i\t8192\no\t16384\ne\t12288\naud\t0.1\n");
  const auto file = staircase(40000);
  project.writeFile("a.wav", wavFile(file));
  project.writeFile("play.txt", "a.wav\n");
  project.writeFile("record.txt", "");
  for (const auto& [command, from] :
       {std::pair{"ai", 8192}, std::pair{"ao", 16384}, std::pair{"ae", 12288}}) {
    const RunResult result = project.run(std::string(command) + " x");
    const std::string shown = afterReport(result);
    const std::string menu = secondsMenu("0.00", "0.17", "0.34", "0.26", "0.26");
    // The menu before and after the pass shows the points unchanged.
    EXPECT_EQ(shown.substr(0, menu.size()), menu);
    EXPECT_NE(shown.find("\n\nOutput Channel Peaks:\n\n" + menu), std::string::npos) << command;
    const std::string raw = project.playback();
    const std::int64_t frames = framesPlayed(from, from + 4800, 1024);
    EXPECT_EQ(channelOf(raw, 2, 0), expectedOutput(file, from, frames)) << command;
  }
}

TEST(PlayPass, SummaryInMeasuresAndMinimalInterface) {
  ProjectFixture project;
  project.writeFile("param.txt", "dv\tvcard\nsr\t48000\ntmode\t1\ni\t96000\no\t192000\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "");
  const RunResult result = project.run("p x");
  // 96000 rounds up to 96256 frames: 4.01 beats at 120 bpm; 192000 to 192512.
  EXPECT_NE(result.out.find("Playing...\nplayback start = 2.1.01\nplayback stop  = 3.1.02\n"),
            std::string::npos)
      << result.out;

  ProjectFixture minimal;
  minimal.writeParams("int\t0\nclock\thc\no\t4096\n");
  minimal.writeFile("play.txt", "");
  minimal.writeFile("record.txt", "");
  const RunResult quiet = minimal.run("p x");
  EXPECT_NE(quiet.out.find("Playing...\n\n\nOutput Channel Peaks:\n\n"), std::string::npos)
      << quiet.out;
}

}  // namespace
}  // namespace varnow::testing
