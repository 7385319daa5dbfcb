// Pieces of the console's output that many end-to-end tests expect verbatim.
#pragma once

#include <string>

namespace varnow::testing {

inline const std::string kBanner = "\nVarnow 3.76 (r52)\n";

inline std::string requestedParameters(const std::string& device, int rate, int buffer, int inputs,
                                       int outputs, int tracks) {
  return "-------------------------\nRequested Parameters:\nDevice\t" + device + "\nRate\t" +
         std::to_string(rate) + "\nBuffer\t" + std::to_string(buffer) +
         "\n-------------------------\n\nConfiguration:\nInterface inputs  = " +
         std::to_string(inputs) + "\nInterface outputs = " + std::to_string(outputs) +
         "\nTracks (maximum)  = " + std::to_string(tracks) + "\n";
}

inline std::string driverReport(int period, int rate, int outputs, int inputs) {
  return "\nReturned Driver Parameters:\n\tBuffer\tPeriods\tRate\tChannels\nPlay\t" +
         std::to_string(period) + "\t4\t" + std::to_string(rate) + "\t" + std::to_string(outputs) +
         "\nRecord\t" + std::to_string(period) + "\t4\t" + std::to_string(rate) + "\t" +
         std::to_string(inputs) + "\n-----------------------------------------\n\n";
}

// The time menu in seconds with every point at the given texts.
inline std::string secondsMenu(const std::string& memory, const std::string& in,
                               const std::string& out, const std::string& punch,
                               const std::string& recordFrom) {
  return "Time functions:  (memory = " + memory + ")\n\n   'i' to set play start (" + in +
         ")\n   'o' to set play/record stop (" + out + ")\n   'e' to set record enter (" + punch +
         ")\n\nTransport:\n\n   'p' to play from " + in + " to " + out + ".\n   'r' to play from " +
         in + " and record from " + recordFrom + " to " + out +
         ".\n   'R' to record without playback from " + punch + " to " + out +
         ".\n\n   '+' for all functions\n   's' to save all settings to param.txt file\n"
         "   'x' to exit program\n";
}

inline const std::string kZeroMenu = secondsMenu("0.00", "0.00", "0.00", "0.00", "0.00");

// Everything a run prints after the device report when nothing else happens:
// the menu, then the exit's line break.
inline const std::string kMenuThenExit = kZeroMenu + "\n";

}  // namespace varnow::testing
