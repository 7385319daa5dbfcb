#include "support/project_fixture.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace varnow::testing {

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void spit(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path.string());
}

void appendLittleEndian(std::string& bytes, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

}  // namespace

std::string varnowBinary() {
#ifdef VARNOW_BINARY
  return VARNOW_BINARY;
#else
  return "varnow";
#endif
}

std::string pacerBinary() {
#ifdef VARNOW_PACER
  return VARNOW_PACER;
#else
  return "varnow_pacer";
#endif
}

namespace {

// Waits for `child` until the deadline, then kills it; fills the status fields.
void awaitChild(pid_t child, std::chrono::steady_clock::time_point deadline, RunResult& result) {
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!result.timedOut && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
}

void execute(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace

ProjectFixture::ProjectFixture() {
  std::string pattern = (fs::temp_directory_path() / "varnow-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  projectDir_ = root_ / "project";
  homeDir_ = root_ / "home";
  fs::create_directories(projectDir_);
  fs::create_directories(homeDir_);
  const std::string captureRaw = (root_ / "capture.raw").string();
  spit(captureRaw, "");
  defineCard((root_ / "play.raw").string(), captureRaw);
}

void ProjectFixture::defineCard(const std::string& playPath, const std::string& capturePath) const {
  spit(homeDir_ / ".asoundrc",
       "pcm.vcard {\n"
       "    type asym\n"
       "    playback.pcm {\n"
       "        type file\n"
       "        slave.pcm \"null\"\n"
       "        file \"" +
           playPath +
           "\"\n"
           "        format \"raw\"\n"
           "    }\n"
           "    capture.pcm {\n"
           "        type file\n"
           "        slave.pcm \"null\"\n"
           "        file \"/dev/null\"\n"
           "        infile \"" +
           capturePath +
           "\"\n"
           "        format \"raw\"\n"
           "    }\n"
           "}\n");
}

ProjectFixture::~ProjectFixture() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void ProjectFixture::writeFile(const std::string& name, const std::string& bytes) const {
  spit(projectDir_ / name, bytes);
}

std::string ProjectFixture::readFile(const std::string& name) const {
  return slurp(projectDir_ / name);
}

bool ProjectFixture::exists(const std::string& name) const {
  return fs::exists(projectDir_ / name);
}

void ProjectFixture::remove(const std::string& name) const {
  fs::remove(projectDir_ / name);
}

void ProjectFixture::makeFifo(const std::string& name) const {
  if (mkfifo((projectDir_ / name).c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
}

void ProjectFixture::makeLinkLoop(const std::string& name) const {
  fs::create_symlink(name, projectDir_ / name);
}

std::vector<std::string> ProjectFixture::files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(projectDir_)) {
    std::error_code unresolvable;  // a link loop is no regular file
    if (entry.is_regular_file(unresolvable)) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void ProjectFixture::writeParams(const std::string& extraLines, int inputs, int outputs,
                                 int tracks) const {
  std::ostringstream text;
  text << "dv\tvcard\nsr\t48000\ninputs\t" << inputs << "\noutputs\t" << outputs << "\nch\t"
       << tracks << "\nbuf\t1024\n"
       << extraLines;
  writeFile("param.txt", text.str());
}

void ProjectFixture::appendAsoundrc(const std::string& text) const {
  spit(homeDir_ / ".asoundrc", slurp(homeDir_ / ".asoundrc") + text);
}

void ProjectFixture::writeCapture(const std::string& bytes) const {
  spit(root_ / "capture.raw", bytes);
}

std::string ProjectFixture::playback() const {
  return slurp(root_ / "play.raw");
}

RunResult ProjectFixture::run(const std::string& input, std::chrono::milliseconds limit) const {
  return runCommand({varnowBinary()}, input, limit);
}

RunResult ProjectFixture::runCommand(const std::vector<std::string>& command,
                                     const std::string& input,
                                     std::chrono::milliseconds limit) const {
  const fs::path inPath = root_ / "stdin.txt";
  spit(inPath, input);
  const int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw std::runtime_error("cannot open the test's standard input");
  const pid_t child = spawn(in, command);
  close(in);
  return collect(child, limit);
}

pid_t ProjectFixture::spawn(int stdinFd, const std::vector<std::string>& command) const {
  const fs::path outPath = root_ / "stdout.txt";
  const fs::path errPath = root_ / "stderr.txt";
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = stdinFd;
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(projectDir_.c_str()) != 0 || setenv("HOME", homeDir_.c_str(), 1) != 0) {
      _exit(127);
    }
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("XDG_STATE_HOME");
    if (fileSizeLimit_ > 0) {
      const rlimit sizeLimit{fileSizeLimit_, fileSizeLimit_};
      signal(SIGXFSZ, SIG_IGN);
      if (setrlimit(RLIMIT_FSIZE, &sizeLimit) != 0) _exit(126);
    }
    execute(command);
  }
  return child;
}

RunResult ProjectFixture::collect(pid_t child, std::chrono::milliseconds limit) const {
  RunResult result;
  awaitChild(child, std::chrono::steady_clock::now() + limit, result);
  result.out = slurp(root_ / "stdout.txt");
  result.err = slurp(root_ / "stderr.txt");
  return result;
}

RunResult ProjectFixture::runOnTerminal(const std::string& keys,
                                        const std::vector<std::string>& environment,
                                        std::chrono::milliseconds limit) const {
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) throw std::runtime_error("forkpty failed");
  if (child == 0) {
    if (chdir(projectDir_.c_str()) != 0 || setenv("HOME", homeDir_.c_str(), 1) != 0) _exit(127);
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("XDG_STATE_HOME");
    setenv("TERM", "xterm", 1);
    for (const std::string& setting : environment)
      putenv(const_cast<char*>(setting.c_str()));
    execute({varnowBinary()});
  }

  // Typed ahead: the terminal holds the keys until the program reads them.
  if (write(terminal, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
    throw std::runtime_error("cannot type on the pseudo-terminal");
  }
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (char chunk[4096];;) {
    pollfd ready{terminal, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline || poll(&ready, 1, 50) < 0) break;
    if (ready.revents == 0) continue;
    const ssize_t got = read(terminal, chunk, sizeof chunk);
    if (got <= 0) break;  // the program has ended and closed the terminal
    result.out.append(chunk, static_cast<std::size_t>(got));
  }
  awaitChild(child, deadline, result);
  close(terminal);
  return result;
}

LiveRun::LiveRun(const ProjectFixture& project) : project_(project) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  child_ = project.spawn(fds[0], {varnowBinary()});
  close(fds[0]);
  stdinFd_ = fds[1];
}

LiveRun::~LiveRun() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  close(stdinFd_);
}

void LiveRun::send(const std::string& text) const {
  if (write(stdinFd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot write the program's standard input");
  }
}

void LiveRun::signal(int signalNumber) const {
  kill(child_, signalNumber);
}

bool LiveRun::waitForOutput(const std::string& text, std::chrono::milliseconds limit) const {
  return waitUntil(
      [&] { return slurp(project_.root_ / "stdout.txt").find(text) != std::string::npos; }, limit);
}

RunResult LiveRun::finish(std::chrono::milliseconds limit) {
  return project_.collect(std::exchange(child_, -1), limit);
}

std::string packSamples(const std::vector<std::int32_t>& samples) {
  std::string bytes;
  bytes.reserve(samples.size() * 3);
  for (const std::int32_t sample : samples) {
    appendLittleEndian(bytes, static_cast<std::uint32_t>(sample), 3);
  }
  return bytes;
}

std::string wavFile(const std::vector<std::int32_t>& samples, std::uint32_t rate, int channels) {
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 3);
  const auto channelCount = static_cast<std::uint32_t>(channels);
  std::string bytes = "RIFF";
  appendLittleEndian(bytes, dataBytes + 36, 4);
  bytes += "WAVEfmt ";
  appendLittleEndian(bytes, 16, 4);
  appendLittleEndian(bytes, 1, 2);
  appendLittleEndian(bytes, channelCount, 2);
  appendLittleEndian(bytes, rate, 4);
  appendLittleEndian(bytes, rate * 3 * channelCount, 4);
  appendLittleEndian(bytes, 3 * channelCount, 2);
  appendLittleEndian(bytes, 24, 2);
  bytes += "data";
  appendLittleEndian(bytes, dataBytes, 4);
  bytes += packSamples(samples);
  return bytes;
}

}  // namespace varnow::testing
