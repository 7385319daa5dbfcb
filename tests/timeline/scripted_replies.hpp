// Console replies for unit tests: a ConsoleInput that reads a fixed text, and
// the standard output captured while a command runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/console_input.hpp"

namespace varnow::testing {

class ScriptedReplies {
 public:
  explicit ScriptedReplies(std::string text)
      : text_(std::move(text)), stream_(fmemopen(text_.data(), text_.size(), "r")) {
    if (stream_ == nullptr) throw std::runtime_error("fmemopen failed");
    input_ = std::make_unique<ConsoleInput>(stream_);
  }
  ~ScriptedReplies() { std::fclose(stream_); }
  ScriptedReplies(const ScriptedReplies&) = delete;
  ScriptedReplies& operator=(const ScriptedReplies&) = delete;

  ConsoleInput& input() { return *input_; }

 private:
  std::string text_;
  std::FILE* stream_;
  std::unique_ptr<ConsoleInput> input_;
};

// Runs `command` and returns what it printed on standard output.
template <typename Command>
std::string printedBy(Command&& command) {
  ::testing::internal::CaptureStdout();
  std::forward<Command>(command)();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

}  // namespace varnow::testing
