#include "app/track_list_commands.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "app/arm_check.hpp"
#include "app/list_file_menu.hpp"
#include "app/solo_editor.hpp"
#include "core/console_input.hpp"
#include "core/print.hpp"
#include "core/track_list.hpp"
#include "engine/recording_room.hpp"

namespace varnow {

namespace {

void waitAfterListing() {
  printLine("Enter 'c' to continue");
  waitForContinue();
}

}  // namespace

void listRecordReady(const ProjectSettings& settings) {
  REC_ARM_CHECK(settings.inputs, kSkipMarker, settings.recordLists.current().str());
  waitAfterListing();
}

void listPlayReady(const ProjectSettings& settings) {
  PLAY_ARM_CHECK(settings.tracks, settings.outputs, kSkipMarker, settings.solo,
                 settings.playLists.current().str(), settings.busMatrix, settings.mixMode,
                 settings.busOn);
  waitAfterListing();
}

void showRecordingRoom(const ProjectSettings& settings) {
  const std::string listName = settings.recordLists.current().str();
  TrackList list;
  if (const Status read = readTrackListFile(listName, list); !read) {
    printLine(read.message());
    return;
  }
  std::vector<std::string> destinations;
  for (int channel = 1; channel <= std::min(settings.inputs, list.lineCount()); ++channel) {
    if (list.isNamed(channel)) destinations.push_back(list.fileName(channel));
  }
  if (destinations.empty()) printNothingArmed(listName);
  printRecordingRoom(destinations, settings.sampleRate);
}

void selectPlayList(ProjectSettings& settings) {
  runListFileMenu(settings.playLists, kPlayListMenu);
}

void selectRecordList(ProjectSettings& settings) {
  runListFileMenu(settings.recordLists, kRecordListMenu);
}

void editSolo(ProjectSettings& settings) {
  runSoloEditor(settings.solo, settings.tracks);
}

}  // namespace varnow
