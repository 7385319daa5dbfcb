#include "app/solo_editor.hpp"

#include <algorithm>
#include <string>

#include "core/console_input.hpp"
#include "core/print.hpp"

namespace varnow {

namespace {

int lastTrack(int tracks) {
  return std::min(tracks, kMaxChannels);
}

void showSoloTracks(const decltype(ProjectSettings::solo)& solo, int tracks) {
  print("Solo Enabled Tracks:");
  bool any = false;
  for (int track = 1; track <= lastTrack(tracks); ++track) {
    if (solo[static_cast<std::size_t>(track - 1)] != 1) continue;
    print(" %i", track);
    any = true;
  }
  if (!any) print(" (none)");
  print("\n");
}

}  // namespace

void setSoloFlags(decltype(ProjectSettings::solo)& solo, int tracks, std::string_view numbers,
                  std::int32_t flag) {
  std::size_t itemStart = 0;
  for (;;) {
    std::size_t itemEnd = numbers.find(',', itemStart);
    if (itemEnd == std::string_view::npos) itemEnd = numbers.size();
    const std::int64_t track =
        wordAsInteger(std::string(numbers.substr(itemStart, itemEnd - itemStart)));
    if (track >= 1 && track <= lastTrack(tracks)) solo[static_cast<std::size_t>(track - 1)] = flag;
    if (itemEnd == numbers.size()) return;
    itemStart = itemEnd + 1;
  }
}

void runSoloEditor(decltype(ProjectSettings::solo)& solo, int tracks) {
  for (;;) {
    showSoloTracks(solo, tracks);
    printLine("'a' add, 'r' remove, 'd' done");
    const std::string answer = console().readWord();
    if (answer == "d") return;
    if (answer == "a") {
      printLine("Enter track number to add, or multiple if comma separated");
      setSoloFlags(solo, tracks, console().readWord(), 1);
    } else if (answer == "r") {
      printLine("Enter track number to remove, or multiple if comma separated");
      setSoloFlags(solo, tracks, console().readWord(), 0);
    }
  }
}

}  // namespace varnow
