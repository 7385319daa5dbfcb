#include "timeline/tempo_menu.hpp"

#include "core/print.hpp"
#include "timeline/numeric_reply.hpp"

namespace varnow {

namespace {

void showMenu(const ProjectSettings& settings) {
  print("1 = toggle tempo mode");
  if (settings.timeMode == 0) print(" (off)\n");
  if (settings.timeMode == 1) print(" (on)\n");
  print("2 = set tempo (%.2f)\n", double{settings.tempo});
  print("3 = set beats per measure (%i)\n", settings.beatsPerMeasure);
  printLine("4 = done");
}

float enteredTempo(ConsoleInput& replies) {
  printLine("Enter tempo (beats per minute)");
  return validTempo(readFloatReply(replies));
}

int enteredBeatsPerMeasure(ConsoleInput& replies) {
  printLine("Enter beats per measure");
  return validBeatsPerMeasure(readIntReply(replies));
}

}  // namespace

float validTempo(float tempo) {
  // Written so that NaN is out of range too.
  if (!(tempo >= kLowestTempo && tempo <= kHighestTempo)) return kDefaultTempo;
  return tempo;
}

int validBeatsPerMeasure(int beats) {
  if (beats < 1 || beats > kMostBeatsPerMeasure) return kDefaultBeatsPerMeasure;
  return beats;
}

void runTempoMenu(ProjectSettings& settings, ConsoleInput& replies) {
  for (;;) {
    showMenu(settings);
    switch (replies.readWordAsInteger()) {
      case 0:
        break;
      case 1:
        settings.timeMode = settings.timeMode == 0 ? 1 : 0;
        break;
      case 2:
        settings.tempo = enteredTempo(replies);
        break;
      case 3:
        settings.beatsPerMeasure = enteredBeatsPerMeasure(replies);
        break;
      default:
        return;
    }
  }
}

}  // namespace varnow
