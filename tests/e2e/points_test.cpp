// The transport point commands as a user meets them: setting, nudging,
// jumping and copying the points, the lengths that go with them, the tempo
// menu, and what 's' keeps of them for the next run.
#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

// A project at `rate` with a period of `period` frames.
std::string at(int rate, int period = 1024) {
  return "sr\t" + std::to_string(rate) + "\nbuf\t" + std::to_string(period) + "\n";
}

TEST(Points, PromptsInSecondsAndMeasures) {
  ProjectFixture seconds(at(44100));
  const std::string in = "Enter in-time in seconds.\n";
  const std::string out = "Enter out-time in seconds.\n";
  // 1 s is 44100 frames: 44 periods (45056). 0.5 s lies before the in point
  // and is refused; 1 s again equals the in point and is taken.
  EXPECT_EQ(seconds.console("i 1 o 0.5 o 1 o 3 e 0.99 i abc x"),
            kZeroMenu + in + secondsMenu("1.02", "0.00", "0.00", "1.02") + out +
                secondsMenu("1.02", "0.00", "0.00", "1.02") + out +
                secondsMenu("1.02", "1.02", "0.00", "1.02") + out +
                secondsMenu("1.02", "3.02", "0.00", "1.02") +
                "Enter recording start time in seconds.\n" +
                secondsMenu("1.02", "3.02", "1.00", "1.02") + in +
                secondsMenu("0.00", "3.02", "1.00", "1.00") + "\n");

  ProjectFixture measures(at(44100) + "tmode\t1\n");
  const std::string mIn =
      "Enter measure for playback start time.\nEnter beat for playback start time.\n";
  const std::string mOut = "Enter measure for stop time.\nEnter beat for stop time.\n";
  const std::string mPunch =
      "Enter measure for recording start time.\nEnter beat for recording start time.\n";
  // Measure 0 is taken as 1 and beat 0.5 as beat 1; the out point must lie
  // after the in point, so measure 2 beat 1 (equal to it) is refused.
  EXPECT_EQ(measures.console("i 0 3 o 3 1 i 2 0.5 o 2 1 e 1 2 e x y x"),
            kZeroMeasures + mIn + musicalMenu("1.3.04", "1.1.00", "1.1.00", "1.3.04") + mOut +
                musicalMenu("1.3.04", "3.1.03", "1.1.00", "1.3.04") + mIn +
                musicalMenu("2.1.04", "3.1.03", "1.1.00", "2.1.04") + mOut +
                musicalMenu("2.1.04", "3.1.03", "1.1.00", "2.1.04") + mPunch +
                musicalMenu("2.1.04", "3.1.03", "1.2.02", "2.1.04") + mPunch +
                musicalMenu("2.1.04", "3.1.03", "1.1.00", "2.1.04") + "\n");
}

TEST(Points, DirectSets) {
  // o5 (240640) would lie before the in point; "ex" reads as 0; "io" is no
  // direct set.
  ProjectFixture seconds("int\t0\n");
  EXPECT_EQ(
      seconds.console("o20 i12.5 e5.3 i7 o9 ex o5 io x"),
      statusLine("0.00", "0.00", "0.00", "0.00") + statusLine("0.00", "0.00", "20.01", "0.00") +
          statusLine("12.50", "0.00", "20.01", "0.00") +
          statusLine("12.50", "5.31", "20.01", "0.00") +
          statusLine("7.02", "5.31", "20.01", "0.00") + statusLine("7.02", "5.31", "9.00", "0.00") +
          statusLine("7.02", "0.00", "9.00", "0.00") + statusLine("7.02", "0.00", "9.00", "0.00") +
          statusLine("7.02", "0.00", "9.00", "0.00") + "\n");

  // o9 is measure 9 beat 1, e5.3 measure 5 beat 3; i0.3 lies before the
  // start (0); o0 does not lie after the in point and is refused.
  ProjectFixture measures("int\t0\ntmode\t1\n");
  const std::string z = "1.1.00";
  EXPECT_EQ(measures.console("o9 e5.3 i7 i0.3 o0 ex x"),
            statusLine(z, z, z, z) + statusLine(z, z, "9.1.00", z) +
                statusLine(z, "5.3.01", "9.1.00", z) + statusLine("7.1.02", "5.3.01", "9.1.00", z) +
                statusLine(z, "5.3.01", "9.1.00", z) + statusLine(z, "5.3.01", "9.1.00", z) +
                statusLine(z, z, "9.1.00", z) + "\n");
}

TEST(Points, NudgesStopAtZero) {
  // The nudge amount of 0.25 s is 12000 frames at 48000 Hz: 12 periods, 12288.
  ProjectFixture p("int\t0\ni\t4096\no\t8192\ne\t20480\n");
  const std::string z = "0.00";
  EXPECT_EQ(p.console("b n no bo bo ne be N B B x"),
            statusLine("0.09", "0.43", "0.17", z) + statusLine(z, "0.43", "0.17", z) +
                statusLine("0.26", "0.43", "0.17", z) + statusLine("0.26", "0.43", "0.43", z) +
                statusLine("0.26", "0.43", "0.17", z) + statusLine("0.26", "0.43", z, z) +
                statusLine("0.26", "0.68", z, z) + statusLine("0.26", "0.43", z, z) +
                statusLine("0.51", "0.68", "0.26", z) + statusLine("0.26", "0.43", z, z) +
                statusLine(z, "0.17", z, z) + "\n");

  // 24576 frames are 1.024 beats; two nudges back reach the start.
  ProjectFixture measures("int\t0\ntmode\t1\ni\t24576\n");
  const std::string m = "1.1.00";
  EXPECT_EQ(measures.console("b b N x"),
            statusLine("1.2.02", m, m, m) + statusLine("1.1.51", m, m, m) + statusLine(m, m, m, m) +
                statusLine("1.1.51", "1.1.51", "1.1.51", m) + "\n");
}

TEST(Points, JumpsMoveTheWindowByItsLength) {
  // A period of 2205 frames keeps 44100 and 132300 as they are.
  ProjectFixture p(at(44100, 2205) + "int\t0\ni\t44100\no\t132300\n");
  const std::string z = "0.00";
  EXPECT_EQ(p.console("J j j J x"), statusLine("1.00", z, "3.00", z) + statusLine(z, z, "1.00", z) +
                                        statusLine("1.00", z, "2.00", z) +
                                        statusLine("2.00", z, "3.00", z) +
                                        statusLine("1.00", z, "2.00", z) + "\n");

  ProjectFixture measures(at(44100, 2205) + "int\t0\ntmode\t1\ni\t44100\no\t132300\n");
  const std::string m = "1.1.00";
  EXPECT_EQ(measures.console("i.m J x"), statusLine("1.3.00", m, "2.3.00", m) +
                                             statusLine("1.3.00", m, "2.3.00", "1.3.00") +
                                             statusLine(m, m, "1.3.00", "1.3.00") + "\n");

  ProjectFixture empty("int\t0\n");
  EXPECT_EQ(empty.console("j J x"),
            statusLine(z, z, z, z) + statusLine(z, z, z, z) + statusLine(z, z, z, z) + "\n");
}

TEST(Points, TwelveTimeCopies) {
  // In 1.02, out 2.05, punch 3.07, memory 0. Each copy takes a source value
  // that no other point holds, so a wrong source would show.
  ProjectFixture p("int\t0\ni\t49152\no\t98304\ne\t147456\n");
  const std::string a = "1.02", b = "2.05", c = "3.07", z = "0.00";
  EXPECT_EQ(p.console("i.o e.i o.i e.o m.o i.m o.m e.m i.e m.e o.e m.i x"),
            statusLine(a, c, b, z) + statusLine(a, c, a, z) + statusLine(c, c, a, z) +
                statusLine(a, c, a, z) + statusLine(a, c, c, z) + statusLine(a, c, z, z) +
                statusLine(a, c, z, a) + statusLine(a, c, z, z) + statusLine(a, c, z, c) +
                statusLine(a, a, z, c) + statusLine(a, c, z, c) + statusLine(a, z, z, c) +
                statusLine(c, z, z, c) + "\n");
}

TEST(Points, StopAtTheLongestFileOfThePlayList) {
  // Three tracks: the skipped second line counts as one of them, so the
  // fourth (longest) file is not looked at. The out point is the file's end,
  // 50000 (not rounded up to 50176), and may lie before the in point.
  ProjectFixture p("int\t0\n", "short.wav\n-\nlong.wav\nlonger.wav\n", "", 2, 2, 3);
  p.writeWave("short.wav", silence(1000));
  p.writeWave("long.wav", silence(50000));
  p.writeWave("longer.wav", silence(90000));
  EXPECT_TRUE(has(p.console("i2 f s x"), statusLine("2.01", "0.00", "0.00") +
                                             "Checking file short.wav\nChecking file long.wav\n" +
                                             statusLine("2.01", "0.00", "1.04")));
  EXPECT_TRUE(has(p.readFile("param.txt"), "\ni\t96256\no\t50000\ne\t0\n"));
}

TEST(Points, LengthPrompts) {
  auto preroll = [](const std::string& secs) {
    return kZeroMenu + "Preroll is set to " + secs + " secs\nEnter new preroll or 'd' for done\n";
  };
  auto crossfade = [](const std::string& ms) {
    return kZeroMenu + "Crossfade is currently set to " + ms +
           " milliseconds.\nEnter 'd' if done or enter a new value\n";
  };
  auto audition = [](const std::string& secs) {
    return kZeroMenu + "Enter audition time (currently " + secs + " sec)\n";
  };
  auto nudge = [](const std::string& frames, const std::string& secs) {
    return kZeroMenu + "\nNudge Amount = " + frames + " samples, " + secs +
           " sec\nEnter new nudge amount (in sec) or '0' to keep settings\n";
  };
  // A negative preroll or one that is no number is 0; a crossfade of -5 is
  // passed over without a new prompt and one that is no number is 0; an
  // audition time that is no number or not above 0 keeps the last; 0.0001 s
  // of nudge is 4.8 frames: one period.
  ProjectFixture p("");
  EXPECT_EQ(p.console("pre 1.5 pre d pre -2 pre 2 pre abc pre d cf -5 10 cf d cf abc cf d "
                      "aa 2.5 aa 0 aa abc aa -1 aa 1 nn 0 nn abc nn 0.0001 nn -1 n x"),
            preroll("0.000") + preroll("1.500") + preroll("1.500") + preroll("0.000") +
                preroll("2.000") + preroll("0.000") + crossfade("0.0") + crossfade("10.0") +
                crossfade("10.0") + crossfade("0.0") + audition("3.0") + audition("2.5") +
                audition("2.5") + audition("2.5") + audition("2.5") + nudge("12288", "0.256") +
                nudge("12288", "0.256") + nudge("12288", "0.256") +
                "Nudge amount will be set to 1024 samples, 0.021 sec\n" + nudge("1024", "0.021") +
                kZeroMenu + secondsMenu("0.02", "0.00", "0.00", "0.02") + "\n");
}

TEST(Points, InfinitiesAreRefusedAsNaNIsAndNeverSaved) {
  // "inf" and numbers beyond the float range would be saved as "inf" and
  // read back as 0. The lengths keep their values (the preroll, which takes
  // any word, becomes 0; 'cf' waits for another value), 'ma' monitors for no
  // time instead of for ever, and the mixer edits change nothing.
  ProjectFixture p("proll\t1.5\n");
  p.console("nn inf pre inf cf inf 1e39 5 aa inf ma inf mix 1v-1e400 2p1e39 1b-1e400 d s x",
            std::chrono::seconds(10));
  const std::string saved = p.readFile("param.txt");
  EXPECT_TRUE(has(saved, "\nnudge\t0.2500\nproll\t0.000\naud\t3.00\nxfade\t5.0\n"));
  EXPECT_TRUE(has(saved, "\nv\t1\t0.00\n"));
  EXPECT_TRUE(has(saved, "\np\t2\t0\n"));
  EXPECT_FALSE(has(saved, "inf"));
  EXPECT_FALSE(has(saved, "busvl"));
}

TEST(Points, PassesAtTheLastPositionEnd) {
  // Every point stops at the last position, 2^62 frames (96076791021568 s at
  // 48 kHz), so passes that begin near it end after their own length and no
  // position overflows on the way (the sanitizer build checks every sum).
  ProjectFixture p("int\t0\nclock\thc\nmeter\t0\n", "", "vox.wav\n", 1, 2, 2);
  p.writeCapture(rampCapture(20000, {0}));
  EXPECT_TRUE(
      has(p.console("o1e30 ao o.i b p o.e be R stp aa 1e30 ai j N p x", std::chrono::seconds(20)),
          "Play: 96076791021568.00   Rec: 96076791021568.00   "
          "Stop: 96076791021568.00   Mem: 0.00\n"));
  // The take of 'be' and 'R': one nudge (12288 frames) before the last position.
  const std::string take = p.stamped("audio_ch_1_", "_stp_4611686018427375616.wav");
  EXPECT_EQ(p.files(), ProjectFixture::withListFiles({take}));
  EXPECT_TRUE(p.holds(take, staircase(12288, 0)));
}

TEST(Points, TempoMenuAndWhatARestartKeeps) {
  ProjectFixture p("");
  auto menu = [](const std::string& mode, const std::string& tempo, const std::string& beats) {
    return "1 = toggle tempo mode (" + mode + ")\n2 = set tempo (" + tempo +
           ")\n3 = set beats per measure (" + beats + ")\n4 = done\n";
  };
  const std::string askTempo = "Enter tempo (beats per minute)\n";
  const std::string askBeats = "Enter beats per measure\n";
  // Toggled twice the display is back in seconds; 0, 400.5 and NaN bpm become
  // 120, 0 and 129 beats become 4; a choice that is not a number shows the
  // menu again; -1 leaves.
  EXPECT_EQ(p.console("tempo 1 1 2 90 3 3 2 0 3 0 abc 2 90 3 3 2 400.5 3 129 2 90 2 nan 1 -1 x"),
            kZeroMenu + menu("off", "120.00", "4") + menu("on", "120.00", "4") +
                menu("off", "120.00", "4") + askTempo + menu("off", "90.00", "4") + askBeats +
                menu("off", "90.00", "3") + askTempo + menu("off", "120.00", "3") + askBeats +
                menu("off", "120.00", "4") + menu("off", "120.00", "4") + askTempo +
                menu("off", "90.00", "4") + askBeats + menu("off", "90.00", "3") + askTempo +
                menu("off", "120.00", "3") + askBeats + menu("off", "120.00", "4") + askTempo +
                menu("off", "90.00", "4") + askTempo + menu("off", "120.00", "4") +
                menu("on", "120.00", "4") + kZeroMeasures + "\n");

  // At 90 bpm in 3/4: i7 is 18 beats (12 s), o9.2 25 beats, e5.3 14 beats,
  // each rounded up to whole periods.
  p.console("tempo 1 2 90 3 3 4 i7 o9.2 e5.3 nn 0.5 pre 1.5 cf 10 aa 2.5 s x");
  const std::string saved = p.readFile("param.txt");
  EXPECT_TRUE(has(saved,
                  "\ni\t576512\no\t800768\ne\t448512\nnudge\t0.5000\nproll\t1.500\n"
                  "aud\t2.50\nxfade\t10.0\n"));
  EXPECT_TRUE(has(saved, "\ntmode\t1\ntempo\t90.00\nsig\t3\n"));
  const std::string shown = musicalMenu("7.1.02", "9.2.02", "5.3.02", "7.1.02");
  EXPECT_EQ(p.console("tempo 4 nn 0 pre d cf d aa 0 x"),
            shown + menu("on", "90.00", "3") + shown +
                "\nNudge Amount = 24576 samples, 0.512 sec\n"
                "Enter new nudge amount (in sec) or '0' to keep settings\n" +
                shown + "Preroll is set to 1.500 secs\nEnter new preroll or 'd' for done\n" +
                shown +
                "Crossfade is currently set to 10.0 milliseconds.\n"
                "Enter 'd' if done or enter a new value\n" +
                shown + "Enter audition time (currently 2.5 sec)\n" + shown + "\n");
}

}  // namespace
}  // namespace varnow::testing
