// The line editor on a pseudo-terminal of its own: a stop request gives up
// the line being typed, and the next line is read as usual.
#include "core/line_editor.hpp"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "core/stop_request.hpp"

namespace varnow {
namespace {

TEST(LineEditor, StopRequestGivesUpTheLineBeingTyped) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);  // a reader that never wakes fails the test instead of hanging it
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || dup2(slave, 0) < 0 ||
        dup2(slave, 1) < 0 || write(master, "par", 3) != 3) {
      _exit(2);
    }
    initStopRequests();
    const auto editor = LineEditor::start({"play"}, "");
    std::thread raiser([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      requestStop(SIGINT);
    });
    const bool gaveUp = !editor->readLine().has_value();
    raiser.join();
    clearStopRequest();
    if (write(master, "x\r", 2) != 2) _exit(2);
    const bool readOn = editor->readLine() == std::optional<std::string>("x\n");
    _exit(gaveUp && readOn ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace varnow
