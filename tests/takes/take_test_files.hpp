// Fixtures for the take operation tests: a scratch directory of wave files,
// an independent reader (sox) for everything the operations write, and a
// child process whose files cannot grow past a limit (a disk that fills up).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"

namespace varnow::testing {

using Samples = std::vector<std::int32_t>;

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// A fresh directory (under /tmp unless `parent` is given), removed with
// everything in it at the end of the test.
class TakeDir {
 public:
  explicit TakeDir(const std::string& parent = "/tmp") {
    std::string pattern = parent + "/varnow_takes_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed in " << parent;
    path_ = pattern;
  }
  ~TakeDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TakeDir(const TakeDir&) = delete;
  TakeDir& operator=(const TakeDir&) = delete;

  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  // A mono 24-bit file with a 44-byte header stating exactly its samples.
  std::string wave(std::string_view name, const Samples& samples) const {
    const std::string path = file(name);
    writeBytes(path, wavFile(samples));
    return path;
  }
  // Names of the entries of the directory, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// Standard output of a shell command.
inline std::string commandOutput(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char piece[4096];
  std::size_t bytes = 0;
  while ((bytes = std::fread(piece, 1, sizeof piece, pipe)) > 0)
    out.append(piece, bytes);
  pclose(pipe);
  return out;
}

// Checks that sox reads `path` as exactly `expected`: the sample count from
// `sox --i -s` and the samples from `sox F -t raw -` (packed 24-bit).
inline void expectSoxReads(const std::string& path, const Samples& expected) {
  const std::string count = commandOutput("sox --i -s '" + path + "' 2>/dev/null");
  EXPECT_EQ(std::stoll(count.empty() ? "-1" : count), static_cast<long long>(expected.size()))
      << path;
  const std::string raw = commandOutput("sox '" + path + "' -t raw - 2>/dev/null");
  EXPECT_EQ(channelOf(raw, 1, 0), expected) << path;
}

// What a function run in a child process returned and printed on stdout.
struct ChildRun {
  int exitCode = -1;
  std::string text;  // what the child wrote to its pipe
};

// Runs `body` in a child process whose files cannot grow beyond `limitBytes`
// (RLIMIT_FSIZE, with SIGXFSZ ignored so that the write fails with EFBIG).
// `body` returns the child's exit code and may fill the text sent back.
inline ChildRun runWithFileSizeLimit(std::uint64_t limitBytes,
                                     const std::function<int(std::string&)>& body) {
  int ends[2];
  if (pipe(ends) != 0) return {};
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{limitBytes, limitBytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string text;
    const int code = body(text);
    if (write(ends[1], text.data(), text.size()) < 0) _exit(99);
    _exit(code);
  }
  close(ends[1]);
  ChildRun run;
  char piece[1024];
  ssize_t bytes = 0;
  while ((bytes = read(ends[0], piece, sizeof piece)) > 0)
    run.text.append(piece, static_cast<std::size_t>(bytes));
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

}  // namespace varnow::testing
