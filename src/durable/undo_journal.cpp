#include "durable/undo_journal.hpp"

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

#include "core/file_paths.hpp"
#include "core/positioned_io.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "durable/record_bytes.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

constexpr std::string_view kMagic = "VNUNDO02";
constexpr std::string_view kEarlierMagic = "VNUNDO01";
constexpr std::size_t kChecksumBytes = 8;
constexpr std::size_t kBootIdBytes = 36;
constexpr std::int64_t kChunkBytes = 512;
// Bounds that no journal written by this program comes near; a journal
// beyond them is damaged.
constexpr std::uint64_t kLongestName = 4096;
constexpr std::uint64_t kMostStretches = 64;

using BootId = std::array<char, kBootIdBytes>;

// The id the kernel gives this boot; zeros when it cannot be read. Device
// and inode numbers identify a file for as long as the system runs, but not
// always across a restart (removable drives, FAT file systems, btrfs).
BootId currentBootId() {
  BootId id{};
  FileHandle file = openFile("/proc/sys/kernel/random/boot_id", "r");
  if (file && !readExactly(file.get(), id.data(), id.size())) id.fill('\0');
  return id;
}

// Where the chunk of a stretch [start, end) that begins at `at` ends: at the
// next multiple of kChunkBytes (no write reaches the disk in smaller parts),
// at the next piece the insert writes with one call (a crash can fall
// between two), at the old length, or at the stretch's end.
std::int64_t chunkEnd(std::int64_t start, std::int64_t at, std::int64_t end,
                      std::int64_t oldLengthBytes) {
  std::int64_t next = (at / kChunkBytes + 1) * kChunkBytes;
  next = std::min(next, start + ((at - start) / kJournalPieceBytes + 1) * kJournalPieceBytes);
  if (oldLengthBytes > at) next = std::min(next, oldLengthBytes);
  return std::min(next, end);
}

// The chunks of a stretch, counted no further than `most` + 1: a stretch
// with more chunks than its journal holds checksums for is damaged, however
// long its length field claims it is.
std::int64_t chunkCount(std::int64_t start, std::int64_t end, std::int64_t oldLengthBytes,
                        std::int64_t most) {
  std::int64_t count = 0;
  for (std::int64_t at = start; at < end && count <= most;
       at = chunkEnd(start, at, end, oldLengthBytes))
    ++count;
  return count;
}

// The checksums of consecutive bytes of a stretch, one per chunk.
class ChunkHasher {
 public:
  ChunkHasher(std::int64_t start, std::int64_t end, std::int64_t oldLengthBytes)
      : start_(start),
        at_(start),
        end_(end),
        oldLength_(oldLengthBytes),
        cut_(chunkEnd(start, start, end, oldLengthBytes)) {}

  void feed(const std::uint8_t* bytes, std::int64_t count) {
    while (count > 0) {
      const std::int64_t taken = std::min(count, cut_ - at_);
      hash_.add(bytes, static_cast<std::size_t>(taken));
      bytes += taken;
      count -= taken;
      at_ += taken;
      if (at_ == cut_) {
        sums_.push_back(hash_.value());
        hash_ = Checksum();
        cut_ = chunkEnd(start_, at_, end_, oldLength_);
      }
    }
  }
  const std::vector<std::uint64_t>& sums() const { return sums_; }

 private:
  std::int64_t start_;
  std::int64_t at_;
  std::int64_t end_;
  std::int64_t oldLength_;
  std::int64_t cut_;
  Checksum hash_;
  std::vector<std::uint64_t> sums_;
};

// Writes the journal front to back, keeping the checksum of what it wrote.
class JournalWriter {
 public:
  JournalWriter(std::FILE* file, const std::string& path) : file_(file), path_(path) {}

  bool bytes(const void* data, std::size_t count) {
    checksum_.add(data, count);
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
    const std::uint64_t sum = checksum_.value();
    return number(sum, 8);
  }
  Status failure() const { return fileFailure("write the undo journal", path_, err_); }
  void setError(int err) { err_ = err; }

 private:
  std::FILE* file_;
  const std::string& path_;
  Checksum checksum_;
  int err_ = EIO;
};

// Saves one stretch: its old bytes, then the checksums of its new bytes.
Status saveStretch(JournalWriter& out, int fd, const std::string& destination,
                   std::int64_t oldLengthBytes, const RewrittenStretch& stretch) {
  const std::int64_t start = stretch.offsetByte;
  const std::int64_t end = start + stretch.lengthBytes;
  const std::int64_t saved =
      std::clamp<std::int64_t>(oldLengthBytes - start, 0, stretch.lengthBytes);
  if (!out.number(static_cast<std::uint64_t>(start), 8) ||
      !out.number(static_cast<std::uint64_t>(stretch.lengthBytes), 8)) {
    return out.failure();
  }
  ChunkHasher hasher(start, end, oldLengthBytes);
  std::vector<std::uint8_t> oldPiece(static_cast<std::size_t>(kJournalPieceBytes));
  std::vector<std::uint8_t> newPiece(static_cast<std::size_t>(kJournalPieceBytes));
  for (std::int64_t at = 0; at < stretch.lengthBytes; at += kJournalPieceBytes) {
    const std::int64_t count = std::min(kJournalPieceBytes, stretch.lengthBytes - at);
    const auto size = static_cast<std::size_t>(count);
    if (!readAt(fd, start + at, oldPiece.data(), count, oldLengthBytes, EarlyEnd::kFailure)) {
      return fileFailure("read", destination, errno);
    }
    const std::int64_t savedHere = std::clamp<std::int64_t>(saved - at, 0, count);
    if (!out.bytes(oldPiece.data(), static_cast<std::size_t>(savedHere))) return out.failure();
    if (Status composed = stretch.compose(at, {oldPiece.data(), size}, {newPiece.data(), size});
        !composed) {
      return composed;
    }
    hasher.feed(newPiece.data(), count);
  }
  for (const std::uint64_t sum : hasher.sums()) {
    if (!out.number(sum, 8)) return out.failure();
  }
  return Status::success();
}

struct ParsedStretch {
  std::int64_t offsetByte = 0;
  std::int64_t lengthBytes = 0;
  const std::uint8_t* oldBytes = nullptr;  // as far as the old length reaches
  const std::uint8_t* sums = nullptr;      // 8 bytes per chunk
};

struct ParsedJournal {
  std::string name;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  BootId bootId{};
  std::int64_t oldLengthBytes = 0;
  std::int64_t newLengthBytes = 0;
  std::vector<ParsedStretch> stretches;
};

constexpr std::uint64_t kLargestLength =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2);

// Parses a journal whose checksum matched; false when its fields do not
// describe a sound journal.
bool parse(const std::uint8_t* bytes, std::size_t count, ParsedJournal& journal) {
  ByteReader in(bytes, count);
  const std::uint8_t* field = nullptr;
  std::uint64_t nameBytes = 0;
  std::uint64_t oldLength = 0;
  std::uint64_t newLength = 0;
  std::uint64_t stretchCount = 0;
  if (!in.bytes(kMagic.size(), field) || std::memcmp(field, kMagic.data(), kMagic.size()) != 0 ||
      !in.number(4, nameBytes) || nameBytes == 0 || nameBytes > kLongestName ||
      !in.bytes(nameBytes, field)) {
    return false;
  }
  journal.name.assign(reinterpret_cast<const char*>(field), nameBytes);
  if (journal.name.find('/') != std::string::npos || journal.name.find('\0') != std::string::npos ||
      !in.number(8, journal.device) || !in.number(8, journal.inode) ||
      !in.bytes(kBootIdBytes, field) || !in.number(8, oldLength) || !in.number(8, newLength) ||
      !in.number(4, stretchCount) || stretchCount > kMostStretches || oldLength > kLargestLength ||
      newLength > kLargestLength) {
    return false;
  }
  std::memcpy(journal.bootId.data(), field, kBootIdBytes);
  journal.oldLengthBytes = static_cast<std::int64_t>(oldLength);
  journal.newLengthBytes = static_cast<std::int64_t>(newLength);
  for (std::uint64_t i = 0; i < stretchCount; ++i) {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    // A stretch lies within the new length, and the new length is never
    // below the old one: an insert only writes within or beyond the old end.
    if (!in.number(8, offset) || !in.number(8, length) || newLength < oldLength ||
        offset > newLength || length > newLength - offset) {
      return false;
    }
    ParsedStretch stretch;
    stretch.offsetByte = static_cast<std::int64_t>(offset);
    stretch.lengthBytes = static_cast<std::int64_t>(length);
    const std::int64_t end = stretch.offsetByte + stretch.lengthBytes;
    const auto saved = static_cast<std::size_t>(std::clamp<std::int64_t>(
        journal.oldLengthBytes - stretch.offsetByte, 0, stretch.lengthBytes));
    if (!in.bytes(saved, stretch.oldBytes)) return false;
    const auto most = static_cast<std::int64_t>(in.left() / 8);
    const auto sums = static_cast<std::uint64_t>(
        chunkCount(stretch.offsetByte, end, journal.oldLengthBytes, most));
    if (sums > static_cast<std::uint64_t>(most) ||
        !in.bytes(static_cast<std::size_t>(sums * 8), stretch.sums)) {
      return false;
    }
    journal.stretches.push_back(stretch);
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
  ByteReader tail(journal.bytes() + summed, kChecksumBytes);
  std::uint64_t stored = 0;
  return tail.number(8, stored) && stored == checksumOf(journal.bytes(), summed);
}

// What the destination holds, measured against the journal.
enum class FileState {
  kMixed,     // every rewritten chunk old or new: an insert that did not finish
  kAsBefore,  // every chunk old, and the old length: nothing of the insert is there
  kAsAfter,   // every chunk new, and the new length: the whole insert is there
  kOther,     // not a state the insert could have left (`why` says what differs)
};

std::uint64_t storedSum(const ParsedStretch& stretch, std::int64_t chunk) {
  ByteReader in(stretch.sums + chunk * 8, 8);
  std::uint64_t sum = 0;
  in.number(8, sum);
  return sum;
}

// Compares every chunk of every stretch with its old bytes and its new
// checksum. False on a read error (errno set).
bool measure(const ParsedJournal& journal, int fd, std::int64_t fileBytes, FileState& state,
             std::string& why) {
  const std::int64_t newLength = journal.newLengthBytes;
  if (fileBytes < journal.oldLengthBytes || fileBytes > newLength) {
    state = FileState::kOther;
    why = "its length is not one the insert could have left";
    return true;
  }
  bool allOld = fileBytes == journal.oldLengthBytes;
  bool allNew = fileBytes == newLength;
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunkBytes));
  for (const ParsedStretch& stretch : journal.stretches) {
    const std::int64_t end = stretch.offsetByte + stretch.lengthBytes;
    std::int64_t index = 0;
    for (std::int64_t at = stretch.offsetByte; at < end; ++index) {
      const std::int64_t next = chunkEnd(stretch.offsetByte, at, end, journal.oldLengthBytes);
      const std::int64_t count = next - at;
      const bool below = at < journal.oldLengthBytes;
      if (next > fileBytes) {
        // Missing, or cut short, beyond the old length: what an extension
        // that did not finish leaves.
        allNew = false;
        at = next;
        continue;
      }
      if (!readAt(fd, at, chunk.data(), count, fileBytes, EarlyEnd::kFailure)) return false;
      const bool isNew =
          checksumOf(chunk.data(), static_cast<std::size_t>(count)) == storedSum(stretch, index);
      const bool isOld =
          below && std::memcmp(chunk.data(), stretch.oldBytes + (at - stretch.offsetByte),
                               static_cast<std::size_t>(count)) == 0;
      const bool isZero = !below && std::all_of(chunk.begin(), chunk.begin() + count,
                                                [](std::uint8_t b) { return b == 0; });
      if (!isNew && !isOld && !isZero) {
        state = FileState::kOther;
        why = formatText("its bytes from %li on are neither the old nor the new ones",
                         static_cast<long>(at));
        return true;
      }
      allNew = allNew && isNew;
      allOld = allOld && (isOld || !below);
      at = next;
    }
  }
  state = allNew ? FileState::kAsAfter : allOld ? FileState::kAsBefore : FileState::kMixed;
  return true;
}

// Puts the saved bytes back and cuts the destination to its old length.
Status restore(const ParsedJournal& journal, int fd, const std::string& destination) {
  for (const ParsedStretch& stretch : journal.stretches) {
    const std::int64_t saved = std::clamp<std::int64_t>(journal.oldLengthBytes - stretch.offsetByte,
                                                        0, stretch.lengthBytes);
    if (!writeAt(fd, stretch.offsetByte, stretch.oldBytes, saved)) {
      return fileFailure("write", destination, errno);
    }
  }
  if (::ftruncate(fd, static_cast<off_t>(journal.oldLengthBytes)) != 0 || ::fdatasync(fd) != 0) {
    return fileFailure("write", destination, errno);
  }
  return Status::success();
}

PlaybackResult refused(const std::string& journal, const std::string& destination,
                       const std::string& why) {
  return {PlaybackOutcome::kRefused, destination,
          formatText("The undo journal %s ", journal.c_str()) + why +
              "; it was not applied and is left as it is.",
          why};
}

PlaybackResult leftAlone(const std::string& journal, const std::string& destination,
                         const std::string& why) {
  return {PlaybackOutcome::kFailed, destination,
          why + formatText(" The undo journal %s is left as it is; %s will be restored from it "
                           "before it is next used, or at the next start.",
                           journal.c_str(), destination.c_str()),
          why};
}

// Checks the destination against the parsed journal and applies it as the
// mode says; the journal file itself is left for the caller to remove.
PlaybackResult apply(const ParsedJournal& parsed, const std::string& journal,
                     const std::string& destination, PlaybackMode mode, bool dryRun) {
  FileHandle file = openFile(destination, "rb+");
  if (!file) {
    const int err = errno;
    if (trulyAbsent(destination, err)) return refused(journal, destination, "has no file to undo");
    return leftAlone(journal, destination, fileFailure("open", destination, err).message());
  }
  const int fd = ::fileno(file.get());
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    return leftAlone(journal, destination, fileFailure("read", destination, errno).message());
  }
  const BootId boot = currentBootId();
  const bool sameBoot = boot != BootId{} && boot == parsed.bootId;
  if (sameBoot && (static_cast<std::uint64_t>(info.st_dev) != parsed.device ||
                   static_cast<std::uint64_t>(info.st_ino) != parsed.inode)) {
    return refused(
        journal, destination,
        formatText("was written for another file than the %s there now", destination.c_str()));
  }
  FileState state = FileState::kOther;
  std::string why;
  if (!measure(parsed, fd, static_cast<std::int64_t>(info.st_size), state, why)) {
    return leftAlone(journal, destination, fileFailure("read", destination, errno).message());
  }
  if (state == FileState::kOther) {
    return refused(
        journal, destination,
        formatText("does not belong to %s as it is now (", destination.c_str()) + why + ")");
  }
  if (state == FileState::kAsAfter && mode == PlaybackMode::kRecover) {
    return {PlaybackOutcome::kFinished, destination, {}, {}};
  }
  if (state != FileState::kAsAfter && mode == PlaybackMode::kUndo) {
    return refused(journal, destination,
                   formatText("finds %s changed since the insert", destination.c_str()));
  }
  if (dryRun) return {PlaybackOutcome::kRestored, destination, {}, {}};
  if (const Status restored = restore(parsed, fd, destination); !restored) {
    return leftAlone(journal, destination, restored.message());
  }
  return {PlaybackOutcome::kRestored, destination, {}, {}};
}

}  // namespace

std::string journalPath(std::string_view destination) {
  std::string name = ".";
  name += fileNamePart(destination);
  name += kJournalSuffix;
  return besideFile(destination, name);
}

Status writeUndoJournal(const std::string& destination, int destinationFd,
                        std::int64_t oldLengthBytes, std::int64_t newLengthBytes,
                        std::span<const RewrittenStretch> stretches) {
  const std::string path = journalPath(destination);
  const std::string name = fileNamePart(destination);
  struct stat info {};
  if (::fstat(destinationFd, &info) != 0) return fileFailure("read", destination, errno);
  const BootId boot = currentBootId();
  errno = 0;
  // "x": an existing journal is never overwritten; it is the only record of
  // an insert that did not finish.
  std::FILE* file = openRegularStream(path, "wbx");
  if (file == nullptr) return fileFailure("create the undo journal", path, errno);

  JournalWriter out(file, path);
  Status result = Status::success();
  if (!out.bytes(kMagic.data(), kMagic.size()) || !out.number(name.size(), 4) ||
      !out.bytes(name.data(), name.size()) ||
      !out.number(static_cast<std::uint64_t>(info.st_dev), 8) ||
      !out.number(static_cast<std::uint64_t>(info.st_ino), 8) ||
      !out.bytes(boot.data(), boot.size()) ||
      !out.number(static_cast<std::uint64_t>(oldLengthBytes), 8) ||
      !out.number(static_cast<std::uint64_t>(newLengthBytes), 8) ||
      !out.number(stretches.size(), 4)) {
    result = out.failure();
  }
  for (const RewrittenStretch& stretch : stretches) {
    if (result) result = saveStretch(out, destinationFd, destination, oldLengthBytes, stretch);
  }
  if (result && !out.finish()) result = out.failure();
  if (result && (std::fflush(file) != 0 || ::fdatasync(::fileno(file)) != 0)) {
    result = fileFailure("write the undo journal", path, errno);
  }
  if (std::fclose(file) != 0 && result) result = fileFailure("write the undo journal", path, errno);
  if (result) result = syncDirectoryOf(path);
  if (!result) std::remove(path.c_str());
  return result;
}

Status removeUndoJournal(const std::string& journal) {
  if (std::remove(journal.c_str()) != 0) {
    return fileFailure("remove the undo journal", journal, errno);
  }
  return syncDirectoryOf(journal);
}

namespace {

// Plays `journal` back onto `destination` (beside it, under the name the
// journal bears, when empty); a dry run only says whether it would.
PlaybackResult playBack(const std::string& journal, const std::string& destination,
                        PlaybackMode mode, bool dryRun) {
  ParsedJournal parsed;
  PlaybackResult result;
  {
    const MappedJournal mapped(journal);
    if (!mapped.status()) return leftAlone(journal, destination, mapped.status().message());
    if (mapped.size() >= kEarlierMagic.size() &&
        std::memcmp(mapped.bytes(), kEarlierMagic.data(), kEarlierMagic.size()) == 0) {
      return refused(journal, destination,
                     "was written by an earlier version of Varnow and cannot be checked against "
                     "its file");
    }
    const bool beside = destination.empty();
    if (!checksumMatches(mapped) ||
        !parse(mapped.bytes(), mapped.size() - kChecksumBytes, parsed) ||
        (beside ? journalPath(besideFile(journal, parsed.name)) != journal
                : fileNamePart(destination) != parsed.name)) {
      return refused(journal, destination, "does not match its checksum");
    }
    result = apply(parsed, journal, beside ? besideFile(journal, parsed.name) : destination, mode,
                   dryRun);
  }
  if (dryRun || result.outcome == PlaybackOutcome::kRefused ||
      result.outcome == PlaybackOutcome::kFailed) {
    return result;
  }
  const std::string& target = result.destination;
  const bool finished = result.outcome == PlaybackOutcome::kFinished;
  if (const Status removed = removeUndoJournal(journal); !removed) {
    if (finished) {
      return {PlaybackOutcome::kFailed, target,
              removed.message() + formatText(" The insert into %s had finished; the journal "
                                             "will never be applied.",
                                             target.c_str()),
              removed.message()};
    }
    return leftAlone(journal, target, removed.message());
  }
  result.message =
      finished ? formatText(
                     "The insert into %s had finished; its leftover undo journal %s was removed "
                     "without being applied.",
                     target.c_str(), journal.c_str())
               : formatText(
                     "Restored %s as it was before an insert that did not finish (undo "
                     "journal %s).",
                     target.c_str(), journal.c_str());
  return result;
}

}  // namespace

PlaybackResult playBackJournal(const std::string& journal, PlaybackMode mode) {
  return playBack(journal, {}, mode, false);
}

PlaybackResult playBackJournalOnto(const std::string& journal, const std::string& destination,
                                   PlaybackMode mode) {
  return playBack(journal, destination, mode, false);
}

Status checkJournalUndoes(const std::string& journal, const std::string& destination) {
  const PlaybackResult checked = playBack(journal, destination, PlaybackMode::kUndo, true);
  if (checked.outcome == PlaybackOutcome::kRestored) return Status::success();
  return Status::failure(checked.reason);
}

bool journalIsTorn(const std::string& journal) {
  const MappedJournal mapped(journal);
  if (!mapped.status()) return false;
  // An older layout is no crash of this program's own.
  return !(mapped.size() >= kEarlierMagic.size() &&
           std::memcmp(mapped.bytes(), kEarlierMagic.data(), kEarlierMagic.size()) == 0) &&
         !checksumMatches(mapped);
}

Status settlePendingJournal(const std::string& path) {
  const std::string journal = journalPath(path);
  struct stat info {};
  // No journal can stand where none can be looked up (a name too long for
  // the journal's, a directory that cannot be searched): the file itself then
  // fails on its own if it cannot be used.
  if (::lstat(journal.c_str(), &info) != 0) return Status::success();
  const PlaybackResult played = playBackJournal(journal);
  if (played.outcome == PlaybackOutcome::kRestored ||
      played.outcome == PlaybackOutcome::kFinished) {
    printLine(played.message);
    return Status::success();
  }
  return Status::failure(played.message + formatText(" %s was not used.", path.c_str()));
}

void recoverUndoJournals(const std::string& directory,
                         const std::function<bool(const std::string&)>& skip) {
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
  for (const std::string& journal : journals) {
    if (!skip || !skip(journal)) printLine(playBackJournal(journal).message);
  }
}

}  // namespace varnow
