// What the rewriting operations leave behind when they cannot finish: the
// original files as they were, no scratch files, and a sentence saying why.
#include <gtest/gtest.h>

#include <filesystem>

#include "take_test_files.hpp"
#include "takes/copy_file.hpp"
#include "takes/insert_file.hpp"
#include "takes/pad_file.hpp"
#include "timeline/scripted_replies.hpp"

namespace varnow {
namespace {

using testing::readBytes;
using testing::staircase;
using testing::TakeDir;

// A wave file whose chunk list ends before any "data" chunk.
std::string withoutData(const TakeDir& dir, std::string_view name) {
  const std::string path = dir.file(name);
  testing::writeBytes(path, testing::wavFile(staircase(20)).substr(0, 36));
  return path;
}

TEST(TakeFaults, AMissingDataChunkIsItsOwnResultAndChangesNothing) {
  TakeDir dir;
  const std::string take = dir.wave("take.wav", staircase(50));
  const std::string song = dir.wave("song.wav", staircase(100));
  const std::string broken = withoutData(dir, "broken.wav");
  const std::string takeBytes = readBytes(take);
  const std::string songBytes = readBytes(song);
  const std::string brokenBytes = readBytes(broken);

  const RewriteResult padded = PAD_FILE(broken, 10);
  EXPECT_EQ(padded.outcome(), RewriteOutcome::kNoDataChunk);
  EXPECT_EQ(padded.message(), "Can't find data block in wave file!");
  // Into a destination without data, and from a source without data.
  EXPECT_EQ(INSERT_FILE({broken, take, 0, 50}).outcome(), RewriteOutcome::kNoDataChunk);
  EXPECT_EQ(INSERT_FILE({song, broken, 0, 50}).outcome(), RewriteOutcome::kNoDataChunk);

  EXPECT_EQ(readBytes(take), takeBytes);
  EXPECT_EQ(readBytes(song), songBytes);
  EXPECT_EQ(readBytes(broken), brokenBytes);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"broken.wav", "song.wav", "take.wav"}));
}

// Padding and inserting on a full disk are run through the binary (the e2e
// take menu faults); the backup of 'cin' is not.
TEST(TakeFaults, AFullDiskLeavesNoHalfBackup) {
  TakeDir dir;
  // 20000 samples: 60044 bytes. Files may not grow past 50000 bytes.
  const std::string song = dir.wave("song.wav", staircase(20000, 5));
  const std::string songBytes = readBytes(song);

  auto backup = testing::runWithFileSizeLimit(50000, [&](std::string& text) {
    Status copied = Status::success();
    text = testing::printedBy([&] { copied = COPY_FILE(3, song); });
    return copied.ok() ? 0 : 1;
  });
  EXPECT_EQ(backup.exitCode, 1);
  EXPECT_EQ(backup.text, "Cannot create backup file " + dir.file("song_bkup_3.wav") + "\n");

  EXPECT_EQ(readBytes(song), songBytes);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.wav"});
}

TEST(TakeFaults, ADestinationThatCannotBeWrittenIsRefused) {
  TakeDir dir;
  const std::string take = dir.wave("take.wav", staircase(10));
  const std::string takeBytes = readBytes(take);

  // The destination's name is taken by a directory (root may write any file,
  // but nobody can open a directory for updating).
  std::filesystem::create_directory(dir.file("song.wav"));
  const RewriteResult padDirectory = PAD_FILE(dir.file("song.wav"), 1);
  EXPECT_EQ(padDirectory.outcome(), RewriteOutcome::kFailed);
  EXPECT_EQ(padDirectory.message(), "Could not open " + dir.file("song.wav") + ": Is a directory.");

  // A file that carries the scratch file's name is not overwritten by a copy.
  const std::string padNamed = dir.wave("temp_pad.wav", staircase(7));
  const std::string padNamedBytes = readBytes(padNamed);
  EXPECT_EQ(PAD_FILE(padNamed, 2).message(), "Could not rewrite " + padNamed +
                                                 ": its scratch file " + padNamed +
                                                 " is one of the files being read.");
  EXPECT_EQ(readBytes(padNamed), padNamedBytes);
  EXPECT_EQ(readBytes(take), takeBytes);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav", "temp_pad.wav"}));
}

}  // namespace
}  // namespace varnow
