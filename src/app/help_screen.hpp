#pragma once

namespace varnow {

// The full list of functions ('+' or 'h'); waits for "c".
void showHelpScreen();

// Prints "Enter 'c' to continue" style waits: reads words until one is "c".
void waitForContinue();

}  // namespace varnow
