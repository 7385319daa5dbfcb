#include "app/command_line.hpp"

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "app/help_screen.hpp"
#include "app/startup.hpp"
#include "core/console_input.hpp"
#include "core/history_file.hpp"
#include "core/line_editor.hpp"
#include "core/print.hpp"
#include "core/status.hpp"
#include "engine/device_list.hpp"

namespace varnow {

namespace {

constexpr const char* kUsage =
    "Usage: varnow [DIR]\n"
    "       varnow --list-devices | --help | --version\n"
    "\n"
    "Records and plays multitrack audio in the project directory DIR (the\n"
    "current directory when none is given): param.txt holds the settings,\n"
    "record.txt and play.txt the files of the inputs and of the tracks.\n"
    "\n"
    "  -l, --list-devices  list the ALSA devices and whether they suit Varnow\n"
    "  -h, --help          show this text\n"
    "  -V, --version       show the version\n"
    "\n"
    "At the prompt, '+' lists the commands and 'x' leaves. See varnow(1).\n";

// Runs the project in the current directory, with line editing when a person
// types at a terminal. Output sent elsewhere (a log file, a pipe) turns it off
// as well: the editor draws the line being typed on standard output, which
// would put its echo and cursor movements into that output.
int runProject() {
  std::unique_ptr<LineEditor> editor;
  if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1) {
    editor = LineEditor::start(helpScreenCommandWords(), historyFilePath());
    console().useLineEditor(editor.get());
  }
  const int status = runProgram();
  console().useLineEditor(nullptr);
  return status;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine command;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    const bool option = !optionsEnded && argument.size() > 1 && argument[0] == '-';
    if (option && argument == "--") {
      optionsEnded = true;
    } else if (option && (argument == "-h" || argument == "--help")) {
      return {CommandLine::Action::kHelp, {}, {}};
    } else if (option && (argument == "-V" || argument == "--version")) {
      return {CommandLine::Action::kVersion, {}, {}};
    } else if (option && (argument == "-l" || argument == "--list-devices")) {
      return {CommandLine::Action::kListDevices, {}, {}};
    } else if (option) {
      return {CommandLine::Action::kUsageError, {}, "Unknown option " + argument + "."};
    } else if (!command.projectDir.empty()) {
      return {CommandLine::Action::kUsageError, {}, "Only one project directory can be given."};
    } else {
      command.projectDir = argument;
    }
  }
  return command;
}

int runCommandLine(int argc, char** argv) {
  const CommandLine command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (command.action) {
    case CommandLine::Action::kHelp:
      printText(kUsage);
      return 0;
    case CommandLine::Action::kVersion:
      print("%s %s\n", kProgramName, kProgramVersion);
      return 0;
    case CommandLine::Action::kListDevices:
      return listDevices();
    case CommandLine::Action::kUsageError:
      printError("varnow: %s\n\n%s", command.error.c_str(), kUsage);
      return kExitUsage;
    case CommandLine::Action::kRun:
      break;
  }
  if (!command.projectDir.empty()) {
    const char* dir = command.projectDir.c_str();
    // Refused before anything is written: a directory the program cannot
    // enter, read and write into is no project. Entering it first names the
    // right reason for a name that is no directory at all (a file says "Not
    // a directory", not "Permission denied").
    if (::chdir(dir) != 0 || ::access(".", R_OK | W_OK | X_OK) != 0) {
      const std::string sentence = fileFailure("use the project directory", dir, errno).message();
      printError("varnow: %s\n", sentence.c_str());
      return kExitUsage;
    }
  }
  return runProject();
}

}  // namespace varnow
