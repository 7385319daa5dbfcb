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

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++found;
  return found;
}

TEST(CommandLine, OptionsPrintAndTouchNothing) {
  const std::string usage =
      "Usage: varnow [DIR]\n       varnow --list-devices | --help | --version\n";
  const std::string version = "Varnow 3.76 (r52)\n";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;  // standard output starts so, and is that long when `whole`
    std::string err;  // the same for standard error
    bool whole;
  };
  const Case cases[] = {
      {{"--version"}, 0, version, "", true},
      {{"-V"}, 0, version, "", true},
      {{"--help"}, 0, usage, "", false},
      {{"-h"}, 0, usage, "", false},
      {{"--bogus"}, 2, "", "varnow: Unknown option --bogus.\n\n" + usage, false},
      {{"a", "b"}, 2, "", "varnow: Only one project directory can be given.\n\n" + usage, false},
      {{"nosuch"},
       2,
       "",
       "varnow: Could not use the project directory nosuch: No such file or directory.\n",
       true},
  };
  for (const Case& c : cases) {
    ProjectFixture project;
    std::vector<std::string> command{varnowBinary()};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    const RunResult result = project.runCommand(command, "c 2 2 2 vcard 2 x\n");
    SCOPED_TRACE(c.arguments.front());
    EXPECT_EQ(result.exitStatus, c.status);
    EXPECT_EQ(c.whole ? result.out : result.out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(c.whole ? result.err : result.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(c.out.empty(), result.out.empty());
    EXPECT_TRUE(project.files().empty());
  }
}

TEST(CommandLine, ProjectDirectoryIsWhereTheProjectLives) {
  ProjectFixture project;
  std::filesystem::create_directory(project.dir() / "song");
  project.writeFile("song/param.txt", "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\n");
  const RunResult result = project.runCommand({varnowBinary(), "song"}, "x\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out.substr(0, kBanner.size()), kBanner);
  EXPECT_TRUE(project.exists("song/record.txt") && project.exists("song/play.txt"));
  EXPECT_EQ(project.files(), std::vector<std::string>{});
  // A file is no project directory.
  project.writeFile("notes", "");
  EXPECT_EQ(project.runCommand({varnowBinary(), "notes"}, "x\n").exitStatus, 2);
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
  EXPECT_EQ(fileText(project.home() / ".local/state/varnow/history"),
            "opt\nd\nopt\nd\ntempo\n4\nx\n");
  // The next run recalls the last line of the first one: x.
  EXPECT_EQ(project.runOnTerminal("\x1b[A\r").exitStatus, 0);

  // XDG_STATE_HOME, when set, holds the history instead; a run keeps the
  // newest 1000 lines of it.
  const std::filesystem::path state = project.home() / "state";
  std::string old;
  for (int i = 1; i <= 1005; ++i)
    old += std::to_string(i) + "\n";
  std::filesystem::create_directories(state / "varnow");
  std::ofstream(state / "varnow/history") << old;
  EXPECT_EQ(project.runOnTerminal("x\r", {"XDG_STATE_HOME=" + state.string()}).exitStatus, 0);
  EXPECT_EQ(fileText(state / "varnow/history"), old.substr(old.find("\n6\n") + 1) + "x\n");
}

TEST(Terminal, RefusedDeviceGetsAHint) {
  ProjectFixture project;
  project.writeFile("param.txt", "dv\tnosuchcard\n");
  const RunResult result = project.runOnTerminal("");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.out.find("Playback device could not be opened: No such file or directory\r\n"
                            "Try the device default or a plughw: device (the dv line of "
                            "param.txt); varnow --list-devices shows the devices of this machine."),
            std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace varnow::testing
