#include "app/track_list.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
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

TEST(TrackList, KeepsTheFirst256CountedLinesOfAnyLongList) {
  // 300 counted lines with empty lines between them, far beyond 4095 bytes.
  std::string text;
  for (int line = 1; line <= 300; ++line)
    text += "track_" + std::to_string(line) + ".wav\n\n";
  ASSERT_GT(text.size(), 4095u);
  const TrackList list = parseTrackList(text);
  ASSERT_EQ(list.lineCount(), 256);
  EXPECT_EQ(list.fileName(1), "track_1.wav");
  EXPECT_EQ(list.fileName(256), "track_256.wav");
  EXPECT_FALSE(list.isNamed(257));
}

TEST(TrackList, ReadsAFileWholeAndSaysWhyItCannot) {
  std::string pattern = (fs::temp_directory_path() / "varnow-list-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const std::string path = (dir / "play.txt").string();
  std::string text;
  for (int line = 1; line <= 1000; ++line)
    text += (line % 3 == 0 ? std::string("-") : "f" + std::to_string(line) + ".wav") + "\n";
  std::ofstream(path, std::ios::binary) << text;

  TrackList list;
  ASSERT_TRUE(readTrackListFile(path, list).ok());
  EXPECT_EQ(list, parseTrackList(text));
  EXPECT_EQ(list.lineCount(), 256);
  EXPECT_EQ(list.fileName(2), "f2.wav");
  EXPECT_FALSE(list.isNamed(3));

  const std::string missing = (dir / "none.txt").string();
  const Status absent = readTrackListFile(missing, list);
  EXPECT_FALSE(absent.ok());
  EXPECT_EQ(absent.message(), "Could not open " + missing + ": No such file or directory.");
  EXPECT_EQ(list.lineCount(), 0);

  // A directory opens for reading but cannot be read: never an empty list
  // reported as success.
  ASSERT_TRUE(readTrackListFile(path, list).ok());
  std::FILE* directory = std::fopen(dir.c_str(), "r");
  ASSERT_NE(directory, nullptr);
  const Status unreadable = readTrackList(directory, dir.string(), list);
  EXPECT_FALSE(unreadable.ok());
  EXPECT_EQ(unreadable.message(), "Could not read " + dir.string() + ": Is a directory.");
  EXPECT_EQ(list.lineCount(), 0);

  fs::remove_all(dir);
}

}  // namespace
}  // namespace varnow
