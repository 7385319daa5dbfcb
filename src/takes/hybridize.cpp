#include "takes/hybridize.hpp"

#include "takes/name_list.hpp"

namespace varnow {

std::string Hybridize(const HybridizeRequest& request) {
  const TrackList playNames = parseTrackList(request.playList);
  const TrackList takeNames = parseTrackList(request.takeList);
  std::string lines;
  for (int i = 0; i < request.count; ++i) {
    const TrackList& chosen = isArmedChannel(request.channelFlags, i) ? takeNames : playNames;
    const std::string& name = nameOnLine(chosen, i);
    lines += name.empty() ? std::string_view("-") : std::string_view(name);
    lines += '\n';
  }
  return lines;
}

}  // namespace varnow
