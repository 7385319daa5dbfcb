// The program's start as a user meets it: first run, later runs, the list
// files, the channel counts and the sound card.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/transcripts.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {
namespace {

const std::string kDialog =
    "\nThe param.txt file was not found.\nParameters are stored in this file.\n"
    "\nEnter 'c' to create this file now or 'x' to exit\n"
    "\nEnter the number of audio interface INPUTS: "
    "\nEnter the number of audio interface OUTPUTS: "
    "\nEnter the maxiumum number of audio TRACKS needed: "
    "\nEnter soundcard device name or 'd' for default: "
    "\nEnter project sample rate or\n1 = 44100,  2 = 48000,  3 = 88200,  4 = 96000\n";

const std::string kCreatedLists =
    "-------------------------\n"
    "Could not find the record file list called record.txt\n"
    "Created a file called record.txt that you will need.\n"
    "Put a list of wave files in this list, one per line.\n"
    "Each line will be assigned to an input hardware channel.\n"
    "Use a '-' on a line to skip over channel.\n"
    "-------------------------\n"
    "-------------------------\n"
    "Cound not find the playlist file called play.txt\n"
    "Created a file called play.txt that you will need.\n"
    "Put a list of wave files in this list, one per line.\n"
    "Each line will be assigned to an output hardware channel.\n"
    "Use a '-' on a line to skip over channel.\n"
    "-------------------------\n";

TEST(FirstRun, DialogCreatesListsAndSevenLineSettingsFile) {
  ProjectFixture project;
  // Words before "c" are skipped; "2" picks 48000 Hz.
  const RunResult result = project.run("hello c 2 2 4 vcard 2\nx\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            kBanner + kDialog + kCreatedLists + requestedParameters("vcard", 48000, 1024, 2, 2, 4) +
                driverReport(1024, 48000, 2, 2) + "Created param.txt file\n" + kMenuThenExit);
  EXPECT_EQ(project.readFile("param.txt"),
            "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t4\nbuf\t1024\nint\t1\n");
  EXPECT_EQ(project.readFile("record.txt"), "");
  EXPECT_EQ(project.readFile("play.txt"), "");
  EXPECT_EQ(project.files(), (std::vector<std::string>{"param.txt", "play.txt", "record.txt"}));
}

TEST(FirstRun, AnswersAreReadTheWayNumbersAreTyped) {
  ProjectFixture project;
  // Counts in hexadecimal and octal; a rate that is not a menu choice is taken as typed.
  const RunResult result = project.run("c 0x3 010 1 vcard 44100 x\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(project.readFile("param.txt"),
            "dv\tvcard\nsr\t44100\ninputs\t3\noutputs\t8\nch\t8\nbuf\t1024\nint\t1\n");

  ProjectFixture second;
  // A count that is not a number is not consumed: every count question sees
  // "vcard" in turn, and the device question finally takes it.
  const RunResult skipped = second.run("c vcard 3 x\n");
  EXPECT_EQ(skipped.exitStatus, 0);
  EXPECT_EQ(second.readFile("param.txt"),
            "dv\tvcard\nsr\t88200\ninputs\t2\noutputs\t2\nch\t2\nbuf\t1024\nint\t1\n");
}

TEST(FirstRun, LongDeviceNameKeepsItsFirst63Characters) {
  ProjectFixture project;
  const std::string name(70, 'v');
  const RunResult result = project.run("c 2 2 2 " + name + " 2 x\n");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.out.find("Device\t" + std::string(63, 'v') + "\n"), std::string::npos);
  EXPECT_EQ(result.out.find(std::string(64, 'v')), std::string::npos);
}

TEST(FirstRun, XEndsWithStatusTwoAndWritesNothing) {
  ProjectFixture project;
  const RunResult result = project.run("y x c\n");
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_EQ(result.out, kBanner +
                            "\nThe param.txt file was not found.\nParameters are stored in this "
                            "file.\n\nEnter 'c' to create this file now or 'x' to exit\n");
  EXPECT_TRUE(project.files().empty());
}

TEST(FirstRun, EndOfInputInTheDialogWritesNothing) {
  ProjectFixture project;
  const RunResult result = project.run("c 2 2");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(project.files().empty());
}

TEST(FirstRun, MissingDeviceEndsWithStatusOneAndLeavesNoSettingsFile) {
  ProjectFixture project;
  const RunResult result = project.run("c 2 2 2 nosuchcard 2 x\n");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "Playback device could not be opened: No such file or directory\n");
  EXPECT_FALSE(project.exists("param.txt"));
  // The list files were created before the device was opened.
  EXPECT_TRUE(project.exists("play.txt"));
  EXPECT_EQ(result.out.find("Returned Driver Parameters"), std::string::npos);
}

TEST(LaterRun, ReadsSettingsAndRoundsStoredPointsToThePeriod) {
  ProjectFixture project;
  project.writeParams("i\t1000\no\t96000\ne\t2049\nmem\t1\n", 2, 2, 2);
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n");
  const RunResult result = project.run("s x");
  EXPECT_EQ(result.exitStatus, 0);
  // 1000 -> 1024, 96000 -> 96256, 2049 -> 3072, memory 1 -> 1024.
  EXPECT_EQ(result.out, kBanner + requestedParameters("vcard", 48000, 1024, 2, 2, 2) +
                            driverReport(1024, 48000, 2, 2) +
                            secondsMenu("0.02", "0.02", "2.01", "0.06", "0.06") +
                            "\nStored Settings\n" +
                            secondsMenu("0.02", "0.02", "2.01", "0.06", "0.06") + "\n");
  const std::string saved = project.readFile("param.txt");
  EXPECT_NE(saved.find("\ni\t1024\no\t96256\ne\t3072\n"), std::string::npos);
  EXPECT_NE(saved.find("\nmem\t1024\n"), std::string::npos);
}

TEST(LaterRun, EmptyRecordListGetsANoteAndMissingListsAreCreated) {
  ProjectFixture project;
  project.writeParams("rec\t1\tmylist.txt\n");
  project.writeFile("play.txt", "");
  const RunResult missing = project.run("x");
  EXPECT_EQ(missing.exitStatus, 0);
  // The message names the current list; the file created is record.txt. The
  // list in use still does not exist, so the exit asks for it.
  EXPECT_NE(missing.out.find("-------------------------\n"
                             "Could not find the record file list called mylist.txt\n"
                             "Created a file called record.txt that you will need.\n"),
            std::string::npos);
  EXPECT_TRUE(project.exists("record.txt"));
  EXPECT_FALSE(project.exists("mylist.txt"));
  EXPECT_NE(missing.out.find("Cannot find recordlist file called mylist.txt\n"
                             "Create the file or enter a different name\n"),
            std::string::npos);

  ProjectFixture quiet;
  quiet.writeParams("");
  quiet.writeFile("record.txt", "");
  quiet.writeFile("play.txt", "");
  const RunResult empty = quiet.run("x");
  const std::string start =
      kBanner +
      "-------------------------\nNote: The record.txt file is empty!\n"
      "-------------------------\n-------------------------\nRequested Parameters:\n";
  EXPECT_EQ(empty.out.substr(0, start.size()), start);
  EXPECT_EQ(quiet.files(), (std::vector<std::string>{"param.txt", "play.txt", "record.txt"}));
}

TEST(LaterRun, MissingCurrentListsNeverEmptyTheFilesOfTheDefaultNames) {
  // The lists in use are gone; record.txt and play.txt exist with names in
  // them. They are not created again, so they keep every line.
  ProjectFixture project;
  project.writeParams("rec\t1\tgone.txt\nplay\t1\tlost.txt\n");
  project.writeFile("record.txt", "vox.wav\n");
  project.writeFile("play.txt", "drums.wav\n");
  const RunResult result = project.run("x play.txt record.txt");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("-------------------------\n"
                            "Could not find the record file list called gone.txt\n"
                            "-------------------------\n-------------------------\n"
                            "Cound not find the playlist file called lost.txt\n"
                            "-------------------------\n-------------------------\n"
                            "Requested Parameters:\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(project.readFile("record.txt"), "vox.wav\n");
  EXPECT_EQ(project.readFile("play.txt"), "drums.wav\n");
}

TEST(LaterRun, UnreadableSettingsEndTheRunAndAreNeverReplaced) {
  // A param.txt that is there but cannot be read is no missing one: no
  // first-run dialog writes over it, the run ends with status 1. (A FIFO
  // would block the open; a link to itself cannot be opened even by root.)
  using Kind = std::filesystem::file_type;
  const struct {
    Kind kind;
    std::string message;
  } cases[] = {
      {Kind::fifo, "Could not read param.txt: it is not a regular file.\n"},
      {Kind::symlink, "Could not open param.txt: Too many levels of symbolic links.\n"},
      {Kind::directory, "Could not read param.txt: Is a directory.\n"},
  };
  for (const auto& c : cases) {
    ProjectFixture project;
    if (c.kind == Kind::fifo) project.makeFifo("param.txt");
    if (c.kind == Kind::symlink) project.makeLinkLoop("param.txt");
    if (c.kind == Kind::directory) std::filesystem::create_directory(project.dir() / "param.txt");
    const RunResult result = project.run("c 2 2 2 vcard 2 s x", std::chrono::seconds(10));
    EXPECT_EQ(result.exitStatus, 1) << c.message;
    EXPECT_EQ(result.out, kBanner + c.message);
    EXPECT_EQ(std::filesystem::symlink_status(project.dir() / "param.txt").type(), c.kind);
    EXPECT_EQ(project.files(), std::vector<std::string>{});
  }
}

TEST(LaterRun, ChannelCountsFollowTheClampingRule) {
  struct Case {
    std::string lines;
    int inputs, outputs, tracks;
  };
  const Case cases[] = {
      {"", 2, 2, 2},
      {"ch\t8\n", 8, 2, 8},
      {"inputs\t4\noutputs\t10\nch\t2\n", 4, 10, 10},
      {"inputs\t-1\noutputs\t6\nch\t8\n", 2, 6, 8},
      {"ch\t300\ninputs\t300\noutputs\t512\n", 256, 256, 256},
      {"ch\t0\ninputs\t0\noutputs\t0\n", 0, 0, 0},
  };
  for (const Case& c : cases) {
    ProjectFixture project;
    project.writeFile("param.txt", "dv\tvcard\nsr\t48000\n" + c.lines);
    project.writeFile("play.txt", "");
    project.writeFile("record.txt", "x.wav\n");
    const RunResult result = project.run("x");
    EXPECT_NE(result.out.find("Interface inputs  = " + std::to_string(c.inputs) +
                              "\nInterface outputs = " + std::to_string(c.outputs) +
                              "\nTracks (maximum)  = " + std::to_string(c.tracks) + "\n"),
              std::string::npos)
        << c.lines;
  }
}

TEST(LaterRun, PeriodRequestIsLimitedAndTheLimitIsSaved) {
  for (const auto& [requested, granted] :
       {std::pair{5000, 4096}, std::pair{4097, 4096}, std::pair{4096, 4096}, std::pair{16, 16},
        std::pair{15, 16}, std::pair{-3, 16}}) {
    ProjectFixture project;
    project.writeFile("param.txt",
                      "dv\tvcard\nsr\t48000\nbuf\t" + std::to_string(requested) + "\n");
    project.writeFile("play.txt", "");
    project.writeFile("record.txt", "x.wav\n");
    const RunResult result = project.run("s x");
    EXPECT_EQ(result.exitStatus, 0);
    // The printout shows the request as read; the driver report the limit.
    EXPECT_NE(result.out.find("Buffer\t" + std::to_string(requested) + "\n"), std::string::npos);
    EXPECT_NE(result.out.find("Play\t" + std::to_string(granted) + "\t4\t48000\t2\n"),
              std::string::npos);
    EXPECT_NE(project.readFile("param.txt").find("\nbuf\t" + std::to_string(granted) + "\n"),
              std::string::npos);
  }
}

TEST(Device, CaptureOpenFailureEndsWithStatusOne) {
  ProjectFixture project;
  project.appendAsoundrc(
      "pcm.halfcard {\n    type asym\n    playback.pcm \"null\"\n    capture.pcm \"nosuch\"\n}\n");
  project.writeFile("param.txt", "dv\thalfcard\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n");
  const RunResult result = project.run("x");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "unable to open pcm record device: No such file or directory\n");
  EXPECT_EQ(result.out.find("Returned Driver Parameters"), std::string::npos);
}

TEST(Device, ExitDrainsAndClosesBothStreams) {
  ProjectFixture project;
  project.writeParams("");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "a.wav\n");
  const RunResult result = project.run("x this-is-never-read");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_FALSE(result.timedOut);
  // Nothing was played, and the playback file was completed on close.
  EXPECT_EQ(project.playback(), "");
}

}  // namespace
}  // namespace varnow::testing
