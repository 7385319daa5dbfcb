// Numbers typed at the prompts of the timeline commands.
//
// Every reply is one whole word, read the way atof and atoi read text: the
// leading number counts, anything after it is ignored, and a word that is not
// a number reads as 0. The word is always consumed, so a stray reply is never
// offered to the next question or taken as a command.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/console_input.hpp"

namespace varnow {

// A word as a single-precision number. Magnitudes beyond the float range
// become infinities (never an undefined conversion); "nan" stays NaN, so
// callers compare in the form that refuses NaN.
float floatFromWord(std::string_view word);

// A word as an int, saturating at the int range.
int intFromWord(std::string_view word);

// The next reply word, read as above.
float readFloatReply(ConsoleInput& replies);
int readIntReply(ConsoleInput& replies);

// Narrowing with saturation, for values computed in wider types.
float narrowToFloat(double value);
int narrowToInt(std::int64_t value);

}  // namespace varnow
