#include "engine/device_list.hpp"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/print.hpp"

namespace varnow {

namespace {

// The library's own diagnostics for devices that fail to open would crowd
// the list; the list says in its own words why a device is refused.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

struct FreeHint {
  void operator()(char* text) const { std::free(text); }
};
using HintText = std::unique_ptr<char, FreeHint>;

// "yes", or "no" with the reason: the device does not open, or it opens but
// refuses non-interleaved access or 24-bit packed samples.
std::string tryDirection(const char* name, snd_pcm_stream_t stream) {
  snd_pcm_t* pcm = nullptr;
  // Non-blocking: a device in use says so instead of waiting for its user.
  int err = snd_pcm_open(&pcm, name, stream, SND_PCM_NONBLOCK);
  if (err < 0) return formatText("no (%s)", snd_strerror(err));
  snd_pcm_hw_params_t* params = nullptr;
  std::string verdict = "yes";
  if (snd_pcm_hw_params_malloc(&params) < 0) {
    verdict = "no (out of memory)";
  } else {
    snd_pcm_hw_params_any(pcm, params);
    if (snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_NONINTERLEAVED) < 0) {
      verdict = "no (no non-interleaved access)";
    } else if (snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S24_3LE) < 0) {
      verdict = "no (no 24-bit packed samples)";
    }
    snd_pcm_hw_params_free(params);
  }
  snd_pcm_close(pcm);
  return verdict;
}

// How long one device may take to answer both probes. A device whose open
// waits for something that is not there (a FIFO nobody reads, a sound
// server that is not running) would otherwise hold the listing for ever.
constexpr int kProbeBoundMs = 2000;

std::int64_t nowMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

struct Verdicts {
  std::string playback = "no (the device does not answer)";
  std::string capture = "no (the device does not answer)";
};

// Without a child process to give up on, the probe waits as long as it must.
Verdicts probeHere(const char* name) {
  return {tryDirection(name, SND_PCM_STREAM_PLAYBACK), tryDirection(name, SND_PCM_STREAM_CAPTURE)};
}

// Writes all of `text` and a newline to `fd`; the child's only output.
void writeLine(int fd, const std::string& text) {
  std::string line = text + '\n';
  for (std::size_t done = 0; done < line.size();) {
    const ssize_t wrote = ::write(fd, line.data() + done, line.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

// Probes both directions of `name` in a child process, so that an open that
// never returns can be given up on: the child is killed after the bound,
// and a direction it did not answer for is said not to answer.
Verdicts probeDevice(const char* name) {
  Verdicts verdicts;
  std::array<int, 2> pipeEnds{};
  if (::pipe2(pipeEnds.data(), O_CLOEXEC) != 0) return probeHere(name);
  flushOutput();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    // What a plugin prints while it fails (JACK's lines) is not the
    // listing's: the listing says in its own words why a device is refused.
    if (const int quiet = ::open("/dev/null", O_WRONLY); quiet >= 0) ::dup2(quiet, STDERR_FILENO);
    writeLine(pipeEnds[1], tryDirection(name, SND_PCM_STREAM_PLAYBACK));
    writeLine(pipeEnds[1], tryDirection(name, SND_PCM_STREAM_CAPTURE));
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  if (child < 0) {
    ::close(pipeEnds[0]);
    return probeHere(name);
  }
  std::string answer;
  const std::int64_t deadlineMs = nowMs() + kProbeBoundMs;
  for (;;) {
    const std::int64_t leftMs = deadlineMs - nowMs();
    if (leftMs <= 0) break;
    pollfd waiting{pipeEnds[0], POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(leftMs));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    std::array<char, 256> chunk{};
    const ssize_t got = ::read(pipeEnds[0], chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    answer.append(chunk.data(), static_cast<std::size_t>(got));
  }
  ::close(pipeEnds[0]);
  ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  const std::size_t first = answer.find('\n');
  if (first == std::string::npos) return verdicts;
  verdicts.playback = answer.substr(0, first);
  const std::size_t second = answer.find('\n', first + 1);
  if (second != std::string::npos) verdicts.capture = answer.substr(first + 1, second - first - 1);
  return verdicts;
}

void printDescription(const char* description) {
  // Descriptions hold one or more lines; each is indented under the name.
  std::string line;
  for (const char* c = description;; ++c) {
    if (*c == '\n' || *c == '\0') {
      print("    %s\n", line.c_str());
      line.clear();
      if (*c == '\0') break;
    } else {
      line.push_back(*c);
    }
  }
}

}  // namespace

int listDevices() {
  snd_lib_error_set_handler(quietErrorHandler);
  void** hints = nullptr;
  const int err = snd_device_name_hint(-1, "pcm", &hints);
  if (err < 0) {
    printError("Could not list the ALSA devices: %s.\n", snd_strerror(err));
    return 1;
  }
  for (void** hint = hints; *hint != nullptr; ++hint) {
    const HintText name(snd_device_name_get_hint(*hint, "NAME"));
    if (!name) continue;
    const HintText description(snd_device_name_get_hint(*hint, "DESC"));
    printLine(name.get());
    if (description) printDescription(description.get());
    const Verdicts verdicts = probeDevice(name.get());
    print("    Varnow: playback %s, capture %s\n", verdicts.playback.c_str(),
          verdicts.capture.c_str());
  }
  snd_device_name_free_hint(hints);
  snd_config_update_free_global();
  printLine("");
  printLine("A project uses the device named on the dv line of its param.txt.");
  return 0;
}

}  // namespace varnow
