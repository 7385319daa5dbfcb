#include "app/options_menu.hpp"

#include <string>

#include "core/console_input.hpp"
#include "core/print.hpp"

namespace varnow {

namespace {

void printOptions(const ProjectSettings& s) {
  print("\nOptions:\n");
  print("\n");
  print("Clock: ");
  if (s.clockMode == kClockHidden) print("(now set to hc)");
  if (s.clockMode == kClockUnstreamed) print("(now set to uc)");
  if (s.clockMode == kClockStreamed) print("(now set to sc)");
  printLine("\n  'sc' to stream clock");
  printLine("  'uc' to unstream clock (default)");
  printLine("  'hc' to hide clock");

  print("\nPeaks: ");
  if (s.peakMode == 0) print("(now set to np)");
  if (s.peakMode == 1) print("(now set to cp)");
  printLine("\n  'cp' to check peaks while recording (default)");
  printLine("  'np' for no peak checking while recording");

  print("\nInterface: ");
  if (s.interfaceMode == 0) print("(now set to int0)");
  if (s.interfaceMode == 1) print("(now set to int1)");
  printLine("\n  'int0' for minimal interface");
  printLine("  'int1' for default interface");
  print("\n");
  printLine("  'd' if done changing options");
}

}  // namespace

void runOptionsMenu(ProjectSettings& s) {
  for (;;) {
    printOptions(s);
    const std::string word = console().readWord();
    if (word == "d") return;
    if (word == "sc") s.clockMode = kClockStreamed;
    if (word == "uc") s.clockMode = kClockUnstreamed;
    if (word == "hc") s.clockMode = kClockHidden;
    if (word == "cp") s.peakMode = 1;
    if (word == "np") s.peakMode = 0;
    if (word == "int0") s.interfaceMode = 0;
    if (word == "int1") s.interfaceMode = 1;
  }
}

void runSafetySwitch(ProjectSettings& s) {
  if (s.safeMode == 1) {
    printLine("Safety mode for replacing files is ON");
    printLine("Enter '0' to turn off");
  } else {
    printLine("Safety mode for replacing files is OFF");
    if (s.safeMode == 0) printLine("Enter '1' to turn on");
  }
  printLine("Enter '2' to keep current settings");
  for (;;) {
    const std::string word = console().readWord();
    if (word == "0") {
      s.safeMode = 0;
      print("Safety mode is OFF\n");
      return;
    }
    if (word == "1") {
      s.safeMode = 1;
      print("Safety mode is ON\n");
      return;
    }
    if (word == "2") return;
  }
}

}  // namespace varnow
