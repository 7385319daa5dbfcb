#include "core/forced_exit_cleanup.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>

namespace varnow {
namespace {

constexpr int kScratchSlots = 16;
constexpr off_t kRiffSizeByte = 4;
constexpr std::int64_t kRiffHeaderBytes = 8;  // "RIFF" and the size field precede what it counts
constexpr std::int64_t kBytesPerSample = 3;

struct TakeSlot {
  std::atomic<int> fd{-1};
  std::atomic<std::int64_t> dataStartByte{0};
};

std::array<TakeSlot, kGuardedTakeFiles> takeSlots;
std::array<std::atomic<const char*>, kScratchSlots> scratchSlots{};

static_assert(std::atomic<const char*>::is_always_lock_free &&
                  std::atomic<std::int64_t>::is_always_lock_free,
              "a signal handler reads these tables");

// A 32-bit little-endian size field, modulo 2^32 as the header holds it.
bool writeSizeField(int fd, off_t at, std::int64_t value) {
  const auto field = static_cast<std::uint32_t>(value);
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(field), static_cast<unsigned char>(field >> 8),
      static_cast<unsigned char>(field >> 16), static_cast<unsigned char>(field >> 24)};
  return ::pwrite(fd, bytes, sizeof bytes, at) == static_cast<ssize_t>(sizeof bytes);
}

//   0      4                      S-4    S                         whole  F
//   | RIFF | whole-8 | ...        | size | sample 0 ... sample n-1 | cut  |
void repairTake(int fd, std::int64_t dataStartByte) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size < dataStartByte || dataStartByte < 8) return;
  const std::int64_t samples = (info.st_size - dataStartByte) / kBytesPerSample;
  const std::int64_t wholeBytes = dataStartByte + samples * kBytesPerSample;
  if (wholeBytes < info.st_size && ::ftruncate(fd, wholeBytes) != 0) return;
  if (!writeSizeField(fd, static_cast<off_t>(dataStartByte - 4), wholeBytes - dataStartByte)) {
    return;
  }
  writeSizeField(fd, kRiffSizeByte, wholeBytes - kRiffHeaderBytes);
}

}  // namespace

void guardTakeFile(int slot, int fd, std::int64_t dataStartByte) {
  if (slot < 0 || slot >= kGuardedTakeFiles) return;
  TakeSlot& take = takeSlots[static_cast<std::size_t>(slot)];
  take.dataStartByte.store(dataStartByte);
  take.fd.store(fd);
}

void releaseTakeFile(int slot) {
  if (slot < 0 || slot >= kGuardedTakeFiles) return;
  takeSlots[static_cast<std::size_t>(slot)].fd.store(-1);
}

void ScratchPathGuard::guard(const std::string& path) {
  release();
  path_ = path;
  for (std::size_t i = 0; i < scratchSlots.size(); ++i) {
    const char* expected = nullptr;
    if (scratchSlots[i].compare_exchange_strong(expected, path_.c_str())) {
      slot_ = static_cast<int>(i);
      return;
    }
  }
}

void ScratchPathGuard::release() {
  if (slot_ >= 0) scratchSlots[static_cast<std::size_t>(slot_)].store(nullptr);
  slot_ = -1;
}

void runForcedExitCleanup() {
  for (TakeSlot& take : takeSlots) {
    const int fd = take.fd.load();
    if (fd >= 0) repairTake(fd, take.dataStartByte.load());
  }
  for (auto& slot : scratchSlots) {
    if (const char* path = slot.load()) ::unlink(path);
  }
}

}  // namespace varnow
