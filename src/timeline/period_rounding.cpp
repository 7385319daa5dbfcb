#include "timeline/period_rounding.hpp"

#include "wave/quantize.hpp"

namespace varnow {

void roundStoredPointsToPeriod(ProjectSettings& settings, std::int64_t periodFrames) {
  if (periodFrames <= 0) return;
  auto round = [periodFrames](Position& position) {
    position = QUANTIZE_SAMPLES(periodFrames, position);
  };
  round(settings.inPoint);
  round(settings.outPoint);
  round(settings.punchPoint);
  round(settings.memoryPoint);
  for (auto& position : settings.rangeIn)
    round(position);
  for (auto& position : settings.rangeOut)
    round(position);
  for (auto& position : settings.locateTimes)
    round(position);
}

}  // namespace varnow
