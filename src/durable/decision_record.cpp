#include "durable/decision_record.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/file_paths.hpp"
#include "core/positioned_io.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "durable/record_bytes.hpp"

namespace varnow {
namespace {

constexpr std::string_view kMagic = "VNDCSN03";
// The record of the version before the history: one decision, read as the
// oldest of the history.
constexpr std::string_view kEarlierMagic = "VNDCSN02";
constexpr std::int64_t kStateByte = 8;
constexpr std::int64_t kHeaderBodyByte = 13;
constexpr std::int64_t kEntryStatusByte = 4;
constexpr std::int64_t kIdentityBytes = 32;
constexpr std::int64_t kEntryBodyByte = 5 + 3 * kIdentityBytes;
constexpr std::size_t kLongestText = 1 << 20;
constexpr std::size_t kChecksumBytes = 8;

void appendText(std::string& bytes, std::string_view text) {
  appendNumber(bytes, text.size(), 4);
  bytes += text;
}

void appendIdentity(std::string& bytes, const FileIdentity& identity) {
  appendNumber(bytes, identity.device, 8);
  appendNumber(bytes, identity.inode, 8);
  appendNumber(bytes, static_cast<std::uint64_t>(identity.sizeBytes), 8);
  appendNumber(bytes, static_cast<std::uint64_t>(identity.modifiedNs), 8);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i)
    text += (i == 0 ? "" : "\n") + lines[i];
  return text;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// The header: magic, state, body length, body, checksum (the state byte left out).
std::string headerBytes(const TakeOnRecord& take, const std::string& id, std::uint64_t sequence,
                        DecisionState state) {
  std::string body;
  appendText(body, take.command);
  appendText(body, id);
  appendNumber(body, static_cast<std::uint64_t>(take.inputs), 4);
  appendNumber(body, static_cast<std::uint64_t>(take.takeLength), 8);
  appendNumber(body, static_cast<std::uint64_t>(take.stamp), 8);
  appendNumber(body, static_cast<std::uint64_t>(take.punchPoint), 8);
  appendNumber(body, static_cast<std::uint64_t>(take.outPoint), 8);
  appendText(body, take.takeList);
  std::string flags;
  for (int i = 0; i < take.inputs && i < kMaxChannels; ++i)
    flags += take.channelFlags[static_cast<std::size_t>(i)] != 0 ? '1' : '0';
  appendText(body, flags);
  appendText(body, joined(take.recordLines));
  appendNumber(body, sequence, 8);
  appendText(body, joined(take.answers));
  appendNumber(body, static_cast<std::uint64_t>(take.crossfadeFrames), 8);
  appendNumber(body, static_cast<std::uint32_t>(take.safeMode), 4);
  body += take.dontAskAgain ? '1' : '0';

  std::string bytes(kMagic);
  bytes += static_cast<char>(state);
  appendNumber(bytes, body.size(), 4);
  bytes += body;
  Checksum sum;
  sum.add(std::string_view(bytes).substr(0, kStateByte));
  sum.add(std::string_view(bytes).substr(kStateByte + 1));
  appendNumber(bytes, sum.value(), 8);
  return bytes;
}

std::string entryBytes(const DecisionStep& step) {
  std::string body;
  body += static_cast<char>(step.kind);
  appendText(body, step.path);
  appendText(body, step.other);
  appendText(body, step.scratch);
  std::string bytes;
  appendNumber(bytes, body.size(), 4);
  bytes += step.status;
  appendIdentity(bytes, step.kept);
  appendIdentity(bytes, step.left);
  appendIdentity(bytes, step.scratchFile);
  Checksum sum;
  sum.add(std::string_view(bytes).substr(0, kEntryStatusByte));
  sum.add(body);
  bytes += body;
  appendNumber(bytes, sum.value(), 8);
  return bytes;
}

bool sumMatches(ByteReader& in, std::uint64_t sum) {
  std::uint64_t stored = 0;
  return in.number(8, stored) && stored == sum;
}

// The fields the history added to the header; a record of the earlier
// version has none of them.
bool parseHistoryFields(ByteReader& in, TakeOnRecord& take, std::uint64_t& sequence) {
  std::string answers;
  std::uint64_t crossfade = 0, safe = 0;
  const std::uint8_t* flag = nullptr;
  if (!in.number(8, sequence) || !in.text(answers, kLongestText) || !in.number(8, crossfade) ||
      !in.number(4, safe) || !in.bytes(1, flag)) {
    return false;
  }
  take.answers = split(answers);
  take.crossfadeFrames = static_cast<std::int64_t>(crossfade);
  take.safeMode = static_cast<std::int32_t>(static_cast<std::uint32_t>(safe));
  take.dontAskAgain = *flag == '1';
  return true;
}

bool parseHeader(ByteReader& in, const std::uint8_t* start, TakeOnRecord& take, std::string& id,
                 std::uint64_t& sequence, DecisionState& state) {
  const std::uint8_t* field = nullptr;
  std::uint64_t bodyBytes = 0;
  if (!in.bytes(kMagic.size(), field)) return false;
  const bool earlier = std::memcmp(field, kEarlierMagic.data(), kEarlierMagic.size()) == 0;
  if ((!earlier && std::memcmp(field, kMagic.data(), kMagic.size()) != 0) || !in.bytes(1, field) ||
      !in.number(4, bodyBytes) || bodyBytes > in.left()) {
    return false;
  }
  const char stateByte = static_cast<char>(*field);
  if (std::string_view("PCUX").find(stateByte) == std::string_view::npos) return false;
  state = static_cast<DecisionState>(stateByte);
  Checksum summed;
  summed.add(start, kStateByte);
  summed.add(start + kStateByte + 1,
             static_cast<std::size_t>(kHeaderBodyByte - kStateByte - 1 +
                                      static_cast<std::int64_t>(bodyBytes)));
  const std::uint64_t sum = summed.value();
  std::uint64_t inputs = 0, length = 0, stamp = 0, punch = 0, out = 0;
  std::string flags, lines;
  if (!in.text(take.command, kLongestText) || !in.text(id, kLongestText) || !in.number(4, inputs) ||
      inputs > kMaxChannels || !in.number(8, length) || !in.number(8, stamp) ||
      !in.number(8, punch) || !in.number(8, out) || !in.text(take.takeList, kLongestText) ||
      !in.text(flags, kMaxChannels) || !in.text(lines, kLongestText) ||
      (!earlier && !parseHistoryFields(in, take, sequence)) || !sumMatches(in, sum)) {
    return false;
  }
  take.inputs = static_cast<int>(inputs);
  take.takeLength = static_cast<std::int64_t>(length);
  take.stamp = static_cast<std::int64_t>(stamp);
  take.punchPoint = static_cast<Position>(punch);
  take.outPoint = static_cast<Position>(out);
  for (std::size_t i = 0; i < flags.size(); ++i)
    take.channelFlags[i] = flags[i] == '1' ? 1 : 0;
  take.recordLines = split(lines);
  // The earlier version did not record the crossfade: a redo takes the one
  // set now.
  if (earlier) take.crossfadeFrames = -1;
  return true;
}

bool parseIdentity(ByteReader& in, FileIdentity& identity) {
  std::uint64_t values[4] = {};
  for (std::uint64_t& value : values) {
    if (!in.number(8, value)) return false;
  }
  identity = {values[0], values[1], static_cast<std::int64_t>(values[2]),
              static_cast<std::int64_t>(values[3])};
  return true;
}

bool parseEntry(ByteReader& in, const std::uint8_t* start, DecisionStep& step) {
  std::uint64_t bodyBytes = 0;
  const std::uint8_t* field = nullptr;
  if (!in.number(4, bodyBytes) || !in.bytes(1, field)) return false;
  step.status = static_cast<char>(*field);
  if (!parseIdentity(in, step.kept) || !parseIdentity(in, step.left) ||
      !parseIdentity(in, step.scratchFile)) {
    return false;
  }
  if (bodyBytes + kChecksumBytes > in.left()) return false;
  const std::uint8_t* body = start + kEntryBodyByte;
  Checksum summed;
  summed.add(start, kEntryStatusByte);
  summed.add(body, static_cast<std::size_t>(bodyBytes));
  const std::uint64_t sum = summed.value();
  if (!in.bytes(1, field)) return false;
  step.kind = static_cast<StepKind>(*field);
  if (!in.text(step.path, kLongestText) || !in.text(step.other, kLongestText) ||
      !in.text(step.scratch, kLongestText) || !sumMatches(in, sum)) {
    return false;
  }
  return std::string_view("srpcika").find(static_cast<char>(step.kind)) != std::string_view::npos;
}

// Makes the store `directory` when it is missing, and makes that last.
Status makeStore(const std::string& directory) {
  if (::mkdir(directory.c_str(), 0777) == 0) return syncDirectory(besideFile(directory, "."));
  if (errno != EEXIST) return fileFailure("make the undo store", directory, errno);
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return fileFailure("make the undo store", directory, ENOTDIR);
  }
  return Status::success();
}

// A name no earlier decision used, for the store files of this one.
std::string newId() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return formatText("%lx", static_cast<unsigned long>(
                               std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

}  // namespace

DecisionRecord::~DecisionRecord() {
  close();
}

DecisionRecord::DecisionRecord(DecisionRecord&& other) noexcept {
  *this = std::move(other);
}

DecisionRecord& DecisionRecord::operator=(DecisionRecord&& other) noexcept {
  if (this == &other) return *this;
  close();
  fd_ = std::exchange(other.fd_, -1);
  path_ = std::move(other.path_);
  id_ = std::move(other.id_);
  sequence_ = other.sequence_;
  state_ = other.state_;
  take_ = std::move(other.take_);
  steps_ = std::move(other.steps_);
  stepOffsets_ = std::move(other.stepOffsets_);
  endByte_ = other.endByte_;
  return *this;
}

void DecisionRecord::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Status DecisionRecord::sync(const char* what) const {
  if (::fdatasync(fd_) != 0) return fileFailure(what, path_, errno);
  return Status::success();
}

Status DecisionRecord::begin(const TakeOnRecord& take, const std::string& path,
                             std::uint64_t sequence, DecisionRecord& record) {
  if (Status made = makeStore(std::string(kUndoStore)); !made) return made;
  record = DecisionRecord();
  record.path_ = path;
  errno = 0;
  record.fd_ = openRegularFile(record.path_, O_RDWR | O_CREAT);
  if (record.fd_ < 0) return fileFailure("write the undo record", record.path_, errno);
  record.id_ = newId();
  record.sequence_ = sequence;
  record.take_ = take;
  const std::string header = headerBytes(take, record.id_, sequence, DecisionState::kCarryingOut);
  if (::ftruncate(record.fd_, 0) != 0 || !writeAt(record.fd_, 0, header)) {
    const Status failed = fileFailure("write the undo record", record.path_, errno);
    (void)::ftruncate(record.fd_, 0);
    return failed;
  }
  record.endByte_ = static_cast<std::int64_t>(header.size());
  return Status::success();
}

Status DecisionRecord::load(const std::string& path, std::optional<DecisionRecord>& record) {
  record.reset();
  errno = 0;
  const int fd = openRegularFile(path, O_RDWR);
  if (fd < 0) {
    if (trulyAbsent(path, errno)) return Status::success();
    return fileFailure("read the undo record", path, errno);
  }
  DecisionRecord loaded;
  loaded.fd_ = fd;
  loaded.path_ = path;
  std::string bytes;
  std::array<char, 65536> chunk{};
  for (;;) {
    const ssize_t got = ::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(bytes.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fileFailure("read the undo record", path, errno);
    if (got == 0) break;
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
  if (bytes.empty()) return Status::success();
  const auto* start = reinterpret_cast<const std::uint8_t*>(bytes.data());
  ByteReader in(start, bytes.size());
  if (!parseHeader(in, start, loaded.take_, loaded.id_, loaded.sequence_, loaded.state_)) {
    return Status::failure(
        formatText("The undo record %s is damaged and was not used.", path.c_str()));
  }
  for (;;) {
    const auto offset = static_cast<std::int64_t>(bytes.size() - in.left());
    DecisionStep step;
    ByteReader entry = in;
    if (in.left() == 0 || !parseEntry(entry, start + offset, step)) break;
    in = entry;
    if (step.kind == StepKind::kAnswers) {
      for (std::string& word : split(step.path))
        loaded.take_.answers.push_back(std::move(word));
    }
    loaded.steps_.push_back(step);
    loaded.stepOffsets_.push_back(offset);
  }
  loaded.endByte_ = static_cast<std::int64_t>(bytes.size() - in.left());
  record = std::move(loaded);
  return Status::success();
}

Status DecisionRecord::plan(DecisionStep step, std::size_t& index) {
  index = steps_.size();
  return planAll({std::move(step)});
}

Status DecisionRecord::planAll(std::vector<DecisionStep> steps) {
  std::string bytes;
  std::vector<std::int64_t> offsets;
  for (DecisionStep& step : steps) {
    step.status = '-';
    offsets.push_back(endByte_ + static_cast<std::int64_t>(bytes.size()));
    bytes += entryBytes(step);
  }
  if (!writeAt(fd_, endByte_, bytes)) return fileFailure("write the undo record", path_, errno);
  // One sync makes the header and every step planned so far last.
  if (Status synced = sync("write the undo record"); !synced) return synced;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    steps_.push_back(std::move(steps[i]));
    stepOffsets_.push_back(offsets[i]);
  }
  endByte_ += static_cast<std::int64_t>(bytes.size());
  return Status::success();
}

Status DecisionRecord::writeIdentities(std::size_t index) {
  const DecisionStep& step = steps_[index];
  std::string bytes(1, step.status);
  appendIdentity(bytes, step.kept);
  appendIdentity(bytes, step.left);
  appendIdentity(bytes, step.scratchFile);
  if (!writeAt(fd_, stepOffsets_[index] + kEntryStatusByte, bytes)) {
    return fileFailure("write the undo record", path_, errno);
  }
  return Status::success();
}

Status DecisionRecord::note(std::size_t index, StepNote note, const std::string& path) {
  DecisionStep& step = steps_[index];
  const FileIdentity identity = identityOf(path).value_or(FileIdentity{});
  (note == StepNote::kLeft ? step.left : step.scratchFile) = identity;
  if (Status written = writeIdentities(index); !written) return written;
  return sync("write the undo record");
}

Status DecisionRecord::storeFileFor(const std::string& path, std::string& stored) const {
  const std::string directory = besideFile(path, kUndoStore);
  if (Status made = makeStore(directory); !made) return made;
  // The id and the step make the name unique; the file's own name, cut so
  // that the whole stays a valid name, tells the user what it is.
  constexpr std::size_t kNamePartBytes = 200;
  stored = formatText("%s/%s.%zu.", directory.c_str(), id_.c_str(), steps_.size()) +
           fileNamePart(path).substr(0, kNamePartBytes);
  return Status::success();
}

Status DecisionRecord::finish(std::size_t index, bool done) {
  steps_[index].status = done ? 'D' : 'S';
  return writeIdentities(index);
}

Status DecisionRecord::setState(DecisionState state) {
  const char byte = static_cast<char>(state);
  if (!writeAt(fd_, kStateByte, &byte, 1)) {
    return fileFailure("write the undo record", path_, errno);
  }
  if (Status synced = sync("write the undo record"); !synced) return synced;
  state_ = state;
  return Status::success();
}

std::vector<std::string> DecisionRecord::storedFiles() const {
  std::vector<std::string> stored;
  for (const DecisionStep& step : steps_) {
    if (step.kind == StepKind::kStash || step.kind == StepKind::kReplace ||
        step.kind == StepKind::kInsert) {
      stored.push_back(step.other);
    }
  }
  return stored;
}

Status DecisionRecord::drop() {
  const std::vector<std::string> stored = storedFiles();
  const Status cleared = clear();
  for (const std::string& path : stored)
    std::remove(path.c_str());
  return cleared;
}

Status DecisionRecord::clear() {
  steps_.clear();
  stepOffsets_.clear();
  if (::ftruncate(fd_, 0) != 0) return fileFailure("empty the undo record", path_, errno);
  return sync("empty the undo record");
}

}  // namespace varnow
