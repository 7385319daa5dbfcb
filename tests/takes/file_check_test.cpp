#include "takes/file_check.hpp"

#include <gtest/gtest.h>

#include "take_test_files.hpp"
#include "timeline/scripted_replies.hpp"

namespace varnow {
namespace {

using testing::printedBy;
using testing::ScriptedReplies;
using testing::TakeDir;

constexpr const char* kChoices =
    "Enter 'w' to overwrite\n"
    "Enter 'W' to overwrite and don't ask again.\n"
    "Enter 'r' to return to previous menu.\n";

TEST(FileCheck, CountsExistingFilesAndAsksWhatToDo) {
  TakeDir dir;
  const std::string list = dir.file("a.wav") + "\n-\n" + dir.file("b.wav") + "\n";
  bool dontAsk = false;
  bool goAhead = false;

  // None exists: go ahead without a word; likewise with no lines or count 0.
  ScriptedReplies none("");
  EXPECT_EQ(printedBy([&] { goAhead = FILE_CHECK(3, list, dontAsk, none.input()); }), "");
  EXPECT_TRUE(goAhead);

  dir.wave("b.wav", {1});
  EXPECT_TRUE(FILE_CHECK(0, list, dontAsk, none.input()));
  EXPECT_TRUE(FILE_CHECK(3, "", dontAsk, none.input()));

  // The wording for several files, 'w', 'r' and other answers are checked
  // through the binary (the e2e take menu); here, only the first `count`
  // lines are looked at, and 'W' sets the don't-ask flag.
  dir.wave("a.wav", {1});
  ScriptedReplies always("W");
  EXPECT_EQ(printedBy([&] { goAhead = FILE_CHECK(1, list, dontAsk, always.input()); }),
            std::string("-------------------------\n1 file exists!\n") + kChoices);
  EXPECT_TRUE(goAhead);
  EXPECT_TRUE(dontAsk);
}

}  // namespace
}  // namespace varnow
