#include "durable/decision_history.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <vector>

#include "core/file_paths.hpp"
#include "core/positioned_io.hpp"
#include "core/print.hpp"

namespace varnow {
namespace {

constexpr std::size_t kKeptDecisions = 100;
constexpr int kPlaceDigits = 10;
constexpr double kBytesPerMb = 1024.0 * 1024.0;

std::string storeDirectory() {
  return std::string(kUndoStore);
}

std::string historyDirectory() {
  return storeDirectory() + "/history";
}

std::string redoDirectory() {
  return storeDirectory() + "/redo";
}

std::string placePath(const std::string& directory, std::uint64_t place) {
  return formatText("%s/%0*llu", directory.c_str(), kPlaceDigits,
                    static_cast<unsigned long long>(place));
}

// The places of the records in `directory`, lowest first.
std::vector<std::uint64_t> placesIn(const std::string& directory) {
  std::vector<std::uint64_t> places;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return places;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != kPlaceDigits || name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    places.push_back(std::strtoull(name.c_str(), nullptr, 10));
  }
  ::closedir(listing);
  std::sort(places.begin(), places.end());
  return places;
}

Status makeDirectory(const std::string& directory) {
  if (::mkdir(directory.c_str(), 0777) == 0) return syncDirectoryOf(directory);
  if (errno == EEXIST) return Status::success();
  return fileFailure("make the undo store", directory, errno);
}

// Renames a record from one name of the history to another and makes that last.
Status moveRecord(const std::string& from, const std::string& to) {
  errno = 0;
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    return fileFailure("move the undo record " + from + " to", to, errno);
  }
  if (Status synced = syncDirectoryOf(to); !synced) return synced;
  return syncDirectoryOf(from);
}

std::optional<DecisionRecord> loaded(const std::string& path) {
  std::optional<DecisionRecord> record;
  if (!DecisionRecord::load(path, record)) return std::nullopt;
  return record;
}

// When the decision with this id began, in local time.
std::string timeOf(const std::string& id) {
  const auto ns = std::strtoull(id.c_str(), nullptr, 16);
  const auto seconds = static_cast<std::time_t>(ns / 1000000000ull);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&seconds, &local) != nullptr) {
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  }
  return text;
}

// The bytes the decision keeps in the store.
std::int64_t keptBytes(const DecisionRecord& record) {
  std::int64_t bytes = 0;
  for (const std::string& path : record.storedFiles()) {
    if (const auto identity = identityOf(path)) bytes += identity->sizeBytes;
  }
  return bytes;
}

std::string megabytes(std::int64_t bytes) {
  return formatText("%.1f MB", static_cast<double>(bytes) / kBytesPerMb);
}

// The records of the history, newest first: those taken back (the latest
// taken back last), the record, then the older ones.
struct Entry {
  std::string path;
  DecisionRecord record;
};

std::vector<Entry> allEntries() {
  std::vector<Entry> entries;
  const auto add = [&entries](const std::string& path) {
    if (std::optional<DecisionRecord> record = loaded(path); record) {
      entries.push_back({path, std::move(*record)});
    }
  };
  std::vector<std::uint64_t> redo = placesIn(redoDirectory());
  for (auto place = redo.rbegin(); place != redo.rend(); ++place)
    add(placePath(redoDirectory(), *place));
  add(newestRecordPath());
  std::vector<std::uint64_t> older = placesIn(historyDirectory());
  for (auto place = older.rbegin(); place != older.rend(); ++place)
    add(placePath(historyDirectory(), *place));
  return entries;
}

// Removes the record of `entry`, then the files it keeps in the store (so
// that a crash between leaves only files that the next sweep removes).
// False, the failure said, when the record stays.
bool dropEntry(Entry& entry) {
  const std::vector<std::string> stored = entry.record.storedFiles();
  entry.record.close();
  errno = 0;
  if (std::remove(entry.path.c_str()) != 0) {
    printLine(fileFailure("remove the undo record", entry.path, errno).message());
    return false;
  }
  for (const std::string& path : stored)
    std::remove(path.c_str());
  return true;
}

std::string quotedCommands(const std::vector<std::string>& commands) {
  std::string text;
  for (const std::string& command : commands)
    text += (text.empty() ? "'" : ", '") + command + "'";
  return text;
}

// Drops the records of redo/ at or below `place`: decided over.
void dropDecidedOver(std::uint64_t place) {
  std::vector<std::string> dropped;
  for (const std::uint64_t own : placesIn(redoDirectory())) {
    if (own > place) continue;
    const std::string path = placePath(redoDirectory(), own);
    const std::optional<DecisionRecord> record = loaded(path);
    errno = 0;
    if (std::remove(path.c_str()) != 0) {
      printLine(fileFailure("remove the undo record", path, errno).message());
      continue;
    }
    // One carried out again has taken its place, and says nothing.
    if (record && own != place) dropped.push_back(record->take().command);
  }
  if (dropped.empty()) return;
  (void)syncDirectory(redoDirectory());
  printLine("Dropped what could be redone: " + quotedCommands(dropped) + ".");
}

std::uint64_t newestDonePlace() {
  std::uint64_t place = 0;
  if (const auto record = loaded(newestRecordPath());
      record && record->state() == DecisionState::kDone) {
    place = record->sequence();
  }
  const std::vector<std::uint64_t> older = placesIn(historyDirectory());
  if (!older.empty()) place = std::max(place, older.back());
  return place;
}

}  // namespace

std::string newestRecordPath() {
  return storeDirectory() + "/record";
}

void settleHistory() {
  const std::string newest = newestRecordPath();
  std::optional<DecisionRecord> record;
  const Status read = DecisionRecord::load(newest, record);
  if (read && record && record->state() == DecisionState::kTakenBack) {
    if (Status retired = retireTakenBack(*record); !retired) printLine(retired.message());
    return;
  }
  if (read && !record) {
    const std::vector<std::uint64_t> older = placesIn(historyDirectory());
    if (!older.empty()) {
      if (Status moved = moveRecord(placePath(historyDirectory(), older.back()), newest); !moved) {
        printLine(moved.message());
      }
    }
  }
  if (const std::uint64_t done = newestDonePlace(); done > 0) dropDecidedOver(done);
}

std::uint64_t nextPlace() {
  std::uint64_t place = 0;
  if (const auto record = loaded(newestRecordPath())) place = record->sequence();
  for (const std::string& directory : {historyDirectory(), redoDirectory()}) {
    const std::vector<std::uint64_t> places = placesIn(directory);
    if (!places.empty()) place = std::max(place, places.back());
  }
  return place + 1;
}

Status shelveNewest() {
  const std::optional<DecisionRecord> record = loaded(newestRecordPath());
  if (!record || record->state() != DecisionState::kDone) return Status::success();
  if (Status made = makeDirectory(historyDirectory()); !made) return made;
  return moveRecord(newestRecordPath(), placePath(historyDirectory(), record->sequence()));
}

void trimHistory(std::int64_t budgetBytes) {
  if (const auto record = loaded(newestRecordPath())) dropDecidedOver(record->sequence());
  std::vector<Entry> done;
  std::int64_t total = 0;
  for (Entry& entry : allEntries()) {
    total += keptBytes(entry.record);
    if (entry.record.state() == DecisionState::kDone) done.push_back(std::move(entry));
  }
  // The oldest go first; the newest stays whatever it keeps.
  while (done.size() > 1 && (done.size() > kKeptDecisions || total > budgetBytes)) {
    Entry& oldest = done.back();
    total -= keptBytes(oldest.record);
    const std::string command = oldest.record.take().command;
    const std::string when = timeOf(oldest.record.id());
    if (!dropEntry(oldest)) return;
    print("Dropped the oldest take decision on record, '%s' of %s.\n", command.c_str(),
          when.c_str());
    done.pop_back();
  }
}

Status retireTakenBack(DecisionRecord& record) {
  if (Status made = makeDirectory(redoDirectory()); !made) return made;
  const std::string to = placePath(redoDirectory(), record.sequence());
  if (Status moved = moveRecord(record.path(), to); !moved) return moved;
  record.movedTo(to);
  const std::vector<std::uint64_t> older = placesIn(historyDirectory());
  if (older.empty()) return Status::success();
  return moveRecord(placePath(historyDirectory(), older.back()), newestRecordPath());
}

Status loadToRedo(std::optional<DecisionRecord>& record) {
  record.reset();
  const std::vector<std::uint64_t> places = placesIn(redoDirectory());
  if (places.empty()) return Status::success();
  return DecisionRecord::load(placePath(redoDirectory(), places.front()), record);
}

void sweepStore() {
  std::set<std::string> keep;
  for (const Entry& entry : allEntries()) {
    for (const std::string& path : entry.record.storedFiles())
      keep.insert(path);
  }
  DIR* listing = ::opendir(storeDirectory().c_str());
  if (listing == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    const std::string path = storeDirectory() + "/" + name;
    if (name == "." || name == ".." || name == "record" || name == "history" || name == "redo" ||
        keep.count(path) != 0) {
      continue;
    }
    stale.push_back(path);
  }
  ::closedir(listing);
  for (const std::string& path : stale)
    std::remove(path.c_str());
}

void listHistory(std::int64_t budgetBytes) {
  const std::vector<Entry> entries = allEntries();
  if (entries.empty()) {
    printLine("The history of take decisions is empty.");
    return;
  }
  std::int64_t total = 0;
  int number = 0;
  for (const Entry& entry : entries) {
    const DecisionRecord& record = entry.record;
    const std::int64_t bytes = keptBytes(record);
    total += bytes;
    std::string takeNames;
    for (std::size_t start = 0; start < record.take().takeList.size();) {
      const std::size_t end = record.take().takeList.find('\n', start);
      const std::string line = record.take().takeList.substr(start, end - start);
      if (!line.empty() && line != "-") takeNames += (takeNames.empty() ? "" : " ") + line;
      start = end == std::string::npos ? record.take().takeList.size() : end + 1;
    }
    std::vector<std::string> files;
    for (const DecisionStep& step : record.steps()) {
      if (!isNote(step.kind) && std::find(files.begin(), files.end(), step.path) == files.end()) {
        files.push_back(step.path);
      }
    }
    std::string fileNames;
    for (const std::string& file : files)
      fileNames += (fileNames.empty() ? "" : " ") + file;
    const char* state = record.state() == DecisionState::kTakenBack ? " (taken back)"
                        : record.state() == DecisionState::kDone    ? ""
                                                                    : " (not settled)";
    print("%i  '%s'%s  take %s  files %s  %s  %s\n", ++number, record.take().command.c_str(), state,
          takeNames.empty() ? "-" : takeNames.c_str(), fileNames.empty() ? "-" : fileNames.c_str(),
          timeOf(record.id()).c_str(), megabytes(bytes).c_str());
  }
  print("The store holds %s of its %s.\n", megabytes(total).c_str(),
        megabytes(budgetBytes).c_str());
}

void forgetHistory() {
  std::int64_t freed = 0;
  int count = 0;
  for (Entry& entry : allEntries()) {
    DecisionRecord& record = entry.record;
    if (record.state() != DecisionState::kDone && record.state() != DecisionState::kTakenBack) {
      continue;
    }
    const std::int64_t bytes = keptBytes(record);
    if (!dropEntry(entry)) continue;
    freed += bytes;
    ++count;
  }
  (void)syncDirectory(storeDirectory());
  sweepStore();
  print("Forgot %i take decisions and freed %s.\n", count, megabytes(freed).c_str());
}

}  // namespace varnow
