// 'lat': the round trip from output 1 to input 1, through a loopback the
// user connects (a cable, or a sound server's monitor of output 1), measured
// with a pass of its own, and the correction that puts takes on the tracks.
#pragma once

#include "engine/transport.hpp"

namespace varnow {

// Plays a test signal on output 1 after half a second of silence, captures
// input 1 as a recording with playback would, and finds the signal there.
// Prints the round trip in frames and milliseconds and how far takes land
// from the tracks with the current odcomp and odframes; when they do not land
// exactly, offers the correction ("y" applies it; 's' stores it). The points
// of the project are as before afterwards.
void measureLatency(PassContext& context, Transport& transport);

}  // namespace varnow
