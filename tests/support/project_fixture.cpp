#include "support/project_fixture.hpp"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace varnow::testing {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path.string());
}

ProjectFixture::ProjectFixture() {
  std::string pattern = (fs::temp_directory_path() / "varnow-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  fs::create_directories(projectDir_ = root_ / "project");
  fs::create_directories(homeDir_ = root_ / "home");
  writeBytes(root_ / "capture.raw", "");
  defineCard((root_ / "play.raw").string(), (root_ / "capture.raw").string());
}

ProjectFixture::ProjectFixture(const std::string& settings, const std::string& playList,
                               const std::string& recordList, int inputs, int outputs, int tracks)
    : ProjectFixture() {
  writeParams(settings, inputs, outputs, tracks);
  writeFile("play.txt", playList);
  writeFile("record.txt", recordList);
}

ProjectFixture::~ProjectFixture() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string cardDefinition(const std::string& name, const std::string& playPath,
                           const std::string& capturePath) {
  return "pcm." + name + " {\n type asym\n playback.pcm { type file slave.pcm \"null\" file \"" +
         playPath + "\" format \"raw\" }\n capture.pcm { type file slave.pcm \"null\" file " +
         "\"/dev/null\" infile \"" + capturePath + "\" format \"raw\" }\n}\n";
}

void ProjectFixture::defineCard(const std::string& playPath, const std::string& capturePath) const {
  writeBytes(homeDir_ / ".asoundrc", cardDefinition("vcard", playPath, capturePath));
}

int openFifo(const std::filesystem::path& path) {
  if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path.string());
  return fd;
}

void ProjectFixture::makeFifo(const std::string& name) const {
  if (mkfifo(path(name).c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
}

std::vector<std::string> namesIn(const fs::path& dir, bool regularOnly) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::error_code unresolvable;  // a link loop is no regular file
    if (!regularOnly || entry.is_regular_file(unresolvable))
      names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ProjectFixture::withListFiles(std::vector<std::string> others) {
  others.insert(others.end(), {"param.txt", "play.txt", "record.txt"});
  std::sort(others.begin(), others.end());
  return others;
}

std::string ProjectFixture::stamped(const std::string& prefix, const std::string& suffix) const {
  std::string found;
  for (const std::string& name : files()) {
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix) ||
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size())
                .find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    EXPECT_TRUE(found.empty()) << "two files are named " << prefix << "*" << suffix;
    found = name;
  }
  return found;
}

::testing::AssertionResult ProjectFixture::holds(const std::string& name,
                                                 const Samples& samples) const {
  ::testing::AssertionResult bytes = same(readFile(name), wavFile(samples));
  if (!bytes) return bytes << " in " << name;
  return soxReads(name, samples.size(), packSamples(samples));
}

::testing::AssertionResult ProjectFixture::soxReads(const std::string& name, std::size_t frames,
                                                    const std::string& raw) const {
  // What sox writes to standard output for `arguments`; nothing when it fails.
  const auto sox = [this](const std::string& arguments) {
    const fs::path out = root_ / "sox.out";
    const std::string command = "sox " + arguments + " > '" + out.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 ? readBytes(out) : std::string();
  };
  const std::string quoted = "'" + path(name) + "'";
  if (sox("--i -s " + quoted) != std::to_string(frames) + "\n")
    return ::testing::AssertionFailure() << "sox reads another length from " << name;
  return same(sox(quoted + " -t s24 -"), raw) << " as sox reads " << name;
}

void ProjectFixture::writeParams(const std::string& extraLines, int inputs, int outputs,
                                 int tracks) const {
  writeFile("param.txt", "dv\tvcard\nsr\t48000\ninputs\t" + std::to_string(inputs) + "\noutputs\t" +
                             std::to_string(outputs) + "\nch\t" + std::to_string(tracks) +
                             "\nbuf\t1024\n" + extraLines);
}

RunResult ProjectFixture::runCommand(const std::vector<std::string>& command,
                                     const std::string& input, milliseconds limit) const {
  writeBytes(root_ / "stdin.txt", input);
  const int in = open((root_ / "stdin.txt").c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw std::runtime_error("cannot open the test's standard input");
  const pid_t child = spawn(in, command);
  close(in);
  return collect(child, limit);
}

std::string ProjectFixture::console(const std::string& input, milliseconds limit) const {
  const RunResult result = run(input, limit);
  EXPECT_EQ(result.exitStatus, 0) << result.out;
  EXPECT_FALSE(result.timedOut);
  const std::string reportEnd = "-----------------------------------------\n\n";
  const std::size_t at = result.out.find(reportEnd);
  return at == std::string::npos ? result.out : result.out.substr(at + reportEnd.size());
}

std::vector<std::string> ProjectFixture::firedFaultLines() const {
  std::vector<std::string> lines;
  std::istringstream log(firedFaults());
  for (std::string line; std::getline(log, line);)
    lines.push_back(line);
  return lines;
}

pid_t ProjectFixture::spawn(int stdinFd, const std::vector<std::string>& command) const {
  writeBytes(root_ / "faults.log", "");
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // no program outlives a test that was killed
    setpgid(0, 0);  // a group of its own, so that a kill takes what it started too
    const int out = open((root_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open((root_ / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(stdinFd, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(127);
    unsetenv("VARNOW_FAULTS");
    if (!faultRules_.empty()) {
      // The sanitizers' runtime does not mind being preceded by the injector.
      const char* asan = std::getenv("ASAN_OPTIONS");
      const std::string asanOptions =
          std::string(asan == nullptr ? "" : asan) + ":verify_asan_link_order=0";
      if (setenv("LD_PRELOAD", VARNOW_FAULTS, 1) != 0 ||
          setenv("VARNOW_FAULTS", faultRules_.c_str(), 1) != 0 ||
          setenv("VARNOW_FAULTS_LOG", (root_ / "faults.log").c_str(), 1) != 0 ||
          setenv("ASAN_OPTIONS", asanOptions.c_str(), 1) != 0) {
        _exit(127);
      }
    }
    if (cpu_ >= 0) {
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(static_cast<std::size_t>(cpu_), &one);
      if (sched_setaffinity(0, sizeof one, &one) != 0) _exit(126);
    }
    if (fileSizeLimit_ > 0) {
      const rlimit sizeLimit{fileSizeLimit_, fileSizeLimit_};
      signal(SIGXFSZ, SIG_IGN);
      if (setrlimit(RLIMIT_FSIZE, &sizeLimit) != 0) _exit(126);
    }
    if (chdir(projectDir_.c_str()) != 0 || setenv("HOME", homeDir_.c_str(), 1) != 0) _exit(127);
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("XDG_STATE_HOME");
    std::vector<char*> argv;
    for (const std::string& word : command)
      argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

// Waits for `child` until the limit, then kills it.
RunResult ProjectFixture::collect(pid_t child, milliseconds limit) const {
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) != child) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-child, SIGKILL);
      waitpid(child, &status, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
  if (!result.timedOut && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  result.out = readBytes(root_ / "stdout.txt");
  result.err = readBytes(root_ / "stderr.txt");
  return result;
}

RunResult ProjectFixture::runOnTerminal(const std::string& keys, const std::string& variable,
                                        milliseconds limit) const {
  // script(1) runs the program on a pseudo-terminal of its own and passes the
  // keys on as typed ahead; standard error goes to the terminal too.
  const std::string program = "env TERM=xterm " + variable + " '" + varnowBinary() + "'";
  return runCommand({"/usr/bin/script", "-qec", program, "/dev/null"}, keys, limit);
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
    kill(-child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  close(stdinFd_);
}

void LiveRun::send(const std::string& text) const {
  if (write(stdinFd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    throw std::runtime_error("cannot write the program's standard input");
}

void LiveRun::signal(int signalNumber) const {
  kill(child_, signalNumber);
}

std::string LiveRun::output() const {
  return readBytes(project_.root_ / "stdout.txt");
}

bool LiveRun::waitForOutput(const std::string& text, milliseconds limit) const {
  return waitUntil([&] { return output().find(text) != std::string::npos; }, limit);
}

bool LiveRun::blockedOn(const fs::path& file) const {
  const fs::path process = "/proc/" + std::to_string(child_);
  // "0 0x5 ...": the system call it sleeps in and its descriptor.
  std::istringstream call(readBytes(process / "syscall"));
  long number = -1;
  std::string fd;
  call >> number >> fd;
  std::error_code gone;
  if ((number != SYS_read && number != SYS_write) || fd.empty() ||
      fs::read_symlink(process / "fd" / std::to_string(std::stol(fd, nullptr, 16)), gone) != file) {
    return false;
  }
  // Signals sent but not yet handled, as a hexadecimal mask.
  const std::string status = readBytes(process / "status");
  for (const std::string field : {"\nSigPnd:\t", "\nShdPnd:\t"}) {
    const std::size_t at = status.find(field);
    if (at == std::string::npos || std::stoull(status.substr(at + field.size()), nullptr, 16) != 0)
      return false;
  }
  return true;
}

RunResult LiveRun::finish(milliseconds limit) {
  return project_.collect(std::exchange(child_, -1), limit);
}

}  // namespace varnow::testing
