#include "app/console_input.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace varnow {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// A console reading the given text.
struct ScriptedConsole {
  explicit ScriptedConsole(std::string script) : text(std::move(script)) {
    file.reset(fmemopen(text.data(), text.size(), "r"));
  }
  std::string text;
  std::unique_ptr<std::FILE, FileCloser> file;
  ConsoleInput input{nullptr};
  ConsoleInput& get() {
    input = ConsoleInput(file.get());
    return input;
  }
};

TEST(ConsoleInput, WordsAreWhitespaceDelimitedAndCappedAt511Characters) {
  ScriptedConsole script("  p\tr \n\n R_take  " + std::string(600, 'w') + " last");
  ConsoleInput& in = script.get();
  EXPECT_EQ(in.readWord(), "p");
  EXPECT_EQ(in.readWord(), "r");
  EXPECT_EQ(in.readWord(), "R_take");
  EXPECT_EQ(in.readWord(), std::string(511, 'w'));
  EXPECT_EQ(in.readWord(), "last");
  EXPECT_THROW(in.readWord(), InputEnded);
}

TEST(ConsoleInput, NumbersAreReadLikeScanfAndNonNumbersStayForTheNextQuestion) {
  ScriptedConsole script("42 -7 +3 0x1F 010 09 12abc name 0xg 99999999999999999999999 1.5e2x");
  ConsoleInput& in = script.get();
  EXPECT_EQ(in.readInteger(), 42);
  EXPECT_EQ(in.readInteger(), -7);
  EXPECT_EQ(in.readInteger(), 3);
  EXPECT_EQ(in.readInteger(), 31);
  EXPECT_EQ(in.readInteger(), 8);
  // Octal stops at 9, which is left as the next number.
  EXPECT_EQ(in.readInteger(), 0);
  EXPECT_EQ(in.readInteger(), 9);
  // The digits are taken; the letters after them are the next word.
  EXPECT_EQ(in.readInteger(), 12);
  EXPECT_EQ(in.readWord(), "abc");
  // Not a number: nothing is consumed, and the word is still there.
  EXPECT_EQ(in.readInteger(), std::nullopt);
  EXPECT_EQ(in.readInteger(), std::nullopt);
  EXPECT_EQ(in.readWord(), "name");
  // "0x" without a hexadecimal digit reads 0 and leaves "xg".
  EXPECT_EQ(in.readInteger(), 0);
  EXPECT_EQ(in.readWord(), "xg");
  EXPECT_EQ(in.readInteger(), INT64_MAX);
  EXPECT_EQ(in.readFloat(), 150.0);
  EXPECT_EQ(in.readWord(), "x");
  EXPECT_THROW(in.readInteger(), InputEnded);
  EXPECT_THROW(in.readFloat(), InputEnded);
}

}  // namespace
}  // namespace varnow
