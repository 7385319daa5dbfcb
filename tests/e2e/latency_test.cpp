// 'lat' on a loopback card: the round trip found to the frame, the correction
// offered, and a recording with playback after it lands on the tracks exactly.
#include <regex>

#include "e2e/e2e.hpp"
#include "support/paced_card.hpp"

namespace varnow::testing {
namespace {

struct Offer {
  long roundTrip = 0, odcomp = 0, frames = 0;
};

Offer offerIn(const std::string& out) {
  std::smatch m;
  Offer offer;
  const std::regex trip("Round-trip latency: (-?[0-9]+) frames");
  const std::regex put("odcomp (-?[0-9]+) and odframes ([0-9]+) put them on the tracks");
  if (std::regex_search(out, m, trip)) offer.roundTrip = std::stol(m[1]);
  if (std::regex_search(out, m, put)) {
    offer.odcomp = std::stol(m[1]);
    offer.frames = std::stol(m[2]);
  }
  return offer;
}

TEST(Latency, TheRoundTripOfALoopbackIsFoundAndItsCorrectionPutsTakesOnTheTracks) {
  // Two delays a period apart less 111 frames: the round trips differ by as much.
  long trips[2] = {0, 0};
  for (const int delay : {1000, 1913}) {
    SCOPED_TRACE(delay);
    ProjectFixture project("o\t48128\nclock\thc\nmeter\t0\n", "a.wav\n", "vox.wav\n", 1, 1, 1);
    const Samples file = staircase(200000, 1);
    project.writeWave("a.wav", file);
    PacedCard card(project, 1024);
    card.loopback(delay);
    LiveRun run(project);
    run.send("lat\n");
    ASSERT_TRUE(run.waitForOutput("to keep the settings.\n", milliseconds(15000))) << run.output();
    const std::string measured = run.output();
    EXPECT_TRUE(has(measured,
                    "Measuring the round trip from output 1 to input 1: connect them (a cable, or "
                    "the sound server's monitor of output 1).\nMeasuring...\n"));
    const Offer offer = offerIn(measured);
    trips[delay == 1000 ? 0 : 1] = offer.roundTrip;
    // The take lands late by the round trip less the 4096 frames compensated.
    const long late = offer.roundTrip - 4096;
    EXPECT_TRUE(has(measured, "With odcomp 4 and odframes 0, takes land " +
                                  std::to_string(std::labs(late)) + " frames"));
    EXPECT_EQ(offer.odcomp * 1024 + offer.frames, 4 * 1024 + late);
    EXPECT_GE(offer.frames, 0);
    EXPECT_LT(offer.frames, 1024);

    ASSERT_TRUE(waitUntil([&] { return card.loopIdle(); }));
    run.send("y\n");
    ASSERT_TRUE(run.waitForOutput("Done; 's' stores them in param.txt.\n"));
    run.send("r_t\n");
    ASSERT_TRUE(waitUntil([&] { return count(run.output(), "'x' to exit program\n") == 3; },
                          milliseconds(15000)));
    // Every frame of the take is the frame of the track played at its place.
    EXPECT_TRUE(same(wavSamples(project.readFile("vox_t.wav")),
                     Samples(file.begin(), file.begin() + 48128)));

    ASSERT_TRUE(waitUntil([&] { return card.loopIdle(); }));
    run.send("lat\n");
    ASSERT_TRUE(run.waitForOutput("takes land on the tracks to the frame.\n", milliseconds(15000)))
        << run.output();
    EXPECT_TRUE(has(run.output(), "With odcomp " + std::to_string(offer.odcomp) + " and odframes " +
                                      std::to_string(offer.frames) + ","));
    run.send("s\nx\n");
    const RunResult result = run.finish();
    EXPECT_EQ(result.exitStatus, 0);
    // The correction is kept by 's'; the report shows it at the next start.
    EXPECT_TRUE(has(project.readFile("param.txt"),
                    "odcomp\t" + std::to_string(offer.odcomp) +
                        (offer.frames != 0 ? "\nodframes\t" + std::to_string(offer.frames) : "") +
                        "\nmix\t"));
  }
  EXPECT_EQ(trips[1] - trips[0], 913);
}

TEST(Latency, NoLoopbackIsSaidAndNothingChanges) {
  ProjectFixture project("clock\thc\n", "", "", 1, 1, 1);
  project.writeCapture(std::string(200000 * 3, '\0'));
  const std::string shown = project.console("lat s x");
  EXPECT_TRUE(has(shown,
                  "Measuring...\n\nThe test signal did not come back on input 1: connect output "
                  "1 to input 1 and try again.\n"));
  EXPECT_FALSE(has(project.readFile("param.txt"), "odframes"));
  EXPECT_TRUE(has(project.readFile("param.txt"), "odcomp\t4\n"));
}

}  // namespace
}  // namespace varnow::testing
