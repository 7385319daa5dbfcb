#include "engine/take_files.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/console_input.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_header.hpp"
#include "wave/wave_test_files.hpp"

namespace varnow {
namespace {

using testing::Bytes;
using testing::fieldAt;
using testing::readFileBytes;
using testing::staircaseSamples;

using Armed = std::array<std::int32_t, kMaxChannels>;

// A fresh directory that is the working directory for the test's lifetime.
class WorkingDir {
 public:
  WorkingDir() : previous_(std::filesystem::current_path()) {
    char pattern[] = "/tmp/varnow_takes_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
      ADD_FAILURE() << "mkdtemp failed";
      return;
    }
    path_ = made;
    std::filesystem::current_path(path_);
  }
  ~WorkingDir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  WorkingDir(const WorkingDir&) = delete;
  WorkingDir& operator=(const WorkingDir&) = delete;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

struct StreamCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Makes the program's console read `script` until the end of the scope.
class ScriptedConsole {
 public:
  explicit ScriptedConsole(std::string script) : text_(std::move(script)) {
    file_.reset(fmemopen(text_.data(), text_.size(), "r"));
    setConsoleStream(file_.get());
  }
  ~ScriptedConsole() { setConsoleStream(stdin); }
  ScriptedConsole(const ScriptedConsole&) = delete;
  ScriptedConsole& operator=(const ScriptedConsole&) = delete;

 private:
  std::string text_;
  std::unique_ptr<std::FILE, StreamCloser> file_;
};

std::string captured() {
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

Armed armedInputs(std::initializer_list<int> channels) {
  Armed armed{};
  for (int channel : channels)
    armed[static_cast<std::size_t>(channel)] = 1;
  return armed;
}

std::vector<std::string> lines(const std::string& list) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t end = list.find('\n'); end != std::string::npos;
       start = end + 1, end = list.find('\n', start)) {
    result.push_back(list.substr(start, end - start));
  }
  EXPECT_EQ(start, list.size()) << "the last line has no line feed";
  return result;
}

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// The header of a mono take of 10000 frames at 48000 Hz, byte for byte.
const Bytes kHeader10000 = {
    'R',  'I',  'F',  'F',  0x54, 0x75, 0x00, 0x00,  // 30000 + 36
    'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',
    0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,  // PCM, one channel
    0x80, 0xBB, 0x00, 0x00,                          // 48000 Hz
    0x80, 0x32, 0x02, 0x00,                          // 144000 bytes per second
    0x03, 0x00, 0x18, 0x00,                          // align 3, 24 bits
    'd',  'a',  't',  'a',  0x30, 0x75, 0x00, 0x00,  // 30000 data bytes
};

TEST(TakeFiles, StampCountsSecondsFromTheOrigin) {
  std::tm origin{};
  origin.tm_year = 2012 - 1900;
  origin.tm_mon = 9;
  origin.tm_mday = 10;
  origin.tm_hour = 16;
  origin.tm_min = 9;
  const std::int64_t expected = std::time(nullptr) - timegm(&origin);
  EXPECT_NEAR(static_cast<double>(NewTime()), static_cast<double>(expected), 2.0);
}

TEST(TakeFiles, BaseNameIsTheLineBeforeItsFirstDotAfterLeadingDots) {
  EXPECT_EQ(takeBaseName("vox.wav"), "vox");
  EXPECT_EQ(takeBaseName("song.v2.take.wav"), "song");
  EXPECT_EQ(takeBaseName("..hidden.v2.wav"), "hidden");
  EXPECT_EQ(takeBaseName("plain"), "plain");
  EXPECT_EQ(takeBaseName("..."), "");
  EXPECT_EQ(takeBaseName(""), "");
  EXPECT_EQ(takeBaseName("./vox.wav"), "./vox");
  EXPECT_EQ(takeBaseName("mix/song.v2.wav"), "mix/song");
}

TEST(TakeFiles, AutomaticNamesCarryChannelStampAndPunchWithExactHeaders) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 4;
  request.recordLines = {"a.wav", "-", "c.wav", "-"};
  request.takeLength = 10000;
  std::string takeName;

  for (const Position punch : {Position{0}, Position{96000}}) {
    SCOPED_TRACE(punch);
    request.punchPoint = punch;
    Armed armed = armedInputs({0, 2});
    TakeFiles take;
    const std::int64_t before = NewTime();
    ::testing::internal::CaptureStdout();
    take.create(request, armed, takeName);
    EXPECT_EQ(captured(), "");
    const std::int64_t after = NewTime();

    const std::vector<std::string> list = lines(take.takeList());
    ASSERT_EQ(list.size(), 4u);
    const std::string suffix = punch == 0 ? ".wav" : "_stp_96000.wav";
    for (const int channel : {1, 3}) {
      const std::string& name = list[static_cast<std::size_t>(channel - 1)];
      const std::string prefix = "audio_ch_" + std::to_string(channel) + "_";
      ASSERT_TRUE(name.starts_with(prefix) && name.ends_with(suffix)) << name;
      const std::string digits =
          name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
      ASSERT_FALSE(digits.empty()) << name;
      ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << name;
      const std::int64_t stamp = std::stoll(digits);
      EXPECT_GE(stamp, before);
      EXPECT_LE(stamp, after);
      EXPECT_EQ(take.name(channel - 1), name);
      EXPECT_EQ(readFileBytes(name), kHeader10000);
    }
    EXPECT_EQ(list[1], "-");
    EXPECT_EQ(list[3], "-");
    EXPECT_EQ(armed, armedInputs({0, 2}));
    EXPECT_EQ(take.takeLength(), 10000);
  }
}

TEST(TakeFiles, PreemptiveNamesJoinBaseAndTakeName) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 3;
  request.recordLines = {"vox.wav", "..gtr.di.wav", "bass"};
  std::string takeName = "take2";
  Armed armed = armedInputs({0, 1, 2});
  TakeFiles take;
  take.create(request, armed, takeName);
  EXPECT_EQ(take.takeList(), "vox_take2.wav\ngtr_take2.wav\nbass_take2.wav\n");
  EXPECT_TRUE(std::filesystem::exists("gtr_take2.wav"));

  request.punchPoint = 96000;
  take.create(request, armed, takeName);
  EXPECT_EQ(take.takeList(),
            "vox_take2_stp_96000.wav\ngtr_take2_stp_96000.wav\nbass_take2_stp_96000.wav\n");
  EXPECT_EQ(takeName, "take2");
}

TEST(TakeFiles, ConflictAsksForAnotherNameAndTestsItAgain) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 2;
  request.recordLines = {"vox.wav", "bass.wav"};
  request.takeLength = 10000;
  for (const char* name : {"vox_take2.wav", "vox_take3.wav"}) {
    std::FILE* file = std::fopen(name, "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("old", file);
    std::fclose(file);
  }
  std::string takeName = "take2";
  Armed armed = armedInputs({0, 1});
  TakeFiles take;
  ScriptedConsole answers("take3\nw\nnext");
  ::testing::internal::CaptureStdout();
  take.create(request, armed, takeName);
  EXPECT_EQ(captured(),
            "The file named vox_take2.wav already exists!\n"
            "Enter a different take name or 'w' to overwrite this file\n"
            "or 'W' to overwrite all similar conflicts\n"
            "The file named vox_take3.wav already exists!\n"
            "Enter a different take name or 'w' to overwrite this file\n"
            "or 'W' to overwrite all similar conflicts\n");
  // The new take name holds for the later inputs too, and is handed back.
  EXPECT_EQ(take.takeList(), "vox_take3.wav\nbass_take3.wav\n");
  EXPECT_EQ(takeName, "take3");
  EXPECT_EQ(readFileBytes("vox_take3.wav"), kHeader10000);
  EXPECT_EQ(readFileBytes("vox_take2.wav"), bytesOf("old"));
  EXPECT_EQ(console().readWord(), "next");
}

TEST(TakeFiles, AnswerCapitalWAcceptsEveryLaterConflictOfTheTake) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 3;
  request.recordLines = {"a.wav", "b.wav", "c.wav"};
  for (const char* name : {"a_t.wav", "b_t.wav", "c_t.wav"}) {
    std::FILE* file = std::fopen(name, "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  std::string takeName = "t";
  Armed armed = armedInputs({0, 1, 2});
  TakeFiles take;
  {
    ScriptedConsole answers("W next");
    ::testing::internal::CaptureStdout();
    take.create(request, armed, takeName);
    const std::string out = captured();
    EXPECT_EQ(out,
              "The file named a_t.wav already exists!\n"
              "Enter a different take name or 'w' to overwrite this file\n"
              "or 'W' to overwrite all similar conflicts\n");
    EXPECT_EQ(take.takeList(), "a_t.wav\nb_t.wav\nc_t.wav\n");
    EXPECT_EQ(console().readWord(), "next");
  }
  // The flag lasts for one take only: the next asks again, and "w" settles
  // one conflict at a time.
  ScriptedConsole answers("w w w next");
  ::testing::internal::CaptureStdout();
  take.create(request, armed, takeName);
  const std::string out = captured();
  EXPECT_NE(out.find("The file named c_t.wav already exists!\n"), std::string::npos) << out;
  EXPECT_EQ(take.takeList(), "a_t.wav\nb_t.wav\nc_t.wav\n");
  EXPECT_EQ(console().readWord(), "next");
}

TEST(TakeFiles, NoArmedInputGivesDashLinesAndNoFiles) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 3;
  request.recordLines = {"-", "-", "-"};
  Armed armed{};
  std::string takeName;
  TakeFiles take;
  take.create(request, armed, takeName);
  take.open(armed);
  take.close(armed);
  EXPECT_EQ(take.takeList(), "-\n-\n-\n");
  EXPECT_TRUE(std::filesystem::is_empty("."));
  EXPECT_EQ(take.channelFlags(), Armed{});
}

TEST(TakeFiles, BlocksLandAfterTheHeaderAndCloseSetsTheChannelFlags) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 3;
  request.recordLines = {"a.wav", "b.wav", "-"};
  request.takeLength = 5000;
  std::string takeName;
  Armed armed = armedInputs({0, 1});
  TakeFiles take;
  take.create(request, armed, takeName);
  take.open(armed);
  EXPECT_EQ(armed, armedInputs({0, 1}));

  // Channel 0 gets the staircase from 0, channel 1 from 100000, in a full
  // block and then the 904 samples that complete the take.
  const Bytes first = staircaseSamples(5000, 0);
  const Bytes second = staircaseSamples(5000, 100000);
  const auto* firstBytes = reinterpret_cast<const std::int8_t*>(first.data());
  const auto* secondBytes = reinterpret_cast<const std::int8_t*>(second.data());
  take.write(0, firstBytes, 4096);
  take.write(1, secondBytes, 4096);
  take.write(0, firstBytes + 3 * 4096, 904);
  take.write(1, secondBytes + 3 * 4096, 904);
  take.write(2, firstBytes, 4096);  // not armed: ignored
  ::testing::internal::CaptureStdout();
  take.close(armed);
  EXPECT_EQ(captured(), "");

  for (const auto& [channel, samples] : {std::pair{0, first}, std::pair{1, second}}) {
    const WaveHeaderBytes header = makeHeaderBytes(48000, 5000, 1);
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), samples.begin(), samples.end());
    EXPECT_EQ(readFileBytes(take.name(channel)), file) << channel;
  }
  EXPECT_EQ(take.channelFlags(), armedInputs({0, 1}));
  EXPECT_EQ(take.takeList(), take.name(0) + "\n" + take.name(1) + "\n-\n");
}

TEST(TakeFiles, FileThatCannotBeCreatedIsReportedAndLeftOut) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 2;
  request.recordLines = {"nodir/vox.wav", "bass.wav"};
  request.takeLength = 10000;
  std::string takeName = "take2";
  Armed armed = armedInputs({0, 1});
  TakeFiles take;
  ::testing::internal::CaptureStdout();
  take.create(request, armed, takeName);
  EXPECT_EQ(captured(), "Could not create nodir/vox_take2.wav: No such file or directory.\n");
  EXPECT_EQ(armed, armedInputs({1}));
  EXPECT_EQ(take.takeList(), "-\nbass_take2.wav\n");
  EXPECT_EQ(take.name(0), "");

  take.open(armed);
  take.close(armed);
  EXPECT_EQ(take.channelFlags(), armedInputs({1}));
}

TEST(TakeFiles, FileThatCannotBeOpenedIsReportedAndLeftOut) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 2;
  request.recordLines = {"vox.wav", "bass.wav"};
  request.takeLength = 10000;
  std::string takeName = "t";
  Armed armed = armedInputs({0, 1});
  TakeFiles take;
  take.create(request, armed, takeName);
  ASSERT_TRUE(std::filesystem::remove("vox_t.wav"));
  ::testing::internal::CaptureStdout();
  take.open(armed);
  EXPECT_EQ(captured(),
            "Cannot find file in track list called vox_t.wav!!\n"
            "Can't open vox_t.wav for recording\n");
  EXPECT_EQ(armed, armedInputs({1}));
  EXPECT_EQ(take.takeList(), "-\nbass_t.wav\n");
  take.close(armed);
  EXPECT_EQ(take.channelFlags(), armedInputs({1}));
}

// Lowers the file-size limit of this process, with SIGXFSZ ignored so that a
// write past it fails with EFBIG; both are restored at the end of the scope.
class FileSizeLimit {
 public:
  FileSizeLimit() {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool lowerTo(rlim_t bytes) {
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  bool restore() { return setrlimit(RLIMIT_FSIZE, &saved_) == 0; }

 private:
  rlimit saved_{};
  sighandler_t previousHandler_ = SIG_DFL;
};

TEST(TakeFiles, FailedWriteStopsThatFileKeepsItsSamplesAndRepairsItsHeader) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 2;
  request.recordLines = {"vox.wav", "bass.wav"};
  request.takeLength = 3 * 4096;
  std::string takeName = "t";
  Armed armed = armedInputs({0, 1});
  TakeFiles take;
  take.create(request, armed, takeName);
  take.open(armed);

  const Bytes samples = staircaseSamples(3 * 4096);
  const auto* packed = reinterpret_cast<const std::int8_t*>(samples.data());
  take.write(0, packed, 4096);
  take.write(1, packed, 4096);
  {
    // Room for 100 more bytes: 33 samples and one byte of the next.
    FileSizeLimit limit;
    ASSERT_TRUE(limit.lowerTo(44 + 3 * 4096 + 100));
    take.write(0, packed + 3 * 4096, 4096);
    ASSERT_TRUE(limit.restore());
    // The other input goes on, and the failed one stays stopped.
    take.write(1, packed + 3 * 4096, 4096);
    take.write(0, packed + 6 * 4096, 4096);
    take.write(1, packed + 6 * 4096, 4096);
  }
  ::testing::internal::CaptureStdout();
  take.close(armed);
  EXPECT_EQ(captured(), "Could not write vox_t.wav: File too large. It holds 4129 samples.\n");

  const Bytes failed = readFileBytes("vox_t.wav");
  ASSERT_EQ(failed.size(), 44u + 3u * 4129u);
  EXPECT_EQ(Bytes(failed.begin() + 44, failed.end()), staircaseSamples(4129));
  EXPECT_EQ(fieldAt(failed, 40), 3u * 4129u);
  EXPECT_EQ(fieldAt(failed, 4), failed.size() - 8u);
  EXPECT_EQ(GET_LENGTH("vox_t.wav"), 4129);

  const Bytes whole = readFileBytes("bass_t.wav");
  const WaveHeaderBytes header = makeHeaderBytes(48000, 3 * 4096, 1);
  Bytes expected(header.begin(), header.end());
  expected.insert(expected.end(), samples.begin(), samples.end());
  EXPECT_EQ(whole, expected);
  // What was written is kept: both inputs belong to the take.
  EXPECT_EQ(take.channelFlags(), armedInputs({0, 1}));
  EXPECT_EQ(take.takeList(), "vox_t.wav\nbass_t.wav\n");
}

}  // namespace
}  // namespace varnow
