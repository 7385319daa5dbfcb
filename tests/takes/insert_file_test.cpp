#include "takes/insert_file.hpp"

#include <gtest/gtest.h>

#include "take_test_files.hpp"

namespace varnow {
namespace {

using testing::field32;
using testing::readBytes;
using testing::Samples;
using testing::staircase;
using testing::TakeDir;

// `destination` with `source` written over it from sample p (zeros fill a gap).
Samples punched(Samples destination, const Samples& source, std::size_t p) {
  if (destination.size() < p + source.size()) destination.resize(p + source.size(), 0);
  std::copy(source.begin(), source.end(), destination.begin() + static_cast<std::ptrdiff_t>(p));
  return destination;
}

TEST(InsertFile, OverwritesInsideTheDestinationAndLeavesItsHeaderAlone) {
  TakeDir dir;
  const std::string destination = dir.wave("song.wav", staircase(100));
  const std::string take = dir.wave("take.wav", staircase(5, 1000));
  const std::string before = readBytes(destination);

  ASSERT_TRUE(INSERT_FILE({destination, take, 10, 5}).ok());
  const std::string after = readBytes(destination);
  EXPECT_EQ(after.substr(0, 44), before.substr(0, 44));
  testing::expectSoxReads(destination, punched(staircase(100), staircase(5, 1000), 10));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav"}));
}

TEST(InsertFile, GrowsTheDestinationAcrossAndBeyondItsEnd) {
  TakeDir dir;
  const std::string take = dir.wave("take.wav", staircase(5, 1000));
  // Across the end: 98 + 5 = 103 samples.
  const std::string across = dir.wave("across.wav", staircase(100));
  ASSERT_TRUE(INSERT_FILE({across, take, 98, 5}).ok());
  EXPECT_EQ(field32(readBytes(across), 40), 309u);
  testing::expectSoxReads(across, punched(staircase(100), staircase(5, 1000), 98));

  // Beyond the end: samples 100 .. 104 are silence, 105 .. 109 the take.
  const std::string beyond = dir.wave("beyond.wav", staircase(100));
  ASSERT_TRUE(INSERT_FILE({beyond, take, 105, 5}).ok());
  EXPECT_EQ(field32(readBytes(beyond), 40), 330u);
  testing::expectSoxReads(beyond, punched(staircase(100), staircase(5, 1000), 105));
}

TEST(InsertFile, CopiesInPiecesAndTakesNoMoreThanTheSourceHolds) {
  TakeDir dir;
  // 3000 samples = 9000 bytes: pieces of 4096, 4096 and 808.
  const std::string take = dir.wave("take.wav", staircase(3000, -5000, 3));
  const std::string destination = dir.wave("song.wav", staircase(5000));
  ASSERT_TRUE(INSERT_FILE({destination, take, 1234, 3000}).ok());
  testing::expectSoxReads(destination, punched(staircase(5000), staircase(3000, -5000, 3), 1234));

  // A count below the source's length takes only that many samples; one
  // beyond it is cut to the source.
  const std::string shortTake = dir.wave("short.wav", staircase(4, 7000));
  const std::string partial = dir.wave("partial.wav", staircase(20));
  ASSERT_TRUE(INSERT_FILE({partial, shortTake, 2, 3}).ok());
  ASSERT_TRUE(INSERT_FILE({partial, shortTake, 10, 50}).ok());
  Samples expected = punched(staircase(20), staircase(3, 7000), 2);
  expected = punched(expected, staircase(4, 7000), 10);
  testing::expectSoxReads(partial, expected);

  // Nothing to insert: the file stays as it was.
  const std::string before = readBytes(partial);
  ASSERT_TRUE(INSERT_FILE({partial, shortTake, 30, 0}).ok());
  EXPECT_EQ(readBytes(partial), before);
}

}  // namespace
}  // namespace varnow
