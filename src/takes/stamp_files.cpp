#include "takes/stamp_files.hpp"

#include <algorithm>

#include "durable/durable.hpp"
#include "takes/file_names.hpp"
#include "takes/name_list.hpp"

namespace varnow {

ChannelOutcomes STAMP_FILES(const StampRequest& request) {
  const TrackList names = parseTrackList(request.list);
  ChannelOutcomes outcomes(static_cast<std::size_t>(std::max(request.count, 0)));
  for (int i = 0; i < request.count; ++i) {
    const std::string& name = nameOnLine(names, i);
    if (!isArmedChannel(request.channelFlags, i) || name.empty()) continue;
    ChannelOutcome& outcome = outcomes[static_cast<std::size_t>(i)];
    const Status moved = request.move(name, unusedName(stampedName(name, request.stamp)));
    outcome.state = moved ? ChannelState::kDone : ChannelState::kFailed;
    outcome.message = moved.message();
  }
  return outcomes;
}

Status REMOVE_STAMP(const std::string& path, const FileMover& move) {
  const std::string unstamped = withoutStamp(path);
  if (unstamped == path) return Status::success();
  return move(path, unusedName(unstamped));
}

}  // namespace varnow
