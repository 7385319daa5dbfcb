// What the unit tests of every room share: a scratch directory, the console
// fed from a text, the output of a call, a full disk.
#pragma once

#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>

#include "core/console_input.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {

// A fresh directory, removed with everything in it at the end of the test.
class TakeDir {
 public:
  explicit TakeDir(const std::string& parent = "/tmp") : path_(parent + "/varnow_unit_XXXXXX") {
    if (mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed in " << parent;
  }
  ~TakeDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // A mono 24-bit file with a 44-byte header stating exactly its samples.
  std::string wave(const std::string& name, const Samples& samples) const {
    writeBytes(file(name), wavFile(samples));
    return file(name);
  }
  std::vector<std::string> entries() const { return namesIn(path_); }  // sorted

 private:
  std::string path_;
};

template <typename Command>
std::string printedBy(Command&& command) {
  ::testing::internal::CaptureStdout();
  command();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// A console that reads `text`; while it lives it is also the program's own.
class ScriptedReplies {
 public:
  explicit ScriptedReplies(std::string text)
      : text_(std::move(text)), stream_(fmemopen(text_.data(), text_.size(), "r")) {
    setConsoleStream(stream_);
  }
  ~ScriptedReplies() {
    setConsoleStream(stdin);
    std::fclose(stream_);
  }
  ConsoleInput& input() { return input_; }

 private:
  std::string text_;
  std::FILE* stream_;
  ConsoleInput input_{stream_};
};

// While it lives, no file grows past `bytes`: writes beyond fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    const rlimit lowered{bytes, saved_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t handler_;
};

}  // namespace varnow::testing
