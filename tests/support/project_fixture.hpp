// End-to-end harness: a temporary project directory and a temporary HOME
// whose .asoundrc defines the virtual card "vcard" (playback written to a raw
// file, capture read from a raw file), and runners for the real binary.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/audio_signals.hpp"

namespace varnow::testing {

using std::chrono::milliseconds;
inline constexpr milliseconds kRunLimit{30000};

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void writeBytes(const std::filesystem::path& path, const std::string& bytes);
// A FIFO made at `path` and opened at both ends, without waiting for a peer.
int openFifo(const std::filesystem::path& path);
// The names in `dir`, sorted; only those of regular files when `regularOnly`.
std::vector<std::string> namesIn(const std::filesystem::path& dir, bool regularOnly = false);
// An .asoundrc card `name` whose playback goes to one file and capture comes from another.
std::string cardDefinition(const std::string& name, const std::string& playPath,
                           const std::string& capturePath);

// Equal sequences, or the sizes and the first difference (never megabytes).
template <typename Sequence>
::testing::AssertionResult same(const Sequence& actual, const Sequence& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto at = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  return ::testing::AssertionFailure() << actual.size() << " items instead of " << expected.size()
                                       << ", first difference at " << at.first - actual.begin();
}

// The program under test (VARNOW_UNDER_TEST names another build of it, such
// as the Release one) and the demo's card pacer.
inline std::string varnowBinary() {
  const char* other = std::getenv("VARNOW_UNDER_TEST");
  return other != nullptr ? other : VARNOW_BINARY;
}
inline std::string pacerBinary() {
  return VARNOW_PACER;
}

struct RunResult {
  int exitStatus = -1;  // -1 when it was killed
  bool timedOut = false;
  std::string out;  // standard output
  std::string err;  // standard error
};

class ProjectFixture {
 public:
  ProjectFixture();
  // A project at 48000 Hz, 1024-frame periods, `settings` last in param.txt.
  explicit ProjectFixture(const std::string& settings, const std::string& playList = "",
                          const std::string& recordList = "", int inputs = 2, int outputs = 2,
                          int tracks = 2);
  ~ProjectFixture();
  ProjectFixture(const ProjectFixture&) = delete;
  ProjectFixture& operator=(const ProjectFixture&) = delete;

  const std::filesystem::path& dir() const { return projectDir_; }
  const std::filesystem::path& home() const { return homeDir_; }
  std::string path(const std::string& name) const { return (projectDir_ / name).string(); }

  // Files of the project directory.
  void writeFile(const std::string& name, const std::string& bytes) const {
    writeBytes(projectDir_ / name, bytes);
  }
  void writeWave(const std::string& name, const Samples& samples) const {
    writeFile(name, wavFile(samples));
  }
  std::string readFile(const std::string& name) const { return readBytes(projectDir_ / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(projectDir_ / name); }
  void remove(const std::string& name) const { std::filesystem::remove(projectDir_ / name); }
  // Names that hold no regular file: a FIFO (whose open blocks until a writer
  // comes) and a link to itself (whose open fails with ELOOP, even for root).
  void makeFifo(const std::string& name) const;
  void makeLinkLoop(const std::string& name) const {
    std::filesystem::create_symlink(name, projectDir_ / name);
  }
  // The regular files, sorted; `others` with the three list files.
  std::vector<std::string> files() const { return namesIn(projectDir_, true); }
  static std::vector<std::string> withListFiles(std::vector<std::string> others);
  // The one file named prefix, digits, suffix (a name with a time stamp), or "".
  std::string stamped(const std::string& prefix, const std::string& suffix) const;
  // The file holds exactly a canonical mono file of `samples`, and sox agrees.
  ::testing::AssertionResult holds(const std::string& name, const Samples& samples) const;
  // sox, an independent reader, sees `frames` frames of packed 24-bit `raw`.
  ::testing::AssertionResult soxReads(const std::string& name, std::size_t frames,
                                      const std::string& raw) const;

  // param.txt naming the virtual card, followed by the given extra lines.
  void writeParams(const std::string& extraLines, int inputs = 2, int outputs = 2,
                   int tracks = 2) const;
  // Adds PCM definitions to the home's .asoundrc, or defines the virtual
  // card anew with these play and capture files (FIFOs: see paced_card.hpp).
  void appendAsoundrc(const std::string& text) const {
    writeBytes(homeDir_ / ".asoundrc", readBytes(homeDir_ / ".asoundrc") + text);
  }
  void defineCard(const std::string& playPath, const std::string& capturePath) const;
  // Raw interleaved S24_3LE bytes the card's capture returns, and its playback got.
  void writeCapture(const std::string& bytes) const { writeBytes(root_ / "capture.raw", bytes); }
  std::string playback() const { return readBytes(root_ / "play.raw"); }

  // The next runs run on processor `cpu` alone (-1: anywhere), as the paced
  // card's thread does.
  void runOnCpu(int cpu) { cpu_ = cpu; }
  // Files of the next runs cannot grow past `bytes` (EFBIG); 0 lifts it.
  void setFileSizeLimit(std::uint64_t bytes) { fileSizeLimit_ = bytes; }
  // The next runs fail the calls that `rules` name ("pwrite:*/vox.wav:2:EIO;...",
  // the grammar is in fault_injector.cpp); "" lifts them. firedFaults() lists,
  // a line each, the faults that fired in the last run ("pwrite /.../vox.wav #2 EIO").
  void injectFaults(const std::string& rules) { faultRules_ = rules; }
  std::string firedFaults() const { return readBytes(root_ / "faults.log"); }
  std::vector<std::string> firedFaultLines() const;

  // Runs varnow (or any command) in the project with the temporary HOME and
  // the given standard input; kills it after the limit.
  RunResult run(const std::string& input, milliseconds limit = kRunLimit) const {
    return runCommand({varnowBinary()}, input, limit);
  }
  RunResult runCommand(const std::vector<std::string>& command, const std::string& input,
                       milliseconds limit = kRunLimit) const;
  // Runs to the end with status 0 and returns what it printed after the
  // driver report (the whole output if there was none).
  std::string console(const std::string& input, milliseconds limit = kRunLimit) const;
  // Runs varnow on a pseudo-terminal (TERM=xterm and `variable`, "NAME=value")
  // with `keys` typed ahead; `out` holds all the terminal showed.
  RunResult runOnTerminal(const std::string& keys, const std::string& variable = "",
                          milliseconds limit = kRunLimit) const;

 private:
  friend class LiveRun;
  pid_t spawn(int stdinFd, const std::vector<std::string>& command) const;
  RunResult collect(pid_t child, milliseconds limit) const;

  std::filesystem::path root_, projectDir_, homeDir_;
  std::uint64_t fileSizeLimit_ = 0;
  int cpu_ = -1;
  std::string faultRules_;
};

// The program running while the test writes its standard input bit by bit
// and sends it signals. The destructor kills it if it still runs.
class LiveRun {
 public:
  explicit LiveRun(const ProjectFixture& project);
  ~LiveRun();
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;

  void send(const std::string& text) const;
  void signal(int signalNumber) const;
  // Standard output so far.
  std::string output() const;
  // Waits until standard output holds `text`; false after the limit.
  bool waitForOutput(const std::string& text, milliseconds limit = milliseconds(10000)) const;
  // The program sleeps in a read or a write of `file`, with no signal left
  // to handle.
  bool blockedOn(const std::filesystem::path& file) const;
  RunResult finish(milliseconds limit = milliseconds(10000));

 private:
  const ProjectFixture& project_;
  int stdinFd_ = -1;
  pid_t child_ = -1;
};

// Polls `condition` every millisecond; false if still unmet after the limit.
template <typename Condition>
bool waitUntil(Condition condition, milliseconds limit = milliseconds(10000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

}  // namespace varnow::testing
