// Varnow: an interactive multitrack recorder for the terminal.
#include "app/command_line.hpp"

int main(int argc, char** argv) {
  return varnow::runCommandLine(argc, argv);
}
