#include "engine/take_files.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/console_input.hpp"
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
    if (mkdtemp(pattern) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~WorkingDir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// Makes the program's console read `script` until the end of the scope.
class ScriptedConsole {
 public:
  explicit ScriptedConsole(std::string script) : text_(std::move(script)) {
    file_ = fmemopen(text_.data(), text_.size(), "r");
    setConsoleStream(file_);
  }
  ~ScriptedConsole() {
    setConsoleStream(stdin);
    std::fclose(file_);
  }

 private:
  std::string text_;
  std::FILE* file_;
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

Bytes header(std::int64_t frames) {
  const WaveHeaderBytes bytes = makeHeaderBytes(48000, frames, 1);
  return Bytes(bytes.begin(), bytes.end());
}

TEST(TakeFiles, BaseNameIsTheLineBeforeItsFirstDotAfterLeadingDots) {
  for (const auto& [line, base] : {std::pair{"vox.wav", "vox"},
                                   {"song.v2.take.wav", "song"},
                                   {"..hidden.v2.wav", "hidden"},
                                   {"plain", "plain"},
                                   {"...", ""},
                                   {"", ""},
                                   {"./vox.wav", "./vox"},
                                   {"mix/song.v2.wav", "mix/song"}}) {
    EXPECT_EQ(takeBaseName(line), base) << line;
  }
}

TEST(TakeFiles, NamesCarryChannelStampOrTakeNameAndPunchWithTheirFinalHeaders) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 4;
  request.recordLines = {"a.wav", "-", "..c.di.wav", "-"};
  request.takeLength = 10000;
  for (const Position punch : {Position{0}, Position{96000}}) {
    SCOPED_TRACE(punch);
    request.punchPoint = punch;
    const std::string stp = punch == 0 ? "" : "_stp_96000";
    Armed armed = armedInputs({0, 2});
    std::string takeName;
    TakeFiles take;
    ::testing::internal::CaptureStdout();
    take.create(request, armed, takeName);
    EXPECT_EQ(captured(), "");
    const std::string stamp = std::to_string(take.stamp());
    EXPECT_EQ(take.takeList(),
              "audio_ch_1_" + stamp + stp + ".wav\n-\naudio_ch_3_" + stamp + stp + ".wav\n-\n");
    EXPECT_EQ(readFileBytes(take.name(2)), header(10000));

    takeName = "take2";
    take.create(request, armed, takeName);
    EXPECT_EQ(take.takeList(), "a_take2" + stp + ".wav\n-\nc_take2" + stp + ".wav\n-\n");
    EXPECT_EQ(readFileBytes("c_take2" + stp + ".wav"), header(10000));
  }
}

TEST(TakeFiles, AnswerCapitalWHoldsForOneTakeOnly) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 3;
  request.recordLines = {"a.wav", "b.wav", "c.wav"};
  for (const char* name : {"a_t.wav", "b_t.wav", "c_t.wav"})
    std::fclose(std::fopen(name, "wb"));
  std::string takeName = "t";
  Armed armed = armedInputs({0, 1, 2});
  TakeFiles take;
  ScriptedConsole answers("W w w w next");
  ::testing::internal::CaptureStdout();
  take.create(request, armed, takeName);
  EXPECT_EQ(captured(),
            "The file named a_t.wav already exists!\n"
            "Enter a different take name or 'w' to overwrite this file\n"
            "or 'W' to overwrite all similar conflicts\n");
  // The next take asks again, and "w" settles one conflict at a time.
  ::testing::internal::CaptureStdout();
  take.create(request, armed, takeName);
  EXPECT_NE(captured().find("The file named c_t.wav already exists!\n"), std::string::npos);
  EXPECT_EQ(take.takeList(), "a_t.wav\nb_t.wav\nc_t.wav\n");
  EXPECT_EQ(console().readWord(), "next");

  // A question that the end of input (or a stop signal) cuts short leaves
  // no take file at all: none is made before every name is settled.
  request.takeLength = 500;
  std::filesystem::remove("a_t.wav");
  ::testing::internal::CaptureStdout();
  EXPECT_THROW(take.create(request, armed, takeName), InputEnded);
  EXPECT_EQ(captured(),
            "The file named b_t.wav already exists!\n"
            "Enter a different take name or 'w' to overwrite this file\n"
            "or 'W' to overwrite all similar conflicts\n");
  EXPECT_FALSE(std::filesystem::exists("a_t.wav"));
}

TEST(TakeFiles, FileThatCannotBeCreatedOrOpenedIsReportedAndLeftOut) {
  WorkingDir dir;
  TakeRequest request;
  request.inputs = 3;
  request.recordLines = {"nodir/vox.wav", "bass.wav", "gtr.wav"};
  request.takeLength = 10000;
  std::string takeName = "t";
  Armed armed = armedInputs({0, 1, 2});
  TakeFiles take;
  ::testing::internal::CaptureStdout();
  take.create(request, armed, takeName);
  EXPECT_EQ(captured(), "Could not create nodir/vox_t.wav: No such file or directory.\n");
  EXPECT_EQ(armed, armedInputs({1, 2}));
  EXPECT_EQ(take.name(0), "");

  ASSERT_TRUE(std::filesystem::remove("gtr_t.wav"));
  ::testing::internal::CaptureStdout();
  take.open(armed);
  EXPECT_EQ(captured(),
            "Cannot find file in track list called gtr_t.wav!!\n"
            "Can't open gtr_t.wav for recording\n");
  EXPECT_EQ(armed, armedInputs({1}));
  EXPECT_EQ(take.takeList(), "-\nbass_t.wav\n-\n");
  take.close(armed, 0);
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
  take.close(armed, 3 * 4096);
  EXPECT_EQ(captured(), "Could not write vox_t.wav: File too large. It holds 4129 samples.\n");

  const Bytes failed = readFileBytes("vox_t.wav");
  ASSERT_EQ(failed.size(), 44u + 3u * 4129u);
  EXPECT_EQ(Bytes(failed.begin() + 44, failed.end()), staircaseSamples(4129));
  EXPECT_EQ(fieldAt(failed, 40), 3u * 4129u);
  EXPECT_EQ(fieldAt(failed, 4), failed.size() - 8u);
  EXPECT_EQ(GET_LENGTH("vox_t.wav").frames, 4129);

  Bytes whole = header(3 * 4096);
  whole.insert(whole.end(), samples.begin(), samples.end());
  EXPECT_EQ(readFileBytes("bass_t.wav"), whole);
  // What was written is kept: both inputs belong to the take.
  EXPECT_EQ(take.channelFlags(), armedInputs({0, 1}));
  EXPECT_EQ(take.takeList(), "vox_t.wav\nbass_t.wav\n");
}

}  // namespace
}  // namespace varnow
