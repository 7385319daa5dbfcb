#include "takes/rename_files.hpp"

#include <algorithm>

#include "durable/durable.hpp"
#include "takes/name_list.hpp"

namespace varnow {

ChannelOutcomes RENAME_FILES(int count, std::string_view oldList, std::string_view newList,
                             const FileMover& move) {
  const TrackList oldNames = parseTrackList(oldList);
  const TrackList newNames = parseTrackList(newList);
  ChannelOutcomes outcomes(static_cast<std::size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    const std::string& oldName = nameOnLine(oldNames, i);
    const std::string& newName = nameOnLine(newNames, i);
    if (oldName.empty() || newName.empty()) continue;
    ChannelOutcome& outcome = outcomes[static_cast<std::size_t>(i)];
    const Status moved = move(oldName, newName);
    outcome.state = moved ? ChannelState::kDone : ChannelState::kFailed;
    outcome.message = moved.message();
  }
  return outcomes;
}

}  // namespace varnow
