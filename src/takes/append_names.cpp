#include "takes/append_names.hpp"

#include <sys/stat.h>

#include <algorithm>

#include "core/file_paths.hpp"
#include "core/print.hpp"
#include "durable/durable.hpp"
#include "takes/file_names.hpp"
#include "takes/name_list.hpp"

namespace varnow {
namespace {

enum class ConflictAnswer { kOverwriteOne, kOverwriteAll, kNewText };

ConflictAnswer askAboutConflict(const std::string& candidate, ConsoleInput& replies) {
  print("\nFile %s exists!\n", candidate.c_str());
  while (true) {
    printLine("\n'o' to overwrite one file");
    printLine("'O' (shift-o) to overwrite all conflicts,");
    printLine("'n' to try a new append name");
    flushOutput();
    const std::string answer = replies.readWord();
    if (answer.front() == 'o') return ConflictAnswer::kOverwriteOne;
    if (answer.front() == 'O') return ConflictAnswer::kOverwriteAll;
    if (answer.front() == 'n') return ConflictAnswer::kNewText;
  }
}

}  // namespace

ChannelOutcomes APPEND_NAMES(const AppendNamesRequest& request, std::string& appendText,
                             ConsoleInput& replies) {
  const TrackList takeNames = parseTrackList(request.takeList);
  const TrackList recordNames = parseTrackList(request.recordList);
  ChannelOutcomes outcomes(static_cast<std::size_t>(std::max(request.count, 0)));
  bool overwriteAll = false;
  for (int i = 0; i < request.count; ++i) {
    const std::string& takeName = nameOnLine(takeNames, i);
    if (!isArmedChannel(request.channelFlags, i) || takeName.empty()) continue;
    ChannelOutcome& outcome = outcomes[static_cast<std::size_t>(i)];
    const std::string& recordName = nameOnLine(recordNames, i);
    if (recordName.empty()) {
      outcome.state = ChannelState::kFailed;
      outcome.message = formatText("Input %i has no name in the record list; %s keeps its name.",
                                   i + 1, takeName.c_str());
      continue;
    }

    std::string candidate = appendedName(recordName, appendText);
    while (!overwriteAll && nameTaken(candidate)) {
      const ConflictAnswer answer = askAboutConflict(candidate, replies);
      if (answer == ConflictAnswer::kOverwriteOne) break;
      if (answer == ConflictAnswer::kOverwriteAll) {
        overwriteAll = true;
        break;
      }
      printLine("Enter new append name");
      flushOutput();
      appendText = replies.readWord();
      candidate = appendedName(recordName, appendText);
    }

    if (request.beforeRename && !request.beforeRename(i)) continue;
    const Status moved = request.move(takeName, candidate);
    if (!moved) {
      outcome.state = ChannelState::kFailed;
      outcome.message = moved.message();
      continue;
    }
    outcome.state = ChannelState::kDone;
    print("%s -> %s\n", takeName.c_str(), candidate.c_str());
  }
  return outcomes;
}

}  // namespace varnow
