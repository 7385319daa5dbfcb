#include "core/track_list.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace varnow {
namespace {

namespace fs = std::filesystem;

TEST(TrackList, CountedLinesSkipsAndNames) {
  // Empty lines do not count; "-" (or any line starting with it) skips its
  // channel; blanks are part of the name; the last line needs no newline.
  const TrackList list = parseTrackList("a.wav\n\n-\n\n my take .wav\n-old.wav\n\tlast.wav");
  ASSERT_EQ(list.lineCount(), 5);
  EXPECT_EQ(list.fileName(1), "a.wav");
  EXPECT_FALSE(list.isNamed(2));
  EXPECT_EQ(list.fileName(2), "");
  EXPECT_EQ(list.fileName(3), " my take .wav");
  EXPECT_FALSE(list.isNamed(4));
  EXPECT_EQ(list.fileName(5), "\tlast.wav");
  // Channels the list has no line for, and nonsense channels, have no file.
  EXPECT_FALSE(list.isNamed(6));
  EXPECT_FALSE(list.isNamed(0));
  EXPECT_FALSE(list.isNamed(-1));

  EXPECT_EQ(parseTrackList("").lineCount(), 0);
  EXPECT_EQ(parseTrackList("\n\n\n").lineCount(), 0);
  // A line of blanks is not empty: it counts, and names a file of blanks.
  const TrackList blanks = parseTrackList("  \nb.wav\n");
  ASSERT_EQ(blanks.lineCount(), 2);
  EXPECT_EQ(blanks.fileName(1), "  ");
  EXPECT_EQ(blanks.fileName(2), "b.wav");
  // Another marker character takes the place of "-".
  const TrackList marked = parseTrackList("-a.wav\n*\n", '*');
  EXPECT_EQ(marked.fileName(1), "-a.wav");
  EXPECT_FALSE(marked.isNamed(2));
}

TEST(TrackList, ReadsAFileWholeKeeping256CountedLines) {
  std::string pattern = (fs::temp_directory_path() / "varnow-list-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const std::string path = (dir / "play.txt").string();
  // 300 counted lines with empty lines between them, far beyond 4095 bytes.
  std::string text;
  for (int line = 1; line <= 300; ++line)
    text += (line % 3 == 0 ? "-track_" : "track_") + std::to_string(line) + ".wav\n\n";
  ASSERT_GT(text.size(), 4095u);
  std::ofstream(path, std::ios::binary) << text;

  TrackList list;
  ASSERT_TRUE(readTrackListFile(path, list).ok());
  ASSERT_EQ(list.lineCount(), 256);
  EXPECT_EQ(list.fileName(2), "track_2.wav");
  EXPECT_FALSE(list.isNamed(3));
  EXPECT_EQ(list.fileName(256), "track_256.wav");
  EXPECT_FALSE(list.isNamed(257));

  // A list that cannot be opened says why and is left empty. (One that
  // opens but cannot be read is checked end to end in track_lists_test.)
  const std::string missing = (dir / "none.txt").string();
  const Status absent = readTrackListFile(missing, list);
  EXPECT_EQ(absent.message(), "Could not open " + missing + ": No such file or directory.");
  EXPECT_EQ(list.lineCount(), 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace varnow
