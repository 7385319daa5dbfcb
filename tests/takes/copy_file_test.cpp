#include "takes/copy_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "take_test_files.hpp"
#include "timeline/scripted_replies.hpp"

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
