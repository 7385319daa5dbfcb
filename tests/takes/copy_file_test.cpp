#include "takes/copy_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "take_test_files.hpp"
#include "takes/file_clone.hpp"
#include "timeline/scripted_replies.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

using testing::printedBy;
using testing::readBytes;
using testing::TakeDir;

TEST(CopyFile, WritesAnIdenticalBackupNamedAfterTheBase) {
  TakeDir dir;
  // 10000 bytes: pieces of 4096, 4096 and 1808.
  std::string bytes(10000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7 % 251);
  const std::string source = dir.file("takes.v2.wav");
  testing::writeBytes(source, bytes);
  testing::writeBytes(dir.file("takes_bkup_77.wav"), "an older backup");

  Status copied = Status::success();
  const std::string out = printedBy([&] { copied = COPY_FILE(77, source); });
  EXPECT_TRUE(copied.ok());
  EXPECT_EQ(out, "Copied " + source + " to " + dir.file("takes_bkup_77.wav") + "\n");
  EXPECT_EQ(readBytes(dir.file("takes_bkup_77.wav")), bytes);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"takes.v2.wav", "takes_bkup_77.wav"}));
}

TEST(CopyFile, EveryWayOfCopyingGivesTheSameBytes) {
  TakeDir dir;
  std::string bytes(100000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 13 % 253);
  const std::string source = dir.file("song.wav");
  const std::string copy = dir.file("copy.wav");
  testing::writeBytes(source, bytes);
  // Each method falls through to the next where the file system lacks it.
  for (const CopyMethod first :
       {CopyMethod::kClone, CopyMethod::kCopyRange, CopyMethod::kPlainCopy}) {
    const FileHandle from = openFile(source, "rb");
    FileHandle to = openFile(copy, "wb");
    ASSERT_TRUE(from && to);
    const Status copied =
        copyFileBytes(::fileno(from.get()), source, ::fileno(to.get()), copy, 100000, first);
    EXPECT_TRUE(copied.ok()) << copied.message();
    to.reset();
    EXPECT_EQ(readBytes(copy), bytes) << static_cast<int>(first);
    if (first == CopyMethod::kClone) continue;  // a clone takes the whole file
    to = openFile(copy, "wb");
    EXPECT_EQ(copyFileBytes(::fileno(from.get()), source, ::fileno(to.get()), copy, 100010, first)
                  .message(),
              "Could not read " + source + ": the file ended 10 bytes early.");
  }
}

// A missing source is checked through the binary ('cin' in the e2e take menu).
TEST(CopyFile, ReportsABackupThatCannotBeMade) {
  TakeDir dir;
  Status copied = Status::success();
  // The backup's name is taken by a directory: the copy is made, the rename
  // fails, and the scratch copy is removed.
  const std::string source = dir.wave("vox.wav", testing::staircase(10));
  std::filesystem::create_directories(dir.file("vox_bkup_5.wav/inside"));
  const std::string out = printedBy([&] { copied = COPY_FILE(5, source); });
  EXPECT_EQ(out, "Cannot create backup file " + dir.file("vox_bkup_5.wav") + "\n");
  EXPECT_FALSE(copied.ok());
  EXPECT_NE(copied.message().find(dir.file("vox_bkup_5.wav")), std::string::npos);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"vox.wav", "vox_bkup_5.wav"}));
}

}  // namespace
}  // namespace varnow
