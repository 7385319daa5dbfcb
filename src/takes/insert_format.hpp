// Which files a take may be punched into: a punch-in writes the take's
// packed mono 24-bit samples in place, so only a file of that shape, at the
// take's rate, holds them as what they are.
#pragma once

#include <cstdint>
#include <string>

#include "core/status.hpp"

namespace varnow {

// Success when `destination` is a mono 24-bit file at `takeRateHz`, and when
// its format cannot be read at all (no such file, no format chunk: the
// insert itself then says what it makes of it). Otherwise one sentence:
// "Cannot insert into vox.wav: it is a 16-bit stereo file at 44100 Hz, the
// take is 24-bit mono at 48000 Hz."
Status checkInsertFormat(const std::string& destination, std::uint32_t takeRateHz);

}  // namespace varnow
