// varnow_pacer: the other end of the demo's virtual sound card.
//
// ALSA's file plugin on a null slave moves samples as fast as they are asked
// for. With its playback file and capture infile made FIFOs, this program
// gives that card the pace of a real one: it drains the playback FIFO at the
// sample rate and feeds the capture FIFO, in whole periods, with a steady
// tone per input (a different pitch each). It runs the program given after
// "--" as its child and ends when the child ends, with the child's status.
//
//   varnow_pacer RATE PERIOD OUTPUTS PLAY_FIFO INPUTS CAPTURE_FIFO -- PROGRAM [ARGS...]
//
// PERIOD must be the period the program reads its capture with: the plugin
// reads one period with one read() and does not look at the result, so the
// capture FIFO must only ever hold whole periods, and at most two of them.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kBytesPerSample = 3;  // S24_3LE, as the program's device format
constexpr long kTickNanoseconds = 5'000'000;
constexpr double kToneAmplitude = 0.25 * 8388607.0;  // -12 dBFS
constexpr double kPi = 3.14159265358979323846;

volatile sig_atomic_t childPid = 0;

// Ctrl-C, Ctrl-\ and a closed terminal reach the program from the terminal
// itself; the pacer stays to keep its card running until the program ends.
void ignoreSignal(int) {}

// A termination request sent to the pacer alone is passed on to the program.
void passOnSignal(int signalNumber) {
  if (childPid > 0) ::kill(childPid, signalNumber);
}

// Input k sounds 110 Hz x (2 + k mod 16): 220, 330, 440 Hz and up.
int toneHz(int input) {
  return 110 * (2 + input % 16);
}

// One period of the tones, interleaved S24_3LE, for the frames starting at
// `firstFrame` (so a period dropped while nobody reads leaves no jump).
void fillTonePeriod(std::vector<unsigned char>& bytes, std::int64_t firstFrame, int period,
                    int inputs, int rate) {
  std::size_t at = 0;
  for (int i = 0; i < period; ++i) {
    const std::int64_t frame = firstFrame + i;
    for (int k = 0; k < inputs; ++k) {
      // Whole cycles are taken out in integers so the phase stays exact.
      const std::int64_t cycles = (frame * toneHz(k)) % rate;
      const double phase = 2.0 * kPi * static_cast<double>(cycles) / rate;
      const auto sample = static_cast<std::int32_t>(std::lround(kToneAmplitude * std::sin(phase)));
      const auto packed = static_cast<std::uint32_t>(sample);
      bytes[at++] = static_cast<unsigned char>(packed & 0xFF);
      bytes[at++] = static_cast<unsigned char>((packed >> 8) & 0xFF);
      bytes[at++] = static_cast<unsigned char>((packed >> 16) & 0xFF);
    }
  }
}

int openFifo(const char* path) {
  // Read-write: the open never waits for the other end, and the program's own
  // opens of the card never wait for the pacer.
  const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    std::fprintf(stderr, "varnow_pacer: cannot open %s: %s\n", path, std::strerror(errno));
  return fd;
}

int usage() {
  std::fprintf(stderr,
               "usage: varnow_pacer RATE PERIOD OUTPUTS PLAY_FIFO INPUTS CAPTURE_FIFO -- PROGRAM "
               "[ARGS...]\n");
  return 2;
}

std::int64_t nanosecondsSince(const timespec& start) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1'000'000'000LL + (now.tv_nsec - start.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 9 || std::strcmp(argv[7], "--") != 0) return usage();
  const int rate = std::atoi(argv[1]);
  const int period = std::atoi(argv[2]);
  const int outputs = std::atoi(argv[3]);
  const int inputs = std::atoi(argv[5]);
  if (rate <= 0 || period <= 0 || outputs < 0 || inputs < 0) return usage();

  const int playFd = openFifo(argv[4]);
  const int captureFd = openFifo(argv[6]);
  if (playFd < 0 || captureFd < 0) return 1;
  // The playback FIFO as small as the system allows: what the program writes
  // ahead of the pace is what the FIFO holds.
  ::fcntl(playFd, F_SETPIPE_SZ, 4096);
  const int periodBytes = period * inputs * kBytesPerSample;
  const int capturePeriods = 2;
  if (inputs > 0 && ::fcntl(captureFd, F_GETPIPE_SZ) < capturePeriods * periodBytes &&
      ::fcntl(captureFd, F_SETPIPE_SZ, capturePeriods * periodBytes) < 0) {
    std::fprintf(stderr, "varnow_pacer: the capture FIFO cannot hold two periods: %s\n",
                 std::strerror(errno));
    return 1;
  }

  struct sigaction action {};
  action.sa_flags = SA_RESTART;
  action.sa_handler = ignoreSignal;
  for (const int signalNumber : {SIGINT, SIGQUIT, SIGHUP})
    ::sigaction(signalNumber, &action, nullptr);
  action.sa_handler = passOnSignal;
  ::sigaction(SIGTERM, &action, nullptr);

  const pid_t child = ::fork();
  if (child < 0) {
    std::fprintf(stderr, "varnow_pacer: cannot start %s: %s\n", argv[8], std::strerror(errno));
    return 1;
  }
  if (child == 0) {
    ::execvp(argv[8], argv + 8);
    std::fprintf(stderr, "varnow_pacer: cannot start %s: %s\n", argv[8], std::strerror(errno));
    _exit(127);
  }
  childPid = child;

  const std::int64_t playFrameBytes = static_cast<std::int64_t>(outputs) * kBytesPerSample;
  // At most this much lateness is made up at once (a short hitch of the
  // pacer); an idle card is not owed anything when the next pass starts.
  const std::int64_t catchUpFrames = std::max<std::int64_t>(rate / 20, period);
  std::vector<unsigned char> drained(65536);
  std::vector<unsigned char> tone(static_cast<std::size_t>(periodBytes));
  std::int64_t playedFrames = 0;     // frames taken from the playback FIFO
  std::int64_t splitFrameBytes = 0;  // bytes of a frame split between two reads
  std::int64_t capturedFrames = 0;   // frames offered to the capture FIFO

  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  timespec tick = start;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    const std::int64_t dueFrames = nanosecondsSince(start) * rate / 1'000'000'000LL;

    // Playback: take what the elapsed time allows, in whole frames.
    playedFrames = std::max(playedFrames, dueFrames - catchUpFrames);
    while (playFrameBytes > 0 && playedFrames < dueFrames) {
      const std::int64_t wanted = std::min<std::int64_t>(
          (dueFrames - playedFrames) * playFrameBytes,
          static_cast<std::int64_t>(drained.size()) / playFrameBytes * playFrameBytes);
      const ssize_t got = ::read(playFd, drained.data(), static_cast<std::size_t>(wanted));
      if (got <= 0) break;
      // A frame split between two reads counts when its last byte is taken.
      splitFrameBytes += got;
      playedFrames += splitFrameBytes / playFrameBytes;
      splitFrameBytes %= playFrameBytes;
    }
    if (playFrameBytes == 0) playedFrames = dueFrames;

    // Capture: a period once its time has come, if the FIFO has room for it.
    capturedFrames = std::max(capturedFrames, dueFrames - catchUpFrames);
    while (inputs > 0 && capturedFrames + period <= dueFrames) {
      int queued = 0;
      ::ioctl(captureFd, FIONREAD, &queued);
      if (queued + periodBytes <= capturePeriods * periodBytes) {
        fillTonePeriod(tone, capturedFrames, period, inputs, rate);
        // Room for the whole period: the write is complete and lands at once.
        if (::write(captureFd, tone.data(), tone.size()) < 0 && errno != EAGAIN) break;
      }
      capturedFrames += period;
    }

    tick.tv_nsec += kTickNanoseconds;
    if (tick.tv_nsec >= 1'000'000'000L) {
      tick.tv_nsec -= 1'000'000'000L;
      ++tick.tv_sec;
    }
    // After a stop (Ctrl-Z) the ticks start again from now rather than race.
    if (nanosecondsSince(tick) > kTickNanoseconds) ::clock_gettime(CLOCK_MONOTONIC, &tick);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr) == EINTR) {
    }
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
