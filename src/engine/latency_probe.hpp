// The arithmetic of a latency measurement: the test signal (a maximum-length
// sequence, whose correlation with itself is one sharp peak), finding it in
// what came back, and turning a take's landing error into a correction of
// whole periods and frames.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace varnow {

// The 1023 chips (+1 or -1) of the maximum-length sequence of a 10-bit shift
// register: the same every time.
std::vector<int> maximumLengthSequence();

// Where `sequence` starts in `samples`: the offset whose stretch correlates
// best with it, provided that stretch is the sequence (normalised correlation
// of at least one half); nullopt when nothing like it is there.
std::optional<std::int64_t> findSequence(const std::vector<std::int32_t>& samples,
                                         const std::vector<int>& sequence);

// A total compensation in frames as odcomp (whole periods, rounded down) and
// the frames beyond them (0 .. period-1).
struct LatencyCorrection {
  std::int32_t odcomp = 0;
  std::int32_t frames = 0;
};
LatencyCorrection splitCompensation(std::int64_t totalFrames, std::int64_t periodFrames);

}  // namespace varnow
