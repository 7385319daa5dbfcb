// The ALSA PCM devices of this machine, for choosing the project's device.
#pragma once

namespace varnow {

// Prints every PCM device that ALSA's name hints know (name, then its
// description indented, as ALSA's own tools list them), and whether it
// opens for playback and for capture with the sample format and access the
// program needs. A device that has not answered both probes within 2 s (its
// open waits for a FIFO's other end, a sound server that is not running)
// is listed as not answering. Opening is only tried: nothing is configured, played or
// recorded. Returns the exit status: 0, or 1 when the hints are unavailable.
int listDevices();

}  // namespace varnow
