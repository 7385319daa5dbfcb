// Passes: what the card plays, what the takes hold, clock, meter and reports.
#include <cstdio>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

TEST(PlayPass, BlocksFromTheInPointAfterOneBlockOfSilence) {
  // two.wav ends inside the pass; tracks 4 to 7 cannot play and say why (a
  // FIFO unopened, by 'f' and the export too).
  ProjectFixture p("i\t4096\no\t16384\n",
                   "one.wav\n\ntwo.wav\n-\nstereo.wav\nsixteen.wav\nmissing.wav\nfifo.wav\n", "", 2,
                   7, 7);
  const Samples one = staircase(20000, 1), two = staircase(6000, -1000, -1);
  p.writeWave("one.wav", one);
  p.writeWave("two.wav", two);
  p.writeFile("stereo.wav", wavFile(staircase(9000), 48000, 2));
  std::string sixteen = wavFile(staircase(9000));
  sixteen[34] = 16;  // bits per sample
  p.writeFile("sixteen.wav", sixteen);
  p.makeFifo("fifo.wav");
  const std::string refused = "Could not read fifo.wav: it is not a regular file.\n";
  const std::string shown = p.console("p f exp-i mix c x");
  EXPECT_TRUE(has(shown,
                  "stereo.wav is not a mono file and will not be played\n"
                  "sixteen.wav is not a 24 bit file and will not be played\n"
                  "Cannot find file in track list called missing.wav!!\n" +
                      refused +
                      "Playing...\nplayback start = 0.09 sec\nplayback stop  = 0.34 sec\n"));
  EXPECT_EQ(count(shown, refused), 3u);
  const std::string raw = p.playback();
  for (std::size_t track = 0; track < 7; ++track) {
    const Samples file = track < 2 ? std::vector{one, two}[track] : Samples{};
    EXPECT_EQ(channelOf(raw, 7, static_cast<int>(track)), playedFrom(file, 4096, 16384));
  }
  // Out before in: one period of silence and the pass ends.
  p.writeParams("i\t8192\no\t4096\n");
  p.console("p x");
  EXPECT_EQ(p.playback(), std::string(1024 * 6, '\0'));
}

TEST(PlayPass, SoloMeasuresMinimalInterfaceAndTimelineAuditions) {
  ProjectFixture p("o\t4096\nsolo\t2\n", "a.wav\nb.wav\n");
  const Samples file = staircase(40000, 1);
  p.writeWave("a.wav", file);
  p.writeWave("b.wav", staircase(9000, -1, -1));
  // A 'p' after 'sp' plays every track again.
  EXPECT_TRUE(
      has(p.console("sp p x"), "Playing...\nTracks are soloed\nplayback start = 0.00 sec\n"));
  const Samples b = playedFrom(staircase(9000, -1, -1), 0, 4096);
  const std::string raw = p.playback();
  EXPECT_EQ(channelOf(raw, 2, 0), playedFrom({}, 0, 4096) + playedFrom(file, 0, 4096));
  EXPECT_EQ(channelOf(raw, 2, 1), b + b);
  // No track soloed: 'sp' plays silence; an audition after it plays every track.
  p.writeParams("o\t4096\naud\t0.1\n");
  p.console("sp ai x");
  const std::string silent(b.size() * 6, '\0'), both = p.playback();
  EXPECT_EQ(both.substr(0, silent.size()), silent);
  EXPECT_EQ(channelOf(both.substr(silent.size()), 2, 0), playedFrom(file, 0, 4800));

  // 96000 rounds up to 96256 frames: 4.01 beats at 120 bpm; 192000 to 192512.
  p.writeParams("tmode\t1\ni\t96000\no\t192000\n");
  EXPECT_TRUE(
      has(p.console("p x"), "Playing...\nplayback start = 2.1.01\nplayback stop  = 3.1.02\n"));
  p.writeParams("int\t0\nclock\thc\no\t4096\n");
  EXPECT_TRUE(has(p.console("p x"), "Playing...\n\n\nOutput Channel Peaks:\n\n"));

  // Auditions of 0.1 s at in, out and punch leave the points as they were.
  p.writeParams("i\t8192\no\t16384\ne\t12288\naud\t0.1\n");
  const std::string menu = secondsMenu("0.17", "0.34", "0.26", "0.26");
  for (const auto& [command, from] :
       {std::pair{"ai", 8192}, std::pair{"ao", 16384}, std::pair{"ae", 12288}}) {
    const std::string shown = p.console(std::string(command) + " x");
    EXPECT_TRUE(shown.starts_with(menu));
    EXPECT_TRUE(shown.ends_with("\n\nOutput Channel Peaks:\n\n" + menu + "\n")) << command;
    EXPECT_EQ(channelOf(p.playback(), 2, 0), playedFrom(file, from, from + 4800)) << command;
  }
}

TEST(RecordPass, TakeHoldsTheCapturedStreamForEveryPeriodAlignmentAndPreroll) {
  // Capture starts when the frames written since the punch reach (4 + odcomp)
  // periods and a block; the pass ends when the block after the take is full.
  const std::tuple<int, int, std::int64_t> cases[] = {
      {1024, 4, 56320}, {1024, 0, 52224}, {512, 2, 31232}, {1000, 4, 49056}, {100, 1, 12688}};
  for (const auto& [period, odcomp, framesPlayed] : cases) {
    const std::int64_t punch = 3 * period, takeLength = 37 * period;
    ProjectFixture p("buf\t" + std::to_string(period) + "\nodcomp\t" + std::to_string(odcomp) +
                         "\ne\t" + std::to_string(punch) + "\no\t" + std::to_string(40 * period) +
                         "\nclock\thc\nmeter\t0\n",
                     "", "-\nvox.wav\n");
    p.writeCapture(rampCapture(150000, {1000000, 2000000}));
    p.console("r x");
    const std::string name = p.stamped("audio_ch_2_", "_stp_" + std::to_string(punch) + ".wav");
    EXPECT_TRUE(p.holds(name, staircase(static_cast<std::size_t>(takeLength), 2000000))) << period;
    EXPECT_EQ(std::ssize(p.playback()), framesPlayed * 6) << period;
  }

  // Peaks of the armed inputs: the scans cover the whole last block written.
  ProjectFixture p("e\t48128\no\t96256\nclock\thc\n", "", "a.wav\n-\nc.wav\n", 3, 2, 3);
  p.writeCapture(rampCapture(60000, {10, 20000, 3000000}));
  const std::string recorded = p.console("R x");
  EXPECT_TRUE(
      has(recorded, "Recording...\nrecord start   = 1.00 sec\nrecord stop    = 2.01 sec\n"));
  EXPECT_TRUE(has(recorded,
                  "\n\nInput Channel Peaks:\n\tchannel 1: -44.64 dBFS\n\tchannel 3: -8.79 dBFS\n"));
  EXPECT_TRUE(p.holds(p.stamped("audio_ch_1_", "_stp_48128.wav"), staircase(48128, 10)));
  EXPECT_TRUE(p.holds(p.stamped("audio_ch_3_", "_stp_48128.wav"), staircase(48128, 3000000)));
  EXPECT_EQ(p.playback(), "");

  // A preroll of 0.05 s is 3072 frames: the pass plays from 5120 (output
  // frame f plays frame f + 1024) and the recorded track falls silent from the
  // punch; its file is untouched. In and punch are restored.
  ProjectFixture r("i\t8192\ne\t1024\no\t16384\nproll\t0.05\nclock\thc\n", "a.wav\ngtr.wav\n",
                   "a.wav\n");
  r.writeWave("a.wav", staircase(30000));
  r.writeWave("gtr.wav", staircase(30000, -100, -1));
  r.writeCapture(rampCapture(100000, {5, 6}));
  const std::string shown = r.console("ri stp x");
  EXPECT_TRUE(has(shown,
                  "Playing and Recording...\nplayback start = 0.11 sec\n"
                  "record start   = 0.17 sec\nplay/rec stop  = 0.34 sec\n"));
  EXPECT_TRUE(r.holds(r.stamped("audio_ch_1_", "_stp_8192.wav"), staircase(8192, 5)));
  EXPECT_EQ(r.readFile("a.wav"), wavFile(staircase(30000)));
  EXPECT_TRUE(shown.ends_with(secondsMenu("0.17", "0.34", "0.02", "0.17") + "\n"));
  const std::string raw = r.playback();
  ASSERT_EQ(raw.size(), 23552u * 6);
  const Samples played = channelOf(raw, 2, 0);
  EXPECT_EQ(std::vector(played.begin() + 4095, played.begin() + 4097), (Samples{0, 5121}));
  EXPECT_EQ(std::vector(played.begin() + 7167, played.begin() + 7169), (Samples{8192, 0}));
  EXPECT_EQ(played[12000 - 1024], 0);
  EXPECT_EQ(channelOf(raw, 2, 1)[12000 - 1024], -100 - 12000);
}

TEST(RecordPass, StopTimeChecksAndPreemptiveTakeNames) {
  ProjectFixture p("", "", "vox.wav\nbass.take.wav\n");
  const std::string fix = "Enter 'c' to continue and fix\n";
  EXPECT_EQ(p.console("r q c c x"), kZeroMenu + ">> Stop time is not set!\n" + fix +
                                        "\n>> Stop time is the same as record start!\n" + fix +
                                        kZeroMenu + "\n");
  // A name given to a cancelled recording waits, through other commands, for the next one.
  p.writeParams("e\t8192\no\t4096\nclock\thc\nmeter\t0\n");
  EXPECT_TRUE(
      has(p.console("R_t3 c lr c e0 R x"), "\n>> Stop time is set before record start!\n" + fix));
  EXPECT_EQ(p.files(), ProjectFixture::withListFiles({"bass_t3.wav", "vox_t3.wav"}));
  p.remove("bass_t3.wav");
  p.remove("vox_t3.wav");

  // A new name is tested again and kept for channel 2; 'W' accepts every
  // later conflict.
  p.writeParams("o\t4096\nclock\thc\nmeter\t0\n");
  p.writeCapture(rampCapture(100000, {1, 2}));
  EXPECT_FALSE(has(p.console("R_take2 x"), "already exists"));
  EXPECT_EQ(p.files(), ProjectFixture::withListFiles({"bass_take2.wav", "vox_take2.wav"}));
  p.writeFile("bass_take3.wav", "old");
  const std::string conflict =
      " already exists!\nEnter a different take name or 'w' to overwrite this file\n"
      "or 'W' to overwrite all similar conflicts\n";
  EXPECT_TRUE(has(p.console("R_take2 take3 w x"), "The file named vox_take2.wav" + conflict +
                                                      "The file named bass_take3.wav" + conflict +
                                                      "Recording...\n"));
  EXPECT_TRUE(p.holds("bass_take3.wav", staircase(4096, 2)));
  const std::string shown = p.console("R_take2 W x");
  EXPECT_EQ(count(shown, conflict), 1u);
  EXPECT_TRUE(has(shown, "The file named vox_take2.wav" + conflict));
  EXPECT_FALSE(has(shown, "No input is armed"));

  // A record list that arms nothing is said before the pass, which goes on
  // (under the list's own name).
  p.writeFile("empty.txt", "-\n\n-\n");
  p.writeParams("o\t4096\nclock\thc\nmeter\t0\nrec\t1\tempty.txt\n");
  EXPECT_TRUE(has(p.console("R del x"),
                  "No input is armed: empty.txt names no file for any input.\n"
                  "Recording...\nrecord start   = 0.00 sec\n"));
}

constexpr std::int32_t kMinus15Half = 1388161;  // -15.625 dB: 11.5 positions

TEST(Meter, ClockAndMeterOfAPassThatPlaysAndRecordsAndTheLevelLineOfAMonitorPass) {
  // The streamed clock shows every period but those that start a block; the
  // one block scanned shows from 15360, then falls.
  ProjectFixture p("sr\t49152\no\t4096\nclock\tsc\nmeter\t-30\n", "", "a.wav\n");
  p.writeCapture(repeat(packSamples({kMinus15Half, 0}), 40000));
  const std::string shown = p.console("r del x");
  std::string expected =
      "Playing and Recording...\nplayback start = 0.00 sec\nrecord start   = 0.00 sec\n"
      "play/rec stop  = 0.08 sec\n";
  for (int at = 1024, sinceScan = -1; at <= 18432; at += 1024) {
    if (at % 4096 == 0) continue;
    if (at == 15360) sinceScan = 0;
    char clock[40];
    std::snprintf(clock, sizeof clock, "\nclock = %.2f sec",
                  static_cast<double>(static_cast<float>(at) / 49152.0f));
    const int bars = sinceScan < 0 ? 0 : 12 - 6 * std::min(sinceScan, 2);
    expected += clock + (sinceScan < 0 ? meterLine(0, 0, "1", "-144 dB")
                                       : meterLine(bars, 12 - bars, "1", "-15 dB"));
    if (sinceScan >= 0) ++sinceScan;
  }
  EXPECT_TRUE(has(shown, expected + "\n\n\nInput Channel Peaks:\n\tchannel 1: -15.63 dBFS\n"
                                    "\nOutput Channel Peaks:\n\n"));

  // 'np': no input report, a silent meter; a hidden clock: each meter line from its start.
  p.writeParams("sr\t49152\no\t4096\nclock\thc\nmeter\t-30\npeak\tnp\n");
  const std::string quiet = p.console("r del x");
  EXPECT_FALSE(has(quiet, "Input Channel Peaks"));
  EXPECT_EQ(count(quiet, "\r" + meterLine(0, 0, "1", "-144 dB")), 4u);

  // 0.5 s: one line, after 17 periods; 'mr' watches the armed input only.
  ProjectFixture monitor("", "", "-\nb.wav\n");
  monitor.writeCapture(rampCapture(100000, {4194304, 2097152}));
  EXPECT_TRUE(has(monitor.console("ma 0.5 x"),
                  "Enter monitor time in seconds.\n\nMonitoring Input Peaks...\n"
                  "\r(1/-6) (2/-12)   \nTime functions"));
  EXPECT_TRUE(
      has(monitor.console("mr 0.5 x"), "Monitoring Input Peaks...\n\r(2/-12)   \nTime functions"));
}

}  // namespace
}  // namespace varnow::testing
