#include "takes/remove_files.hpp"

#include <algorithm>

#include "durable/durable.hpp"
#include "takes/name_list.hpp"

namespace varnow {

ChannelOutcomes REMOVE_FILES(int count, std::string_view list, const FileRemover& remove) {
  const TrackList names = parseTrackList(list);
  ChannelOutcomes outcomes(static_cast<std::size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    const std::string& name = nameOnLine(names, i);
    if (name.empty()) continue;
    ChannelOutcome& outcome = outcomes[static_cast<std::size_t>(i)];
    const Status removed = remove(name);
    outcome.state = removed ? ChannelState::kDone : ChannelState::kFailed;
    outcome.message = removed.message();
  }
  return outcomes;
}

}  // namespace varnow
