// Feeds arbitrary bytes to the undo journal reader as a journal found at
// start-up: playing it back must neither crash nor write outside its
// destination's old length, whatever the fields say. The bytes are sealed
// with a matching checksum first, so that the fields are read at all.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "durable/record_bytes.hpp"
#include "durable/undo_journal.hpp"

namespace {

// One scratch directory per process, holding a destination and its journal,
// removed when the run ends (kept in a plain array, which outlives every
// exit handler).
char scratchPattern[] = "/tmp/varnow_journal_fuzz_XXXXXX";

std::string scratchDirectory() {
  static const bool made = [] {
    if (::mkdtemp(scratchPattern) == nullptr) std::abort();
    std::atexit([] {
      std::remove((std::string(scratchPattern) + "/vox.wav").c_str());
      ::rmdir(scratchPattern);
    });
    return true;
  }();
  (void)made;
  return scratchPattern;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::abort();
  }
}

// The journal's checksum (its last eight bytes, little-endian) appended.
std::string sealed(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::uint64_t sum = varnow::checksumOf(data, size);
  for (int i = 0; i < 8; ++i)
    bytes.push_back(static_cast<char>(sum >> (8 * i)));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kDestinationBytes = 1000;
  const std::string destination = scratchDirectory() + "/vox.wav";
  const std::string journal = varnow::journalPath(destination);
  writeFile(destination, std::string(kDestinationBytes, 'a'));
  // Half the inputs as they are (a damaged journal), half sealed.
  writeFile(journal, size > 0 && data[0] % 2 == 0
                         ? sealed(data, size)
                         : std::string(reinterpret_cast<const char*>(data), size));

  const varnow::PlaybackResult played = varnow::playBackJournal(journal);
  struct stat info {};
  const bool journalLeft = ::stat(journal.c_str(), &info) == 0;
  if (::stat(destination.c_str(), &info) != 0) std::abort();
  std::remove(journal.c_str());
  // Restored or finished means the journal is gone; anything else leaves
  // it, and a journal never makes its destination longer than it was.
  const bool settled = played.outcome == varnow::PlaybackOutcome::kRestored ||
                       played.outcome == varnow::PlaybackOutcome::kFinished;
  if (settled == journalLeft) std::abort();
  if (info.st_size > static_cast<off_t>(kDestinationBytes) &&
      played.outcome == varnow::PlaybackOutcome::kRestored) {
    std::abort();
  }
  return 0;
}
