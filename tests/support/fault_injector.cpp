// A preloaded library that makes chosen calls of the program under test fail,
// deterministically: the Nth call of a function on a file whose absolute path
// matches a pattern. The program is the real binary; only the C library and
// ALSA calls it makes are answered here first.
//
//   LD_PRELOAD=libvarnow_faults.so VARNOW_FAULTS='RULE;RULE;...' varnow
//
//   RULE   := CALLS ':' GLOB ':' WHEN ':' ACTION
//   CALLS  := name[,name...] of open create read pread write pwrite fread fwrite fputs fputc fflush
//             fclose fsync fdatasync rename unlink mkdir ftruncate copy_file_range ioctl
//             snd_pcm_writen snd_pcm_readn snd_pcm_prepare snd_pcm_hw_params_set_access
//   GLOB   := fnmatch(3) pattern over the absolute path ('*' crosses '/'); a rename matches
//             on either name; ALSA calls have the path "playback" or "capture", their stream
//   WHEN   := N (the Nth matching call, counted from 1, per rule) | N-M (calls N to M)
//           | N+ (call N and every later one) | N/M (call N and every Mth after it)
//   ACTION := an errno name (EIO, ENOSPC, EDQUOT, EINTR, EISDIR, ...): the call does nothing
//             and fails with it
//           | short  a read or write moves half of what was asked (at least one byte) and
//                    reports that; a stdio call also fails with ENOSPC, as a full disk does
//           | EPIPE  an ALSA transfer moves nothing and returns -EPIPE
//           | xrun   an ALSA transfer moves its frames, then returns -EPIPE
//           | eof    a read moves nothing and reports the end of the file (0)
//           | kill   the process is killed (SIGKILL) before the call: a crash
//           | log    the call goes through untouched; it is only logged, so that a test sees
//                    when it came among the faults
//           | delay=MS  the call waits MS milliseconds, then goes through untouched: a disk
//                    that stalls (only the calling thread waits)
//
// Each fault that fires is appended as one line ("pwrite /tmp/p/vox.wav #2 EIO") to the
// file VARNOW_FAULTS_LOG names, so that a test can tell that its fault was met. Only the
// calls the program makes itself are answered (the C library's own, such as fopen's open,
// are not); unlink includes remove; ioctl counts only the file-cloning requests; create is an
// open with O_CREAT, which also counts as an open.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <linux/fs.h>
#include <pthread.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

enum class Action { kError, kShort, kEnd, kAlsaPipe, kAlsaXrun, kKill, kLog, kDelay };

struct Rule {
  std::string calls;  // ",open,read," with a comma on each side of every name
  std::string glob, actionName;
  long from = 0, to = 0, seen = 0;  // to is -1: no end
  long every = 1;                   // every call from `from` on, or every Nth
  Action action = Action::kError;
  int err = 0;
  long delayMilliseconds = 0;
};

// The counts of the rules change under this lock. It inherits the priority
// of a real-time thread that waits for it, so that a thread of normal
// priority holding it cannot hold up the program's period loop.
pthread_mutex_t lock;
pthread_once_t setUpOnce = PTHREAD_ONCE_INIT;
std::array<Rule, 16> rules;
std::size_t ruleCount = 0;

// Answers remembered without a lock: looking a symbol or an address up takes
// the dynamic loader's lock, which a thread of normal priority may hold while
// the program's real-time period loop waits for it.
template <typename Key, typename Value, typename Lookup>
Value remembered(Key key, Lookup lookup) {
  static std::array<std::atomic<Key>, 64> keys{};
  static std::array<std::atomic<Value>, 64> values{};
  static std::array<std::atomic<bool>, 64> ready{};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    Key known = keys[i].load(std::memory_order_acquire);
    if (known == Key{} && keys[i].compare_exchange_strong(known, key)) {
      const Value value = lookup(key);  // this slot is ours
      values[i].store(value, std::memory_order_relaxed);
      ready[i].store(true, std::memory_order_release);
      return value;
    }
    if (known != key) continue;
    if (ready[i].load(std::memory_order_acquire)) return values[i].load(std::memory_order_relaxed);
    break;  // being looked up by another thread just now
  }
  return lookup(key);
}

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(
      remembered<const char*, void*>(name, [](const char* n) { return dlsym(RTLD_NEXT, n); }));
}

[[noreturn]] void badRules(const char* why, std::string_view text) {
  std::fprintf(stderr, "VARNOW_FAULTS: %s: %.*s\n", why, static_cast<int>(text.size()),
               text.data());
  std::_Exit(125);
}

Rule parseRule(std::string_view text) {
  // CALLS and WHEN hold no ':', ACTION neither; the glob between them may.
  const std::size_t first = text.find(':');
  const std::size_t last = text.rfind(':');
  const std::size_t beforeLast = last == 0 ? std::string_view::npos : text.rfind(':', last - 1);
  if (first == std::string_view::npos || beforeLast == std::string_view::npos ||
      beforeLast <= first) {
    badRules("a rule needs four fields", text);
  }
  const std::array<std::string_view, 4> fields{
      text.substr(0, first), text.substr(first + 1, beforeLast - first - 1),
      text.substr(beforeLast + 1, last - beforeLast - 1), text.substr(last + 1)};
  Rule rule;
  rule.calls = "," + std::string(fields[0]) + ",";
  rule.glob = fields[1];
  const std::string when(fields[2]);
  char* rest = nullptr;
  rule.from = std::strtol(when.c_str(), &rest, 10);
  rule.to = rule.from;
  if (*rest == '+') rule.to = -1;
  if (*rest == '-') rule.to = std::strtol(rest + 1, &rest, 10);
  if (*rest == '/') rule.to = -1, rule.every = std::strtol(rest + 1, &rest, 10);
  if (rule.from < 1 || (rule.to != -1 && rule.to < rule.from) || rule.every < 1) {
    badRules("bad WHEN", text);
  }
  rule.actionName = fields[3];
  using enum Action;
  constexpr std::pair<std::string_view, Action> kActions[] = {
      {"short", kShort},   {"eof", kEnd},   {"EPIPE", kAlsaPipe},
      {"xrun", kAlsaXrun}, {"kill", kKill}, {"log", kLog}};
  bool known = false;
  for (const auto& [name, action] : kActions) {
    if (fields[3] == name) rule.action = action, known = true;
  }
  for (int e = 1; e < 256 && !known; ++e) {
    const char* name = strerrorname_np(e);
    if (name != nullptr && fields[3] == name) rule.err = e, known = true;
  }
  if (!known && fields[3].starts_with("delay=")) {
    rule.action = kDelay;
    rule.delayMilliseconds = std::strtol(std::string(fields[3].substr(6)).c_str(), &rest, 10);
    known = *rest == '\0' && rule.delayMilliseconds > 0;
  }
  if (!known) badRules("unknown ACTION", text);
  return rule;
}

void parseRules() {
  const char* text = std::getenv("VARNOW_FAULTS");
  if (text == nullptr) return;
  std::string_view all(text);
  while (!all.empty()) {
    const std::size_t end = all.find(';');
    const std::string_view one = all.substr(0, end);
    if (!one.empty()) {
      if (ruleCount == rules.size()) badRules("too many rules", all);
      rules[ruleCount++] = parseRule(one);
    }
    all = end == std::string_view::npos ? std::string_view() : all.substr(end + 1);
  }
}

void setUp() {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
  pthread_mutex_init(&lock, &attributes);
  pthread_mutexattr_destroy(&attributes);
  parseRules();
}

std::string pathOfFd(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t length = readlink(link, target, sizeof target - 1);
  return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

std::string absolute(const char* path) {
  if (path == nullptr) return {};
  if (path[0] == '/') return path;
  char cwd[4096];
  return getcwd(cwd, sizeof cwd) == nullptr ? std::string(path) : std::string(cwd) + "/" + path;
}

void logFault(const char* call, const std::string& path, const Rule& rule) {
  const char* logPath = std::getenv("VARNOW_FAULTS_LOG");
  if (logPath == nullptr) return;
  const int fd = real<int (*)(const char*, int, ...)>("open")(
      logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const std::string line = std::string(call) + " " + path + " #" + std::to_string(rule.seen) + " " +
                           rule.actionName + "\n";
  [[maybe_unused]] const ssize_t ignored =
      real<ssize_t (*)(int, const void*, std::size_t)>("write")(fd, line.data(), line.size());
  real<int (*)(int)>("close")(fd);
}

// Sleeps the whole time, whatever signals come meanwhile.
void sleepFor(long milliseconds) {
  timespec left{milliseconds / 1000, (milliseconds % 1000) * 1'000'000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// The rule that makes this call fail, or null. Every call that matches a
// rule's names and pattern counts for that rule, failing or not; a rule that
// only logs, or delays, is logged and lets the call through (a delay after
// the lock is released, so that other threads' calls go on meanwhile).
// `alsoCall` is a second name the call answers to (an open that creates).
const Rule* fault(const char* call, const std::string& path, const std::string& otherPath = {},
                  const char* alsoCall = nullptr) {
  pthread_once(&setUpOnce, setUp);
  const std::string key = "," + std::string(call) + ",";
  const std::string alsoKey = alsoCall != nullptr ? "," + std::string(alsoCall) + "," : key;
  // The rules' names and patterns never change once read: a call that no
  // rule names takes no lock.
  if (std::none_of(rules.begin(), rules.begin() + static_cast<std::ptrdiff_t>(ruleCount),
                   [&](const Rule& rule) {
                     return rule.calls.find(key) != std::string::npos ||
                            rule.calls.find(alsoKey) != std::string::npos;
                   })) {
    return nullptr;
  }
  pthread_mutex_lock(&lock);
  const Rule* chosen = nullptr;
  long delayMilliseconds = 0;
  for (std::size_t i = 0; i < ruleCount; ++i) {
    Rule& rule = rules[i];
    if (rule.calls.find(key) == std::string::npos &&
        rule.calls.find(alsoKey) == std::string::npos) {
      continue;
    }
    if (fnmatch(rule.glob.c_str(), path.c_str(), 0) != 0 &&
        (otherPath.empty() || fnmatch(rule.glob.c_str(), otherPath.c_str(), 0) != 0)) {
      continue;
    }
    ++rule.seen;
    if (chosen == nullptr && rule.seen >= rule.from && (rule.to == -1 || rule.seen <= rule.to) &&
        (rule.seen - rule.from) % rule.every == 0) {
      logFault(rule.calls.find(key) != std::string::npos ? call : alsoCall, path, rule);
      if (rule.action == Action::kDelay) delayMilliseconds = rule.delayMilliseconds;
      if (rule.action != Action::kLog && rule.action != Action::kDelay) chosen = &rule;
    }
  }
  pthread_mutex_unlock(&lock);
  if (delayMilliseconds > 0) sleepFor(delayMilliseconds);
  if (chosen != nullptr && chosen->action == Action::kKill) kill(getpid(), SIGKILL);
  return chosen;
}

bool anyRules() {
  return std::getenv("VARNOW_FAULTS") != nullptr;
}

int failWith(const Rule& rule) {
  errno = rule.action == Action::kShort ? ENOSPC : rule.err;
  return -1;
}

std::size_t half(std::size_t count) {
  return count > 1 ? count / 2 : count;
}

// A transfer to or from `fd` (and, for a copy, from `otherFd`).
template <typename Call>
ssize_t transfer(const char* name, int fd, std::size_t count, Call call, int otherFd = -1) {
  const Rule* rule = anyRules() ? fault(name, pathOfFd(fd), pathOfFd(otherFd)) : nullptr;
  if (rule == nullptr) return call(count);
  if (rule->action == Action::kEnd) return 0;
  return rule->action == Action::kShort ? call(half(count)) : failWith(*rule);
}

// The rule that makes this call on a file descriptor or a stdio stream fail, or null.
const Rule* fdFault(const char* call, int fd) {
  return anyRules() ? fault(call, pathOfFd(fd)) : nullptr;
}
const Rule* streamFault(const char* call, std::FILE* stream) {
  return stream != nullptr ? fdFault(call, fileno(stream)) : nullptr;
}

// A stdio write or flush that fails returns `result` and sets errno; the
// stream has its buffered bytes dropped and its error indicator set, as a
// full disk leaves it.
template <typename Result>
Result failStream(const Rule& rule, std::FILE* stream, Result result) {
  failWith(rule);
  __fpurge(stream);
  stream->_flags |= 0x20;  // glibc's _IO_ERR_SEEN: ferror() is true from now on
  return result;
}

// An ALSA handle's stream, the path of its calls.
const char* streamOf(snd_pcm_t* pcm) {
  return snd_pcm_stream(pcm) == SND_PCM_STREAM_PLAYBACK ? "playback" : "capture";
}

using AlsaPrepareCall = int (*)(snd_pcm_t*);

// alsa-lib calls its own functions too (a plugin prepares its slave): only
// the program's calls count, so that one call of the program is one line.
bool fromProgram(const void* caller) {
  const auto objectOf = [](const void* address) {
    Dl_info info{};
    return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
  };
  const auto alsa = reinterpret_cast<void*>(real<AlsaPrepareCall>("snd_pcm_prepare"));
  if (!anyRules()) return false;
  const void* callerObject = remembered<const void*, void*>(caller, objectOf);
  return callerObject != nullptr && callerObject != remembered<const void*, void*>(alsa, objectOf);
}

// A transfer that fails moves nothing ("EPIPE", an errno), or moves its
// frames and reports the xrun all the same ("xrun").
snd_pcm_sframes_t alsaTransfer(const char* name, const void* caller, snd_pcm_t* pcm, void** buffers,
                               snd_pcm_uframes_t frames) {
  const auto call = real<snd_pcm_sframes_t (*)(snd_pcm_t*, void**, snd_pcm_uframes_t)>(name);
  const Rule* rule = fromProgram(caller) ? fault(name, streamOf(pcm)) : nullptr;
  if (rule == nullptr) return call(pcm, buffers, frames);
  if (rule->action == Action::kAlsaXrun) call(pcm, buffers, frames);
  return rule->action == Action::kAlsaXrun || rule->action == Action::kAlsaPipe ? -EPIPE
                                                                                : -rule->err;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const auto mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, int) : 0;
  va_end(arguments);
  const bool creates = (flags & O_CREAT) != 0;
  const Rule* rule =
      anyRules() ? fault("open", absolute(path), {}, creates ? "create" : nullptr) : nullptr;
  if (rule != nullptr) return failWith(*rule);
  return real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

#define VARNOW_TRANSFER(name, rule_name, pointer, offset_parameter, offset)                  \
  ssize_t name(int fd, pointer bytes, std::size_t count offset_parameter) {                  \
    return transfer(rule_name, fd, count, [&](std::size_t n) {                               \
      return real<ssize_t (*)(int, pointer, std::size_t offset_parameter)>(#name)(fd, bytes, \
                                                                                  n offset); \
    });                                                                                      \
  }
#define VARNOW_COMMA ,
VARNOW_TRANSFER(read, "read", void*, , )
VARNOW_TRANSFER(pread, "pread", void*, VARNOW_COMMA off_t offset, VARNOW_COMMA offset)
VARNOW_TRANSFER(write, "write", const void*, , )
VARNOW_TRANSFER(pwrite, "pwrite", const void*, VARNOW_COMMA off_t offset, VARNOW_COMMA offset)
#undef VARNOW_COMMA
#undef VARNOW_TRANSFER

std::size_t fread(void* items, std::size_t size, std::size_t count, std::FILE* stream) {
  const auto call = real<std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*)>("fread");
  const Rule* rule = streamFault("fread", stream);
  if (rule == nullptr) return call(items, size, count, stream);
  const std::size_t done =
      rule->action == Action::kShort ? call(items, size, half(count), stream) : 0;
  failWith(*rule);
  stream->_flags |= 0x20;  // glibc's _IO_ERR_SEEN
  return done;
}

std::size_t fwrite(const void* items, std::size_t size, std::size_t count, std::FILE* stream) {
  const auto call =
      real<std::size_t (*)(const void*, std::size_t, std::size_t, std::FILE*)>("fwrite");
  const Rule* rule = streamFault("fwrite", stream);
  if (rule == nullptr) return call(items, size, count, stream);
  std::size_t done = 0;
  if (rule->action == Action::kShort) {
    done = call(items, size, half(count), stream);
    std::fflush(stream);
  }
  return failStream(*rule, stream, done);
}

#define VARNOW_STREAM_CALL(name, signature, arguments)                   \
  int name signature {                                                   \
    const Rule* rule = streamFault(#name, stream);                       \
    if (rule == nullptr) return real<int(*) signature>(#name) arguments; \
    return failStream(*rule, stream, EOF);                               \
  }
VARNOW_STREAM_CALL(fputs, (const char* text, std::FILE* stream), (text, stream))
VARNOW_STREAM_CALL(fputc, (int character, std::FILE* stream), (character, stream))
VARNOW_STREAM_CALL(fflush, (std::FILE * stream), (stream))  // fflush(NULL) flushes every stream
#undef VARNOW_STREAM_CALL

int fclose(std::FILE* stream) {
  const auto call = real<int (*)(std::FILE*)>("fclose");
  const Rule* rule = streamFault("fclose", stream);
  if (rule == nullptr) return call(stream);
  // The stream is closed all the same; what it still held is lost.
  __fpurge(stream);
  call(stream);
  failWith(*rule);
  return EOF;
}

// A call on a file descriptor or on names: failed before it is made.
#define VARNOW_CALL(name, rule_name, signature, arguments, ...)                         \
  int name signature {                                                                  \
    const Rule* rule = anyRules() ? fault(rule_name, __VA_ARGS__) : nullptr;            \
    return rule != nullptr ? failWith(*rule) : real<int(*) signature>(#name) arguments; \
  }
VARNOW_CALL(fsync, "fsync", (int fd), (fd), pathOfFd(fd))
VARNOW_CALL(fdatasync, "fdatasync", (int fd), (fd), pathOfFd(fd))
VARNOW_CALL(ftruncate, "ftruncate", (int fd, off_t length), (fd, length), pathOfFd(fd))
VARNOW_CALL(rename, "rename", (const char* from, const char* to), (from, to), absolute(from),
            absolute(to))
VARNOW_CALL(unlink, "unlink", (const char* path), (path), absolute(path))
VARNOW_CALL(remove, "unlink", (const char* path), (path), absolute(path))
VARNOW_CALL(mkdir, "mkdir", (const char* path, mode_t mode), (path, mode), absolute(path))
#undef VARNOW_CALL

ssize_t copy_file_range(int inFd, off_t* inOffset, int outFd, off_t* outOffset, std::size_t count,
                        unsigned flags) {
  const auto call =
      real<ssize_t (*)(int, off_t*, int, off_t*, std::size_t, unsigned)>("copy_file_range");
  return transfer(
      "copy_file_range", outFd, count,
      [&](std::size_t n) { return call(inFd, inOffset, outFd, outOffset, n, flags); }, inFd);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  const bool clone = request == FICLONE || request == FICLONERANGE;
  if (const Rule* rule = clone ? fdFault("ioctl", fd) : nullptr) return failWith(*rule);
  return real<int (*)(int, unsigned long, ...)>("ioctl")(fd, request, argument);
}

#define VARNOW_ALSA_TRANSFER(name)                                                   \
  snd_pcm_sframes_t name(snd_pcm_t* pcm, void** buffers, snd_pcm_uframes_t frames) { \
    return alsaTransfer(#name, __builtin_return_address(0), pcm, buffers, frames);   \
  }
VARNOW_ALSA_TRANSFER(snd_pcm_writen)
VARNOW_ALSA_TRANSFER(snd_pcm_readn)
#undef VARNOW_ALSA_TRANSFER

int snd_pcm_prepare(snd_pcm_t* pcm) {
  const Rule* rule =
      fromProgram(__builtin_return_address(0)) ? fault("snd_pcm_prepare", streamOf(pcm)) : nullptr;
  return rule == nullptr ? real<AlsaPrepareCall>("snd_pcm_prepare")(pcm) : -rule->err;
}

// A device that refuses the access asked for (an interleaved-only plugin).
int snd_pcm_hw_params_set_access(snd_pcm_t* pcm, snd_pcm_hw_params_t* params,
                                 snd_pcm_access_t access) {
  using Call = int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_access_t);
  const Rule* rule = fromProgram(__builtin_return_address(0))
                         ? fault("snd_pcm_hw_params_set_access", streamOf(pcm))
                         : nullptr;
  return rule == nullptr ? real<Call>("snd_pcm_hw_params_set_access")(pcm, params, access)
                         : -rule->err;
}

}  // extern "C"
