// Varnow: an interactive multitrack recorder for the terminal.
#include "app/startup.hpp"

int main() {
  return varnow::runProgram();
}
