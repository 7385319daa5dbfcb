#include "core/stop_request.hpp"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <cstdio>
#include <vector>

#include "core/forced_exit_cleanup.hpp"
#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow {
namespace {

bool wakeFdReadable() {
  pollfd wait{stopRequestFd(), POLLIN, 0};
  return ::poll(&wait, 1, 0) == 1;
}

TEST(StopRequest, TerminationOutranksACtrlCAndTheRequestWakesReaders) {
  initStopRequests();
  requestStop(SIGINT);
  EXPECT_FALSE(stopEndsRun());
  EXPECT_TRUE(wakeFdReadable());
  requestStop(SIGHUP);
  requestStop(SIGTERM);
  requestStop(SIGINT);
  EXPECT_EQ(stopSignal(), SIGHUP);  // the first termination stays
  EXPECT_TRUE(stopEndsRun());
  clearStopRequest();
  EXPECT_EQ(stopSignal(), 0);
  EXPECT_FALSE(wakeFdReadable());
}

TEST(ForcedExitCleanup, RepairsGuardedTakesAndRemovesGuardedScratchFiles) {
  testing::ProjectFixture project;
  const auto dir = project.dir();
  // A take made for 10^6 frames that holds 70000 (every byte of the size
  // fields counts) and one byte of the next.
  const std::vector<std::int32_t> held = testing::staircase(70000);
  std::string take = testing::wavFile(std::vector<std::int32_t>(1000000, 0)).substr(0, 44);
  take += testing::packSamples(held) + "x";
  project.writeFile("take.wav", take);
  project.writeFile("scratch.wav", "half");
  project.writeFile("released.wav", "done");
  std::FILE* file = std::fopen((dir / "take.wav").c_str(), "rb+");
  ASSERT_NE(file, nullptr);
  guardTakeFile(3, fileno(file), 44);
  ScratchPathGuard scratch((dir / "scratch.wav").string());
  ScratchPathGuard released((dir / "released.wav").string());
  released.release();

  runForcedExitCleanup();
  releaseTakeFile(3);
  std::fclose(file);
  EXPECT_EQ(project.readFile("take.wav"), testing::wavFile(held));
  EXPECT_FALSE(project.exists("scratch.wav"));
  EXPECT_EQ(project.readFile("released.wav"), "done");
}

}  // namespace
}  // namespace varnow
