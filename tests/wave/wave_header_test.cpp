#include "wave/wave_header.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "wave/size_repair.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_test_files.hpp"

namespace varnow {
namespace {

using testing::Bytes;
using testing::fieldAt;
using testing::readFileBytes;
using testing::ScratchDir;

std::string captured() {
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

TEST(WaveHeader, MonoHeaderBytesAreExact) {
  ScratchDir dir;
  const std::string path = dir.file("take.wav");
  ASSERT_TRUE(MAKE_HEADER(path, 48000, 0, 1).ok());
  const Bytes expected = {'R',  'I',  'F',  'F',  0x24, 0x00, 0x00, 0x00, 'W',  'A',  'V',
                          'E',  'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x01, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x80, 0x32, 0x02, 0x00, 0x03,
                          0x00, 0x18, 0x00, 'd',  'a',  't',  'a',  0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(readFileBytes(path), expected);

  // Re-creating truncates: the planned length is all that changes.
  ASSERT_TRUE(MAKE_HEADER(path, 48000, 1000, 1).ok());
  const Bytes planned = readFileBytes(path);
  ASSERT_EQ(planned.size(), 44u);
  EXPECT_EQ(fieldAt(planned, 4), 3036u);
  EXPECT_EQ(fieldAt(planned, 40), 3000u);

  // 1431655766 frames are 4294967298 bytes: written modulo 2^32.
  const WaveHeaderBytes huge = makeHeaderBytes(48000, 1431655766LL, 1);
  const Bytes hugeBytes(huge.begin(), huge.end());
  EXPECT_EQ(fieldAt(hugeBytes, 40), 2u);
  EXPECT_EQ(fieldAt(hugeBytes, 4), 38u);
}

TEST(WaveHeader, CreationFailureNamesTheFile) {
  ScratchDir dir;
  const std::string path = dir.file("missing_dir/take.wav");
  const Status status = MAKE_HEADER(path, 48000, 10, 1);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Could not create " + path + ": No such file or directory.");
}

TEST(SizeRepair, RepairsDataAndRiffSizesFromTheFileLength) {
  ScratchDir dir;
  const std::string path = dir.file("take.wav");
  ASSERT_TRUE(MAKE_HEADER(path, 48000, 1000, 1).ok());
  {
    Bytes withSamples = readFileBytes(path);
    const Bytes samples = testing::staircaseSamples(400);
    withSamples.insert(withSamples.end(), samples.begin(), samples.end());
    testing::writeFileBytes(path, withSamples);
  }
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(GET_LENGTH(path).frames, 400);

  const SizeRepairResult result = FIX_SIZE(path);
  EXPECT_EQ(captured(), "");
  ASSERT_TRUE(result.ok()) << result.message;
  const Bytes repaired = readFileBytes(path);
  ASSERT_EQ(repaired.size(), 44u + 1200u);
  EXPECT_EQ(fieldAt(repaired, 40), 1200u);
  EXPECT_EQ(fieldAt(repaired, 4), repaired.size() - 8);
  EXPECT_EQ(Bytes(repaired.begin() + 44, repaired.end()), testing::staircaseSamples(400));
  EXPECT_EQ(GET_LENGTH(path).frames, 400);
}

TEST(SizeRepair, FindsTheDataChunkBehindOtherChunks) {
  ScratchDir dir;
  const std::string path = dir.file("tagged.wav");
  Bytes list(5001, 'x');  // odd size: a pad byte follows
  testing::writeFileBytes(
      path,
      testing::riffFile({testing::chunk("fmt ", testing::pcmFormatBody(1, 48000, 24)),
                         testing::chunk("LIST", list), testing::chunkHeader("data", 0xFFFFFFFF),
                         testing::staircaseSamples(10)}));
  ASSERT_TRUE(FIX_SIZE(path).ok());
  const Bytes repaired = readFileBytes(path);
  const std::size_t dataTag = 12 + 24 + 8 + 5002;
  ASSERT_EQ(std::string(repaired.begin() + dataTag, repaired.begin() + dataTag + 4), "data");
  EXPECT_EQ(fieldAt(repaired, dataTag + 4), 30u);
  EXPECT_EQ(fieldAt(repaired, 4), repaired.size() - 8);
}

TEST(SizeRepair, ReportsMissingFilesAndDataChunks) {
  ScratchDir dir;
  const std::string missing = dir.file("absent.wav");
  const SizeRepairResult absent = FIX_SIZE(missing);
  EXPECT_EQ(absent.outcome, SizeRepairOutcome::kFileFailed);
  EXPECT_EQ(absent.message, "Could not open " + missing + ": No such file or directory.");

  const std::string noData = dir.file("nodata.wav");
  const Bytes original =
      testing::riffFile({testing::chunk("fmt ", testing::pcmFormatBody(1, 48000, 24))});
  testing::writeFileBytes(noData, original);
  const SizeRepairResult result = FIX_SIZE(noData);
  EXPECT_EQ(result.outcome, SizeRepairOutcome::kNoDataChunk);
  EXPECT_EQ(result.message, "Can't find data block in wave file!");
  EXPECT_EQ(readFileBytes(noData), original) << "a file without data must be left alone";
}

}  // namespace
}  // namespace varnow
