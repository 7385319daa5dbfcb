// A card that keeps time: a play pass gives it every frame up to the stop
// before it reports; a card that stops, or fails, ends the pass with a
// sentence and the take keeps what came; a signal ends a pass that waits in
// a card that does not return.
#include <chrono>
#include <csignal>

#include "e2e/e2e.hpp"
#include "support/paced_card.hpp"

namespace varnow::testing {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kStalled = "The sound card stopped: no audio for 2 s.\n";

std::string rampTake(std::int64_t frames) {
  return wavFile(staircase(static_cast<std::size_t>(frames), 0));
}

TEST(CardStops, APlayPassGivesTheCardTheSilentBlockAndEveryFrameToTheStop) {
  // A stop of one second rounds up to 48000 frames at 64, 48128 at 256 and 1024.
  for (const int period : {64, 256, 1024}) {
    SCOPED_TRACE(period);
    ProjectFixture project("buf\t" + std::to_string(period) + "\no\t48000\nclock\thc\n", "a.wav\n",
                           "", 1, 1, 1);
    const Samples file = staircase(60000, 1);
    project.writeWave("a.wav", file);
    PacedCard card(project, period);
    card.keepPlayback();
    const std::int64_t stop = (48000 + period - 1) / period * period;
    const std::string expected = packSamples(playedFrom(file, 0, stop, period));
    const RunResult result = project.run("p x");
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_TRUE(has(result.out, "\nOutput Channel Peaks:\n"));
    ASSERT_TRUE(waitUntil([&] { return card.playedBytes().size() >= expected.size(); }));
    EXPECT_EQ(card.playedBytes(), expected);
  }
}

// A recording of input 1 on a card in real time, well under way; the take
// menu that follows its end punches the take in at 0 and the run ends.
struct CutShortRecording {
  ProjectFixture project{"o\t28800000\nclock\thc\nmeter\t0\n", "", "vox.wav\n", 1, 1, 1};
  PacedCard card{project, 1024};
  LiveRun run{project};
  CutShortRecording() {
    run.send("R\n");
    EXPECT_TRUE(waitUntil([&] { return card.deliveredFrames() > 24 * 1024; }));
  }
  // The take holds every frame the card delivered, under a header that says
  // so, and becomes vox.wav.
  void expectTakeKept() {
    EXPECT_EQ(project.readFile(project.stamped("audio_ch_1_", ".wav")),
              rampTake(card.deliveredFrames()));
    card.resume();
    run.send("ins\nx\n");
    const RunResult result = run.finish();
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_EQ(project.readFile("vox.wav"), rampTake(card.deliveredFrames()));
  }
};

// A card that dies half-way: the pass ends about two seconds later.
TEST(CardStops, ACardThatStopsDeliveringEndsThePassWithinAboutTwoSecondsAndTheTakeIsKept) {
  CutShortRecording recording;
  recording.card.die();
  const auto died = Clock::now();
  ASSERT_TRUE(recording.run.waitForOutput(kStalled, milliseconds(8000)));
  const auto waited = Clock::now() - died;
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
  EXPECT_FALSE(has(recording.run.output(), "Stopped."));
  EXPECT_TRUE(has(recording.run.output(), kStalled + "\n\nInput Channel Peaks:\n"));
  recording.expectTakeKept();
}

// ALSA's file plugin retries its write into a FIFO nobody reads for ever:
// two seconds after the sentence the program ends from the watchdog.
TEST(CardStops, APlayPassOnACardThatStopsReadingEndsWithTheSameSentence) {
  ProjectFixture project("o\t28800000\nclock\thc\n", "a.wav\n", "", 1, 1, 1);
  project.writeWave("a.wav", staircase(48000, 1));
  PacedCard card(project, 256);
  LiveRun run(project);
  run.send("p\n");
  ASSERT_TRUE(waitUntil([&] { return card.playedFrames() > 40 * 256; }));
  card.die();
  const auto died = Clock::now();
  const RunResult result = run.finish(milliseconds(10000));
  EXPECT_LT(Clock::now() - died, std::chrono::milliseconds(6000));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_TRUE(result.out.ends_with(kStalled)) << result.out;
}

TEST(CardStops, OneCtrlCEndsAPassThatWaitsInACardThatDoesNotReturn) {
  CutShortRecording recording;
  recording.card.hold();
  ASSERT_TRUE(waitUntil([&] {
    return recording.card.captureDrained() && recording.run.blockedOn(recording.card.captureFifo());
  }));
  const auto sent = Clock::now();
  recording.run.signal(SIGINT);
  ASSERT_TRUE(recording.run.waitForOutput("\nStopped.\n"));
  EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(1500));
  EXPECT_FALSE(has(recording.run.output(), kStalled));
  recording.expectTakeKept();
}

// A transfer that fails with anything but an xrun ends the pass with the
// error's sentence; the take keeps the periods read before it.
TEST(CardStops, ATransferErrorEndsThePassWithItsSentenceAndTheTakeKeepsWhatCame) {
  ProjectFixture project("o\t48128\nclock\thc\nmeter\t0\n", "", "vox.wav\n", 1, 1, 1);
  project.writeCapture(packSamples(staircase(60000, 0)));
  project.injectFaults("snd_pcm_readn:capture:7:EIO");
  const std::string shown = project.console("R_t x");
  EXPECT_TRUE(has(shown, "\nCould not read from the sound card: Input/output error.\n"));
  EXPECT_FALSE(has(shown, "RX"));
  EXPECT_EQ(project.readFile("vox_t.wav"), rampTake(6 * 1024));

  project.injectFaults("snd_pcm_writen:playback:3:EIO");
  project.writeFile("play.txt", "vox_t.wav\n");
  const std::string played = project.console("p x");
  EXPECT_TRUE(has(played, "\nCould not write to the sound card: Input/output error.\n"));
  EXPECT_EQ(project.playback(), std::string(2 * 1024 * 3, '\0'));
}

// A device that refuses one buffer per channel ends the start, as a refused
// format does, and says what to use instead.
TEST(CardStops, ADeviceWithoutNonInterleavedAccessIsRefusedAtStart) {
  for (const std::string stream : {"playback", "capture"}) {
    SCOPED_TRACE(stream);
    ProjectFixture project("");
    project.injectFaults("snd_pcm_hw_params_set_access:" + stream + ":1:EINVAL");
    const RunResult result = project.run("x");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, std::string(stream == "playback" ? "Problem setting playback access"
                                                           : "Problem setting recording access") +
                              ": Invalid argument\nThe device vcard does not take one buffer per "
                              "channel: use plug:vcard, or pipewire under PipeWire.\n");
    EXPECT_FALSE(has(result.out, "Returned Driver Parameters"));
  }
}

}  // namespace
}  // namespace varnow::testing
