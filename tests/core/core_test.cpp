// The ground floor: numbers, failure sentences, text files, lists, stops.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "core/console_input.hpp"
#include "core/forced_exit_cleanup.hpp"
#include "core/regular_file.hpp"
#include "core/status.hpp"
#include "core/stop_request.hpp"
#include "core/text_file.hpp"
#include "core/track_list.hpp"
#include "core/unit_fixture.hpp"

namespace varnow {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::TakeDir;
using testing::writeBytes;

TEST(ConsoleInput, NumberRepliesAreWholeWordsInScanfFormsAndAlwaysConsumed) {
  testing::ScriptedReplies replies(
      "0x1F -0X1a -010 +7 09 12abc 0xg - name 9223372036854775806 99999999999999999999 1e2x " +
      std::string(600, 'w'));
  ConsoleInput& in = replies.input();
  const std::optional<std::int64_t> none;
  for (const auto expected :
       {std::optional<std::int64_t>(31), {-26}, {-8}, {7}, none, none, none, none})
    EXPECT_EQ(in.readWordAsNumber(), expected);
  EXPECT_EQ(in.readWord(), "name");
  EXPECT_EQ(in.readWordAsNumber(), INT64_MAX - 1);
  EXPECT_EQ(in.readWordAsNumber(), INT64_MAX);
  EXPECT_EQ(in.readFloat(), 100.0);  // a float reply leaves what follows the number
  EXPECT_EQ(in.readWord(), "x");
  EXPECT_EQ(in.readWord(), std::string(511, 'w'));  // a word is cut at 511 characters
  EXPECT_THROW(in.readFloat(), InputEnded);
}

TEST(TextFile, ReadsEveryByteAndReplacesOnlyWhenTheWholeTextIsWritten) {
  TakeDir dir;
  const std::string path = dir.file("param.txt");
  // Beyond the reader's piece, with NUL bytes.
  const std::string bytes = testing::packSamples(testing::staircase(70000));
  writeBytes(path, bytes);
  std::string text = "stale";
  ASSERT_TRUE(readWholeFile(path, text).ok());
  EXPECT_EQ(text, bytes);
  {
    const testing::FileSizeLimit full(100);
    EXPECT_EQ(writeFileAtomically(path, std::string(10000, 'x')).message(),
              "Could not write " + path + ": File too large.");
  }
  fs::create_directories(dir.file("occupied/inside"));
  EXPECT_EQ(writeFileAtomically(dir.file("occupied"), "text\n").message(),
            "Could not replace " + dir.file("occupied") + ": Is a directory.");
  EXPECT_EQ(readBytes(path), bytes);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"occupied", "param.txt"}));
}

TEST(RegularFile, ALinkToNothingIsThereAndOnlyANameThatHoldsNothingIsAbsent) {
  TakeDir dir;
  fs::create_symlink(dir.file("nowhere"), dir.file("link"));
  for (const auto& [name, absent] : {std::pair{"link", false}, {"none", true}}) {
    EXPECT_EQ(::open(dir.file(name).c_str(), O_RDONLY), -1);
    EXPECT_EQ(trulyAbsent(dir.file(name), errno), absent) << name;
  }
  EXPECT_FALSE(trulyAbsent(dir.file("none"), EACCES));
}

TEST(TrackList, AtMost256CountedLinesOfAnyLengthAndNoChannelOutside) {
  const TrackList list = parseTrackList("a.wav\n-\n", '-');
  for (const int channel : {2, 3, 0, -1})
    EXPECT_FALSE(list.isNamed(channel)) << channel;
  TakeDir dir;
  std::string text;  // 300 counted lines, far beyond 4095 bytes
  for (int line = 1; line <= 300; ++line)
    text += "track_" + std::to_string(line) + ".wav\n\n";
  writeBytes(dir.file("play.txt"), text);
  TrackList read;
  ASSERT_TRUE(readTrackListFile(dir.file("play.txt"), read).ok());
  EXPECT_EQ(read.lineCount(), 256);
  EXPECT_EQ(read.fileName(256), "track_256.wav");
  EXPECT_EQ(readTrackListFile(dir.file("none.txt"), read).message(),
            "Could not open " + dir.file("none.txt") + ": No such file or directory.");
  EXPECT_EQ(read.lineCount(), 0);
}

TEST(StopRequest, TerminationOutranksACtrlCAndTheRequestWakesReaders) {
  initStopRequests();
  const auto woken = [] {
    pollfd wait{stopRequestFd(), POLLIN, 0};
    return ::poll(&wait, 1, 0) == 1;
  };
  requestStop(SIGINT);
  EXPECT_FALSE(stopEndsRun());
  EXPECT_TRUE(woken());
  for (const int signal : {SIGHUP, SIGTERM, SIGINT})
    requestStop(signal);
  EXPECT_EQ(stopSignal(), SIGHUP);  // the first termination stays
  EXPECT_TRUE(stopEndsRun());
  clearStopRequest();
  EXPECT_EQ(stopSignal(), 0);
  EXPECT_FALSE(woken());
}

}  // namespace
}  // namespace varnow
