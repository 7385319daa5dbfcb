// varnow_pacer: the other end of the demo's virtual sound card.
//
// ALSA's file plugin on a null slave moves samples as fast as they are asked
// for. With its playback file and capture infile made FIFOs, this program
// gives that card the pace and the manners of a real one: it drains the
// playback FIFO at the sample rate, and feeds the capture FIFO one period per
// period of time with a steady tone per input (a different pitch each), or
// with a ramp (--ramp: input k, frame f holds k x 2^20 + f mod 2^20, so that
// every lost frame is a jump). Like a card, it holds at most as many periods
// of capture as the program's device buffer (four) and drops the oldest when
// nobody reads in time; playback that is due and has not come is a starved
// stretch. Both are counted while a pass streams, and written to FILE at the
// end with --counts FILE ("dropped N\nstarved M\n" in frames, then "cpu S", the
// program's processor time in seconds). Before the
// program first reads, and after it has read nothing for a second (it sits at
// a prompt; --idle-after S makes that S seconds, for programs that stall
// longer), one period waits and nothing is counted, so a pass starts with
// no stale periods, as on a freshly prepared card. It runs the program given
// after "--" as its child and ends when the child ends, with its status.
//
//   varnow_pacer [--ramp] [--counts FILE] [--idle-after S] RATE PERIOD OUTPUTS PLAY_FIFO INPUTS
//   CAPTURE_FIFO
//                -- PROGRAM [ARGS...]
//
// PERIOD must be the period the program reads its capture with: the plugin
// reads one period with one read() and does not look at the result, so the
// capture FIFO must only ever hold whole periods.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
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
// A tick well within the shortest period (64 frames at 48 kHz: 1.3 ms).
constexpr long kTickNanoseconds = 500'000;
// The periods the program asks its device buffer to hold.
constexpr int kBufferPeriods = 4;
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
               "usage: varnow_pacer [--ramp] [--counts FILE] [--idle-after S] RATE PERIOD OUTPUTS "
               "PLAY_FIFO INPUTS "
               "CAPTURE_FIFO -- PROGRAM [ARGS...]\n");
  return 2;
}

std::int64_t nanosecondsSince(const timespec& start) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1'000'000'000LL + (now.tv_nsec - start.tv_nsec);
}

// One period of the ramp, interleaved S24_3LE, for ramp frames from `firstFrame`.
void fillRampPeriod(std::vector<unsigned char>& bytes, std::int64_t firstFrame, int period,
                    int inputs) {
  std::size_t at = 0;
  for (int i = 0; i < period; ++i) {
    for (int k = 0; k < inputs; ++k) {
      const auto packed =
          static_cast<std::uint32_t>((std::int64_t{k} << 20) + ((firstFrame + i) & 0xFFFFF));
      bytes[at++] = static_cast<unsigned char>(packed & 0xFF);
      bytes[at++] = static_cast<unsigned char>((packed >> 8) & 0xFF);
      bytes[at++] = static_cast<unsigned char>((packed >> 16) & 0xFF);
    }
  }
}

int queuedBytes(int fd) {
  int queued = 0;
  return ::ioctl(fd, FIONREAD, &queued) == 0 ? queued : 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool ramp = false;
  const char* countsPath = nullptr;
  std::int64_t idleNanoseconds = 1'000'000'000LL;
  int first = 1;
  for (; first < argc && argv[first][0] == '-' && std::strcmp(argv[first], "--") != 0; ++first) {
    if (std::strcmp(argv[first], "--ramp") == 0) {
      ramp = true;
    } else if (std::strcmp(argv[first], "--counts") == 0 && first + 1 < argc) {
      countsPath = argv[++first];
    } else if (std::strcmp(argv[first], "--idle-after") == 0 && first + 1 < argc) {
      idleNanoseconds = std::atoll(argv[++first]) * 1'000'000'000LL;
    } else {
      return usage();
    }
  }
  argv += first - 1;
  argc -= first - 1;
  if (argc < 9 || std::strcmp(argv[7], "--") != 0) return usage();
  const int rate = std::atoi(argv[1]);
  const int period = std::atoi(argv[2]);
  const int outputs = std::atoi(argv[3]);
  const int inputs = std::atoi(argv[5]);
  if (rate <= 0 || period <= 0 || outputs < 0 || inputs < 0) return usage();

  const int playFd = openFifo(argv[4]);
  const int captureFd = openFifo(argv[6]);
  if (playFd < 0 || captureFd < 0) return 1;
  // Each FIFO holds the program's device buffer: what it may write ahead of
  // the pace, and what it may leave unread before the oldest period is lost.
  const int playBufferBytes = kBufferPeriods * period * outputs * kBytesPerSample;
  ::fcntl(playFd, F_SETPIPE_SZ, std::max(playBufferBytes, 4096));
  const int periodBytes = period * inputs * kBytesPerSample;
  if (inputs > 0 && ::fcntl(captureFd, F_GETPIPE_SZ) < kBufferPeriods * periodBytes &&
      ::fcntl(captureFd, F_SETPIPE_SZ, kBufferPeriods * periodBytes) < 0) {
    std::fprintf(stderr, "varnow_pacer: the capture FIFO cannot hold %d periods: %s\n",
                 kBufferPeriods, std::strerror(errno));
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
  // Held up for longer than two periods (a busy machine), the card stands
  // still for the rest rather than make up for it in a burst.
  const std::int64_t lateNanoseconds = 2LL * period * 1'000'000'000LL / rate;
  std::vector<unsigned char> drained(65536);
  std::vector<unsigned char> capture(static_cast<std::size_t>(periodBytes));
  std::int64_t standStill = 0;       // nanoseconds the card stood still
  std::int64_t lastServed = 0;       // card nanoseconds of the last tick
  std::int64_t playedTo = 0;         // frames of time the playback was drained for
  std::int64_t splitFrameBytes = 0;  // bytes of a frame split between two reads
  std::int64_t capturedTo = 0;       // frames of time capture periods were offered for
  std::int64_t rampFrames = 0;       // ramp frames offered
  bool capturing = false, playing = false;
  std::int64_t lastRead = 0, lastWrite = 0;  // card nanoseconds
  std::int64_t waitingAfter = 0;             // capture bytes queued when last left
  std::int64_t dropped = 0, pendingDropped = 0, starved = 0, pendingStarved = 0;

  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  timespec tick = start;
  int status = 0;
  rusage childUsage{};
  while (::wait4(child, &status, WNOHANG, &childUsage) == 0) {
    const std::int64_t wall = nanosecondsSince(start);
    if (wall - lastServed > lateNanoseconds) standStill += wall - lastServed - kTickNanoseconds;
    lastServed = wall;
    const std::int64_t now = wall - standStill;
    const std::int64_t dueFrames = now * rate / 1'000'000'000LL;

    // Playback: take what the elapsed time allows, in whole frames.
    std::int64_t gotFrames = 0;
    while (playFrameBytes > 0 && playedTo + gotFrames < dueFrames) {
      const std::int64_t wanted = std::min<std::int64_t>(
          (dueFrames - playedTo - gotFrames) * playFrameBytes,
          static_cast<std::int64_t>(drained.size()) / playFrameBytes * playFrameBytes);
      const ssize_t got = ::read(playFd, drained.data(), static_cast<std::size_t>(wanted));
      if (got <= 0) break;
      // A frame split between two reads counts when its last byte is taken.
      splitFrameBytes += got;
      gotFrames += splitFrameBytes / playFrameBytes;
      splitFrameBytes %= playFrameBytes;
    }
    if (gotFrames > 0) {
      if (playing) starved += pendingStarved;
      pendingStarved = 0;
      playing = true;
      lastWrite = now;
    }
    if (playing && playedTo + gotFrames < dueFrames)
      pendingStarved += dueFrames - playedTo - gotFrames;
    if (playing && now - lastWrite > idleNanoseconds) {
      playing = false;
      pendingStarved = 0;
    }
    playedTo = dueFrames;

    // Capture: a period once its time has come; the oldest goes when the
    // buffer is full.
    if (inputs > 0) {
      const auto offer = [&] {
        if (ramp) {
          fillRampPeriod(capture, rampFrames, period, inputs);
        } else {
          fillTonePeriod(capture, capturedTo, period, inputs, rate);
        }
        // Room for the whole period: the write is complete and lands at once.
        if (::write(captureFd, capture.data(), capture.size()) ==
            static_cast<ssize_t>(capture.size())) {
          rampFrames += period;
        }
      };
      if (queuedBytes(captureFd) < waitingAfter) {  // the program read
        capturing = true;
        lastRead = now;
        dropped += pendingDropped;
        pendingDropped = 0;
      }
      if (capturing && now - lastRead > idleNanoseconds) {
        // Back at a prompt: what waits would be stale at the next pass.
        capturing = false;
        pendingDropped = 0;
        while (queuedBytes(captureFd) > 0 &&
               ::read(captureFd, capture.data(), capture.size()) > 0) {
        }
      }
      if (!capturing) {
        capturedTo = dueFrames;
        if (queuedBytes(captureFd) == 0) offer();
      } else {
        while (capturedTo + period <= dueFrames) {
          if (queuedBytes(captureFd) + periodBytes > kBufferPeriods * periodBytes &&
              ::read(captureFd, capture.data(), capture.size()) == periodBytes) {
            pendingDropped += period;
          }
          offer();
          capturedTo += period;
        }
      }
      waitingAfter = queuedBytes(captureFd);
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
  if (countsPath != nullptr) {
    if (std::FILE* counts = std::fopen(countsPath, "w")) {
      const double cpuSeconds =
          static_cast<double>(childUsage.ru_utime.tv_sec + childUsage.ru_stime.tv_sec) +
          static_cast<double>(childUsage.ru_utime.tv_usec + childUsage.ru_stime.tv_usec) / 1e6;
      std::fprintf(counts, "dropped %lld\nstarved %lld\ncpu %.3f\n",
                   static_cast<long long>(dropped), static_cast<long long>(starved), cpuSeconds);
      std::fclose(counts);
    }
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
