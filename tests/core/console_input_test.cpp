#include "core/console_input.hpp"

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

// Word splitting, the 511-character cap and the end of input are checked end to
// end in tests/e2e/console_test.cpp.
TEST(ConsoleInput, NumbersAreReadLikeScanfAndNonNumbersStayForTheNextQuestion) {
  ScriptedConsole script("-7 09 12abc name 0xg 99999999999999999999999 1.5e2x");
  ConsoleInput& in = script.get();
  // Hexadecimal and octal counts are read end to end in
  // tests/e2e/startup_test.cpp.
  EXPECT_EQ(in.readInteger(), -7);
  // Octal stops at 9, which is left as the next number.
  EXPECT_EQ(in.readInteger(), 0);
  EXPECT_EQ(in.readInteger(), 9);
  // The digits are taken; the letters after them are the next word.
  EXPECT_EQ(in.readInteger(), 12);
  EXPECT_EQ(in.readWord(), "abc");
  // Not a number: nothing is consumed, and the word is still there.
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
