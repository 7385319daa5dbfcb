// The lengths that go with the transport points: the nudge amount ('nn'), the
// preroll ('pre'), the crossfade length ('cf') and the audition length ('aa').
//
// Each is held twice: in seconds (milliseconds for the crossfade) in the
// settings, where 's' saves it, and in frames in the derived counts, which
// the transport uses. Every command here changes both together.
#pragma once

#include "core/console_input.hpp"
#include "timeline/point_commands.hpp"

namespace varnow {

// These are the console commands of point_commands.hpp, reading their replies
// from `replies` instead of the program's console.

// Shows the nudge amount and asks for a new one in seconds; a reply of 0 or
// less (or not a finite number) keeps it. The frames are the seconds rounded up to
// whole periods.
void askNudgeAmount(TimelineContext context, ConsoleInput& replies);

// Shows the preroll and asks for a new one; "d" keeps it, anything else is
// read as seconds, a negative value (or not a finite number) as 0. The frames are the
// seconds rounded up to whole periods.
void askPreroll(TimelineContext context, ConsoleInput& replies);

// Shows the crossfade length and reads replies until "d" (keep it) or a
// number of 0 or more (milliseconds); negative numbers and infinities are
// passed over without a new prompt, a word that is not a number reads as 0.
// A length above 10000 ms is set to 10000 with the line "The crossfade has
// been set to 10000.0 milliseconds, the maximum.". The half length is
// trunc(rate * ms / 2000) frames, the full length twice that.
void askCrossfade(TimelineContext context, ConsoleInput& replies);

// Shows the audition length and asks for a new one in seconds; 0 or less
// (or not a finite number) keeps it. The frames are trunc(seconds * rate), not rounded to the
// period.
void askAuditionLength(TimelineContext context, ConsoleInput& replies);

}  // namespace varnow
