// The equal-power crossfade that blends the ends of a punched-in take with
// the old material, so that the edit makes no click.
#pragma once

#include <cstdint>
#include <string>

#include "app/project_settings.hpp"

namespace varnow {

// pi/2 rounded to nine decimals, used as written so that every blended sample
// is the same on every machine that rounds doubles the same way.
inline constexpr double kFadeQuarterTurn = 1.570796327;

struct CrossfadeRequest {
  std::string destination;             // faded out
  Position destinationStartFrame = 0;  // its first sample of the region
  std::string source;                  // faded in
  Position sourceStartFrame = 0;       // its first sample of the region
  std::int64_t lengthFrames = 0;       // samples to blend
  std::string output;                  // the blend is appended to it
};

// The codes the take menu tells apart (any non-zero code: insert that end of
// the take without a fade).
inline constexpr int kCrossfadeDone = 0;
inline constexpr int kCrossfadeDestinationProblem = 1;
inline constexpr int kCrossfadeSourceProblem = 2;
inline constexpr int kCrossfadeOutputProblem = 3;

struct [[nodiscard]] CrossfadeResult {
  int code = kCrossfadeDone;
  // For a failure the rejection messages below do not cover (a file that
  // cannot be opened, read or written): the sentence naming it and the
  // reason, for the caller to print. Empty otherwise.
  std::string message;

  bool ok() const { return code == kCrossfadeDone; }
};

// Blended sample k of a fade of `lengthFrames`:
//   theta = k / lengthFrames x kFadeQuarterTurn          (double precision)
//   trunc(destination x cos(theta) + source x sin(theta))  toward zero,
// saturated to the 24-bit range -8388608 .. 8388607 (two loud signals in
// phase reach about 1.414 full scale at the middle).
std::int64_t crossfadeSample(std::int64_t destinationSample, std::int64_t sourceSample,
                             std::int64_t k, std::int64_t lengthFrames);

// Appends lengthFrames blended samples to the output, sample k blending
// destination sample destinationStart + k with source sample sourceStart + k:
//
//   destination  ...|d0  d1  d2 ....... d(L-1)|...     gain cos: 1 -> ~0
//   source       ...|s0  s1  s2 ....... s(L-1)|...     gain sin: 0 -> ~1
//   output       header (written by the caller) | b0 b1 ... b(L-1)
//
// The output's header is the caller's (MAKE_HEADER with the fade length);
// the blend follows whatever the output holds. A region that runs past the
// end of an input reads silence there. Work goes in pieces of 1024 samples.
//
// Checks, in this order (the codes above; the messages are printed here):
//   a file that cannot be opened: 1, 2 or 3, with a sentence in `message`;
//   no "data" chunk: "Data block not found error" as a line, 1 or 2;
//   a start beyond the input's last byte or before its samples:
//     "Invalid crossfade for destination file at sample %li\n"  -> 1
//     "Invalid crossfade for source file at sample %li\n"       -> 2
//   (a start equal to the sample count is accepted);
//   lengthFrames <= 0: nothing appended, 0.
// A read or write failure while blending returns 1, 2 or 3 with a sentence;
// the output may then hold part of the blend and is to be discarded.
CrossfadeResult CROSSFADE(const CrossfadeRequest& request);

}  // namespace varnow
