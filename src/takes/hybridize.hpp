// The play list of a take audition: recorded channels play their takes,
// every other channel its usual play file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace varnow {

struct HybridizeRequest {
  std::string_view playList;                   // line i: channel i's usual play file
  std::string_view takeList;                   // line i: channel i's take, or "-"
  std::span<const std::int32_t> channelFlags;  // 1 for the channels of the take
  int count = 0;                               // lines to write
};

// Returns `count` lines, each ending with a newline: line i is take line i
// when channel i is armed, otherwise play line i; "-" when the chosen list
// names no file on that line. With flags 1, 0, 1, takes t1.wav, -, t3.wav
// and play lines p1.wav, p2.wav the result is "t1.wav\np2.wav\nt3.wav\n".
std::string Hybridize(const HybridizeRequest& request);

}  // namespace varnow
