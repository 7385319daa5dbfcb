#include "takes/undo_journal.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "takes/file_names.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

constexpr std::string_view kMagic = "VNUNDO01";
constexpr std::size_t kChecksumBytes = 8;
// Bounds that no journal written by this program comes near; a journal
// beyond them is damaged.
constexpr std::uint64_t kLongestName = 4096;
constexpr std::uint64_t kMostExtents = 64;
constexpr std::size_t kSavePieceBytes = 65536;

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::uint64_t fnv1a(std::uint64_t hash, const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    hash ^= bytes[i];
    hash *= kFnvPrime;
  }
  return hash;
}

std::string fileNamePart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Syncs the directory that holds `path`, so that a file created or removed
// there stays created or removed after a crash.
Status syncDirectoryOf(const std::string& path) {
  std::string directory = besideFile(path, ".");
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fileFailure("open the directory", directory, errno);
  const int synced = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (synced != 0) return fileFailure("sync the directory", directory, err);
  return Status::success();
}

// Writes the journal front to back, keeping the checksum of what it wrote.
class JournalWriter {
 public:
  JournalWriter(std::FILE* file, const std::string& path) : file_(file), path_(path) {}

  bool bytes(const void* data, std::size_t count) {
    checksum_ = fnv1a(checksum_, static_cast<const std::uint8_t*>(data), count);
    errno = 0;
    if (std::fwrite(data, 1, count, file_) == count) return true;
    err_ = errno != 0 ? errno : EIO;
    return false;
  }
  bool number(std::uint64_t value, int width) {
    std::array<std::uint8_t, 8> field{};
    for (int i = 0; i < width; ++i)
      field[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes(field.data(), static_cast<std::size_t>(width));
  }
  // The checksum itself, which is not part of what it sums.
  bool finish() {
    const std::uint64_t sum = checksum_;
    return number(sum, 8);
  }
  Status failure() const { return fileFailure("write the undo journal", path_, err_); }
  void setError(int err) { err_ = err; }

 private:
  std::FILE* file_;
  const std::string& path_;
  std::uint64_t checksum_ = kFnvOffset;
  int err_ = EIO;
};

// Copies `count` bytes of the destination from `offset` into the journal.
bool saveBytes(JournalWriter& out, int fd, std::int64_t offset, std::int64_t count,
               const std::string& destination, Status& readFailure) {
  std::vector<std::uint8_t> piece(kSavePieceBytes);
  while (count > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count, kSavePieceBytes));
    const ssize_t got = ::pread(fd, piece.data(), want, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      readFailure = got < 0 ? fileFailure("read", destination, errno)
                            : Status::failure("Could not read " + destination +
                                              ": the file ended before the stretch to save.");
      return false;
    }
    if (!out.bytes(piece.data(), static_cast<std::size_t>(got))) return false;
    offset += got;
    count -= got;
  }
  return true;
}

// Reads the fields of a journal held in memory; every read is bounds-checked.
class JournalReader {
 public:
  JournalReader(const std::uint8_t* bytes, std::size_t count) : at_(bytes), left_(count) {}
  bool bytes(std::size_t count, const std::uint8_t*& out) {
    if (count > left_) return false;
    out = at_;
    at_ += count;
    left_ -= count;
    return true;
  }
  bool number(int width, std::uint64_t& value) {
    const std::uint8_t* field = nullptr;
    if (!bytes(static_cast<std::size_t>(width), field)) return false;
    value = 0;
    for (int i = width - 1; i >= 0; --i)
      value = (value << 8) | field[i];
    return true;
  }
  std::size_t left() const { return left_; }

 private:
  const std::uint8_t* at_;
  std::size_t left_;
};

struct ParsedExtent {
  std::uint64_t offsetByte = 0;
  std::uint64_t lengthBytes = 0;
  const std::uint8_t* oldBytes = nullptr;
};

struct ParsedJournal {
  std::string name;
  std::uint64_t oldLengthBytes = 0;
  std::vector<ParsedExtent> extents;
};

// Parses a journal whose checksum matched; false when its fields do not
// describe a sound journal.
bool parse(const std::uint8_t* bytes, std::size_t count, ParsedJournal& journal) {
  JournalReader in(bytes, count);
  const std::uint8_t* field = nullptr;
  std::uint64_t nameBytes = 0;
  std::uint64_t extentCount = 0;
  if (!in.bytes(kMagic.size(), field) || std::memcmp(field, kMagic.data(), kMagic.size()) != 0 ||
      !in.number(4, nameBytes) || nameBytes == 0 || nameBytes > kLongestName ||
      !in.bytes(nameBytes, field)) {
    return false;
  }
  journal.name.assign(reinterpret_cast<const char*>(field), nameBytes);
  if (journal.name.find('/') != std::string::npos || journal.name.find('\0') != std::string::npos ||
      !in.number(8, journal.oldLengthBytes) || !in.number(4, extentCount) ||
      extentCount > kMostExtents ||
      journal.oldLengthBytes >
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return false;
  }
  for (std::uint64_t i = 0; i < extentCount; ++i) {
    ParsedExtent extent;
    if (!in.number(8, extent.offsetByte) || !in.number(8, extent.lengthBytes) ||
        extent.offsetByte > journal.oldLengthBytes ||
        extent.lengthBytes > journal.oldLengthBytes - extent.offsetByte ||
        !in.bytes(extent.lengthBytes, extent.oldBytes)) {
      return false;
    }
    journal.extents.push_back(extent);
  }
  return in.left() == 0;
}

// A journal mapped into memory for reading.
class MappedJournal {
 public:
  explicit MappedJournal(const std::string& path) {
    FileHandle file = openFile(path, "rb");
    if (!file) {
      status_ = fileFailure("open", path, errno);
      return;
    }
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0) {
      status_ = fileFailure("read", path, errno);
      return;
    }
    size_ = static_cast<std::size_t>(info.st_size);
    if (size_ == 0) return;
    void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, ::fileno(file.get()), 0);
    if (mapped == MAP_FAILED) {
      status_ = fileFailure("read", path, errno);
      size_ = 0;
      return;
    }
    bytes_ = static_cast<const std::uint8_t*>(mapped);
  }
  ~MappedJournal() {
    if (bytes_ != nullptr) ::munmap(const_cast<std::uint8_t*>(bytes_), size_);
  }
  MappedJournal(const MappedJournal&) = delete;
  MappedJournal& operator=(const MappedJournal&) = delete;

  const Status& status() const { return status_; }
  const std::uint8_t* bytes() const { return bytes_; }
  std::size_t size() const { return size_; }

 private:
  Status status_ = Status::success();
  const std::uint8_t* bytes_ = nullptr;
  std::size_t size_ = 0;
};

bool checksumMatches(const MappedJournal& journal) {
  if (journal.size() < kMagic.size() + kChecksumBytes) return false;
  const std::size_t summed = journal.size() - kChecksumBytes;
  JournalReader tail(journal.bytes() + summed, kChecksumBytes);
  std::uint64_t stored = 0;
  return tail.number(8, stored) && stored == fnv1a(kFnvOffset, journal.bytes(), summed);
}

bool writeAll(int fd, const std::uint8_t* bytes, std::uint64_t count, std::uint64_t offset) {
  while (count > 0) {
    const ssize_t done = ::pwrite(fd, bytes, count, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = EIO;
      return false;
    }
    bytes += done;
    count -= static_cast<std::uint64_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
  return true;
}

// Puts the saved bytes back and cuts the destination to its old length.
Status restore(const ParsedJournal& journal, const std::string& destination) {
  FileHandle file = openFile(destination, "rb+");
  if (!file) return fileFailure("open", destination, errno);
  const int fd = ::fileno(file.get());
  // An insert only ever writes within or beyond the old length: a shorter
  // file is not the one the journal was written for.
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fileFailure("read", destination, errno);
  if (static_cast<std::uint64_t>(info.st_size) < journal.oldLengthBytes) {
    return Status::failure(destination +
                           " is shorter than the file the journal was written for, so it was "
                           "not changed.");
  }
  for (const ParsedExtent& extent : journal.extents) {
    if (!writeAll(fd, extent.oldBytes, extent.lengthBytes, extent.offsetByte)) {
      return fileFailure("write", destination, errno);
    }
  }
  if (::ftruncate(fd, static_cast<off_t>(journal.oldLengthBytes)) != 0 || ::fdatasync(fd) != 0) {
    return fileFailure("write", destination, errno);
  }
  return Status::success();
}

PlaybackResult leftAlone(const std::string& journal, const std::string& destination,
                         const std::string& why) {
  return {
      PlaybackOutcome::kFailed, destination,
      why + formatText(" The undo journal %s is left as it is, to be applied at the next start.",
                       journal.c_str())};
}

}  // namespace

std::string journalPath(std::string_view destination) {
  return besideFile(destination, "." + fileNamePart(destination) + std::string(kJournalSuffix));
}

Status writeUndoJournal(const std::string& destination, int destinationFd,
                        std::int64_t oldLengthBytes, std::span<const SavedExtent> extents) {
  const std::string path = journalPath(destination);
  const std::string name = fileNamePart(destination);
  errno = 0;
  // "x": an existing journal is never overwritten; it is the only record of
  // an insert that did not finish.
  std::FILE* file = openRegularStream(path, "wbx");
  if (file == nullptr) return fileFailure("create the undo journal", path, errno);

  JournalWriter out(file, path);
  Status readFailure = Status::success();
  bool fine = out.bytes(kMagic.data(), kMagic.size()) && out.number(name.size(), 4) &&
              out.bytes(name.data(), name.size()) &&
              out.number(static_cast<std::uint64_t>(oldLengthBytes), 8) &&
              out.number(extents.size(), 4);
  for (const SavedExtent& extent : extents) {
    fine = fine && out.number(static_cast<std::uint64_t>(extent.offsetByte), 8) &&
           out.number(static_cast<std::uint64_t>(extent.lengthBytes), 8) &&
           saveBytes(out, destinationFd, extent.offsetByte, extent.lengthBytes, destination,
                     readFailure);
  }
  fine = fine && out.finish();
  if (fine && (std::fflush(file) != 0 || ::fdatasync(::fileno(file)) != 0)) {
    out.setError(errno);
    fine = false;
  }
  if (std::fclose(file) != 0 && fine) {
    out.setError(errno);
    fine = false;
  }
  Status result = fine ? syncDirectoryOf(path) : readFailure.ok() ? out.failure() : readFailure;
  if (!result) std::remove(path.c_str());
  return result;
}

Status removeUndoJournal(const std::string& journal) {
  if (std::remove(journal.c_str()) != 0) {
    return fileFailure("remove the undo journal", journal, errno);
  }
  return syncDirectoryOf(journal);
}

PlaybackResult playBackJournal(const std::string& journal) {
  ParsedJournal parsed;
  {
    const MappedJournal mapped(journal);
    if (!mapped.status()) return leftAlone(journal, {}, mapped.status().message());
    if (!checksumMatches(mapped) ||
        !parse(mapped.bytes(), mapped.size() - kChecksumBytes, parsed) ||
        journalPath(besideFile(journal, parsed.name)) != journal) {
      return {PlaybackOutcome::kDamaged,
              {},
              formatText("The undo journal %s does not match its checksum; it was not applied and "
                         "is left as it is.",
                         journal.c_str())};
    }
    const std::string destination = besideFile(journal, parsed.name);
    if (const Status restored = restore(parsed, destination); !restored) {
      return leftAlone(journal, destination, restored.message());
    }
  }
  const std::string destination = besideFile(journal, parsed.name);
  if (const Status removed = removeUndoJournal(journal); !removed) {
    return leftAlone(journal, destination, removed.message());
  }
  return {
      PlaybackOutcome::kRestored, destination,
      formatText("Restored %s as it was before an insert that did not finish (undo journal %s).",
                 destination.c_str(), journal.c_str())};
}

void recoverUndoJournals(const std::string& directory) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> journals;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.size() > kJournalSuffix.size() + 1 && name.front() == '.' &&
        name.substr(name.size() - kJournalSuffix.size()) == kJournalSuffix) {
      journals.emplace_back(directory == "." ? std::string(name)
                                             : besideFile(directory + "/", name));
    }
  }
  ::closedir(listing);
  std::sort(journals.begin(), journals.end());
  for (const std::string& journal : journals)
    printLine(playBackJournal(journal).message);
}

}  // namespace varnow
