// The time copies: "X.Y" copies point X into point Y, where X and Y are two
// different letters of i (in point), o (out point), e (punch point) and
// m (memory). No check is made on the result.
#pragma once

#include <string_view>

#include "core/project_settings.hpp"

namespace varnow {

// The point a letter names, or nullptr for any other letter.
Position* pointForLetter(ProjectSettings& settings, char letter);

// Carries out `word` if it is one of the twelve copies ("i.o", "m.e", ...)
// and returns whether it was one; any other word changes nothing.
bool copyTimePoint(ProjectSettings& settings, std::string_view word);

}  // namespace varnow
