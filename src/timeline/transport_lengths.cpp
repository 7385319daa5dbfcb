#include "timeline/transport_lengths.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/print.hpp"
#include "timeline/musical_time.hpp"
#include "timeline/numeric_reply.hpp"
#include "wave/quantize.hpp"

namespace varnow {

namespace {

// Frame counts are printed in full even where the screen text says "%i".
long long wide(std::int64_t frames) {
  return static_cast<long long>(frames);
}

double secondsOf(std::int64_t frames, std::uint32_t rate) {
  return static_cast<double>(toSeconds(frames, rate));
}

// The longest crossfade `cf` takes. A fade never spans more than the take
// it is applied to, so a longer one would only cost scratch space.
constexpr float kLongestCrossfadeMs = 10000.0f;

// A typed length that can be stored: a finite number. An infinity would be
// saved as "inf" and read back as 0.
bool storable(float value) {
  return std::isfinite(value);
}

// A length typed as a number: 0 for anything not above 0 (or not finite), so
// that neither NaN, an infinity nor a negative zero ("-0") is ever stored or
// shown.
float lengthOrZero(float value) {
  return storable(value) && value > 0.0f ? value : 0.0f;
}

}  // namespace

void askNudgeAmount(TimelineContext context, ConsoleInput& replies) {
  const std::uint32_t rate = context.settings.sampleRate;
  std::int64_t& nudgeFrames = context.counts.nudgeSamples;
  print("\nNudge Amount = %lld samples, %.3f sec\n", wide(nudgeFrames),
        secondsOf(nudgeFrames, rate));
  printLine("Enter new nudge amount (in sec) or '0' to keep settings");
  const float seconds = readFloatReply(replies);
  if (!(storable(seconds) && seconds > 0.0f)) return;
  context.settings.nudge = seconds;
  nudgeFrames = QUANTIZE(context.periodFrames, rate, seconds);
  print("Nudge amount will be set to %lld samples, %.3f sec\n", wide(nudgeFrames),
        secondsOf(nudgeFrames, rate));
}

void askPreroll(TimelineContext context, ConsoleInput& replies) {
  print("Preroll is set to %.3f secs\n", double{context.settings.preroll});
  printLine("Enter new preroll or 'd' for done");
  const std::string reply = replies.readWord();
  if (reply == "d") return;
  const float seconds = lengthOrZero(floatFromWord(reply));
  context.settings.preroll = seconds;
  context.counts.prerollSamples =
      QUANTIZE(context.periodFrames, context.settings.sampleRate, seconds);
}

void askCrossfade(TimelineContext context, ConsoleInput& replies) {
  print("Crossfade is currently set to %.1f milliseconds.\n", double{context.settings.crossfade});
  printLine("Enter 'd' if done or enter a new value");
  for (;;) {
    const std::string reply = replies.readWord();
    if (reply == "d") return;
    const float milliseconds = floatFromWord(reply);
    if (storable(milliseconds) && milliseconds >= 0.0f) {
      context.settings.crossfade = lengthOrZero(milliseconds);
      if (milliseconds > kLongestCrossfadeMs) {
        context.settings.crossfade = kLongestCrossfadeMs;
        print("The crossfade has been set to %.1f milliseconds, the maximum.\n",
              double{kLongestCrossfadeMs});
      }
      // Half the largest position at most, so that the full length is
      // always exactly twice the half.
      context.counts.xfadeHalf =
          std::min(crossfadeHalfFrames(context.settings.crossfade, context.settings.sampleRate),
                   std::numeric_limits<std::int64_t>::max() / 2);
      context.counts.xfadeLength = 2 * context.counts.xfadeHalf;
      return;
    }
  }
}

void askAuditionLength(TimelineContext context, ConsoleInput& replies) {
  const std::uint32_t rate = context.settings.sampleRate;
  print("Enter audition time (currently %.1f sec)\n",
        secondsOf(context.counts.auditionSamples, rate));
  const float seconds = readFloatReply(replies);
  if (!(storable(seconds) && seconds > 0.0f)) return;
  context.settings.auditionLength = seconds;
  context.counts.auditionSamples = auditionFrames(seconds, rate);
}

}  // namespace varnow
