#include "takes/take_menu.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <utility>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "durable/durable.hpp"
#include "takes/append_names.hpp"
#include "takes/copy_file.hpp"
#include "takes/file_check.hpp"
#include "takes/file_names.hpp"
#include "takes/hybridize.hpp"
#include "takes/insert_file.hpp"
#include "takes/insert_format.hpp"
#include "takes/pad_file.hpp"
#include "takes/remove_files.hpp"
#include "takes/rename_files.hpp"
#include "takes/stamp_files.hpp"
#include "takes/take_result.hpp"

namespace varnow {

namespace {

// The settled take of one command: which channels reached their destination
// and which take files had to be kept.
class TakeMenu {
 public:
  explicit TakeMenu(TakeMenuContext& context)
      : c_(context),
        s_(context.settings),
        inputs_(std::clamp(context.settings.inputs, 0, kMaxChannels)),
        takeList_(context.take.takeList()),
        recordList_(joinLines(context.recordLines, inputs_)),
        flags_(context.take.channelFlags().data(), context.take.channelFlags().size()) {
    // An audition without a choice plays the take as far as it was recorded.
    audition_.stopOffset = unrecordedFrames();
    crossfadeFrames_ = context.counts.xfadeLength;
  }

  TakeMenuEnd run(const TakeOnRecord* redo);

 private:
  static std::string joinLines(const std::vector<std::string>& lines, int count);
  bool armed(int channel) const { return flags_[static_cast<std::size_t>(channel)] != 0; }
  const std::string& takeName(int channel) const { return c_.take.name(channel); }
  std::string recordName(int channel) const;
  std::int64_t samplesWritten() const { return c_.take.takeLength(); }
  // The stretch between the end of a stopped take and the out point it was
  // planned to reach (0 for a take recorded to the end).
  Position unrecordedFrames() const {
    return std::max<Position>(s_.outPoint - s_.punchPoint - samplesWritten(), 0);
  }

  void printMenu() const;
  // Starts the record of the decision `command` before it changes a file;
  // false (nothing changed, the sentence printed) when it cannot be written.
  // `failure` receives why.
  bool startDecision(const std::string& command, Status* failure = nullptr);
  // Marks the decision done; one whose mark cannot be written is taken back.
  void finishDecision();
  FileMover recordedMove() {
    return [this](const std::string& from, const std::string& to) {
      return decision_.rename(from, to);
    };
  }
  bool replaceFiles();
  bool deleteTake();
  // Removes the take files for good, without a record; for a disk too full
  // to keep one.
  void deleteForGood();
  bool appendNames(const std::string& command);
  bool stampTake();
  bool padTake();
  // False when a destination cannot take the take's samples.
  bool destinationsFit() const;
  bool insertTake(bool backupFirst);
  void auditionTake();
  // Carries out the command `word`; false when it is not one, or was called off.
  bool carryOut(const std::string& word);
  // Carries out `word`, keeping the words answered meanwhile for a redo.
  bool decide(const std::string& word);
  // 'redo': the decision `take` taken back for this take, carried out again
  // with its answers; false when it did not settle the take.
  bool redo(const TakeOnRecord& take);
  // 'undo' at the menu: the take stays under its names.
  void keepForUndo() const;

  // Pads take file `channel` with the punch point's silence; false when it
  // failed (the take stays as it was and is reported).
  bool padToTimeZero(int channel);
  bool insertChannel(int channel);
  void keep(int channel, const std::string& why);
  void report(const ChannelOutcomes& outcomes);
  void checkRewrite(const RewriteResult& result);
  void reportKept() const;

  TakeMenuContext& c_;
  ProjectSettings& s_;
  int inputs_;
  std::string takeList_;
  std::string recordList_;
  std::span<const std::int32_t> flags_;
  // Kept take files, and whether each was padded to time zero before its
  // command failed (its name still carries the punch point).
  std::vector<std::pair<std::string, bool>> kept_;
  std::array<bool, kMaxChannels> padded_{};
  bool auditionListBuilt_ = false;
  TakeAudition audition_;
  TakeDecision decision_;
  // What the decision being taken is asked with and answered, for a redo.
  std::int64_t crossfadeFrames_ = 0;
  std::uint64_t redoes_ = 0;
  bool dontAskAtStart_ = false;
  std::vector<std::string> answers_;
  std::size_t answersAtBegin_ = 0;
};

std::string TakeMenu::joinLines(const std::vector<std::string>& lines, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += i < static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(i)] : "-";
    text += '\n';
  }
  return text;
}

std::string TakeMenu::recordName(int channel) const {
  const auto slot = static_cast<std::size_t>(channel);
  if (slot >= c_.recordLines.size()) return {};
  const std::string& line = c_.recordLines[slot];
  return line.empty() || line[0] == '-' ? std::string() : line;
}

void TakeMenu::printMenu() const {
  if (s_.interfaceMode == 1) {
    printLine("\nRecording finished.  Enter a take handling command.\n");
    printLine("Current take files:");
    printLine("\t'aud' to audition current take");
    printLine("\t'del' to delete current take");
    printLine("\nChange files in record.txt (permanently):");
    printLine("\t'rep' to replace files in record.txt with current take");
    printLine("\t'ins' to insert new take into record.txt files");
    printLine("\t'cin' to make a backup copy before inserting");
    printLine("\nMake new files using record.txt names as base:");
    printLine("\t'awp' to append base name, with padding (audio in sync)");
    printLine("\t'aws' to append base name, with time stamp");
    printLine("\t'app' to append base name, no padding or time stamp");
    printLine("\nMake file names automatically:");
    printLine("\t'pad' to save as padded files (audio in sync)");
    printLine("\t'stp' to save with time stamp\n");
  } else if (s_.interfaceMode == 0) {
    printLine("Recording finished.  Enter a take handling command.");
  }
}

// A file without a data chunk ends the program; nothing has been removed or
// half-written at that point, so every take is still on disk.
void TakeMenu::checkRewrite(const RewriteResult& result) {
  if (result.outcome() != RewriteOutcome::kNoDataChunk) return;
  finishDecision();
  printLine(result.message());
  flushOutput();
  std::exit(kExitNoDataChunk);
}

void TakeMenu::keep(int channel, const std::string& why) {
  if (!why.empty()) printLine(why);
  const std::string& name = takeName(channel);
  if (!name.empty()) kept_.emplace_back(name, padded_[static_cast<std::size_t>(channel)]);
}

void TakeMenu::report(const ChannelOutcomes& outcomes) {
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i].state == ChannelState::kFailed) keep(static_cast<int>(i), outcomes[i].message);
  }
}

void TakeMenu::reportKept() const {
  for (const auto& [name, padded] : kept_) {
    print("The take file %s was kept.\n", name.c_str());
    if (padded) {
      print("It now begins with %li samples of silence, so that it starts at time 0.\n",
            static_cast<long>(s_.punchPoint));
    }
  }
}

bool TakeMenu::startDecision(const std::string& command, Status* failure) {
  TakeOnRecord take;
  take.command = command;
  take.inputs = inputs_;
  take.takeList = takeList_;
  std::copy(flags_.begin(), flags_.end(), take.channelFlags.begin());
  take.takeLength = samplesWritten();
  take.stamp = c_.take.stamp();
  take.punchPoint = s_.punchPoint;
  take.outPoint = s_.outPoint;
  take.recordLines = c_.recordLines;
  take.answers = answers_;
  take.crossfadeFrames = crossfadeFrames_;
  take.safeMode = s_.safeMode;
  take.dontAskAgain = dontAskAtStart_;
  take.redoes = redoes_;
  answersAtBegin_ = answers_.size();
  // A decision that cannot be recorded is not taken: the menu asks again.
  if (Status begun = decision_.begin(take); !begun) {
    printLine(begun.message());
    if (failure != nullptr) *failure = std::move(begun);
    return false;
  }
  return true;
}

void TakeMenu::finishDecision() {
  const std::vector<std::string> later(
      answers_.begin() + static_cast<std::ptrdiff_t>(std::min(answersAtBegin_, answers_.size())),
      answers_.end());
  answersAtBegin_ = answers_.size();
  decision_.commit(later);
}

bool TakeMenu::padToTimeZero(int channel) {
  // A step that could not be logged never ran: its sentence is the failure.
  std::optional<RewriteResult> padded;
  const Status replaced = decision_.replace(takeName(channel), [&](const std::string& keepOldAs) {
    padded = PAD_FILE(takeName(channel), s_.punchPoint, keepOldAs);
    return padded->ok() ? Status::success() : Status::failure(padded->message());
  });
  if (!padded) padded = RewriteResult::failed(replaced);
  checkRewrite(*padded);
  if (padded->ok()) {
    padded_[static_cast<std::size_t>(channel)] = true;
    return true;
  }
  keep(channel, padded->message());
  return false;
}

// 'rep': the takes replace the listed files as a whole.
bool TakeMenu::replaceFiles() {
  if (s_.safeMode == 1) {
    printLine("The file safety switch is on.");
    printLine("Do you really want to replace a whole file rather than insert? (y,n)");
    if (console().readWord() != "y") return false;
  }
  if (!c_.dontAskAgain && !FILE_CHECK(inputs_, recordList_, c_.dontAskAgain)) return false;
  if (!startDecision("rep")) return false;
  std::string takeList = takeList_;
  if (s_.punchPoint != 0) {
    // A take that could not be padded keeps its place and is not renamed.
    std::string paddedList;
    for (int i = 0; i < inputs_; ++i) {
      const bool usable = !armed(i) || takeName(i).empty() || padToTimeZero(i);
      paddedList += usable && !takeName(i).empty() ? takeName(i) : "-";
      paddedList += '\n';
    }
    takeList = paddedList;
  }
  report(RENAME_FILES(inputs_, takeList, recordList_, recordedMove()));
  return true;
}

// 'del': the takes go into the undo store, not away. On a disk too full
// for the record the user may let them go without a way back.
bool TakeMenu::deleteTake() {
  Status refused = Status::success();
  if (!startDecision("del", &refused)) {
    if (refused.error() != ENOSPC && refused.error() != EDQUOT) return false;
    printLine("There is no room to keep the take for 'undo'. Delete it for good? (y/n)");
    if (console().readWord() != "y") return false;
    deleteForGood();
    return true;
  }
  report(REMOVE_FILES(inputs_, takeList_,
                      [this](const std::string& path) { return decision_.stash(path); }));
  return true;
}

void TakeMenu::deleteForGood() {
  report(REMOVE_FILES(inputs_, takeList_, removeFile));
}

// 'app', 'aws', 'awp': new files named after the record list.
bool TakeMenu::appendNames(const std::string& command) {
  printLine("Enter characters to append with.");
  std::string appendText = console().readWord();
  if (command == "aws") appendText += formatText("_stp_%li", static_cast<long>(s_.punchPoint));
  if (!startDecision(command)) return false;
  AppendNamesRequest request;
  request.count = inputs_;
  request.takeList = takeList_;
  request.recordList = recordList_;
  request.channelFlags = flags_;
  request.move = recordedMove();
  // A take is padded only once its new name is settled: input that ends at
  // a name question leaves it as recorded, under a name that still says so.
  if (command == "awp")
    request.beforeRename = [this](int channel) { return padToTimeZero(channel); };
  report(APPEND_NAMES(request, appendText));
  return true;
}

// 'stp': automatic names with the start stamp (they already carry it when
// the punch point is not 0).
bool TakeMenu::stampTake() {
  if (!startDecision("stp")) return false;
  if (s_.punchPoint != 0) return true;
  StampRequest request;
  request.count = inputs_;
  request.list = takeList_;
  request.stamp = 0;
  request.channelFlags = flags_;
  request.move = recordedMove();
  report(STAMP_FILES(request));
  return true;
}

// 'pad': automatic names, padded to time zero, the stamp taken off.
bool TakeMenu::padTake() {
  if (!startDecision("pad")) return false;
  for (int i = 0; i < inputs_; ++i) {
    if (!armed(i) || takeName(i).empty() || !padToTimeZero(i)) continue;
    if (const Status renamed = REMOVE_STAMP(takeName(i), recordedMove()); !renamed.ok()) {
      keep(i, renamed.message());
    }
  }
  return true;
}

// The take punched into its destination, with an equal-power fade at both
// ends when a crossfade is set:
//
//   destination  ....old....|punch ........ punch+n|....old....
//   take                    |t0 ............ t(n-1)|
//   result       ....old....|fade in|take...|fade out|....old....
//                            <- L ->         <- L ->
//
// The destination is rewritten in place, the region only; the take file is
// never changed, so when the insert fails (a full disk) it is kept as
// recorded. A destination that does not exist yet (and only that) is the
// padded take itself.
bool TakeMenu::insertChannel(int channel) {
  const std::string& take = takeName(channel);
  const std::string destination = recordName(channel);
  if (destination.empty()) {
    keep(channel, "");
    return false;
  }
  InsertRequest request{destination,
                        take,
                        s_.punchPoint,
                        samplesWritten(),
                        std::min(crossfadeFrames_, samplesWritten()),
                        {}};
  // A destination that is not there yet needs no journal: the insert says
  // so and writes nothing.
  std::optional<RewriteResult> result;
  if (!nameTaken(destination)) {
    result = INSERT_FILE(request);
  } else {
    const Status logged = decision_.insert(destination, [&](const std::string& keepJournalAs) {
      request.keepJournalAs = keepJournalAs;
      result = INSERT_FILE(request);
      return result->ok() ? Status::success() : Status::failure(result->message());
    });
    if (!result) result = RewriteResult::failed(logged);
  }
  const RewriteResult& inserted = *result;
  if (inserted.outcome() == RewriteOutcome::kAbsent) {
    if (!padToTimeZero(channel)) return false;
    if (const Status moved = decision_.rename(take, destination); !moved.ok()) {
      keep(channel, moved.message());
      return false;
    }
    return true;
  }
  checkRewrite(inserted);
  if (!inserted.ok()) keep(channel, inserted.message());
  return inserted.ok();
}

// Every destination that exists must hold samples of the take's shape; each
// one that does not is named, and nothing is written.
bool TakeMenu::destinationsFit() const {
  bool fit = true;
  for (int i = 0; i < inputs_; ++i) {
    if (!armed(i) || takeName(i).empty() || recordName(i).empty()) continue;
    if (const Status fits = checkInsertFormat(recordName(i), s_.sampleRate); !fits) {
      printLine(fits.message());
      fit = false;
    }
  }
  return fit;
}

// 'ins' and 'cin': a take file goes into the undo store only once its
// samples reached the destination; a channel that failed keeps its take.
bool TakeMenu::insertTake(bool backupFirst) {
  if (!destinationsFit()) return false;
  if (!startDecision(backupFirst ? "cin" : "ins")) return false;
  if (backupFirst) {
    for (int i = 0; i < inputs_; ++i) {
      if (!armed(i) || recordName(i).empty()) continue;
      const std::string& destination = recordName(i);
      const Status copied = decision_.create(backupName(destination, c_.take.stamp()), [&] {
        return COPY_FILE(c_.take.stamp(), destination);
      });
      if (!copied.ok()) printLine(copied.message());
    }
  }
  // A take file goes into the undo store only once its samples reached the
  // destination.
  std::string doneList;
  for (int i = 0; i < inputs_; ++i) {
    const bool done = armed(i) && !takeName(i).empty() && insertChannel(i);
    doneList += done ? takeName(i) : "-";
    doneList += '\n';
  }
  report(REMOVE_FILES(inputs_, doneList,
                      [this](const std::string& path) { return decision_.stash(path); }));
  return true;
}

// 'aud': the take plays where it was recorded, with the other tracks.
void TakeMenu::auditionTake() {
  printLine("0 = hear whole take   1 = 1st 1/4   2 = 2nd 1/4   3 = 3rd 1/4   4 = 4th 1/4");
  const std::string choice = console().readWord();
  // Quarters of the take as recorded: a stopped take ends before the out
  // point, and the audition ends with it.
  //
  //   punch ........ punch + samplesWritten ........ out
  //   | q | q | q | q |          unrecorded          |
  const Position quarter = samplesWritten() / 4;
  const Position rest = unrecordedFrames();
  if (choice == "0") audition_.startOffset = 0, audition_.stopOffset = rest;
  if (choice == "1") audition_.startOffset = 0, audition_.stopOffset = rest + 3 * quarter;
  if (choice == "2") audition_.startOffset = quarter, audition_.stopOffset = rest + 2 * quarter;
  if (choice == "3") audition_.startOffset = 2 * quarter, audition_.stopOffset = rest + quarter;
  if (choice == "4") audition_.startOffset = 3 * quarter, audition_.stopOffset = rest;
  for (int i = 0; i < kMaxChannels; ++i) {
    const bool recorded = i < inputs_ && armed(i);
    audition_.fileStart[static_cast<std::size_t>(i)] = recorded ? s_.punchPoint : 0;
  }
  if (!auditionListBuilt_) {
    // The request only views its lists: the joined play list must outlive it.
    const std::string playList = joinLines(c_.playLines, s_.tracks);
    HybridizeRequest request;
    request.playList = playList;
    request.takeList = takeList_;
    request.channelFlags = flags_;
    request.count = s_.tracks;
    const std::string text = Hybridize(request);
    audition_.playLines.clear();
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find('\n', start);
      audition_.playLines.push_back(text.substr(start, end - start));
      start = end == std::string::npos ? text.size() : end + 1;
    }
    auditionListBuilt_ = true;
  }
  if (c_.audition) c_.audition(audition_);
}

namespace {

// The words of the console are kept in `words` while it lives.
class KeptWords {
 public:
  explicit KeptWords(std::vector<std::string>& words) { console().keepWordsIn(&words); }
  ~KeptWords() { console().keepWordsIn(nullptr); }
  KeptWords(const KeptWords&) = delete;
  KeptWords& operator=(const KeptWords&) = delete;
};

// The console answers with `words` while it lives, then reads on where it was.
class ReplayedWords {
 public:
  explicit ReplayedWords(const std::vector<std::string>& words) : saved_(std::move(console())) {
    for (const std::string& word : words)
      text_ += word + "\n";
    text_ += "\n";
    stream_ = ::fmemopen(text_.data(), text_.size(), "r");
    console() = ConsoleInput(stream_ != nullptr ? stream_ : stdin);
  }
  ~ReplayedWords() {
    console() = std::move(saved_);
    if (stream_ != nullptr) std::fclose(stream_);
  }
  ReplayedWords(const ReplayedWords&) = delete;
  ReplayedWords& operator=(const ReplayedWords&) = delete;

 private:
  ConsoleInput saved_;
  std::string text_;
  std::FILE* stream_ = nullptr;
};

}  // namespace

bool TakeMenu::decide(const std::string& word) {
  answers_.clear();
  answersAtBegin_ = 0;
  dontAskAtStart_ = c_.dontAskAgain;
  bool handled = true;
  try {
    const KeptWords kept(answers_);
    handled = carryOut(word);
  } catch (...) {
    // Input that ends at a question keeps what the decision did so far.
    finishDecision();
    throw;
  }
  finishDecision();
  return handled;
}

bool TakeMenu::redo(const TakeOnRecord& take) {
  if (take.stamp != c_.take.stamp() || take.takeList != takeList_) {
    printLine("There is no take decision taken back for this take to redo.");
    return false;
  }
  const std::int32_t safeMode = s_.safeMode;
  const bool dontAsk = c_.dontAskAgain;
  s_.safeMode = take.safeMode;
  c_.dontAskAgain = take.dontAskAgain;
  if (take.crossfadeFrames >= 0) crossfadeFrames_ = take.crossfadeFrames;
  redoes_ = take.redoes;
  bool handled = false;
  {
    const ReplayedWords replayed(take.answers);
    handled = decide(take.command);
  }
  s_.safeMode = safeMode;
  c_.dontAskAgain = c_.dontAskAgain || dontAsk;
  crossfadeFrames_ = c_.counts.xfadeLength;
  redoes_ = 0;
  return handled;
}

void TakeMenu::keepForUndo() const {
  for (int i = 0; i < inputs_; ++i) {
    if (armed(i) && !takeName(i).empty())
      print("The take file %s was kept.\n", takeName(i).c_str());
  }
}

TakeMenuEnd TakeMenu::run(const TakeOnRecord* redoFirst) {
  if (redoFirst != nullptr && redo(*redoFirst)) {
    reportKept();
    return TakeMenuEnd::kSettled;
  }
  for (;;) {
    printMenu();
    const std::string word = console().readWord();
    if (word == "undo") {
      keepForUndo();
      return TakeMenuEnd::kUndoFurther;
    }
    if (word == "redo") {
      const std::optional<TakeOnRecord> take = decisionToRedo();
      if (!take || !redo(*take)) continue;
      reportKept();
      return TakeMenuEnd::kSettled;
    }
    const bool handled = decide(word);
    if (word == "aud") continue;
    if (!handled) continue;
    reportKept();
    return TakeMenuEnd::kSettled;
  }
}

bool TakeMenu::carryOut(const std::string& word) {
  if (word == "rep") return replaceFiles();
  if (word == "del") return deleteTake();
  if (word == "app" || word == "aws" || word == "awp") return appendNames(word);
  if (word == "stp") return stampTake();
  if (word == "pad") return padTake();
  if (word == "ins" || word == "cin") return insertTake(word == "cin");
  if (word != "aud") return false;
  auditionTake();
  return true;
}

}  // namespace

TakeMenuEnd runTakeMenu(TakeMenuContext& context, const TakeOnRecord* redo) {
  TakeMenu menu(context);
  return menu.run(redo);
}

}  // namespace varnow
