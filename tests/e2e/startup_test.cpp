// The start: command line, first and later runs, the card, history, journals.

#include <filesystem>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

namespace fs = std::filesystem;

const std::string kDialogStart =
    "\nThe param.txt file was not found.\nParameters are stored in this file.\n"
    "\nEnter 'c' to create this file now or 'x' to exit\n";

// What start-up says when it creates record.txt and play.txt for the
// missing record list `record` and play list `play`.
std::string createdLists(const std::string& record, const std::string& play) {
  const auto created = [](const std::string& missing, const std::string& name,
                          const std::string& direction) {
    const std::string rule = "-------------------------\n";
    return rule + missing + "\nCreated a file called " + name +
           " that you will need.\nPut a list of wave files in this list, one per line.\n"
           "Each line will be assigned to an " +
           direction + " hardware channel.\nUse a '-' on a line to skip over channel.\n" + rule;
  };
  return created("Could not find the record file list called " + record, "record.txt", "input") +
         created("Cound not find the playlist file called " + play, "play.txt", "output");
}

// The first-run questions after "c", each number question `asked` times.
std::string dialogQuestions(int asked) {
  return repeat("\nEnter the number of audio interface INPUTS: ", asked) +
         repeat("\nEnter the number of audio interface OUTPUTS: ", asked) +
         repeat("\nEnter the maxiumum number of audio TRACKS needed: ", asked) +
         "\nEnter soundcard device name or 'd' for default: " +
         repeat("\nEnter project sample rate or\n1 = 44100,  2 = 48000,  3 = 88200,  4 = 96000\n",
                asked);
}

TEST(CommandLine, OptionsPrintTouchNothingAndNameTheProjectDirectory) {
  const std::string usage =
      "Usage: varnow [DIR]\n       varnow --list-devices | --help | --version\n";
  const std::string version = "Varnow 3.76 (r52)\n", noDir = "varnow: Could not use the project ";
  ProjectFixture project;
  auto run = [&project](std::vector<std::string> command) {
    command.insert(command.begin(), varnowBinary());
    return project.runCommand(command, "c 2 2 2 vcard 2 x\n");
  };
  // Arguments, status, and what standard output and error start with (and
  // end with when `whole`).
  const std::tuple<std::vector<std::string>, int, std::string, std::string, bool> cases[] = {
      {{"--version"}, 0, version, "", true},
      {{"-V"}, 0, version, "", true},
      {{"--help"}, 0, usage, "", false},
      {{"-h"}, 0, usage, "", false},
      {{"--bogus"}, 2, "", "varnow: Unknown option --bogus.\n\n" + usage, false},
      {{"a", "b"}, 2, "", "varnow: Only one project directory can be given.\n\n" + usage, false},
      {{"nosuch"}, 2, "", noDir + "directory nosuch: No such file or directory.\n", true},
      {{"notes"}, 2, "", noDir + "directory notes: Not a directory.\n", true},
  };
  project.writeFile("notes", "");  // a file is no project directory
  for (const auto& [arguments, status, out, err, whole] : cases) {
    const RunResult result = run(arguments);
    SCOPED_TRACE(arguments.front());
    EXPECT_EQ(result.exitStatus, status);
    EXPECT_EQ(whole ? result.out : result.out.substr(0, out.size()), out);
    EXPECT_EQ(whole ? result.err : result.err.substr(0, err.size()), err);
    EXPECT_EQ(out.empty(), result.out.empty());
    EXPECT_EQ(project.files(), Names{"notes"});
  }
  fs::create_directory(project.dir() / "song");
  project.writeFile("song/param.txt", "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\n");
  const RunResult result = run({"song"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(result.out.starts_with(kBanner));
  EXPECT_TRUE(project.exists("song/record.txt") && project.exists("song/play.txt"));
  const RunResult devices = run({"--list-devices"});
  EXPECT_EQ(devices.exitStatus, 0);
  EXPECT_TRUE(has(devices.out, "\nvcard\n    Varnow: playback yes, capture yes\n"));
  EXPECT_TRUE(has(devices.out, "null\n    Discard all samples"));
  EXPECT_TRUE(has(devices.out, "yes\n\nA project uses the device named on the dv line"));
  // A configuration ALSA cannot parse: one sentence, none of ALSA's own lines.
  writeBytes(project.home() / ".asoundrc", "pcm.x {\n type hw\n");
  const RunResult broken = run({"--list-devices"});
  EXPECT_EQ(broken.exitStatus, 1);
  EXPECT_EQ(broken.err, "Could not list the ALSA devices: Invalid argument.\n");
}

TEST(CommandLine, TheDeviceListingEndsWhenADeviceDoesNotAnswer) {
  // A card on FIFOs that nobody holds open: its capture open waits for ever.
  ProjectFixture project;
  project.makeFifo("play.fifo");
  project.makeFifo("capture.fifo");
  project.defineCard(project.path("play.fifo"), project.path("capture.fifo"));
  const auto start = std::chrono::steady_clock::now();
  const RunResult devices = project.runCommand({varnowBinary(), "--list-devices"}, "");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(devices.exitStatus, 0);
  EXPECT_TRUE(has(devices.out,
                  "\nvcard\n    Varnow: playback yes, capture no (the device does "
                  "not answer)\n"));
  EXPECT_TRUE(has(devices.out, "null\n    Discard all samples"));
  EXPECT_TRUE(
      devices.out.ends_with("\nA project uses the device named on the dv line of its "
                            "param.txt.\n"));
  EXPECT_LT(took, std::chrono::seconds(8));  // one device's bound of 2 s, and the rest
}

TEST(Terminal, HistoryRecallTabCompletionAHistoryKeptAcrossRunsAndTheDeviceHint) {
  ProjectFixture project("");
  // Only the lines of the main and the mixer prompt are history: the up arrow
  // recalls opt, not the menu's d; "tem" and Tab become the tempo menu.
  const RunResult first = project.runOnTerminal("opt\rd\r\x1b[A\rd\rmix\r1v-6\rd\rtem\t\r4\rx\r");
  EXPECT_EQ(first.exitStatus, 0) << first.out;
  EXPECT_EQ(count(first.out, "Options:"), 2U) << first.out;
  EXPECT_EQ(count(first.out, "4 = done"), 1U) << first.out;
  EXPECT_EQ(readBytes(project.home() / ".local/state/varnow/history"),
            "opt\nmix\n1v-6\nd\ntempo\nx\n");
  // The next run recalls the last line of the first one: x.
  EXPECT_EQ(project.runOnTerminal("\x1b[A\r").exitStatus, 0);
  // XDG_STATE_HOME holds the history instead; a run keeps its newest 1000 lines.
  const fs::path state = project.home() / "state";
  std::string old;
  for (int i = 1; i <= 1005; ++i)
    old += std::to_string(i) + "\n";
  fs::create_directories(state / "varnow");
  writeBytes(state / "varnow/history", old);
  EXPECT_EQ(project.runOnTerminal("x\r", "XDG_STATE_HOME=" + state.string()).exitStatus, 0);
  EXPECT_EQ(readBytes(state / "varnow/history"), old.substr(old.find("\n6\n") + 1) + "x\n");

  project.writeFile("param.txt", "dv\tnosuchcard\n");
  const RunResult refused = project.runOnTerminal("");
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_TRUE(has(refused.out,
                  "Playback device could not be opened: No such file or directory\r\n"
                  "Try the device default or a plughw: device (the dv line of "
                  "param.txt); varnow --list-devices shows the devices of this machine."));
}

TEST(FirstRun, DialogCreatesListsAndSettingsUnlessCancelledCutShortOrTheDeviceIsMissing) {
  ProjectFixture project;
  // Words before "c" are skipped; "2" picks 48000 Hz.
  const RunResult result = project.run("hello c 2 2 4 vcard 2\nx\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            kBanner + kDialogStart + dialogQuestions(1) + createdLists("record.txt", "play.txt") +
                requestedParameters("vcard", 48000, 1024, 2, 2, 4) +
                driverReport(1024, 48000, 2, 2) + "Created param.txt file\n" + kZeroMenu + "\n");
  EXPECT_EQ(project.readFile("param.txt"),
            "dv\tvcard\nsr\t48000\ninputs\t2\noutputs\t2\nch\t4\nbuf\t1024\nint\t1\n");
  EXPECT_EQ(project.files(), ProjectFixture::withListFiles({}));
  EXPECT_EQ(project.readFile("record.txt") + project.readFile("play.txt"), "");

  // Counts in hexadecimal and octal; a rate that is no menu choice is taken as
  // typed. A reply that is no number as a whole is consumed and asked again.
  ProjectFixture again;
  const RunResult asked = again.run("c abc 0x3 two 010 3x 1 vcard 09 44100 x\n");
  EXPECT_EQ(asked.exitStatus, 0);
  EXPECT_TRUE(asked.out.starts_with(kBanner + kDialogStart + dialogQuestions(2) + "---"));
  EXPECT_EQ(again.readFile("param.txt"),
            "dv\tvcard\nsr\t44100\ninputs\t3\noutputs\t8\nch\t8\nbuf\t1024\nint\t1\n");

  ProjectFixture cancelled;
  const RunResult x = cancelled.run("y x c\n");
  EXPECT_EQ(x.exitStatus, 2);
  EXPECT_EQ(x.out, kBanner + kDialogStart);
  EXPECT_TRUE(cancelled.files().empty());

  ProjectFixture ended;
  EXPECT_EQ(ended.run("c 2 2").exitStatus, 0);
  EXPECT_TRUE(ended.files().empty());

  // The device name keeps its first 63 characters; no such device: status 1.
  ProjectFixture missing;
  const RunResult bad = missing.run("c 2 2 2 " + std::string(70, 'v') + " 2 x\n");
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_EQ(bad.err, "Playback device could not be opened: No such file or directory\n");
  EXPECT_TRUE(bad.out.ends_with(requestedParameters(std::string(63, 'v'), 48000, 1024, 2, 2, 2)))
      << bad.out;
  EXPECT_EQ(missing.files(), (Names{"play.txt", "record.txt"}));

  // A card whose capture cannot be opened.
  ProjectFixture half("", "", "a.wav\n");
  half.appendAsoundrc(
      "pcm.halfcard {\n    type asym\n    playback.pcm \"null\"\n    capture.pcm \"nosuch\"\n}\n");
  half.writeFile("param.txt", "dv\thalfcard\n");
  const RunResult capture = half.run("x");
  EXPECT_EQ(capture.exitStatus, 1);
  EXPECT_EQ(capture.err, "unable to open pcm record device: No such file or directory\n");
  EXPECT_TRUE(capture.out.ends_with(requestedParameters("halfcard", 44100, 1024, 2, 2, 2)));
}

TEST(LaterRun, ReadsSettingsRoundsPointsAndCreatesMissingListsUnderTheDefaultNames) {
  ProjectFixture project("i\t1000\no\t96000\ne\t2049\nmem\t1\n", "", "a.wav\n");
  const RunResult result = project.run("s x this-is-never-read");
  EXPECT_EQ(result.exitStatus, 0);
  // 1000 -> 1024, 96000 -> 96256, 2049 -> 3072, memory 1 -> 1024.
  const std::string menu = secondsMenu("0.02", "2.01", "0.06", "0.06", "0.02");
  EXPECT_EQ(result.out, kBanner + requestedParameters("vcard", 48000, 1024, 2, 2, 2) +
                            driverReport(1024, 48000, 2, 2) + menu + kStored + menu + "\n");
  const std::string saved = project.readFile("param.txt");
  EXPECT_TRUE(has(saved, "\ni\t1024\no\t96256\ne\t3072\n"));
  EXPECT_TRUE(has(saved, "\nmem\t1024\n"));
  EXPECT_EQ(project.playback(), "");

  ProjectFixture lists;
  lists.writeParams("rec\t1\tmylist.txt\nplay\t1\tmine.txt\n");
  const RunResult missing = lists.run("x");
  EXPECT_EQ(missing.exitStatus, 0);
  // The messages name the lists in use, which stay missing (the exit asks);
  // the files created are record.txt and play.txt.
  EXPECT_TRUE(missing.out.starts_with(kBanner + createdLists("mylist.txt", "mine.txt")));
  EXPECT_EQ(lists.files(), ProjectFixture::withListFiles({}));
  EXPECT_TRUE(has(missing.out,
                  "Cannot find playlist file called mine.txt\n"
                  "Create the file or enter a different name\n"));

  // Existing record.txt and play.txt keep every line.
  lists.writeFile("record.txt", "vox.wav\n");
  lists.writeFile("play.txt", "drums.wav\n");
  const RunResult kept = lists.run("x play.txt record.txt");
  EXPECT_TRUE(has(kept.out, "mine.txt\n-------------------------\n-------------------------\nReq"));
  EXPECT_FALSE(has(kept.out, "Created a file"));
  EXPECT_EQ(lists.readFile("record.txt") + lists.readFile("play.txt"), "vox.wav\ndrums.wav\n");
}

TEST(LaterRun, UnreadableSettingsEndTheRunAndReadOnesLimitTheChannelCountsAndPeriod) {
  // A param.txt that cannot be read is no missing one: nothing writes over it.
  for (const auto& [kind, message] :
       {std::pair{fs::file_type::fifo, "Could not read param.txt: it is not a regular file.\n"},
        std::pair{fs::file_type::symlink,
                  "Could not open param.txt: Too many levels of symbolic links.\n"},
        std::pair{fs::file_type::directory, "Could not read param.txt: Is a directory.\n"}}) {
    ProjectFixture project;
    if (kind == fs::file_type::fifo) project.makeFifo("param.txt");
    if (kind == fs::file_type::symlink) project.makeLinkLoop("param.txt");
    if (kind == fs::file_type::directory) fs::create_directory(project.dir() / "param.txt");
    const RunResult result = project.run("c 2 2 2 vcard 2 s x");
    EXPECT_EQ(result.exitStatus, 1) << message;
    EXPECT_EQ(result.out, kBanner + message);
    EXPECT_EQ(fs::symlink_status(project.dir() / "param.txt").type(), kind);
    EXPECT_EQ(project.files(), Names{});
  }

  // Counts missing, negative or above 256 resolved in turn: tracks, inputs
  // (the track count when only the outputs are unset too), outputs, then
  // tracks at least as many as either and 2 when unset.
  const std::tuple<std::string, int, int, int> counts[] = {
      {"", 2, 2, 2},
      {"ch\t8\n", 8, 2, 8},
      {"ch\t0\n", 2, 2, 2},
      {"inputs\t4\noutputs\t10\nch\t2\n", 4, 10, 10},
      {"inputs\t-1\noutputs\t6\nch\t8\n", 2, 6, 8},
      {"inputs\t1\noutputs\t0\n", 1, 0, 2},
      {"inputs\t0\noutputs\t1\n", 0, 1, 2},
      {"outputs\t1\nch\t1\n", 2, 1, 2},
      {"ch\t0\ninputs\t0\noutputs\t0\n", 0, 0, 0},
  };
  for (const auto& [lines, inputs, outputs, tracks] : counts) {
    ProjectFixture project("", "", "x.wav\n");
    project.writeFile("param.txt", "dv\tvcard\nsr\t48000\n" + lines);
    EXPECT_TRUE(has(project.run("x").out,
                    requestedParameters("vcard", 48000, 1024, inputs, outputs, tracks)));
  }
  // 256 channels each way; the period request is shown as read, limited to
  // 16..4096 as 's' saves it.
  for (const auto& [requested, granted] :
       {std::pair{4097, 4096}, std::pair{4096, 4096}, std::pair{16, 16}, std::pair{15, 16}}) {
    ProjectFixture project("", "", "x.wav\n");
    project.writeFile("param.txt",
                      "dv\tvcard\nsr\t48000\nch\t300\ninputs\t300\noutputs\t512\nbuf\t" +
                          std::to_string(requested) + "\n");
    EXPECT_TRUE(
        has(project.run("s x").out, requestedParameters("vcard", 48000, requested, 256, 256, 256) +
                                        driverReport(granted, 48000, 256, 256)));
    EXPECT_TRUE(has(project.readFile("param.txt"), "\ninputs\t256\noutputs\t256\nch\t256\nbuf\t" +
                                                       std::to_string(granted) + "\n"));
  }
}

}  // namespace
}  // namespace varnow::testing
