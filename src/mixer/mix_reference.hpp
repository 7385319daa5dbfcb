// The scalar reference of the mix kernels: Mix and MixMultiple written
// straight from their formulas, one sample at a time, with the bus
// accumulators in function-level statics. Slow on purpose; the fast kernels
// of mix_kernels.cpp are tested equal to these to the bit, and the benchmarks
// time both.
#pragma once

#include <cstdint>

#include "mixer/channel_mixer.hpp"

namespace varnow {

// Mode 1: every playing channel into blocks 0 and 1 through the master gain.
void referenceMix(std::int8_t* blocks, const MixInputs& inputs, std::int64_t& masterPeakLeft,
                  std::int64_t& masterPeakRight);

// Modes 2 and 3: channels into busses, then busses to their output pairs
// (mode 2) or into the master (mode 3). Not re-entrant.
void referenceMixMultiple(std::int8_t* blocks, const MixInputs& inputs, BusPeakTable& busPeaksLeft,
                          BusPeakTable& busPeaksRight, int mixMode, int masterScale = kMasterScale);

}  // namespace varnow
