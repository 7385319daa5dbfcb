// The command line, and the prompt as a person at a terminal meets it: line
// editing, the history kept across runs, Tab completion, the device hint.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "e2e/transcripts.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++found;
  return found;
}

TEST(CommandLine, OptionsPrintAndTouchNothing) {
  const std::string usage =
      "Usage: varnow [DIR]\n       varnow --list-devices | --help | --version\n";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string outStart;
    std::string errStart;
  };
  const Case cases[] = {
      {{"--version"}, 0, "Varnow 3.76 (r52)\n", ""},
      {{"-V"}, 0, "Varnow 3.76 (r52)\n", ""},
      {{"--help"}, 0, usage, ""},
      {{"-h"}, 0, usage, ""},
      {{"--bogus"}, 2, "", "varnow: Unknown option --bogus.\n\n" + usage},
      {{"-x", "dir"}, 2, "", "varnow: Unknown option -x.\n\n" + usage},
      {{"a", "b"}, 2, "", "varnow: Only one project directory can be given.\n\n" + usage},
      {{"nosuch"},
       2,
       "",
       "varnow: Could not use the project directory nosuch: No such file or directory.\n"},
  };
  for (const Case& c : cases) {
    ProjectFixture project;
    std::vector<std::string> command{varnowBinary()};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    const RunResult result = project.runCommand(command, "c 2 2 2 vcard 2 x\n");
    SCOPED_TRACE(c.arguments.front());
    EXPECT_EQ(result.exitStatus, c.status);
    EXPECT_EQ(result.out.substr(0, c.outStart.size()), c.outStart);
    EXPECT_EQ(result.err.substr(0, c.errStart.size()), c.errStart);
    EXPECT_EQ(c.outStart.empty(), result.out.empty());
    EXPECT_TRUE(project.files().empty());
  }
  // Exactly the version line.
  ProjectFixture project;
  EXPECT_EQ(project.runCommand({varnowBinary(), "-V"}, "").out, "Varnow 3.76 (r52)\n");
}

TEST(CommandLine, ProjectDirectoryIsWhereTheProjectLives) {
  ProjectFixture project;
  std::filesystem::create_directory(project.dir() / "song");
  project.writeFile("song/param.txt", "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\n");
  const RunResult result = project.runCommand({varnowBinary(), "song"}, "x\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out.substr(0, kBanner.size()), kBanner);
  EXPECT_TRUE(project.exists("song/record.txt"));
  EXPECT_TRUE(project.exists("song/play.txt"));
  EXPECT_EQ(project.files(), std::vector<std::string>{});

  // A file is no project directory.
  project.writeFile("notes", "");
  const RunResult refused = project.runCommand({varnowBinary(), "notes"}, "x\n");
  EXPECT_EQ(refused.exitStatus, 2);
  EXPECT_NE(refused.err.find("Could not use the project directory notes: "), std::string::npos);
}

TEST(CommandLine, ListDevicesShowsTheVirtualCardAndWhatItAccepts) {
  ProjectFixture project;
  const RunResult result = project.runCommand({varnowBinary(), "--list-devices"}, "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("\nvcard\n    Varnow: playback yes, capture yes\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("null\n    Discard all samples"), std::string::npos);
  EXPECT_TRUE(project.files().empty());
}

TEST(Terminal, HistoryRecallTabCompletionAndAHistoryKeptAcrossRuns) {
  ProjectFixture project;
  project.writeParams("");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "");
  // opt, leave it; the up arrow twice recalls opt and runs it again; "tem"
  // and Tab become the tempo menu, left with 4; then x.
  const RunResult first = project.runOnTerminal("opt\rd\r\x1b[A\x1b[A\rd\rtem\t\r4\rx\r");
  EXPECT_EQ(first.exitStatus, 0) << first.out;
  EXPECT_EQ(count(first.out, "Options:"), 2U) << first.out;
  EXPECT_EQ(count(first.out, "4 = done"), 1U) << first.out;
  const std::string historyPath = (project.home() / ".local/state/varnow/history").string();
  const auto history = [&] {
    std::ifstream in(historyPath);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(history(), "opt\nd\nopt\nd\ntempo\n4\nx\n");

  // The next run recalls the last line of the first one: x.
  const RunResult second = project.runOnTerminal("\x1b[A\r");
  EXPECT_EQ(second.exitStatus, 0) << second.out;
  EXPECT_FALSE(second.timedOut);

  // XDG_STATE_HOME, when set, holds the history instead; a run keeps the
  // newest 1000 lines of it.
  const std::string state = (project.home() / "state").string();
  std::string old;
  for (int i = 1; i <= 1005; ++i)
    old += std::to_string(i) + "\n";
  std::filesystem::create_directories(state + "/varnow");
  std::ofstream(state + "/varnow/history") << old;
  EXPECT_EQ(project.runOnTerminal("x\r", {"XDG_STATE_HOME=" + state}).exitStatus, 0);
  std::ifstream kept(state + "/varnow/history");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
            old.substr(old.find("\n6\n") + 1) + "x\n");
}

TEST(Terminal, RefusedDeviceGetsAHintOnlyAtATerminal) {
  ProjectFixture project;
  project.writeFile("param.txt", "dv\tnosuchcard\n");
  const std::string hint =
      "Try the device default or a plughw: device (the dv line of param.txt); "
      "varnow --list-devices shows the devices of this machine.";
  const RunResult atTerminal = project.runOnTerminal("");
  EXPECT_EQ(atTerminal.exitStatus, 1);
  EXPECT_NE(atTerminal.out.find(hint), std::string::npos) << atTerminal.out;
  const RunResult piped = project.run("");
  EXPECT_EQ(piped.err, "Playback device could not be opened: No such file or directory\n");
}

}  // namespace
}  // namespace varnow::testing
