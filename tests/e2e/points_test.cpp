// The transport point commands as a user meets them: setting, nudging,
// jumping and copying the points, the lengths that go with them, the tempo
// menu, and what 's' keeps of them for the next run.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "e2e/transcripts.hpp"
#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

// A project on the virtual card at `rate` with a period of `period` frames
// (1024 unless asked for otherwise), with both list files present.
struct PointsProject {
  explicit PointsProject(int rate, const std::string& extraSettings = "", int period = 1024)
      : rate_(rate), period_(period) {
    project.writeParams("sr\t" + std::to_string(rate) + "\nbuf\t" + std::to_string(period) + "\n" +
                        extraSettings);
    project.writeFile("play.txt", "");
    project.writeFile("record.txt", "take.wav\n");
  }

  // Standard output after the start-up printout and the driver report.
  std::string console(const std::string& input) const {
    const RunResult result = project.run(input);
    EXPECT_EQ(result.exitStatus, 0);
    const std::string report = driverReport(period_, rate_, 2, 2);
    const std::size_t at = result.out.find(report);
    return at == std::string::npos ? result.out : result.out.substr(at + report.size());
  }

  ProjectFixture project;

 private:
  int rate_;
  int period_;
};

// The time menu in seconds; 'r' records from the later of play start and
// record start, given here as `from`.
std::string seconds(const std::string& in, const std::string& out, const std::string& punch,
                    const std::string& from, const std::string& memory = "0.00") {
  return secondsMenu(memory, in, out, punch, from);
}

// The time menu in measure.beat.
std::string measures(const std::string& in, const std::string& out, const std::string& punch,
                     const std::string& from, const std::string& memory = "1.1.00") {
  return "Time functions:  (memory = " + memory + ")\n\n   'i' to set play start  (" + in +
         ")\n   'o' to set play/record stop (" + out + ")\n   'e' to set record enter (" + punch +
         ")\n\nTransport:\n\n   'p' to play from " + in + " to " + out + "\n   'r' to play from " +
         in + " and record from " + from + " to " + out +
         "\n   'R' to record without playback from " + punch + " to " + out +
         "\n\n   '+' for all functions\n   's' to save all settings to param.txt file\n"
         "   'x' to exit program\n";
}

const std::string kZeroMeasures = measures("1.1.00", "1.1.00", "1.1.00", "1.1.00");

// The minimal interface's status line.
std::string status(const std::string& in, const std::string& punch, const std::string& out,
                   const std::string& memory) {
  return "Play: " + in + "   Rec: " + punch + "   Stop: " + out + "   Mem: " + memory + "\n";
}

TEST(Points, PromptsInSeconds) {
  PointsProject p(44100);
  const std::string in = "Enter in-time in seconds.\n";
  const std::string out = "Enter out-time in seconds.\n";
  const std::string punch = "Enter recording start time in seconds.\n";
  // 1 s is 44100 frames: 44 periods (45056). 0.5 s lies before the in point
  // and is refused; 1 s again equals the in point and is taken.
  EXPECT_EQ(p.console("i 1 o 0.5 o 1 o 3 e 0.99 i abc x"),
            kZeroMenu + in + seconds("1.02", "0.00", "0.00", "1.02") + out +
                seconds("1.02", "0.00", "0.00", "1.02") + out +
                seconds("1.02", "1.02", "0.00", "1.02") + out +
                seconds("1.02", "3.02", "0.00", "1.02") + punch +
                seconds("1.02", "3.02", "1.00", "1.02") + in +
                seconds("0.00", "3.02", "1.00", "1.00") + "\n");
}

TEST(Points, PromptsInMeasures) {
  PointsProject p(44100, "tmode\t1\n");
  const std::string in =
      "Enter measure for playback start time.\nEnter beat for playback start time.\n";
  const std::string out = "Enter measure for stop time.\nEnter beat for stop time.\n";
  const std::string punch =
      "Enter measure for recording start time.\nEnter beat for recording start time.\n";
  // Measure 0 is taken as 1 and beat 0.5 as beat 1; the out point must lie
  // after the in point, so measure 2 beat 1 (equal to it) is refused.
  EXPECT_EQ(p.console("i 0 3 o 3 1 i 2 0.5 o 2 1 e 1 2 e x y x"),
            kZeroMeasures + in + measures("1.3.04", "1.1.00", "1.1.00", "1.3.04") + out +
                measures("1.3.04", "3.1.03", "1.1.00", "1.3.04") + in +
                measures("2.1.04", "3.1.03", "1.1.00", "2.1.04") + out +
                measures("2.1.04", "3.1.03", "1.1.00", "2.1.04") + punch +
                measures("2.1.04", "3.1.03", "1.2.02", "2.1.04") + punch +
                measures("2.1.04", "3.1.03", "1.1.00", "2.1.04") + "\n");
}

TEST(Points, DirectSets) {
  PointsProject inSeconds(48000);
  // o5 (240640) would lie before the in point; "ex" reads as 0; "io" is no
  // direct set.
  EXPECT_EQ(inSeconds.console("o20 i12.5 e5.3 i7 o9 ex o5 io x"),
            kZeroMenu + seconds("0.00", "20.01", "0.00", "0.00") +
                seconds("12.50", "20.01", "0.00", "12.50") +
                seconds("12.50", "20.01", "5.31", "12.50") +
                seconds("7.02", "20.01", "5.31", "7.02") + seconds("7.02", "9.00", "5.31", "7.02") +
                seconds("7.02", "9.00", "0.00", "7.02") + seconds("7.02", "9.00", "0.00", "7.02") +
                seconds("7.02", "9.00", "0.00", "7.02") + "\n");

  PointsProject inMeasures(48000, "tmode\t1\n");
  // o9 is measure 9 beat 1, e5.3 measure 5 beat 3; i0.3 lies before the
  // start (0); o0 does not lie after the in point and is refused.
  EXPECT_EQ(inMeasures.console("o9 e5.3 i7 i0.3 o0 ex x"),
            kZeroMeasures + measures("1.1.00", "9.1.00", "1.1.00", "1.1.00") +
                measures("1.1.00", "9.1.00", "5.3.01", "5.3.01") +
                measures("7.1.02", "9.1.00", "5.3.01", "7.1.02") +
                measures("1.1.00", "9.1.00", "5.3.01", "5.3.01") +
                measures("1.1.00", "9.1.00", "5.3.01", "5.3.01") +
                measures("1.1.00", "9.1.00", "1.1.00", "1.1.00") + "\n");
}

TEST(Points, NudgesStopAtZero) {
  // The nudge amount of 0.25 s is 12000 frames at 48000 Hz: 12 periods, 12288.
  PointsProject p(48000, "int\t0\ni\t4096\no\t8192\ne\t20480\n");
  EXPECT_EQ(p.console("b n no bo bo ne be N B B x"),
            status("0.09", "0.43", "0.17", "0.00") + status("0.00", "0.43", "0.17", "0.00") +
                status("0.26", "0.43", "0.17", "0.00") + status("0.26", "0.43", "0.43", "0.00") +
                status("0.26", "0.43", "0.17", "0.00") + status("0.26", "0.43", "0.00", "0.00") +
                status("0.26", "0.68", "0.00", "0.00") + status("0.26", "0.43", "0.00", "0.00") +
                status("0.51", "0.68", "0.26", "0.00") + status("0.26", "0.43", "0.00", "0.00") +
                status("0.00", "0.17", "0.00", "0.00") + "\n");

  PointsProject inMeasures(48000, "int\t0\ntmode\t1\ni\t24576\n");
  // 24576 frames are 1.024 beats; two nudges back reach the start.
  EXPECT_EQ(inMeasures.console("b b N x"), status("1.2.02", "1.1.00", "1.1.00", "1.1.00") +
                                               status("1.1.51", "1.1.00", "1.1.00", "1.1.00") +
                                               status("1.1.00", "1.1.00", "1.1.00", "1.1.00") +
                                               status("1.1.51", "1.1.51", "1.1.51", "1.1.00") +
                                               "\n");
}

TEST(Points, JumpsMoveTheWindowByItsLength) {
  // A period of 2205 frames keeps 44100 and 132300 as they are.
  PointsProject p(44100, "int\t0\ni\t44100\no\t132300\n", 2205);
  EXPECT_EQ(p.console("J j j J x"),
            status("1.00", "0.00", "3.00", "0.00") + status("0.00", "0.00", "1.00", "0.00") +
                status("1.00", "0.00", "2.00", "0.00") + status("2.00", "0.00", "3.00", "0.00") +
                status("1.00", "0.00", "2.00", "0.00") + "\n");

  PointsProject inMeasures(44100, "int\t0\ntmode\t1\ni\t44100\no\t132300\n", 2205);
  EXPECT_EQ(inMeasures.console("J x"), status("1.3.00", "1.1.00", "2.3.00", "1.1.00") +
                                           status("1.1.00", "1.1.00", "1.3.00", "1.1.00") + "\n");

  PointsProject empty(44100, "int\t0\n");
  const std::string zero = status("0.00", "0.00", "0.00", "0.00");
  EXPECT_EQ(empty.console("j J x"), zero + zero + zero + "\n");
}

TEST(Points, TwelveTimeCopies) {
  // In 1.02, out 2.05, punch 3.07, memory 0. Each copy takes a source value
  // that no other point holds, so a wrong source would show.
  PointsProject p(48000, "int\t0\ni\t49152\no\t98304\ne\t147456\n");
  const std::string a = "1.02", b = "2.05", c = "3.07", z = "0.00";
  EXPECT_EQ(p.console("i.o e.i o.i e.o m.o i.m o.m e.m i.e m.e o.e m.i x"),
            status(a, c, b, z) + status(a, c, a, z) + status(c, c, a, z) + status(a, c, a, z) +
                status(a, c, c, z) + status(a, c, z, z) + status(a, c, z, a) + status(a, c, z, z) +
                status(a, c, z, c) + status(a, a, z, c) + status(a, c, z, c) + status(a, z, z, c) +
                status(c, z, z, c) + "\n");

  PointsProject inMeasures(48000, "int\t0\ntmode\t1\ni\t49152\n");
  EXPECT_EQ(inMeasures.console("i.m x"), status("1.3.05", "1.1.00", "1.1.00", "1.1.00") +
                                             status("1.3.05", "1.1.00", "1.1.00", "1.3.05") + "\n");
}

std::vector<std::int32_t> silence(std::size_t frames) {
  return std::vector<std::int32_t>(frames, 0);
}

TEST(Points, StopAtTheLongestFileOfThePlayList) {
  // Three tracks: the skipped second line counts as one of them, so the
  // fourth (longest) file is not looked at.
  PointsProject p(48000, "int\t0\nch\t3\n");
  p.project.writeFile("play.txt", "short.wav\n-\nlong.wav\nlonger.wav\n");
  p.project.writeFile("short.wav", wavFile(silence(1000)));
  p.project.writeFile("long.wav", wavFile(silence(50000)));
  p.project.writeFile("longer.wav", wavFile(silence(90000)));
  // The out point is the file's end, 50000 (not rounded up to 50176), and
  // may lie before the in point.
  const std::string shown = p.console("i2 f s x");
  EXPECT_NE(shown.find(status("2.01", "0.00", "0.00", "0.00") +
                       "Checking file short.wav\nChecking file long.wav\n" +
                       status("2.01", "0.00", "1.04", "0.00")),
            std::string::npos)
      << shown;
  EXPECT_NE(p.project.readFile("param.txt").find("\ni\t96256\no\t50000\ne\t0\n"),
            std::string::npos);
}

TEST(Points, PrerollPrompt) {
  PointsProject p(48000);
  auto prompt = [](const std::string& secs) {
    return "Preroll is set to " + secs + " secs\nEnter new preroll or 'd' for done\n";
  };
  EXPECT_EQ(p.console("pre 1.5 pre d pre -2 pre 2 pre abc pre d x"),
            kZeroMenu + prompt("0.000") + kZeroMenu + prompt("1.500") + kZeroMenu +
                prompt("1.500") + kZeroMenu + prompt("0.000") + kZeroMenu + prompt("2.000") +
                kZeroMenu + prompt("0.000") + kZeroMenu + "\n");
}

TEST(Points, CrossfadeAuditionAndNudgePrompts) {
  PointsProject at44100(44100);
  auto crossfade = [](const std::string& ms) {
    return "Crossfade is currently set to " + ms +
           " milliseconds.\nEnter 'd' if done or enter a new value\n";
  };
  // -5 is passed over without a new prompt; a word that is not a number is 0.
  EXPECT_EQ(at44100.console("cf -5 10 cf d cf abc cf d x"),
            kZeroMenu + crossfade("0.0") + kZeroMenu + crossfade("10.0") + kZeroMenu +
                crossfade("10.0") + kZeroMenu + crossfade("0.0") + kZeroMenu + "\n");

  auto audition = [](const std::string& secs) {
    return "Enter audition time (currently " + secs + " sec)\n";
  };
  EXPECT_EQ(at44100.console("aa 2.5 aa 0 aa abc aa -1 aa 1 x"),
            kZeroMenu + audition("3.0") + kZeroMenu + audition("2.5") + kZeroMenu +
                audition("2.5") + kZeroMenu + audition("2.5") + kZeroMenu + audition("2.5") +
                kZeroMenu + "\n");

  PointsProject at48000(48000);
  auto nudge = [](const std::string& frames, const std::string& secs) {
    return "\nNudge Amount = " + frames + " samples, " + secs +
           " sec\nEnter new nudge amount (in sec) or '0' to keep settings\n";
  };
  // 0.0001 s is 4.8 frames: one period.
  EXPECT_EQ(at48000.console("nn 0 nn abc nn 0.0001 nn -1 n x"),
            kZeroMenu + nudge("12288", "0.256") + kZeroMenu + nudge("12288", "0.256") + kZeroMenu +
                nudge("12288", "0.256") + "Nudge amount will be set to 1024 samples, 0.021 sec\n" +
                kZeroMenu + nudge("1024", "0.021") + kZeroMenu +
                seconds("0.02", "0.00", "0.00", "0.02") + "\n");
}

TEST(Points, TempoMenu) {
  PointsProject p(48000);
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
}

TEST(Points, SavedValuesComeBackAfterARestart) {
  PointsProject p(48000);
  // At 90 bpm in 3/4: i7 is 18 beats (12 s), o9.2 25 beats, e5.3 14 beats,
  // each rounded up to whole periods.
  p.console("tempo 1 2 90 3 3 4 i7 o9.2 e5.3 nn 0.5 pre 1.5 cf 10 aa 2.5 s x");
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_NE(saved.find("\ni\t576512\no\t800768\ne\t448512\nnudge\t0.5000\nproll\t1.500\n"
                       "aud\t2.50\nxfade\t10.0\n"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("\ntmode\t1\ntempo\t90.00\nsig\t3\n"), std::string::npos) << saved;

  const std::string again = p.console("tempo 4 nn 0 pre d cf d aa 0 x");
  const std::string menu = measures("7.1.02", "9.2.02", "5.3.02", "7.1.02");
  EXPECT_EQ(again, menu +
                       "1 = toggle tempo mode (on)\n2 = set tempo (90.00)\n"
                       "3 = set beats per measure (3)\n4 = done\n" +
                       menu +
                       "\nNudge Amount = 24576 samples, 0.512 sec\n"
                       "Enter new nudge amount (in sec) or '0' to keep settings\n" +
                       menu + "Preroll is set to 1.500 secs\nEnter new preroll or 'd' for done\n" +
                       menu +
                       "Crossfade is currently set to 10.0 milliseconds.\n"
                       "Enter 'd' if done or enter a new value\n" +
                       menu + "Enter audition time (currently 2.5 sec)\n" + menu + "\n");
}

TEST(Points, InfinitiesAreRefusedAsNaNIsAndNeverSaved) {
  // "inf" and numbers beyond the float range would be saved as "inf" and
  // read back as 0. The lengths keep their values (the preroll, which takes
  // any word, becomes 0; 'cf' waits for another value), 'ma' monitors for no
  // time instead of for ever, and the mixer edits change nothing.
  PointsProject p(48000, "proll\t1.5\n");
  const RunResult result =
      p.project.run("nn inf pre inf cf inf 1e39 5 aa inf ma inf mix 1v-1e400 2p1e39 1b-1e400 d s x",
                    std::chrono::seconds(10));
  ASSERT_EQ(result.exitStatus, 0);
  const std::string saved = p.project.readFile("param.txt");
  EXPECT_NE(saved.find("\nnudge\t0.2500\nproll\t0.000\naud\t3.00\nxfade\t5.0\n"), std::string::npos)
      << saved;
  EXPECT_NE(saved.find("\nv\t1\t0.00\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\np\t2\t0\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("inf"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("busvl"), std::string::npos) << saved;
}

TEST(Points, PassesAtTheLastPositionEnd) {
  // Every point stops at the last position, 2^62 frames (96076791021568 s at
  // 48 kHz), so passes that begin near it end after their own length and no
  // position overflows on the way (the sanitizer build checks every sum).
  ProjectFixture project;
  project.writeParams("int\t0\nclock\thc\nmeter\t0\n", 1, 2, 2);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "vox.wav\n");
  project.writeCapture(rampCapture(20000, {0}));
  const RunResult result =
      project.run("o1e30 ao o.i b p o.e be R stp aa 1e30 ai j N p x", std::chrono::seconds(20));
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("Play: 96076791021568.00   Rec: 96076791021568.00   "
                            "Stop: 96076791021568.00   Mem: 0.00\n"),
            std::string::npos);
  // The take of 'be' and 'R': one nudge (12288 frames) before the last position.
  const std::vector<std::string> files = project.files();
  ASSERT_EQ(files.size(), 4u);  // the take, param.txt, play.txt, record.txt
  EXPECT_EQ(files[0].substr(files[0].find("_stp_")), "_stp_4611686018427375616.wav");
  EXPECT_EQ(project.readFile(files[0]), wavFile(staircase(12288, 0)));
}

}  // namespace
}  // namespace varnow::testing
