// Ctrl-C, SIGTERM and SIGHUP: a pass ends at its next period and keeps every
// frame the card delivered; a rewrite is abandoned without a trace; at a
// prompt the program ends as at the end of its input.
#include <csignal>

#include "e2e/e2e.hpp"
#include "support/paced_card.hpp"

namespace varnow::testing {
namespace {

constexpr int kPeriod = 1024;

// The take of a run: the one file named audio_ch_1_<stamp>.wav.
std::string takeName(const ProjectFixture& project) {
  return project.stamped("audio_ch_1_", ".wav");
}

// A take of n frames of the card's ramp, with a header that says so.
std::string rampTake(std::int64_t frames) {
  return wavFile(staircase(static_cast<std::size_t>(frames), 0));
}

// A project whose passes would last ten minutes: one input recording to
// vox.wav (three samples of 7), one output.
struct LongProject : ProjectFixture {
  LongProject() : ProjectFixture("o\t28800000\nclock\thc\nmeter\t0\n", "", "vox.wav\n", 1, 1, 1) {
    writeWave("vox.wav", {7, 7, 7});
  }
};

// Sends the command and waits until the pass is well under way: capture has
// run for some blocks (a recording with playback waits for its capture
// delay first) or playback for some periods.
void startPass(LiveRun& run, const PacedCard& card, const std::string& command) {
  run.send(command);
  ASSERT_TRUE(waitUntil([&] {
    return command[0] == 'p' ? card.playedFrames() > 40 * kPeriod
                             : card.deliveredFrames() > 10 * kPeriod;
  }));
}

TEST(StopSignals, CtrlCEndsThePassAtItsNextPeriodAndTheRunGoesOn) {
  struct Case {
    const char* input;  // "R\n" alone: the take menu waits for its answer
    const char* reports;
  };
  for (const Case c : {Case{"R\n", "\n\nInput Channel Peaks:\n"},
                       Case{"r\nins\nx\n", "\n\nInput Channel Peaks:\n"},
                       Case{"p\no1 x\n", "\nOutput Channel Peaks:\n\nTime functions:"}}) {
    SCOPED_TRACE(c.input);
    LongProject project;
    PacedCard card(project, kPeriod);
    LiveRun run(project);
    startPass(run, card, c.input);
    run.signal(SIGINT);
    if (std::string(c.input) == "R\n") {
      ASSERT_TRUE(run.waitForOutput("Recording finished."));
      // Exactly the frames the card delivered, under a header that says so.
      EXPECT_EQ(project.readFile(takeName(project)), rampTake(card.deliveredFrames()));
      run.send("ins\nx\n");
    }
    const RunResult result = run.finish();
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_TRUE(has(result.out, std::string("\nStopped.\n") + c.reports));
    if (c.input[0] == 'p') {
      EXPECT_TRUE(has(result.out, "'o' to set play/record stop (1.00)"));
      continue;
    }
    EXPECT_LT(result.out.find("Input Channel Peaks:"), result.out.find("Recording finished."));
    // 'ins' punched the whole take in at 0: the old three samples are gone.
    EXPECT_EQ(project.readFile("vox.wav"), rampTake(card.deliveredFrames()));
    EXPECT_EQ(takeName(project), "");
  }
}

TEST(StopSignals, SignalsThatEndTheRunAskNothingAndLeaveEveryTakeReadable) {
  struct Case {
    const char* input;  // empty: the signal comes at the prompt
    int signal;
    bool hang;  // the card stops returning and a first Ctrl-C cannot get through
  };
  for (const Case c : {Case{"R\n", SIGTERM, false}, Case{"R\n", SIGHUP, false},
                       Case{"R\n", SIGINT, true}, Case{"", SIGINT, false}}) {
    SCOPED_TRACE(c.signal);
    LongProject project;
    PacedCard card(project, kPeriod);
    LiveRun run(project);
    if (*c.input == '\0') {
      ASSERT_TRUE(run.waitForOutput("'x' to exit program\n"));
    } else {
      startPass(run, card, c.input);
    }
    if (c.hang) {
      card.holdCapture();
      run.signal(SIGINT);
      EXPECT_FALSE(run.waitForOutput("Stopped.", milliseconds(200)));
    }
    run.signal(c.signal);
    const RunResult result = run.finish();
    EXPECT_EQ(result.exitStatus, 128 + c.signal);
    EXPECT_FALSE(has(result.out, "Recording finished."));
    const std::string take = takeName(project);
    if (*c.input == '\0') {
      EXPECT_EQ(take, "");
      EXPECT_TRUE(result.out.ends_with("'x' to exit program\n\n"));
      continue;
    }
    // A forced exit loses the block being filled; a stop keeps every frame.
    const std::int64_t delivered = card.deliveredFrames();
    const std::int64_t frames = c.hang ? delivered - delivered % 4096 : delivered;
    ASSERT_GT(frames, 0);
    EXPECT_EQ(project.readFile(take), rampTake(frames));
    if (c.hang) continue;
    EXPECT_TRUE(result.out.ends_with("The take file " + take + " was kept.\n\n")) << result.out;
  }
}

TEST(StopSignals, SignalDuringALongRewriteLeavesNoScratchFileAndTheOriginalAsItWas) {
  // An export of a stretch far too long to finish. (A punch-in writes only
  // its region in place, and a stop in the middle of one plays its journal
  // back: the take menu's tests cover that.)
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
