#include "timeline/time_menu.hpp"

#include <algorithm>

#include "core/print.hpp"
#include "timeline/musical_time.hpp"

namespace varnow {

namespace {

double seconds(const ProjectSettings& s, Position position) {
  return static_cast<double>(toSeconds(position, s.sampleRate));
}

MusicalPosition musical(const ProjectSettings& s, Position position) {
  return toMusical(position, s.beatsPerMeasure, s.tempo, s.sampleRate);
}

void printClosingLines() {
  print("\n");
  printLine("   '+' for all functions");
  printLine("   's' to save all settings to param.txt file");
  printLine("   'x' to exit program");
}

void printSecondsMenu(const ProjectSettings& s, Position recordFrom) {
  print("Time functions:  (memory = %.2f)\n\n", seconds(s, s.memoryPoint));
  print("   'i' to set play start (%.2f)\n", seconds(s, s.inPoint));
  print("   'o' to set play/record stop (%.2f)\n", seconds(s, s.outPoint));
  print("   'e' to set record enter (%.2f)\n", seconds(s, s.punchPoint));
  print("\nTransport:\n");
  print("\n");
  print("   'p' to play from %.2f to %.2f.\n", seconds(s, s.inPoint), seconds(s, s.outPoint));
  print("   'r' to play from %.2f and record from %.2f to %.2f.\n", seconds(s, s.inPoint),
        seconds(s, recordFrom), seconds(s, s.outPoint));
  print("   'R' to record without playback from %.2f to %.2f.\n", seconds(s, s.punchPoint),
        seconds(s, s.outPoint));
}

void printMusicalMenu(const ProjectSettings& s, Position recordFrom) {
  const MusicalPosition memory = musical(s, s.memoryPoint);
  const MusicalPosition in = musical(s, s.inPoint);
  const MusicalPosition out = musical(s, s.outPoint);
  const MusicalPosition punch = musical(s, s.punchPoint);
  const MusicalPosition from = musical(s, recordFrom);
  print("Time functions:  (memory = %i.%.2f)\n\n", memory.measure, double{memory.beat});
  print("   'i' to set play start  (%i.%.2f)\n", in.measure, double{in.beat});
  print("   'o' to set play/record stop (%i.%.2f)\n", out.measure, double{out.beat});
  print("   'e' to set record enter (%i.%.2f)\n", punch.measure, double{punch.beat});
  print("\nTransport:\n");
  print("\n");
  print("   'p' to play from %i.%.2f to %i.%.2f\n", in.measure, double{in.beat}, out.measure,
        double{out.beat});
  print("   'r' to play from %i.%.2f and record from %i.%.2f to %i.%.2f\n", in.measure,
        double{in.beat}, from.measure, double{from.beat}, out.measure, double{out.beat});
  print("   'R' to record without playback from %i.%.2f to %i.%.2f\n", punch.measure,
        double{punch.beat}, out.measure, double{out.beat});
}

}  // namespace

void printTimeMenu(const ProjectSettings& settings) {
  // 'r' records from the later of play start and record start.
  const Position recordFrom = std::max(settings.inPoint, settings.punchPoint);
  if (settings.timeMode == 1) {
    printMusicalMenu(settings, recordFrom);
  } else {
    printSecondsMenu(settings, recordFrom);
  }
  printClosingLines();
}

void printStatusLine(const ProjectSettings& s) {
  if (s.timeMode == 1) {
    const MusicalPosition in = musical(s, s.inPoint);
    const MusicalPosition punch = musical(s, s.punchPoint);
    const MusicalPosition out = musical(s, s.outPoint);
    const MusicalPosition memory = musical(s, s.memoryPoint);
    print("Play: %i.%.2f   Rec: %i.%.2f   Stop: %i.%.2f   Mem: %i.%.2f\n", in.measure,
          double{in.beat}, punch.measure, double{punch.beat}, out.measure, double{out.beat},
          memory.measure, double{memory.beat});
  } else {
    print("Play: %.2f   Rec: %.2f   Stop: %.2f   Mem: %.2f\n", seconds(s, s.inPoint),
          seconds(s, s.punchPoint), seconds(s, s.outPoint), seconds(s, s.memoryPoint));
  }
}

}  // namespace varnow
