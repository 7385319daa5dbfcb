// The transport points and lengths, the tempo menu, and what 's' keeps of them.
#include <sstream>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

// A project at `rate` with a period of `period` frames.
std::string at(int rate, int period = 1024) {
  return "sr\t" + std::to_string(rate) + "\nbuf\t" + std::to_string(period) + "\n";
}

TEST(Points, PromptsInSecondsAndMeasuresTempoMenuAndWhatARestartKeeps) {
  ProjectFixture seconds(at(44100));
  const std::string in = "Enter in-time in seconds.\n";
  const std::string out = "Enter out-time in seconds.\n";
  // 1 s is 45056 frames, 44 periods; 0.5 s lies before the in point.
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
  // Measure 0 is 1, beat 0.5 beat 1; an out point at the in point is refused.
  EXPECT_EQ(measures.console("i 0 3 o 3 1 i 2 0.5 o 2 1 e 1 2 e x y x"),
            kZeroMeasures + mIn + musicalMenu("1.3.04", "1.1.00", "1.1.00", "1.3.04") + mOut +
                musicalMenu("1.3.04", "3.1.03", "1.1.00", "1.3.04") + mIn +
                musicalMenu("2.1.04", "3.1.03", "1.1.00", "2.1.04") + mOut +
                musicalMenu("2.1.04", "3.1.03", "1.1.00", "2.1.04") + mPunch +
                musicalMenu("2.1.04", "3.1.03", "1.2.02", "2.1.04") + mPunch +
                musicalMenu("2.1.04", "3.1.03", "1.1.00", "2.1.04") + "\n");

  ProjectFixture p("");
  auto menu = [](const std::string& mode, const std::string& tempo, const std::string& beats) {
    return "1 = toggle tempo mode (" + mode + ")\n2 = set tempo (" + tempo +
           ")\n3 = set beats per measure (" + beats + ")\n4 = done\n";
  };
  const std::string askTempo = "Enter tempo (beats per minute)\n";
  const std::string askBeats = "Enter beats per measure\n";
  // 0 bpm and 0 beats are 120 and 4; a choice that is no number shows the
  // menu again; -1 leaves.
  EXPECT_EQ(p.console("tempo 1 1 2 90 3 3 2 0 3 0 abc 1 -1 x"),
            kZeroMenu + menu("off", "120.00", "4") + menu("on", "120.00", "4") +
                menu("off", "120.00", "4") + askTempo + menu("off", "90.00", "4") + askBeats +
                menu("off", "90.00", "3") + askTempo + menu("off", "120.00", "3") + askBeats +
                menu("off", "120.00", "4") + menu("off", "120.00", "4") +
                menu("on", "120.00", "4") + kZeroMeasures + "\n");

  // At 90 bpm in 3/4 i7 is 18 beats (12 s), rounded up to whole periods.
  p.console("tempo 1 2 90 3 3 4 i7 o9.2 e5.3 nn 0.5 pre 1.5 cf 10 aa 2.5 s x");
  const std::string saved = p.readFile("param.txt");
  EXPECT_TRUE(has(saved,
                  "\ni\t576512\no\t800768\ne\t448512\nnudge\t0.5000\nproll\t1.500\n"
                  "aud\t2.50\nxfade\t10.0\n"));
  EXPECT_TRUE(has(saved, "\ntmode\t1\ntempo\t90.00\nsig\t3\n"));
  // The next run shows them in measures.
  EXPECT_TRUE(p.console("x").starts_with(musicalMenu("7.1.02", "9.2.02", "5.3.02", "7.1.02")));
}

// Status lines of the minimal interface, one per "in punch out [memory]"
// row (rows split by ';'); "z" is `zero`, and so is a memory left out.
std::string statuses(const std::string& rows, const std::string& zero = "0.00") {
  std::string shown;
  std::istringstream lines(rows);
  for (std::string row; std::getline(lines, row, ';');) {
    std::istringstream words(row + " z");
    std::string f[4];
    words >> f[0] >> f[1] >> f[2] >> f[3];
    for (std::string& word : f)
      if (word == "z") word = zero;
    shown += statusLine(f[0], f[1], f[2], f[3]);
  }
  return shown + "\n";
}

// What a run in the minimal interface shows.
std::string minimal(const std::string& settings, const std::string& input) {
  return ProjectFixture("int\t0\n" + settings).console(input);
}

TEST(Points, DirectSetsNudgesJumpsCopiesAndAStopAtTheLongestFileOfThePlayList) {
  const std::string bar = "1.1.00", measures = "tmode\t1\n";
  // o5 would lie before the in point; "ex" reads as 0; "io" sets nothing.
  EXPECT_EQ(minimal("", "o20 i12.5 e5.3 i7 o9 ex o5 io x"),
            statuses("z z z; z z 20.01; 12.50 z 20.01; 12.50 5.31 20.01; 7.02 5.31 20.01; "
                     "7.02 5.31 9.00; 7.02 z 9.00; 7.02 z 9.00; 7.02 z 9.00"));
  // Measure.beat: i0.3 lies before the start; o0 not after the in point.
  EXPECT_EQ(minimal(measures, "o9 e5.3 i7 i0.3 o0 ex x"),
            statuses("z z z; z z 9.1.00; z 5.3.01 9.1.00; 7.1.02 5.3.01 9.1.00; z 5.3.01 9.1.00;"
                     "z 5.3.01 9.1.00; z z 9.1.00",
                     bar));
  // The nudge of 0.25 s is 12 periods, 12288 frames; nudges stop at zero.
  EXPECT_EQ(
      minimal("i\t4096\no\t8192\ne\t20480\n", "b n no bo bo ne be N B B x"),
      statuses("0.09 0.43 0.17; z 0.43 0.17; 0.26 0.43 0.17; 0.26 0.43 0.43; 0.26 0.43 0.17;"
               "0.26 0.43 z; 0.26 0.68 z; 0.26 0.43 z; 0.51 0.68 0.26; 0.26 0.43 z; z 0.17 z"));
  // 24576 frames are 1.024 beats; two nudges back reach the start.
  EXPECT_EQ(minimal(measures + "i\t24576\n", "b b N x"),
            statuses("1.2.02 z z; 1.1.51 z z; z z z; 1.1.51 1.1.51 1.1.51", bar));
  // Jumps move the window by its length (2205-frame periods).
  const std::string window = at(44100, 2205) + "i\t44100\no\t132300\n";
  EXPECT_EQ(minimal(window, "J j j J x"),
            statuses("1.00 z 3.00; z z 1.00; 1.00 z 2.00; 2.00 z 3.00; 1.00 z 2.00"));
  EXPECT_EQ(minimal(window + measures, "i.m J x"),
            statuses("1.3.00 z 2.3.00; 1.3.00 z 2.3.00 1.3.00; z z 1.3.00 1.3.00", bar));
  EXPECT_EQ(minimal("", "j J x"), statuses("z z z; z z z; z z z"));
  // Twelve copies, each from a value no other point holds.
  EXPECT_EQ(minimal("i\t49152\no\t98304\ne\t147456\n",
                    "i.o e.i o.i e.o m.o i.m o.m e.m i.e m.e o.e m.i x"),
            statuses("1.02 3.07 2.05; 1.02 3.07 1.02; 3.07 3.07 1.02; 1.02 3.07 1.02; "
                     "1.02 3.07 3.07; 1.02 3.07 z; 1.02 3.07 z 1.02; 1.02 3.07 z; 1.02 3.07 z 3.07;"
                     "1.02 1.02 z 3.07; 1.02 3.07 z 3.07; 1.02 z z 3.07; 3.07 z z 3.07"));

  // The skipped line is one of the three tracks: the fourth file is not
  // looked at. The out point, 50000, is not rounded and lies before the in.
  ProjectFixture p("int\t0\n", "short.wav\n-\nlong.wav\nlonger.wav\n", "", 2, 2, 3);
  p.writeWave("short.wav", silence(1000));
  p.writeWave("long.wav", silence(50000));
  p.writeWave("longer.wav", silence(90000));
  EXPECT_TRUE(has(p.console("i2 f s x"), statusLine("2.01", "0.00", "0.00") +
                                             "Checking file short.wav\nChecking file long.wav\n" +
                                             statusLine("2.01", "0.00", "1.04")));
  EXPECT_TRUE(has(p.readFile("param.txt"), "\ni\t96256\no\t50000\ne\t0\n"));
  // A list that cannot be read (the 1st open is the start-up's) says why; out goes to 0.
  for (const auto& [rule, why] :
       {std::pair{"open:*/play.txt:2:EISDIR", "Could not read play.txt: Is a directory.\n"},
        std::pair{"open:*/play.txt:2:ENOENT", "Playlist file called play.txt was not found!\n"},
        std::pair{"fread:*/play.txt:1:EIO", "Could not read play.txt: Input/output error.\n"}}) {
    p.injectFaults(rule);
    EXPECT_TRUE(has(p.console("o5 f s x"),
                    statusLine("2.01", "0.00", "5.01") + why + statusLine("2.01", "0.00", "0.00")));
    EXPECT_NE(p.firedFaults(), "");
    EXPECT_TRUE(has(p.readFile("param.txt"), "\no\t0\n"));
  }
}

TEST(Points, LengthPromptsInfinitiesAndTheLastPosition) {
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
  // A preroll below 0 or no number is 0; a crossfade of -5 is passed over,
  // no number is 0; an audition time no number or not above 0 keeps the last;
  // 0.0001 s of nudge is one period.
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

  // Infinities are refused: the lengths keep their values (the preroll takes
  // any word: 0; 'cf' asks again) and 'ma' monitors for no time.
  ProjectFixture q("proll\t1.5\n");
  q.console("nn inf pre inf cf inf 1e39 5 aa inf ma inf s x");
  const std::string saved = q.readFile("param.txt");
  EXPECT_TRUE(has(saved, "\nnudge\t0.2500\nproll\t0.000\naud\t3.00\nxfade\t5.0\n"));
  EXPECT_FALSE(has(saved, "inf"));

  // Points stop at the last position, 2^62 frames: passes near it end after
  // their own length, and no position overflows (the sanitizer checks).
  ProjectFixture last("int\t0\nclock\thc\nmeter\t0\n", "", "vox.wav\n", 1, 2, 2);
  last.writeCapture(rampCapture(20000, {0}));
  EXPECT_TRUE(has(last.console("o1e30 ao o.i b p o.e be R stp aa 1e30 ai j N p x"),
                  "Play: 96076791021568.00   Rec: 96076791021568.00   "
                  "Stop: 96076791021568.00   Mem: 0.00\n"));
  // The take of 'be' and 'R': one nudge (12288 frames) before the last position.
  const std::string take = last.stamped("audio_ch_1_", "_stp_4611686018427375616.wav");
  EXPECT_EQ(last.files(), ProjectFixture::withListFiles({take}));
  EXPECT_TRUE(last.holds(take, staircase(12288, 0)));
}

}  // namespace
}  // namespace varnow::testing
