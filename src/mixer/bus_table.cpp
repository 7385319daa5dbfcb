// The bus table: which busses are on, which channels play through them, and
// how many busses a pass uses.
#include <algorithm>
#include <cstddef>

#include "mixer/channel_mixer.hpp"

namespace varnow {

namespace {

bool holdsAnyChannel(const std::array<std::int32_t, kMaxChannels>& busRow) {
  return std::any_of(busRow.begin(), busRow.end(), [](std::int32_t on) { return on == 1; });
}

}  // namespace

void UpdateBusses(const BusMatrix& matrix, BusFlags& busOn) {
  // Bus 1 is the master: once on, it stays on for the whole run, even when
  // its last channel is removed.
  for (std::size_t bus = 1; bus < matrix.size(); ++bus) {
    busOn[bus] = holdsAnyChannel(matrix[bus]) ? 1 : 0;
  }
}

void VerifyChannels(const BusMatrix& matrix, PlayFlags& playFlags) {
  for (std::size_t channel = 0; channel < playFlags.size(); ++channel) {
    if (playFlags[channel] != 1) continue;
    const bool onSomeBus = std::any_of(matrix.begin(), matrix.end(),
                                       [channel](const auto& row) { return row[channel] == 1; });
    if (!onSomeBus) playFlags[channel] = 0;
  }
}

int busCountFor(int mixMode, int outputs, int channels, int current) {
  int count = current;
  if (mixMode == 2) count = outputs / 2;
  if (mixMode == 3) count = channels / 2;
  // More than 128 outputs or channels would name busses the table does not have.
  return std::clamp(count, 0, kMaxBusses);
}

}  // namespace varnow
