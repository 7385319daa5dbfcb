// The command line: varnow [DIR], or one of the options that only print.
#pragma once

#include <string>
#include <vector>

namespace varnow {

// Exit status for a command line that cannot be followed.
inline constexpr int kExitUsage = 2;

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kListDevices, kUsageError };
  Action action = Action::kRun;
  std::string projectDir;  // kRun: empty for the current directory
  std::string error;       // kUsageError: what was wrong, as a sentence
};

// Reads the arguments after the program name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The whole program for the given arguments: returns the exit status.
int runCommandLine(int argc, char** argv);

}  // namespace varnow
