// Xruns on purpose: the injector makes the Nth transfer of a pass return
// -EPIPE, having moved nothing ("EPIPE") or its frames ("xrun"). Every pass
// reports and counts them, prepares the handle again and goes on to its
// planned end; no frame is played twice, and a take keeps its length.
#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

constexpr std::size_t kPeriod = 1024;

struct Xrun {
  std::string call;  // "writen" or "readn"
  int at;            // its Nth call in the pass
  std::string action;
};
using Xruns = std::vector<Xrun>;

// What `calls` transfers of whole periods carry from `source`. A write that
// moved nothing is missing from what the card played; its frames are not
// written again. A failed read is a period of silence in the take, and the
// card's stream has moved on (xrun) or not (EPIPE).
Samples carried(const Samples& source, int calls, const Xruns& xruns, const std::string& call) {
  Samples out;
  auto from = source.begin();
  for (int n = 1; n <= calls; ++n) {
    const auto failed = std::find_if(xruns.begin(), xruns.end(),
                                     [&](const Xrun& x) { return x.call == call && x.at == n; });
    const bool moved = failed == xruns.end() || failed->action == "xrun";
    const bool lost = call == "readn" && failed != xruns.end();
    if (moved || lost) out = out + (lost ? silence(kPeriod) : Samples(from, from + kPeriod));
    if (moved || call == "writen") from += kPeriod;
  }
  return out;
}

// Runs `command` with the xruns injected (and every prepare of the pass
// logged); checks the "\nPX" and "\nRX" lines, the counts reported before
// the time menu, and that each xrun was followed by a prepare of its handle.
std::string runWithXruns(ProjectFixture& p, const std::string& command, const Xruns& xruns) {
  std::string rules = "snd_pcm_prepare:*:3+:log";
  int underruns = 0, overruns = 0;
  for (const Xrun& x : xruns) {
    rules += ";snd_pcm_" + x.call + ":*:" + std::to_string(x.at) + ":" + x.action;
    ++(x.call == "writen" ? underruns : overruns);
  }
  p.injectFaults(rules);
  const std::string shown = p.console(command);
  EXPECT_EQ(count(shown, "\nPX\n"), static_cast<std::size_t>(underruns));
  EXPECT_EQ(count(shown, "\nRX\n"), static_cast<std::size_t>(overruns));
  const std::string reports =
      (underruns > 0 ? "\nPlay Underruns = " + std::to_string(underruns) + "\n" : "") +
      (overruns > 0 ? "\nRecord Overruns = " + std::to_string(overruns) + "\n" : "");
  EXPECT_TRUE(has(shown, reports + "Time functions"));
  EXPECT_EQ(count(shown, "Underruns") + count(shown, "Overruns"),
            std::size_t{underruns > 0} + std::size_t{overruns > 0});
  const std::string log = p.firedFaults();
  for (const Xrun& x : xruns) {
    const std::string stream = x.call == "writen" ? "playback" : "capture";
    EXPECT_TRUE(has(log, "snd_pcm_" + x.call + " " + stream + " #" + std::to_string(x.at) + " " +
                             x.action + "\nsnd_pcm_prepare " + stream + " #"));
  }
  return shown;
}

TEST(Xruns, APlayPassPlaysOnToItsEndWithoutRepeatingTheFramesOfAnUnderrun) {
  // 20 writes of a period: the block of silence, then the file from 0 to the stop.
  ProjectFixture p("o\t16384\nclock\thc\n", "a.wav\n", "", 1, 1, 1);
  const Samples file = staircase(20000, 1);
  p.writeWave("a.wav", file);
  const Samples stream = playedFrom(file, 0, 16384);
  ASSERT_EQ(stream.size(), 20 * kPeriod);
  for (const Xruns& xruns :
       {Xruns{{"writen", 6, "EPIPE"}}, Xruns{{"writen", 6, "xrun"}},
        Xruns{{"writen", 2, "xrun"}, {"writen", 9, "EPIPE"}, {"writen", 17, "EPIPE"}}}) {
    SCOPED_TRACE(xruns.size());
    runWithXruns(p, "p x", xruns);
    EXPECT_EQ(unpackSamples(p.playback(), 0), carried(stream, 20, xruns, "writen"));
    // One for each stream when the device opens, the pass's own, one an xrun.
    EXPECT_EQ(count(p.firedFaults(), "prepare"), 3 + xruns.size());
  }
}

TEST(Xruns, ARecordingKeepsItsLengthAndItsHeaderAndGoesOnToItsPlannedEnd) {
  // Takes of 8192 frames (the 12th read fills the block after the take).
  // 'r' writes 12 periods before its first read and one before each other.
  ProjectFixture p("o\t8192\nclock\thc\nmeter\t0\n", "a.wav\n", "vox.wav\n", 1, 1, 1);
  const Samples file = staircase(40000, -1, -1);
  const Samples capture = staircase(30000, 1000000);
  p.writeWave("a.wav", file);
  p.writeCapture(packSamples(capture));
  const std::pair<std::string, Xruns> cases[] = {
      {"R", {{"readn", 1, "EPIPE"}, {"readn", 4, "xrun"}, {"readn", 12, "xrun"}}},
      {"R", {{"readn", 6, "EPIPE"}, {"readn", 7, "EPIPE"}}},
      {"r", {{"writen", 3, "EPIPE"}, {"writen", 13, "EPIPE"}, {"readn", 2, "EPIPE"}}},
      {"r", {{"readn", 8, "xrun"}, {"writen", 20, "xrun"}, {"readn", 12, "EPIPE"}}},
  };
  for (const auto& [command, xruns] : cases) {
    SCOPED_TRACE(command + std::to_string(xruns[0].at));
    // Named in advance, the take stays as it is.
    runWithXruns(p, command + "_t x", xruns);
    Samples expected = carried(capture, 12, xruns, "readn");
    expected.resize(8192);
    EXPECT_TRUE(p.holds("vox_t.wav", expected));
    p.remove("vox_t.wav");
    EXPECT_EQ(unpackSamples(p.playback(), 0),
              command == "R" ? Samples{} : carried(silence(4096) + file, 23, xruns, "writen"));
  }
}

TEST(Xruns, AMonitorPassCountsOnlyTheFramesTheCardDelivered) {
  // 0.5 s: 28 reads, one level line after the 17th. Period 3 is loud.
  ProjectFixture p("", "", "a.wav\n", 1, 1, 1);
  p.writeCapture(packSamples(silence(2048) + Samples(1024, 4194304) + Samples(40000, 1000)));
  const std::pair<Xruns, std::string> cases[] = {
      {{{"readn", 3, "xrun"}}, "-78"},  // read, but the card said it was lost
      {{{"readn", 3, "EPIPE"}}, "-6"},  // the next read gets it
      {{{"readn", 1, "EPIPE"}, {"readn", 28, "EPIPE"}}, "-6"},
  };
  for (const auto& [xruns, level] : cases) {
    SCOPED_TRACE(level);
    EXPECT_TRUE(has(runWithXruns(p, "mr 0.5 x", xruns), "\r(1/" + level + ")  \n"));
  }
  // 24576 frames: the 28th read reaches a block past the end.
  p.injectFaults("snd_pcm_readn:*:1+:log");
  p.console("mr 0.512 x");
  EXPECT_TRUE(p.firedFaults().ends_with("#28 log\n")) << p.firedFaults();
}

}  // namespace
}  // namespace varnow::testing
