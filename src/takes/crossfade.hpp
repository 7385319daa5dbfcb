// The equal-power crossfade that blends the ends of a punched-in take with
// the old material, so that the edit makes no click.
#pragma once

#include <cstdint>

namespace varnow {

// pi/2 rounded to nine decimals, used as written so that every blended sample
// is the same on every machine that rounds doubles the same way.
inline constexpr double kFadeQuarterTurn = 1.570796327;

// Blended sample k of a fade of `lengthFrames` from one signal to another:
//
//   from  ...|f0  f1  f2 ....... f(L-1)|...     gain cos: 1 -> ~0
//   to    ...|t0  t1  t2 ....... t(L-1)|...     gain sin: 0 -> ~1
//
//   theta = k / lengthFrames x kFadeQuarterTurn          (double precision)
//   trunc(from x cos(theta) + to x sin(theta))  toward zero,
// saturated to the 24-bit range -8388608 .. 8388607 (two loud signals in
// phase reach about 1.414 full scale at the middle). Sample 0 is `from`
// itself; the last one is just short of `to`.
std::int64_t crossfadeSample(std::int64_t fromSample, std::int64_t toSample, std::int64_t k,
                             std::int64_t lengthFrames);

}  // namespace varnow
