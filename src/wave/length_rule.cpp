#include "wave/length_rule.hpp"

#include <algorithm>

namespace varnow {

std::int64_t playableFrames(std::int64_t sizeField, std::int64_t dataStartByte,
                            std::int64_t fileBytes, std::int64_t bytesPerFrame) {
  if (bytesPerFrame < 1) return 0;
  std::int64_t frames = (fileBytes - dataStartByte) / bytesPerFrame;
  if (sizeField >= 0) frames = std::min(frames, sizeField / bytesPerFrame);
  // A data start beyond the end of the file has nothing to play.
  return std::max<std::int64_t>(frames, 0);
}

}  // namespace varnow
