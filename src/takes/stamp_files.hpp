// Time stamps in take file names: adding "_stp_<stamp>" and taking it off.
#pragma once

#include "durable/durable.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "takes/take_result.hpp"

namespace varnow {

struct StampRequest {
  int count = 0;                               // channels 0 .. count - 1 are considered
  std::string_view list;                       // the take list
  std::int64_t stamp = 0;                      // s
  std::span<const std::int32_t> channelFlags;  // 1 for the channels of the take
  FileMover move = moveFile;
};

// Renames the file of every armed channel to stampedName(file, s),
// "%s_stp_%li.wav" (audio_ch_2_777.wav with s = 0 -> audio_ch_2_777_stp_0.wav);
// where that name is taken, the take gets the smallest free suffix instead
// (unusedName: audio_ch_2_777_stp_0-2.wav) and nothing is replaced. Channels that are not armed, or
// whose line names no file, are skipped. One outcome per channel; prints nothing.
ChannelOutcomes STAMP_FILES(const StampRequest& request);

// Renames `path` to withoutStamp(path): the name cut at the first "_stp" plus
// ".wav" (audio_ch_3_123456_stp_96000.wav -> audio_ch_3_123456.wav), or the
// smallest free suffix of that name (unusedName); nothing is replaced. A name without "_stp" is
// left as it is. Prints nothing.
Status REMOVE_STAMP(const std::string& path, const FileMover& move = moveFile);

}  // namespace varnow
