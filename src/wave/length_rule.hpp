// How many frames of a wave file can be played.
#pragma once

#include <cstdint>

namespace varnow {

// The playable length in frames of a data chunk:
//
//   dataStartByte                    dataStartByte + sizeField     fileBytes
//   |<------- stated by the header ------------->|                 |
//   |<------- present in the file ---------------------------------->|
//
// the smaller of the stated frames, sizeField / bytesPerFrame, and the present
// frames, (fileBytes - dataStartByte) / bytesPerFrame, both rounded toward
// zero. `sizeField` is the data size sign-extended from 32 bits (as Assem4
// reads it): a negative value (a field of 2^31 or more, such as FF FF FF FF
// in a take that was never closed) states no limit, and the file plays to its
// physical end. So a file shorter than its header plays to its real end, and
// bytes after the stated data are ignored. Never negative; 0 when
// bytesPerFrame < 1.
std::int64_t playableFrames(std::int64_t sizeField, std::int64_t dataStartByte,
                            std::int64_t fileBytes, std::int64_t bytesPerFrame);

}  // namespace varnow
