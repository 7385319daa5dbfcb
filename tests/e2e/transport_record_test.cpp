// Recording passes on the virtual card: the take files hold exactly the
// captured frames, and the card is played for exactly as long as the capture
// alignment says.
#include <gtest/gtest.h>

#include <cctype>

#include "e2e/transcripts.hpp"
#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

constexpr std::int64_t kBlock = 4096;

// Frames written to the card by a recording pass with playback, from the
// documented cycle: one period a cycle; capture starts once the frames
// written since the punch point reach the capture delay; every cycle then
// reads one period, and the pass ends at the first block completion after
// the take is full.
std::int64_t framesPlayedWhileRecording(std::int64_t in, std::int64_t punch,
                                        std::int64_t takeLength, std::int64_t period,
                                        std::int64_t bufferFrames, std::int64_t odcomp) {
  const std::int64_t captureDelay = (bufferFrames / period + odcomp) * period + kBlock;
  std::int64_t readPosition = in, playOffset = 0, delay = 0, written = 0;
  std::int64_t recordOffset = 0, samplesWritten = 0;
  bool needFill = true, started = false;
  for (;;) {
    const std::int64_t n = std::min(period, kBlock - playOffset);
    if (needFill) {
      readPosition += kBlock;
      needFill = false;
    }
    written += n;
    playOffset += n;
    if (!started && readPosition + playOffset >= punch) delay += n;
    if (playOffset == kBlock) {
      needFill = true;
      playOffset = 0;
    }
    if (delay >= captureDelay) {
      started = true;
      for (std::int64_t left = period; left > 0;) {
        const std::int64_t part = std::min(left, kBlock - recordOffset);
        recordOffset += part;
        left -= part;
        if (recordOffset == kBlock) {
          recordOffset = 0;
          const std::int64_t count = std::min(kBlock, takeLength - samplesWritten);
          if (count <= 0) return written;
          samplesWritten += count;
        }
      }
    }
  }
}

std::vector<std::int32_t> ramp(std::int32_t base, std::size_t n) {
  return staircase(n, base);
}

// The one file in the project named prefix, digits, suffix (a take named
// with its time stamp).
std::string onlyTakeNamed(const ProjectFixture& project, const std::string& prefix,
                          const std::string& suffix) {
  std::string found;
  for (const std::string& name : project.files()) {
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::string middle =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    bool digits = true;
    for (const char c : middle)
      digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (!digits) continue;
    EXPECT_TRUE(found.empty()) << "two takes are named " << prefix << "*" << suffix;
    found = name;
  }
  return found;
}

struct RecordCase {
  int buf;
  int odcomp;
};

TEST(RecordPass, TakeHoldsTheCapturedStreamForEveryPeriodAndAlignment) {
  // buf 1000 and 100 give periods that do not divide 4096: reads are split
  // at block boundaries and the take is still the contiguous stream.
  for (const RecordCase c : {RecordCase{1024, 4}, RecordCase{1024, 0}, RecordCase{512, 2},
                             RecordCase{1000, 4}, RecordCase{100, 1}}) {
    ProjectFixture project;
    const std::int64_t period = c.buf;
    // Points already on the period grid: in 0, punch 3 periods, out 60 periods.
    const std::int64_t punch = 3 * period;
    const std::int64_t out = 60 * period;
    project.writeFile("param.txt", "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\nbuf\t" +
                                       std::to_string(c.buf) + "\nodcomp\t" +
                                       std::to_string(c.odcomp) + "\ne\t" + std::to_string(punch) +
                                       "\no\t" + std::to_string(out) + "\nclock\thc\nmeter\t0\n");
    project.writeFile("play.txt", "");
    project.writeFile("record.txt", "-\nvox.wav\n");
    project.writeCapture(rampCapture(200000, {1000000, 2000000}));
    const RunResult result = project.run("r x");
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    const std::int64_t takeLength = out - punch;
    const std::string name =
        onlyTakeNamed(project, "audio_ch_2_", "_stp_" + std::to_string(punch) + ".wav");
    ASSERT_FALSE(name.empty()) << c.buf;
    const std::string take = project.readFile(name);
    ASSERT_EQ(take.size(), static_cast<std::size_t>(44 + 3 * takeLength));
    EXPECT_EQ(field32(take, 4), 3 * takeLength + 36);
    EXPECT_EQ(field32(take, 40), 3 * takeLength);
    EXPECT_EQ(wavSamples(take), ramp(2000000, static_cast<std::size_t>(takeLength))) << c.buf;
    const std::int64_t played =
        framesPlayedWhileRecording(0, punch, takeLength, period, 4 * period, c.odcomp);
    EXPECT_EQ(project.playback().size(), static_cast<std::size_t>(played * 6)) << c.buf;
  }
}

TEST(RecordPass, RecordWithoutPlaybackCapturesFromTheFirstCycle) {
  ProjectFixture project;
  project.writeParams("e\t48128\no\t96256\nclock\thc\n", 3, 2, 3);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n-\nc.wav\n");
  project.writeCapture(rampCapture(60000, {10, 20000, 3000000}));
  const RunResult result = project.run("R x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("Recording...\nrecord start   = 1.00 sec\nrecord stop    = 2.01 sec\n"),
            std::string::npos)
      << result.out;
  const std::string one = project.readFile(onlyTakeNamed(project, "audio_ch_1_", "_stp_48128.wav"));
  const std::string three =
      project.readFile(onlyTakeNamed(project, "audio_ch_3_", "_stp_48128.wav"));
  EXPECT_EQ(wavSamples(one), ramp(10, 48128));
  EXPECT_EQ(wavSamples(three), ramp(3000000, 48128));
  EXPECT_EQ(project.playback(), "");
  // Input peaks are reported for the armed inputs: the block scans cover the
  // whole last block written (frames up to 49151): 49161 and 3049151.
  EXPECT_NE(result.out.find("\n\nInput Channel Peaks:\n\tchannel 1: -44.64 dBFS\n"
                            "\tchannel 3: -8.79 dBFS\n"),
            std::string::npos)
      << result.out;
}

TEST(RecordPass, RecordAtInWithPrerollRestoresInAndPunch) {
  // preroll 0.05 s = 2400 frames, rounded up to 3072; in 8192 -> pass from 5120.
  ProjectFixture project;
  project.writeParams("i\t8192\ne\t1024\no\t16384\nproll\t0.05\nclock\thc\n");
  project.writeFile("a.wav", wavFile(staircase(30000)));
  project.writeFile("play.txt", "a.wav\n");
  project.writeFile("record.txt", "b.wav\n");
  project.writeCapture(rampCapture(100000, {5, 6}));
  const RunResult result = project.run("ri stp x");
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("Playing and Recording...\nplayback start = 0.11 sec\n"
                            "record start   = 0.17 sec\nplay/rec stop  = 0.34 sec\n"),
            std::string::npos)
      << result.out;
  const std::string take = project.readFile(onlyTakeNamed(project, "audio_ch_1_", "_stp_8192.wav"));
  EXPECT_EQ(wavSamples(take), ramp(5, 8192));
  // Afterwards in and punch are as they were.
  const std::string menu = secondsMenu("0.00", "0.17", "0.34", "0.02", "0.17");
  EXPECT_NE(result.out.rfind(menu + "\n"), std::string::npos);
  const std::string raw = project.playback();
  const auto played = framesPlayedWhileRecording(5120, 8192, 8192, 1024, 4096, 4);
  ASSERT_EQ(raw.size(), static_cast<std::size_t>(played * 6));
  // Playback started at the preroll point, after the block of silence.
  const auto left = channelOf(raw, 2, 0);
  EXPECT_EQ(left[4095], 0);
  EXPECT_EQ(left[4096], 5121);
}

TEST(RecordPass, ReplacedTrackFallsSilentFromThePunchPoint) {
  ProjectFixture project;
  project.writeParams("e\t6144\no\t16384\nclock\thc\n");
  project.writeFile("vox.wav", wavFile(staircase(40000, 100)));
  project.writeFile("gtr.wav", wavFile(staircase(40000, -100, -1)));
  project.writeFile("play.txt", "vox.wav\ngtr.wav\n");
  project.writeFile("record.txt", "vox.wav\n-\n");
  project.writeCapture(rampCapture(100000, {1, 2}));
  project.run("r x");
  const std::string raw = project.playback();
  const auto vox = channelOf(raw, 2, 0);
  const auto gtr = channelOf(raw, 2, 1);
  ASSERT_GT(vox.size(), 20000u);
  // Output frame f plays timeline frame f - 4096.
  EXPECT_EQ(vox[4096 + 6143], 100 + 6143);
  EXPECT_EQ(vox[4096 + 6144], 0);
  EXPECT_EQ(vox[4096 + 12000], 0);
  EXPECT_EQ(gtr[4096 + 12000], -100 - 12000);
  // The listed file itself is untouched until the take is settled.
  EXPECT_EQ(project.readFile("vox.wav"), wavFile(staircase(40000, 100)));
}

TEST(RecordPass, StopTimeChecksCancelThePass) {
  ProjectFixture project;
  project.writeParams("");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n");
  const RunResult zero = project.run("r q c c x");
  EXPECT_NE(zero.out.find(">> Stop time is not set!\nEnter 'c' to continue and fix\n"
                          "\n>> Stop time is the same as record start!\n"
                          "Enter 'c' to continue and fix\n" +
                          kZeroMenu),
            std::string::npos)
      << zero.out;
  EXPECT_EQ(zero.out.find("Recording"), std::string::npos);

  ProjectFixture late;
  late.writeParams("e\t8192\no\t4096\n");
  late.writeFile("play.txt", "");
  late.writeFile("record.txt", "a.wav\n");
  const RunResult before = late.run("R c x");
  EXPECT_NE(before.out.find("\n>> Stop time is set before record start!\n"
                            "Enter 'c' to continue and fix\n"),
            std::string::npos);
  EXPECT_EQ(late.files(), (std::vector<std::string>{"param.txt", "play.txt", "record.txt"}));
}

TEST(RecordPass, PreemptiveTakeNamesAndTheirConflicts) {
  ProjectFixture project;
  project.writeParams("o\t4096\nclock\thc\nmeter\t0\n", 2, 2, 2);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "vox.wav\nbass.take.wav\n");
  project.writeCapture(rampCapture(100000, {1, 2}));
  // First take: names from the record lines.
  RunResult result = project.run("R_take2 x");
  EXPECT_TRUE(project.exists("vox_take2.wav"));
  EXPECT_TRUE(project.exists("bass_take2.wav"));
  EXPECT_EQ(result.out.find("already exists"), std::string::npos);

  // Again: the first conflict is answered with a new name, which is tested
  // again (vox_take2 -> take3 is free), and carries over to channel 2.
  project.writeFile("bass_take3.wav", "old");
  result = project.run("R_take2 take3 w x");
  EXPECT_NE(result.out.find("The file named vox_take2.wav already exists!\n"
                            "Enter a different take name or 'w' to overwrite this file\n"
                            "or 'W' to overwrite all similar conflicts\n"
                            "The file named bass_take3.wav already exists!\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(wavSamples(project.readFile("bass_take3.wav")), ramp(2, 4096));

  // 'W' accepts every later conflict of the take without asking.
  result = project.run("R_take2 W x");
  EXPECT_EQ(result.out.find("The file named bass_take2.wav"), std::string::npos);
  EXPECT_NE(result.out.find("The file named vox_take2.wav already exists!"), std::string::npos);
}

TEST(RecordPass, FullDiskKeepsEverySampleWrittenAndSaysSo) {
  ProjectFixture project;
  project.writeParams("o\t48128\nclock\thc\nmeter\t0\n", 1, 2, 2);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n");
  project.writeCapture(rampCapture(60000, {7}));
  // Room for the header and 10000 samples.
  project.setFileSizeLimit(44 + 3 * 10000);
  const RunResult result = project.run("R_full x");
  project.setFileSizeLimit(0);
  ASSERT_EQ(result.exitStatus, 0);
  const std::string name = "a_full.wav";
  const std::string take = project.readFile(name);
  // Every sample that fit is intact; the header says what is there.
  const std::int64_t kept = static_cast<std::int64_t>(take.size() - 44) / 3;
  EXPECT_EQ(kept, 10000);
  EXPECT_EQ(wavSamples(take), ramp(7, 10000));
  EXPECT_EQ(field32(take, 40), 3 * kept);
  EXPECT_EQ(field32(take, 4), take.size() - 8);
  EXPECT_NE(result.out.find(name), std::string::npos);
  EXPECT_NE(result.out.find("File too large"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("It holds 10000 samples."), std::string::npos) << result.out;
  // Back at the prompt afterwards.
  EXPECT_NE(result.out.rfind("'x' to exit program\n\n"), std::string::npos);
}

TEST(MonitorPass, LevelLineEvery16384FramesForTheMonitoredInputs) {
  ProjectFixture project;
  project.writeParams("", 2, 2, 2);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "-\nb.wav\n");
  // Channel 1 near half scale, channel 2 near a quarter.
  project.writeCapture(rampCapture(100000, {4194304, 2097152}));
  // 0.5 s = 24000 frames: lines after 17 periods only; the pass ends after 28.
  const RunResult all = project.run("ma 0.5 x");
  EXPECT_NE(all.out.find("Enter monitor time in seconds.\n\nMonitoring Input Peaks...\n"
                         "\r(1/-6) (2/-12)   \nTime functions"),
            std::string::npos)
      << all.out;
  // 'mr' watches the armed input only.
  const RunResult armed = project.run("mr 0.5 x");
  EXPECT_NE(armed.out.find("Monitoring Input Peaks...\n\r(2/-12)   \nTime functions"),
            std::string::npos)
      << armed.out;
}

}  // namespace
}  // namespace varnow::testing
