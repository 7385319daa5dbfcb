#include "wave/wave_attributes.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "timeline/longest_file.hpp"
#include "wave/chunk_search.hpp"
#include "wave/length_rule.hpp"
#include "wave/wave_header.hpp"
#include "wave/wave_test_files.hpp"

namespace varnow {
namespace {

using testing::Bytes;
using testing::chunk;
using testing::chunkHeader;
using testing::pcmFormatBody;
using testing::riffFile;
using testing::ScratchDir;
using testing::staircaseSamples;
using testing::writeFileBytes;

std::string captured() {
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// A file with the 44-byte header for `plannedFrames`, followed by `presentFrames`
// staircase samples.
void writeTake(const std::string& path, std::int64_t plannedFrames, std::int64_t presentFrames) {
  const WaveHeaderBytes header = makeHeaderBytes(48000, plannedFrames, 1);
  Bytes bytes(header.begin(), header.end());
  const Bytes samples = staircaseSamples(presentFrames);
  bytes.insert(bytes.end(), samples.begin(), samples.end());
  writeFileBytes(path, bytes);
}

TEST(LengthRule, SmallerOfStatedAndPresentFrames) {
  EXPECT_EQ(playableFrames(3000, 44, 44 + 1200, 3), 400);  // short file plays to its end
  EXPECT_EQ(playableFrames(300, 44, 44 + 1200, 3), 100);   // bytes after the data are ignored
  EXPECT_EQ(playableFrames(-1, 44, 44 + 1200, 3), 400);    // FF FF FF FF: no stated limit
  EXPECT_EQ(playableFrames(-2147483648LL, 44, 44 + 30, 3), 10);
  EXPECT_EQ(playableFrames(3000, 44, 44 + 1202, 3), 400);  // a partial frame does not count
  EXPECT_EQ(playableFrames(301, 44, 44 + 1200, 3), 100);
  EXPECT_EQ(playableFrames(3000, 44, 44 + 1200, 6), 200);  // stereo frames
  EXPECT_EQ(playableFrames(3000, 80, 44, 3), 0);           // data start beyond the end
  EXPECT_EQ(playableFrames(3000, 44, 1244, 0), 0);
}

TEST(WaveAttributes, ReadsACanonicalTakeAndAppliesTheLengthRule) {
  ScratchDir dir;
  WaveAttributeTable table{};
  const std::string take = dir.file("take.wav");
  writeTake(take, 1000, 400);
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(GET_ATTRIBUTES(7, take, table).playable());
  EXPECT_EQ(table[7], (WaveAttributes{1, 44, 48000, 400, 3, 24}));
  EXPECT_EQ(table[6], WaveAttributes{});
  EXPECT_EQ(GET_LENGTH(take).frames, 400);

  const std::string extra = dir.file("extra.wav");
  writeTake(extra, 100, 150);  // 50 frames after the stated data
  EXPECT_TRUE(GET_ATTRIBUTES(0, extra, table).playable());
  EXPECT_EQ(table[0].lengthFrames, 100);
  EXPECT_EQ(GET_LENGTH(extra).frames, 100);

  const std::string unclosed = dir.file("unclosed.wav");
  Bytes bytes = riffFile({chunk("fmt ", pcmFormatBody(1, 44100, 24)),
                          chunkHeader("data", 0xFFFFFFFF), staircaseSamples(250)});
  writeFileBytes(unclosed, bytes);
  EXPECT_TRUE(GET_ATTRIBUTES(1, unclosed, table).playable());
  EXPECT_EQ(table[1], (WaveAttributes{1, 44, 44100, 250, 3, 24}));
  EXPECT_EQ(GET_LENGTH(unclosed).frames, 250);

  EXPECT_FALSE(GET_ATTRIBUTES(kMaxChannels, take, table).playable()) << "slot outside the table";
  EXPECT_FALSE(GET_ATTRIBUTES(-1, take, table).playable());
  EXPECT_EQ(captured(), "");
}

// '@' in a message stands for the file's path.
TEST(WaveAttributes, RejectsWithTheExactMessages) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::string attributesMessage;  // of GET_ATTRIBUTES
    std::string lengthMessage;      // of GET_LENGTH
  };
  const Bytes format24 = chunk("fmt ", pcmFormatBody(1, 48000, 24));
  const Case cases[] = {
      {"mono16.wav",
       riffFile({chunk("fmt ", pcmFormatBody(1, 48000, 16)), chunk("data", Bytes(20, 1))}),
       "@ is not a 24 bit file and will not be played\n", "24 bit wave files only!\n"},
      {"stereo24.wav",
       riffFile({chunk("fmt ", pcmFormatBody(2, 48000, 24)), chunk("data", Bytes(24, 1))}),
       "@ is not a mono file and will not be played\n", "Mono files only\n"},
      {"stereo16.wav",
       riffFile({chunk("fmt ", pcmFormatBody(2, 48000, 16)), chunk("data", Bytes(24, 1))}),
       "@ is not a mono file and will not be played\n", ""},
      {"nofmt.wav", riffFile({chunk("data", Bytes(24, 1))}),
       "Can't find format chunk in wave file!\n", "Can't find format chunk in wave file!\n"},
      {"nodata.wav", riffFile({format24, chunk("LIST", Bytes(24, 1))}),
       "Cannot find data block in file @!\n", "Can't find data block in wave file!\n"},
      {"absent.wav",
       {},
       "Cannot find file in track list called @!!\n",
       "Cannot find file in track list called @!!\n"},
  };
  ScratchDir dir;
  WaveAttributeTable table{};
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    if (!c.bytes.empty()) writeFileBytes(path, c.bytes);
    const auto withPath = [&path](std::string text) {
      const std::size_t at = text.find('@');
      return at == std::string::npos ? text : text.replace(at, 1, path);
    };
    ::testing::internal::CaptureStdout();
    const WaveCheck check = GET_ATTRIBUTES(1, path, table);
    EXPECT_EQ(playFileRejection(path, check), withPath(c.attributesMessage)) << c.name;
    const WaveLength length = GET_LENGTH(path);
    EXPECT_EQ(length.frames, 0) << c.name;
    EXPECT_EQ(captured(), "") << c.name;  // the callers print
    if (c.lengthMessage.empty()) continue;
    EXPECT_EQ(lengthRejection(path, length.check), withPath(c.lengthMessage)) << c.name;
  }
}

TEST(ChunkWalk, FindsCanonicalOffsetsAndSkipsWholeChunks) {
  ScratchDir dir;
  const std::string canonical = dir.file("canonical.wav");
  writeTake(canonical, 10, 10);
  std::FILE* file = std::fopen(canonical.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(findChunk(file, kFormatChunkId).tagByte, 12);
  const ChunkLocation data = findChunk(file, kDataChunkId);
  EXPECT_EQ(data.tagByte, 36);
  EXPECT_EQ(data.bodyByte(), 44);
  EXPECT_EQ(data.sizeField, 30);
  EXPECT_FALSE(findChunk(file, "LIST").found());
  std::fclose(file);

  // A 200000-byte metadata chunk that spells "data" at even offsets, an odd
  // chunk with its pad byte, then the real data chunk far past 131072.
  Bytes metadata(200000, 0);
  for (std::size_t at = 100; at + 8 < metadata.size(); at += 5000) {
    metadata[at] = 'd';
    metadata[at + 1] = 'a';
    metadata[at + 2] = 't';
    metadata[at + 3] = 'a';
  }
  const std::string tagged = dir.file("tagged.wav");
  writeFileBytes(
      tagged, riffFile({chunk("LIST", metadata), chunk("fmt ", pcmFormatBody(1, 96000, 24)),
                        chunk("junk", Bytes(3, 'd')), chunk("data", staircaseSamples(64, -32))}));
  WaveAttributeTable table{};
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(GET_ATTRIBUTES(5, tagged, table).playable());
  const std::int64_t dataStart = 12 + 8 + 200000 + 8 + 16 + 8 + 4 + 8;
  EXPECT_EQ(table[5], (WaveAttributes{1, dataStart, 96000, 64, 3, 24}));
  EXPECT_EQ(GET_LENGTH(tagged).frames, 64);
  EXPECT_EQ(captured(), "");
  const Bytes bytes = testing::readFileBytes(tagged);
  EXPECT_EQ(Bytes(bytes.begin() + dataStart, bytes.end()), staircaseSamples(64, -32));
}

TEST(ChunkWalk, RejectsABrokenChunkList) {
  ScratchDir dir;
  const std::string broken = dir.file("broken.wav");
  // The LIST chunk claims more bytes than the file holds, before any data.
  Bytes bytes = riffFile({chunk("fmt ", pcmFormatBody(1, 48000, 24)), chunkHeader("LIST", 100000)});
  const Bytes trailing = chunk("data", staircaseSamples(4));
  bytes.insert(bytes.end(), trailing.begin(), trailing.end());
  writeFileBytes(broken, bytes);
  WaveAttributeTable table{};
  EXPECT_EQ(playFileRejection(broken, GET_ATTRIBUTES(0, broken, table)),
            "Cannot find data block in file " + broken + "!\n");

  // A format chunk too short to hold its fields is no format chunk.
  const std::string shortFormat = dir.file("short_fmt.wav");
  writeFileBytes(shortFormat,
                 riffFile({chunk("fmt ", Bytes(8, 1)), chunk("data", staircaseSamples(4))}));
  EXPECT_EQ(playFileRejection(shortFormat, GET_ATTRIBUTES(0, shortFormat, table)),
            "Can't find format chunk in wave file!\n");
}

// sox writes mono 24-bit files in the extensible format: a 40-byte fmt
// chunk, then a fact chunk, then the data at offset 80.
TEST(ChunkWalk, AcceptsAFileWrittenBySox) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
  ScratchDir dir;
  const std::string path = dir.file("sine.wav");
  const std::string command = "sox -n -b 24 -c 1 -r 48000 '" + path + "' synth 0.1 sine 440";
  ASSERT_EQ(std::system(command.c_str()), 0);
  WaveAttributeTable table{};
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(GET_ATTRIBUTES(0, path, table).playable());
  EXPECT_EQ(GET_LENGTH(path).frames, 4800);
  EXPECT_EQ(captured(), "");
  EXPECT_EQ(table[0], (WaveAttributes{1, 80, 48000, 4800, 3, 24}));
}

TEST(LongestFile, MeasuresNamedEntriesAndSkipsMarkedOnes) {
  ScratchDir dir;
  const std::string first = dir.file("first.wav");
  const std::string skipped = dir.file("skipped.wav");
  const std::string third = dir.file("third.wav");
  writeTake(first, 400, 400);
  writeTake(skipped, 9000, 9000);
  writeTake(third, 1000, 700);
  const std::string list = dir.file("play.txt");
  const std::string text = first + "\n-" + skipped + "\n" + third + "\n";
  writeFileBytes(list, Bytes(text.begin(), text.end()));

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(SEEK_LONG_FILE(3, "-", list), 700);
  EXPECT_EQ(captured(), "Checking file " + first + "\nChecking file " + third + "\n");

  // Empty lines are not entries; only the first `count` entries count.
  const std::string sparse = first + "\n\n\n" + third + "\n" + skipped;
  writeFileBytes(list, Bytes(sparse.begin(), sparse.end()));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(SEEK_LONG_FILE(2, "-x", list), 700);
  EXPECT_EQ(SEEK_LONG_FILE(0, "-", list), 0);
  EXPECT_EQ(captured(), "Checking file " + first + "\nChecking file " + third + "\n");

  // A file that cannot be read is reported, then still announced.
  const std::string absent = dir.file("absent.wav");
  writeFileBytes(list, Bytes(absent.begin(), absent.end()));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(SEEK_LONG_FILE(5, "-", list), 0);
  EXPECT_EQ(SEEK_LONG_FILE(5, "-", dir.file("nolist.txt")), 0);
  EXPECT_EQ(captured(), "Cannot find file in track list called " + absent + "!!\nChecking file " +
                            absent + "\nPlaylist file called " + dir.file("nolist.txt") +
                            " was not found!\n");
}

}  // namespace
}  // namespace varnow
