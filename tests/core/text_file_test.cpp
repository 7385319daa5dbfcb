#include "core/text_file.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace varnow {
namespace {

namespace fs = std::filesystem;

// A fresh directory under /tmp, removed with everything in it afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "varnow-text-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putContent(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  ASSERT_TRUE(out.good()) << path;
}

TEST(TextFile, ReadsEveryByteOfLargeAndOddFiles) {
  ScratchDirectory dir;
  const std::string path = dir.file("big.txt");
  // Larger than the reader's chunk, with NUL bytes and no final newline.
  std::string expected;
  for (int i = 0; i < 200000; ++i)
    expected += static_cast<char>(i % 251);
  putContent(path, expected);

  std::string text = "stale";
  ASSERT_TRUE(readWholeFile(path, text).ok());
  EXPECT_EQ(text, expected);

  putContent(path, "");
  ASSERT_TRUE(readWholeFile(path, text).ok());
  EXPECT_EQ(text, "");

  const std::string missing = dir.file("missing.txt");
  const Status failed = readWholeFile(missing, text);
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.message(), "Could not open " + missing + ": No such file or directory.");
}

TEST(TextFile, AtomicWriteKeepsOldFileOnFailureAndLeavesNoScratch) {
  ScratchDirectory dir;

  // Something that is not ours stands where the scratch file would go: it
  // is neither used nor removed, and the old file stays.
  const std::string path = dir.file("param.txt");
  putContent(path, "old settings\n");
  fs::create_directory(path + ".new");
  const Status blocked = writeFileAtomically(path, "new settings\n");
  EXPECT_FALSE(blocked.ok());
  EXPECT_EQ(blocked.message(), "Could not create " + path + ".new: Is a directory.");
  EXPECT_EQ(contentOf(path), "old settings\n");
  EXPECT_TRUE(fs::is_directory(path + ".new"));
  fs::remove(path + ".new");

  // The disk fills up half-way (a file size limit stands in for it).
  const std::string text(10000, 'x');
  auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit small = previous;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status full = writeFileAtomically(path, text);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &previous), 0);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(full.ok());
  EXPECT_EQ(full.message(), "Could not write " + path + ": File too large.");
  EXPECT_EQ(contentOf(path), "old settings\n");
  EXPECT_FALSE(fs::exists(path + ".new"));

  // The target is a directory: the finished scratch file cannot replace it.
  const std::string occupied = dir.file("occupied");
  fs::create_directories(occupied + "/inside");
  const Status notReplaced = writeFileAtomically(occupied, "text\n");
  EXPECT_FALSE(notReplaced.ok());
  EXPECT_EQ(notReplaced.message(), "Could not replace " + occupied + ": Is a directory.");
  EXPECT_TRUE(fs::is_directory(occupied + "/inside"));
  EXPECT_FALSE(fs::exists(occupied + ".new"));

  // Once nothing stands in the way the whole new content replaces the old.
  ASSERT_TRUE(writeFileAtomically(path, "").ok());
  EXPECT_EQ(contentOf(path), "");
  EXPECT_FALSE(fs::exists(path + ".new"));
}

}  // namespace
}  // namespace varnow
