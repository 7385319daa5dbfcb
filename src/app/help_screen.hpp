#pragma once

#include <string>
#include <vector>

namespace varnow {

// The full list of functions ('+' or 'h'); waits for "c".
void showHelpScreen();

// The command words the help screen names (each word it shows in quotes),
// for completion at the prompt. Templates such as 'R_takeName' are left out.
std::vector<std::string> helpScreenCommandWords();

}  // namespace varnow
