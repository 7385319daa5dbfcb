#include "app/startup.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>

#include "app/play_rec.hpp"
#include "app/settings_file.hpp"
#include "core/console_input.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "core/status.hpp"
#include "core/stop_request.hpp"
#include "durable/durable.hpp"

namespace varnow {

namespace {

constexpr int kMaxCount = kMaxChannels;

std::int32_t toInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Asks `question` until the reply is a number. A reply that is not one is
// consumed and the question comes again, so a word meant for one question
// never becomes the answer to the next.
std::int64_t askNumber(Format question) {
  for (;;) {
    print(question);
    if (const std::optional<std::int64_t> value = console().readWordAsNumber()) return *value;
  }
}

std::uint32_t rateFromChoice(std::int64_t choice) {
  switch (choice) {
    case 1:
      return 44100;
    case 2:
      return 48000;
    case 3:
      return 88200;
    case 4:
      return 96000;
    default:
      return static_cast<std::uint32_t>(choice);
  }
}

void printListExplanation(const char* fileName, const char* direction) {
  print("Created a file called %s that you will need.\n", fileName);
  printLine("Put a list of wave files in this list, one per line.");
  print("Each line will be assigned to an %s hardware channel.\n", direction);
  printLine("Use a '-' on a line to skip over channel.");
  printLine("-------------------------");
}

enum class Creation { kCreated, kExisted, kFailed };

// Creates an empty list file where no file of that name exists; a file that
// is there (a list full of names, say) is never emptied. A failure is
// reported in a sentence.
Creation createEmptyFile(const char* path) {
  errno = 0;
  std::FILE* file = openRegularStream(path, "wx");
  if (file == nullptr && errno == EEXIST) return Creation::kExisted;
  if (file == nullptr || std::fclose(file) != 0) {
    printLine(fileFailure("create", path, errno).message());
    return Creation::kFailed;
  }
  return Creation::kCreated;
}

// The list file `path` could not be opened at start: `missingLine` when there
// is no such file, the reason when it is there but unreadable. Then the file
// `fallback` is created, unless a file of that name exists already.
void settleMissingList(Format missingLine, const char* path, int err, const char* fallback,
                       const char* direction) {
  printLine("-------------------------");
  if (trulyAbsent(path, err)) {
    print(missingLine, path);
  } else {
    printLine(readerOpenFailure(path, err).message());
  }
  const Creation created = createEmptyFile(fallback);
  if (created == Creation::kCreated) printListExplanation(fallback, direction);
  if (created == Creation::kExisted) printLine("-------------------------");
}

// Ends a run whose param.txt is there but cannot be read.
int settingsUnreadable(const Status& why) {
  printLine(why.message());
  flushOutput();
  return kExitSettingsUnreadable;
}

void printRequestedParameters(const ProjectSettings& settings) {
  printLine("-------------------------");
  printLine("Requested Parameters:");
  print("Device\t%s\n", settings.device.c_str());
  print("Rate\t%i\n", static_cast<int>(settings.sampleRate));
  print("Buffer\t%i\n", settings.bufferFrames);
  printLine("-------------------------");
  printLine("\nConfiguration:");
  print("Interface inputs  = %i\n", settings.inputs);
  print("Interface outputs = %i\n", settings.outputs);
  print("Tracks (maximum)  = %i\n", settings.tracks);
}

}  // namespace

void clampChannelCounts(ProjectSettings& s) {
  if (s.tracks > kMaxCount) s.tracks = kMaxCount;
  if (s.inputs > kMaxCount) s.inputs = kMaxCount;
  if (s.outputs > kMaxCount) s.outputs = kMaxCount;
  if (s.inputs < 0) s.inputs = (s.outputs < 0 && s.tracks >= 1) ? s.tracks : 2;
  if (s.outputs < 0) s.outputs = 2;
  if (s.tracks < 0) {
    s.tracks = std::max({2, s.inputs, s.outputs});
  } else {
    s.tracks = std::max({s.tracks, s.inputs, s.outputs});
  }
}

bool runFirstRunDialog(ProjectSettings& settings) {
  printLine("\nThe param.txt file was not found.");
  printLine("Parameters are stored in this file.");
  printLine("\nEnter 'c' to create this file now or 'x' to exit");
  for (;;) {
    const std::string answer = console().readWord();
    if (answer == "x") return false;
    if (answer == "c") break;
  }
  settings.inputs = toInt32(askNumber("\nEnter the number of audio interface INPUTS: "));
  settings.outputs = toInt32(askNumber("\nEnter the number of audio interface OUTPUTS: "));
  settings.tracks = toInt32(askNumber("\nEnter the maxiumum number of audio TRACKS needed: "));
  print("\nEnter soundcard device name or 'd' for default: ");
  const std::string device = console().readWord();
  settings.device = device == "d" ? std::string("default") : device;
  settings.sampleRate = rateFromChoice(
      askNumber("\nEnter project sample rate or\n1 = 44100,  2 = 48000,  3 = 88200,  4 = 96000\n"));
  return true;
}

void checkListFilesAtStart(const ProjectSettings& settings) {
  const char* recordList = settings.recordLists.current().c_str();
  errno = 0;
  if (std::FILE* file = openRegularStream(recordList, "r")) {
    const bool empty = std::fgetc(file) == EOF;
    std::fclose(file);
    if (empty) {
      printLine("-------------------------");
      printLine("Note: The record.txt file is empty!");
      printLine("-------------------------");
    }
  } else {
    settleMissingList("Could not find the record file list called %s\n", recordList, errno,
                      "record.txt", "input");
  }

  const char* playList = settings.playLists.current().c_str();
  errno = 0;
  if (std::FILE* file = openRegularStream(playList, "r")) {
    std::fclose(file);
  } else {
    settleMissingList("Cound not find the playlist file called %s\n", playList, errno, "play.txt",
                      "output");
  }
}

int runProgram() {
  installStopHandlers();
  // An insert that a crash cut short is undone before anything else reads
  // the project's files.
  recoverAtStart();
  ProjectSettings settings;
  try {
    print("\n%s %s\n", kProgramName, kProgramVersion);
    errno = 0;
    if (std::FILE* paramFile = openRegularStream(kSettingsFileName, "r")) {
      if (const Status read = GET_PARAMS(settings, paramFile); !read) {
        return settingsUnreadable(read);
      }
      settings.firstRun = 0;
    } else if (const int err = errno; !trulyAbsent(kSettingsFileName, err)) {
      // There, but not to be read: the first-run dialog would write its
      // seven lines over the user's settings.
      return settingsUnreadable(readerOpenFailure(kSettingsFileName, err));
    } else {
      if (!runFirstRunDialog(settings)) {
        flushOutput();
        return kExitDialogCancelled;
      }
      settings.firstRun = 1;
    }
  } catch (const InputEnded& ended) {
    // Nothing has been opened or written yet.
    flushOutput();
    return ended.signalNumber != 0 ? stopExitStatus(ended.signalNumber) : 0;
  }
  // Destinations in other directories are known once the settings name
  // the record lists; they too are recovered before any file is used.
  recoverRecordListDirectories(settings.recordLists);
  setHistoryBudget(static_cast<std::int64_t>(settings.undoBudget) * 1024 * 1024);
  checkListFilesAtStart(settings);
  clampChannelCounts(settings);
  printRequestedParameters(settings);
  return PLAY_REC(settings);
}

}  // namespace varnow
