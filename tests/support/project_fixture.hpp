// End-to-end harness: a temporary project directory and a temporary HOME
// whose .asoundrc defines the virtual card "vcard" (playback written to a raw
// file, capture read from a raw file), and a runner for the real binary.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace varnow::testing {

struct RunResult {
  int exitStatus = -1;  // the process's exit status; -1 when it was killed
  bool timedOut = false;
  std::string out;  // standard output
  std::string err;  // standard error
};

class ProjectFixture {
 public:
  ProjectFixture();
  ~ProjectFixture();
  ProjectFixture(const ProjectFixture&) = delete;
  ProjectFixture& operator=(const ProjectFixture&) = delete;

  const std::filesystem::path& dir() const { return projectDir_; }
  const std::filesystem::path& home() const { return homeDir_; }

  // Files of the project directory.
  void writeFile(const std::string& name, const std::string& bytes) const;
  std::string readFile(const std::string& name) const;
  bool exists(const std::string& name) const;
  void remove(const std::string& name) const;
  // Names in the project directory that hold no regular file: a FIFO (whose
  // open blocks until a writer comes) and a link to itself (whose open fails
  // with ELOOP, even for root).
  void makeFifo(const std::string& name) const;
  void makeLinkLoop(const std::string& name) const;
  // Names of the regular files in the project directory, sorted.
  std::vector<std::string> files() const;

  // param.txt naming the virtual card, followed by the given extra lines.
  void writeParams(const std::string& extraLines, int inputs = 2, int outputs = 2,
                   int tracks = 2) const;

  // Adds PCM definitions to the temporary home's .asoundrc.
  void appendAsoundrc(const std::string& text) const;

  // Defines the virtual card anew with these play and capture files (FIFOs
  // make a card that keeps the test's pace, see paced_card.hpp).
  void defineCard(const std::string& playPath, const std::string& capturePath) const;

  // Raw interleaved S24_3LE bytes the virtual card's capture returns.
  void writeCapture(const std::string& bytes) const;
  // Raw interleaved S24_3LE bytes written to the virtual card's playback.
  std::string playback() const;

  // Limits the size of every file the next runs write (RLIMIT_FSIZE, with
  // SIGXFSZ ignored so that writes fail with EFBIG instead); 0 lifts it.
  void setFileSizeLimit(std::uint64_t bytes) { fileSizeLimit_ = bytes; }

  // Runs varnow in the project directory with HOME set to the temporary home
  // and the given standard input; kills it after the limit.
  RunResult run(const std::string& input,
                std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

  // The same for any command: a program path followed by its arguments.
  RunResult runCommand(const std::vector<std::string>& command, const std::string& input,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

  // Runs varnow on a pseudo-terminal (TERM=xterm, no XDG_STATE_HOME unless
  // `environment` sets it as "NAME=value") with `keys` typed ahead: "\r" is
  // Enter, "\t" Tab, "\x1b[A" the up arrow. `out` holds everything the
  // terminal showed, standard error included.
  RunResult runOnTerminal(const std::string& keys, const std::vector<std::string>& environment = {},
                          std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

 private:
  std::filesystem::path root_;
  std::filesystem::path projectDir_;
  std::filesystem::path homeDir_;
  std::uint64_t fileSizeLimit_ = 0;

  friend class LiveRun;
  // Starts varnow in the project with `stdinFd` as its standard input.
  pid_t spawn(int stdinFd, const std::vector<std::string>& command) const;
  RunResult collect(pid_t child, std::chrono::milliseconds limit) const;
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
  // Waits until standard output holds `text`; false after the limit.
  bool waitForOutput(const std::string& text,
                     std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  // Waits for the end of the program (killed after the limit).
  RunResult finish(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  const ProjectFixture& project_;
  int stdinFd_ = -1;
  pid_t child_ = -1;
};

// Polls `condition` every millisecond; false when it is still not met after
// the limit.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The path of the program under test.
std::string varnowBinary();

// The path of the demo's card pacer.
std::string pacerBinary();

// Bytes of a mono (or multi-channel, interleaved) 24-bit WAV file with a
// canonical 44-byte header.
std::string wavFile(const std::vector<std::int32_t>& samples, std::uint32_t rate = 48000,
                    int channels = 1);

// Packed 24-bit little-endian bytes of the samples.
std::string packSamples(const std::vector<std::int32_t>& samples);

}  // namespace varnow::testing
