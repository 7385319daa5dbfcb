// A disk that stalls while a pass streams, on a card that keeps real time and
// drops what nobody reads in time: eight inputs of the card's ramp, periods
// of 256 frames (5 ms), stalls injected before chosen take writes and
// play-file reads. The rings absorb stalls of seconds without a lost frame;
// a longer one loses only what did not fit, says so, and the take keeps its
// length and its alignment.
#include <csignal>
#include <cstdio>
#include <memory>

#include "e2e/e2e.hpp"
#include "support/paced_card.hpp"

namespace varnow::testing {
namespace {

constexpr int kPeriod = 256;
constexpr int kChannels = 8;
constexpr std::int64_t kRate = 48000;

// Frames of a pass that stops at `seconds`: the out point in whole periods.
std::int64_t outFrames(double seconds) {
  const auto frames = static_cast<std::int64_t>(seconds * kRate);
  return (frames + kPeriod - 1) / kPeriod * kPeriod;
}

std::string takeName(int input) {
  return "in" + std::to_string(input + 1) + "_t.wav";
}

// The card's ramp on `input` from `firstFrame`, `frames` long, with silence
// where the disk lost [gapFrom, gapTo).
Samples ramp(int input, std::int64_t firstFrame, std::int64_t frames, std::int64_t gapFrom = 0,
             std::int64_t gapTo = 0) {
  Samples samples(static_cast<std::size_t>(frames));
  for (std::int64_t i = 0; i < frames; ++i) {
    const bool lost = i >= gapFrom && i < gapTo;
    samples[static_cast<std::size_t>(i)] = lost ? 0 : PacedCard::rampValue(input, firstFrame + i);
  }
  return samples;
}

// Eight inputs recording to in1.wav .. in8.wav (named in advance "_t", so
// no take menu asks), eight tracks of staircases playing.
struct StalledProject {
  ProjectFixture project;
  PacedCard card;

  // Tracks of `seconds` and a second more are written only `withTracks`.
  StalledProject(double seconds, const std::string& faults, bool withTracks = false)
      : project("buf\t256\nclock\thc\nmeter\t0\no\t" + std::to_string(outFrames(seconds)) + "\n",
                tracks(), inputs(), kChannels, kChannels, kChannels),
        card(project, kPeriod, kChannels, kChannels) {
    for (int k = 0; k < kChannels && withTracks; ++k) {
      project.writeWave("t" + std::to_string(k + 1) + ".wav",
                        staircase(static_cast<std::size_t>(outFrames(seconds + 1)), 1 + (k << 20)));
    }
    project.injectFaults(faults);
  }
  static std::string tracks() {
    std::string list;
    for (int k = 1; k <= kChannels; ++k)
      list += "t" + std::to_string(k) + ".wav\n";
    return list;
  }
  static std::string inputs() {
    std::string list;
    for (int k = 1; k <= kChannels; ++k)
      list += "in" + std::to_string(k) + ".wav\n";
    return list;
  }
  Samples take(int input) const { return wavSamples(project.readFile(takeName(input))); }
  // The ramp frame that became sample 0 of every take.
  std::int64_t firstFrame() const {
    const Samples first = take(1);
    return first.empty() ? -1 : (first[0] - PacedCard::rampValue(1, 0)) & 0xFFFFF;
  }
  // Every take is the card's ramp, `frames` long, with silence where the
  // disk lost [gapFrom, gapTo), under a header that says so.
  void expectTakes(std::int64_t frames, std::int64_t gapFrom = 0, std::int64_t gapTo = 0) const {
    const std::int64_t first = firstFrame();
    for (int c = 0; c < kChannels; ++c) {
      SCOPED_TRACE(c);
      EXPECT_TRUE(project.holds(takeName(c), ramp(c, first, frames, gapFrom, gapTo)));
    }
  }
};

// The card keeps real time on a shared machine, whose host may not run the
// program for a few milliseconds whatever the disk does: that costs the card
// a period or two. A pass whose card lost no more than kHiccup frames (a
// seventh of the shortest stall here; a period loop that waited for the disk
// would lose the whole stall) is run again, at most twice.
constexpr std::int64_t kHiccup = 8 * kPeriod;

struct PacedRun {
  std::unique_ptr<StalledProject> p;
  RunResult result;
};

PacedRun runOnTime(double seconds, const std::string& faults, bool withTracks,
                   const std::string& command, milliseconds timeout = kRunLimit) {
  for (int attempt = 1;; ++attempt) {
    PacedRun run{std::make_unique<StalledProject>(seconds, faults, withTracks), {}};
    run.result = run.p->project.run(command, timeout);
    const std::int64_t lost = run.p->card.droppedFrames() + run.p->card.starvedFrames();
    if (lost == 0 || lost > kHiccup || attempt == 3) return run;
    std::fprintf(stderr, "The card lost %lld frames to the host; the pass runs again.\n",
                 static_cast<long long>(lost));
  }
}

TEST(DiskStalls, StallsOfSecondsOnATakeWriteOrAPlayFileReadLoseNoFrame) {
  // Write 1 of a take is its header; write 5 its fourth block, 0.34 s in.
  // A play file's first two reads fill its ring before the pass (5 s in two
  // pieces); its third comes once half of the ring has played, 2.5 s in, in
  // a pass that reads more than the ring holds.
  const struct {
    std::string command, faults;
    double seconds;
  } cases[] = {
      {"R_t", "fwrite:*/in3_t.wav:5:delay=300", 2},
      {"R_t", "fwrite:*/in3_t.wav:5:delay=2000", 3},
      {"r_t", "pread:*/t3.wav:3:delay=300", 4.5},
      {"r_t", "pread:*/t3.wav:3:delay=2000", 4.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    const auto [stalled, result] =
        runOnTime(c.seconds, c.faults, c.command[0] == 'r', c.command + " x\n");
    const StalledProject& p = *stalled;
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_TRUE(has(p.project.firedFaults(), c.faults.substr(c.faults.rfind(':') + 1) + "\n"));
    EXPECT_FALSE(has(result.out, " lost "));
    EXPECT_FALSE(has(result.out, "\nRX\n"));
    p.expectTakes(outFrames(c.seconds));
    EXPECT_EQ(p.card.droppedFrames(), 0);
    EXPECT_EQ(p.card.starvedFrames(), 0);
  }
}

TEST(DiskStalls, AStallLongerThanTheRingLosesOnlyWhatDidNotFitAndSaysWhere) {
  // Ten seconds from 0.34 s on: the ring takes 5 s, the rest is lost in
  // whole blocks, and the take goes on in time after the stretch.
  const auto [stalled, result] =
      runOnTime(11, "fwrite:*/in3_t.wav:5:delay=10000", false, "R_t x\n", milliseconds(60000));
  const StalledProject& p = *stalled;
  ASSERT_EQ(result.exitStatus, 0) << result.out;
  const Samples take = p.take(1);
  ASSERT_EQ(std::ssize(take), outFrames(11));
  const auto gapFrom = std::find(take.begin(), take.end(), 0) - take.begin();
  const auto gapTo =
      std::find_if(take.begin() + gapFrom, take.end(), [](int s) { return s != 0; }) - take.begin();
  const std::int64_t lost = gapTo - gapFrom;
  EXPECT_EQ(gapFrom % kBlock, 0);
  EXPECT_EQ(lost % kBlock, 0);
  EXPECT_GT(lost, 4 * kRate);  // about 10 s less the ring's 5
  EXPECT_LT(lost, 6 * kRate);
  p.expectTakes(outFrames(11), gapFrom, gapTo);
  EXPECT_EQ(p.card.droppedFrames(), 0);
  for (int c = 1; c <= kChannels; ++c) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "Input %d lost %ld frames (%.2f sec) from %.2f sec to %.2f sec: the disk did not "
                  "keep up; the take holds silence there.\n",
                  c, static_cast<long>(lost), double(lost) / kRate, double(gapFrom) / kRate,
                  double(gapTo) / kRate);
    EXPECT_TRUE(has(result.out, line));
  }
  // After the reports, before the run goes on.
  EXPECT_LT(result.out.find("Input Channel Peaks:"), result.out.find("Input 1 lost"));
  EXPECT_EQ(count(result.out, " lost "), std::size_t{kChannels});
}

TEST(DiskStalls, ATrackWhoseRingRunsDryPlaysSilenceInTimeAndIsReported) {
  // Five seconds on the third read of t3, 2.5 s in: tracks 1 and 2 were
  // topped up just before and last; track 3 and the tracks after it (whose
  // reads wait behind it) run dry for about 2.5 s and stay in time after.
  const auto [stalled, result] =
      runOnTime(9, "pread:*/t3.wav:3:delay=5000", true, "p x\n", milliseconds(60000));
  const StalledProject& p = *stalled;
  ASSERT_EQ(result.exitStatus, 0) << result.out;
  EXPECT_EQ(p.card.starvedFrames(), 0);
  EXPECT_FALSE(has(result.out, "\nPX\n"));
  for (int k = 1; k <= kChannels; ++k) {
    SCOPED_TRACE(k);
    const std::string track = "Track " + std::to_string(k) + " lost ";
    EXPECT_EQ(has(result.out, track), k >= 3);
    const std::size_t at = result.out.find(track);
    if (at == std::string::npos) continue;
    long frames = 0;
    double seconds = 0, from = 0, to = 0;
    ASSERT_EQ(
        std::sscanf(result.out.c_str() + at + track.size(),
                    "%ld frames (%lf sec) from %lf sec to %lf sec", &frames, &seconds, &from, &to),
        4);
    EXPECT_GT(frames, 2 * kRate);
    EXPECT_LT(frames, 3 * kRate);
    EXPECT_NEAR(to - from, seconds, 0.011);
    EXPECT_TRUE(
        has(result.out.substr(at), ": the disk did not keep up; it played silence there.\n"));
  }
  // After the output peaks, before the prompt.
  EXPECT_LT(result.out.find("Output Channel Peaks:"), result.out.find("Track 3 lost"));
}

TEST(DiskStalls, ASignalOrAFullDiskDuringAStallKeepsEveryFrameTheCardDelivered) {
  // The stall begins 0.34 s in; the signal comes a second later, with about
  // a second of the take in the rings; a full disk meets the block after
  // the stalled one.
  const struct {
    int signal;  // 0: the full disk ends the pass
    std::string faults;
  } cases[] = {
      {SIGINT, "fwrite:*/in3_t.wav:5:delay=2500"},
      {SIGTERM, "fwrite:*/in3_t.wav:5:delay=2500"},
      {0, "fwrite:*/in3_t.wav:5:delay=2500;fwrite:*/in3_t.wav:6:ENOSPC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    StalledProject p(600, c.faults);
    LiveRun run(p.project);
    run.send("R_t\n");
    if (c.signal != 0) {
      ASSERT_TRUE(waitUntil([&] { return p.card.deliveredFrames() > 64 * 1024; }));
      run.signal(c.signal);
    }
    if (c.signal != SIGTERM) {
      // The time menu again: the pass is over.
      ASSERT_TRUE(waitUntil([&] { return count(run.output(), "Time functions") == 2; },
                            milliseconds(20000)));
      run.send("x\n");
    }
    const RunResult result = run.finish(milliseconds(20000));
    EXPECT_EQ(result.exitStatus, c.signal == SIGTERM ? 128 + SIGTERM : 0) << result.out;
    const std::int64_t delivered = p.card.deliveredFrames();
    EXPECT_EQ(p.card.droppedFrames(), 0);
    EXPECT_FALSE(has(result.out, " lost "));
    EXPECT_EQ(has(result.out, "\nStopped.\n"), c.signal != 0);
    EXPECT_EQ(has(result.out, "The take file in8_t.wav was kept.\n"), c.signal == SIGTERM);
    const std::int64_t first = p.firstFrame();
    for (int input = 0; input < kChannels; ++input) {
      SCOPED_TRACE(input);
      if (c.signal == 0 && input == 2) {
        // Four blocks were written before the disk was full.
        EXPECT_TRUE(p.project.holds(takeName(input), ramp(input, first, 4 * kBlock)));
        continue;
      }
      EXPECT_TRUE(p.project.holds(takeName(input), ramp(input, first, delivered)));
    }
    if (c.signal == 0) {
      const std::string full = "Could not write in3_t.wav: No space left on device.";
      // At once, off the line of the hidden clock.
      EXPECT_TRUE(has(result.out, " sec\n\n" + full + "\n\n\n\nInput Channel Peaks:"));
      EXPECT_TRUE(has(result.out, full + " It holds 16384 samples.\n"));
    }
  }
}

}  // namespace
}  // namespace varnow::testing
