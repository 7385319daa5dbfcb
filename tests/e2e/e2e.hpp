// What the end-to-end tests share: pieces of the console's output expected
// verbatim, and the model of what a pass plays.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/project_fixture.hpp"

namespace varnow::testing {

using Names = std::vector<std::string>;

inline const std::string kBanner = "\nVarnow 3.76 (r52)\n";

inline std::string requestedParameters(const std::string& device, int rate, int buffer, int inputs,
                                       int outputs, int tracks) {
  return "-------------------------\nRequested Parameters:\nDevice\t" + device + "\nRate\t" +
         std::to_string(rate) + "\nBuffer\t" + std::to_string(buffer) +
         "\n-------------------------\n\nConfiguration:\nInterface inputs  = " +
         std::to_string(inputs) + "\nInterface outputs = " + std::to_string(outputs) +
         "\nTracks (maximum)  = " + std::to_string(tracks) + "\n";
}

// The round trip a recording with playback compensates: the device buffer of
// four periods and odcomp periods, less one block, and the extra frames.
inline std::string latencyLine(int period, int rate, int odcomp = 4, int extraFrames = 0) {
  const long frames = (4L + odcomp) * period - 4096 + extraFrames;
  char line[80];
  std::snprintf(line, sizeof line, "Latency compensated: %li frames (%.2f ms)\n", frames,
                static_cast<double>(frames) * 1000.0 / rate);
  return line;
}

inline std::string driverReport(int period, int rate, int outputs, int inputs) {
  const std::string common = std::to_string(period) + "\t4\t" + std::to_string(rate) + "\t";
  return "\nReturned Driver Parameters:\n\tBuffer\tPeriods\tRate\tChannels\nPlay\t" + common +
         std::to_string(outputs) + "\nRecord\t" + common + std::to_string(inputs) + "\n" +
         latencyLine(period, rate) + "-----------------------------------------\n\n";
}

// The time menu; 'r' records from the later of play start and record start,
// given as `from`. The measure.beat form differs in a blank and three stops.
inline std::string timeMenu(bool musical, const std::string& in, const std::string& out,
                            const std::string& punch, const std::string& from,
                            const std::string& memory) {
  const std::string end = musical ? "\n" : ".\n";
  return "Time functions:  (memory = " + memory + ")\n\n   'i' to set play start " +
         (musical ? " (" : "(") + in + ")\n   'o' to set play/record stop (" + out +
         ")\n   'e' to set record enter (" + punch + ")\n\nTransport:\n\n   'p' to play from " +
         in + " to " + out + end + "   'r' to play from " + in + " and record from " + from +
         " to " + out + end + "   'R' to record without playback from " + punch + " to " + out +
         end +
         "\n   '+' for all functions\n   's' to save all settings to param.txt file\n"
         "   'x' to exit program\n";
}

inline std::string secondsMenu(const std::string& in, const std::string& out,
                               const std::string& punch, const std::string& from,
                               const std::string& memory = "0.00") {
  return timeMenu(false, in, out, punch, from, memory);
}

inline std::string musicalMenu(const std::string& in, const std::string& out,
                               const std::string& punch, const std::string& from,
                               const std::string& memory = "1.1.00") {
  return timeMenu(true, in, out, punch, from, memory);
}

inline const std::string kZeroMenu = secondsMenu("0.00", "0.00", "0.00", "0.00");
inline const std::string kZeroMeasures = musicalMenu("1.1.00", "1.1.00", "1.1.00", "1.1.00");

// The minimal interface's status line.
inline std::string statusLine(const std::string& in, const std::string& punch,
                              const std::string& out, const std::string& memory = "0.00") {
  return "Play: " + in + "   Rec: " + punch + "   Stop: " + out + "   Mem: " + memory + "\n";
}

inline const std::string kZeroStatus = statusLine("0.00", "0.00", "0.00");
inline const std::string kStored = "\nStored Settings\n";
inline const std::string kContinue = "Enter 'c' to continue\n";

inline std::string repeat(const std::string& text, int times) {
  std::string all;
  while (times-- > 0)
    all += text;
  return all;
}

// How often `piece` occurs in `text`.
inline std::size_t count(const std::string& text, const std::string& piece) {
  std::size_t found = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++found;
  return found;
}

// `text` holds `piece`; the failure shows both.
inline ::testing::AssertionResult has(const std::string& text, const std::string& piece) {
  if (text.find(piece) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no\n" << piece << "\nin\n" << text;
}

inline constexpr std::int64_t kBlock = 4096;  // frames a pass reads and writes at once

// What a pass from `in` to `out` plays of a file: the block of silence, then
// every frame from in up to out (one period of silence alone when out is not
// after in).
inline Samples playedFrom(const Samples& file, std::int64_t in, std::int64_t out,
                          std::int64_t period = 1024) {
  const std::int64_t end = out > in ? out : in - kBlock + period;
  Samples played;
  for (std::int64_t t = in - kBlock; t < end; ++t)
    played.push_back(t >= in && t < std::ssize(file) ? file[static_cast<std::size_t>(t)] : 0);
  return played;
}

}  // namespace varnow::testing
