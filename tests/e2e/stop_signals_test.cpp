// Ctrl-C, SIGTERM and SIGHUP: a pass ends at its next period keeping every
// frame; a rewrite is abandoned without a trace; a prompt ends as at end of input.
#include <cmath>
#include <csignal>
#include <cstdio>

#include "e2e/e2e.hpp"
#include "support/paced_card.hpp"

namespace varnow::testing {
namespace {

constexpr int kPeriod = 1024;

// A take of n frames of the card's ramp, with a header that says so.
std::string rampTake(std::int64_t frames) {
  return wavFile(staircase(static_cast<std::size_t>(frames), 0));
}

// Passes of ten minutes on a card in real time, input 1 recording to vox.wav
// (7, 7, 7); `input` runs until the pass is well under way (some captured
// blocks and a level line, or played periods), or empty until the first prompt.
struct LongPass {
  ProjectFixture project;
  PacedCard card{project, kPeriod};
  LiveRun run{project};
  std::string take() const { return project.stamped("audio_ch_1_", ".wav"); }

  explicit LongPass(const std::string& input, const std::string& settings = "clock\thc\nmeter\t0\n")
      : project("o\t28800000\n" + settings, "", "vox.wav\n", 1, 1, 1) {
    project.writeWave("vox.wav", {7, 7, 7});  // read only when the take is settled
    if (input.empty()) {
      EXPECT_TRUE(run.waitForOutput("'x' to exit program\n"));
      return;
    }
    run.send(input);
    EXPECT_TRUE(waitUntil([&] {
      return input[0] == 'p' ? card.playedFrames() > 40 * kPeriod
                             : card.deliveredFrames() > 24 * kPeriod;  // takes past 64 KiB
    }));
  }

  // What the pass showed last (its clock, meter or level line: the text
  // after the last carriage return) while the card holds it still. The
  // program flushes every display at once.
  std::string lastShown() {
    card.hold();
    EXPECT_TRUE(waitUntil(
        [&] { return run.blockedOn(card.playFifo()) || run.blockedOn(card.captureFifo()); }));
    const std::string out = run.output();
    card.resume();
    return out.substr(std::min(out.rfind('\r'), out.size()));
  }
};

TEST(StopSignals, CtrlCEndsThePassAtItsNextPeriodAndTheRunGoesOn) {
  // "R\n" alone: the take menu waits for its answer.
  const struct {
    std::string input, settings, shownFirst, shownLast;
  } cases[] = {{"R\n", "clock\thc\n", "\r\t -30 dB [", " dB   "},
               {"r\nins\nx\n", "tmode\t1\nmeter\t0\n", "\rmeasure.beat = ", " "},
               {"p\no1 x\n", "", "\rclock = ", " sec"},
               {"ma\n600\nx\n", "", "\r(1/", ")  "}};
  for (const auto& [input, settings, shownFirst, shownLast] : cases) {
    SCOPED_TRACE(input);
    LongPass pass(input, settings);
    const std::string shown = pass.lastShown();
    EXPECT_TRUE(shown.starts_with(shownFirst) && shown.ends_with(shownLast)) << shown;
    pass.run.signal(SIGINT);
    if (input == "R\n") {
      ASSERT_TRUE(pass.run.waitForOutput("Recording finished."));
      // Exactly the frames the card delivered, under a header that says so.
      EXPECT_EQ(pass.project.readFile(pass.take()), rampTake(pass.card.deliveredFrames()));
      // The frames of the block being filled count for the peak: the ramp's last one.
      char peak[40];
      std::snprintf(peak, sizeof peak, "\tchannel 1: %.2f dBFS\n",
                    -20 * std::log10(8388607.0 / double(pass.card.deliveredFrames() - 1)));
      EXPECT_TRUE(has(pass.run.output(), peak));
      pass.run.send("ins\nx\n");
    }
    const RunResult result = pass.run.finish();
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    if (input[0] == 'p' || input[0] == 'm') {
      const std::string reports = input[0] == 'p' ? "\nOutput Channel Peaks:\n\n" : "";
      EXPECT_TRUE(has(result.out, "\nStopped.\n" + reports + "Time functions:"));
      EXPECT_TRUE(has(result.out, input[0] == 'p' ? "'o' to set play/record stop (1.00)"
                                                  : "'o' to set play/record stop (600.00)"));
      continue;
    }
    EXPECT_TRUE(has(result.out, "\nStopped.\n\n\nInput Channel Peaks:\n"));
    EXPECT_LT(result.out.find("Input Channel Peaks:"), result.out.find("Recording finished."));
    // 'ins' punched the whole take in at 0: the old three samples are gone.
    EXPECT_EQ(pass.project.readFile("vox.wav"), rampTake(pass.card.deliveredFrames()));
    EXPECT_EQ(pass.take(), "");
  }
}

TEST(StopSignals, SignalsThatEndTheRunAskNothingAndLeaveEveryTakeReadable) {
  // hang: the card stops returning; the signal ends the pass all the same.
  const struct {
    std::string input;  // empty: the signal comes at the prompt
    int signal;
    bool hang;
  } cases[] = {
      {"R\n", SIGTERM, false}, {"R\n", SIGHUP, false}, {"R\n", SIGTERM, true}, {"", SIGINT, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    LongPass pass(c.input);
    if (c.hang) {
      // The program waits in its read of the card with nothing more to come.
      pass.card.hold();
      ASSERT_TRUE(waitUntil([&] {
        return pass.card.captureDrained() && pass.run.blockedOn(pass.card.captureFifo());
      }));
    }
    pass.run.signal(c.signal);
    const RunResult result = pass.run.finish();
    EXPECT_EQ(result.exitStatus, 128 + c.signal);
    EXPECT_FALSE(has(result.out, "Recording finished."));
    EXPECT_EQ(has(result.out, "Stopped."), !c.input.empty());
    const std::string take = pass.take();
    if (c.input.empty()) {
      EXPECT_EQ(take, "");
      EXPECT_TRUE(result.out.ends_with("'x' to exit program\n\n"));
      continue;
    }
    // A stop keeps every frame the card delivered.
    const std::int64_t frames = pass.card.deliveredFrames();
    ASSERT_GT(frames, 0);
    EXPECT_EQ(pass.project.readFile(take), rampTake(frames));
    EXPECT_TRUE(result.out.ends_with("The take file " + take + " was kept.\n\n"));
  }
}

TEST(StopSignals, SignalDuringALongRewriteLeavesNoScratchFileAndTheOriginalAsItWas) {
  // An export far too long to finish (a punch-in's journal: the takes tests).
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ProjectFixture project("o\t48000000000\nclock\thc\n", "", "", 1, 2, 2);
    project.writeFile("mix.wav", "the last mix");
    LiveRun run(project);
    run.send("exp-i mix\nc\nx\n");
    ASSERT_TRUE(waitUntil([&] { return project.exists("temp_mix.wav"); }));
    run.signal(signal);
    const RunResult result = run.finish();
    EXPECT_EQ(result.exitStatus, 128 + signal) << result.out;
    EXPECT_FALSE(project.exists("temp_mix.wav"));
    EXPECT_EQ(project.readFile("mix.wav"), "the last mix");
    EXPECT_TRUE(has(result.out, ": Interrupted system call.\n"));
  }
}

}  // namespace
}  // namespace varnow::testing
