#include "takes/pad_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "take_test_files.hpp"

namespace varnow {
namespace {

using testing::field32;
using testing::readBytes;
using testing::Samples;
using testing::staircase;
using testing::TakeDir;

// The staircase 1 .. count preceded by `zeros` zero samples.
Samples paddedStaircase(std::size_t zeros, std::size_t count) {
  Samples samples(zeros, 0);
  const Samples stairs = staircase(count);
  samples.insert(samples.end(), stairs.begin(), stairs.end());
  return samples;
}

TEST(PadFile, InsertsExactlyThreeZeroBytesPerSampleBeforeTheFirstSample) {
  TakeDir dir;
  // 1024 and 1025 samples: one whole 3072-byte piece, and one with a 3-byte remainder.
  for (const std::int64_t frames : {1000, 1025, 1024, 1, 0}) {
    const std::string take = dir.wave("take.wav", staircase(300));
    const std::string before = readBytes(take);
    ASSERT_TRUE(PAD_FILE(take, frames).ok()) << frames;

    const std::string after = readBytes(take);
    const auto padBytes = static_cast<std::size_t>(frames) * 3;
    ASSERT_EQ(after.size(), 44 + padBytes + 900) << frames;
    // "WAVE", the fmt chunk and the "data" id are kept byte for byte.
    EXPECT_EQ(after.substr(8, 32), before.substr(8, 32));
    EXPECT_EQ(field32(after, 40), padBytes + 900) << frames;  // 3900 for 1000
    EXPECT_EQ(after.substr(44, padBytes), std::string(padBytes, '\0')) << frames;
    EXPECT_EQ(after.substr(44 + padBytes), before.substr(44)) << frames;
    testing::expectSoxReads(take, paddedStaircase(static_cast<std::size_t>(frames), 300));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"take.wav"}) << "scratch left behind";
  }
}

// True when the file system under `dir` leaves a hole where a file's end is
// moved without writing.
bool makesHoles(const TakeDir& dir) {
  const std::string probe = dir.file("probe");
  testing::writeBytes(probe, "");
  struct stat info {};
  const bool holes = ::truncate(probe.c_str(), 1 << 20) == 0 && ::stat(probe.c_str(), &info) == 0 &&
                     info.st_blocks * 512 < (1 << 20);
  std::filesystem::remove(probe);
  return holes;
}

TEST(PadFile, LeavesTheSilenceAsAHoleThatReadsBackAsZeros) {
  TakeDir dir;
  constexpr std::size_t kPadBytes = 3 * 4000000;  // 12 MB of silence before 1000 samples
  const std::string take = dir.wave("take.wav", staircase(1000));
  const std::string before = readBytes(take);
  ASSERT_TRUE(PAD_FILE(take, 4000000).ok());
  const std::string after = readBytes(take);
  ASSERT_EQ(after.size(), 44 + kPadBytes + 3000);
  EXPECT_EQ(after.substr(8, 32), before.substr(8, 32));
  EXPECT_EQ(field32(after, 40), kPadBytes + 3000);
  EXPECT_EQ(after.find_first_not_of('\0', 44), 44 + kPadBytes);
  EXPECT_EQ(after.substr(44 + kPadBytes), before.substr(44));
  if (!makesHoles(dir)) GTEST_SKIP() << "this file system makes no holes: the silence was written";
  struct stat info {};
  ASSERT_EQ(::stat(take.c_str(), &info), 0);
  EXPECT_LT(info.st_blocks * 512, 256 * 1024) << "bytes allocated to a padded take of 12 MB";
}

TEST(PadFile, KeepsChunksBeforeTheDataAndRepairsAPlannedHeader) {
  TakeDir dir;
  // A take whose header plans 1000 frames but holds 10, after a LIST chunk.
  std::string bytes = testing::wavFile(staircase(10));
  std::string list = "LIST";
  list += std::string("\x06\0\0\0", 4) + "abcdef";
  bytes.insert(36, list);
  bytes.replace(54, 4, std::string("\xb8\x0b\0\0", 4));  // data size 3000
  const std::string take = dir.file("take.wav");
  testing::writeBytes(take, bytes);
  ::chmod(take.c_str(), 0640);

  ASSERT_TRUE(PAD_FILE(take, 2).ok());
  const std::string after = readBytes(take);
  EXPECT_EQ(after.substr(8, 46), bytes.substr(8, 46));  // through the "data" id
  EXPECT_EQ(field32(after, 54), 36u);
  EXPECT_EQ(after.substr(58), std::string(6, '\0') + bytes.substr(58));
  struct stat info {};
  ASSERT_EQ(::stat(take.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u) << "the new file keeps the old permissions";
}

TEST(PadFile, WritesItsScratchFileBesideTheTake) {
  TakeDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  const std::string take = dir.wave("sub/take.wav", staircase(5));
  // A directory where the working directory's scratch file would go does not
  // matter; one beside the take does.
  std::filesystem::create_directory(dir.file("temp_pad.wav"));
  ASSERT_TRUE(PAD_FILE(take, 3).ok());
  testing::expectSoxReads(take, paddedStaircase(3, 5));

  std::filesystem::create_directory(dir.file("sub/temp_pad.wav"));
  const std::string before = readBytes(take);
  const RewriteResult blocked = PAD_FILE(take, 3);
  EXPECT_EQ(blocked.outcome(), RewriteOutcome::kFailed);
  EXPECT_EQ(blocked.message(),
            "Could not create " + dir.file("sub/temp_pad.wav") + ": Is a directory.");
  EXPECT_EQ(readBytes(take), before);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("sub/temp_pad.wav")));
}

}  // namespace
}  // namespace varnow
