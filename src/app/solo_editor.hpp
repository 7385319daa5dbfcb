// The solo editor ('so'): which tracks a soloed play pass ('sp') plays.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/project_settings.hpp"

namespace varnow {

// Sets every solo flag named in `numbers` to `flag` (1 solo, 0 not).
// `numbers` is one word of comma-separated track numbers ("1,3,12"); each
// item is read as atoi reads it, and items outside 1..`tracks` (so also
// items that are not numbers, which read as 0) are ignored.
void setSoloFlags(decltype(ProjectSettings::solo)& solo, int tracks, std::string_view numbers,
                  std::int32_t flag);

// Shows the soloed tracks of 1..`tracks` and reads "a" (add), "r" (remove)
// or "d" (done); any other answer just shows the list again.
void runSoloEditor(decltype(ProjectSettings::solo)& solo, int tracks);

}  // namespace varnow
