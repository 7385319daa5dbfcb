#include "app/arm_check.hpp"

#include <algorithm>
#include <optional>

#include "core/print.hpp"
#include "core/track_list.hpp"

namespace varnow {

namespace {

// Opens and reads the list for a listing. Prints `missingMessage` when the
// file cannot be opened, or the reason when it cannot be read.
bool readForListing(const std::string& path, char skipMarker, Format missingMessage,
                    TrackList& list) {
  const std::optional<Status> read = readExistingTrackList(path, list, skipMarker);
  if (!read) {
    print(missingMessage, path.c_str());
    return false;
  }
  if (!*read) {
    printLine(read->message());
    return false;
  }
  return true;
}

// The last channel a listing shows: the channel count, bounded by the lines
// the list has and by the 256 entries of every per-channel table.
int lastListedChannel(int channels, const TrackList& list) {
  return std::min({channels, list.lineCount(), kMaxChannels});
}

bool onBus(const decltype(ProjectSettings::busMatrix)& busMatrix, int bus, int track) {
  return busMatrix[static_cast<std::size_t>(bus - 1)][static_cast<std::size_t>(track - 1)] == 1;
}

// Where track `track` is heard in each mix mode. Outputs the interface does
// not have (beyond `outputs`) are shown in parentheses.
void printDestination(int track, int outputs, const decltype(ProjectSettings::busMatrix)& busMatrix,
                      int mixMode, const decltype(ProjectSettings::busOn)& busOn) {
  switch (mixMode) {
    case 0:
      if (track <= outputs) {
        print("Out %i", track);
      } else {
        print("Out (%i)", track);
      }
      break;
    case 1:
      print("Out 1 2");
      if (track >= 3) {
        if (track <= outputs) {
          print(" %i", track);
        } else {
          print(" (%i)", track);
        }
      }
      break;
    case 2:
      // Bus j plays on the output pair 2j-1, 2j. Where a bus is off, the
      // outputs of its pair keep the direct signal of the track with the
      // same number.
      print("Out ");
      for (int bus = 1; bus <= kMaxBusses; ++bus) {
        const int firstOutput = 2 * bus - 1;
        if (onBus(busMatrix, bus, track)) {
          if (firstOutput < outputs) {
            print("%i %i ", firstOutput, firstOutput + 1);
          } else {
            print("(%i %i) ", firstOutput, firstOutput + 1);
          }
        }
        const bool busOff = busOn[static_cast<std::size_t>(bus - 1)] == 0;
        if (busOff && (track == firstOutput || track == firstOutput + 1)) {
          if (track <= outputs) {
            print("%i ", track);
          } else {
            print("(%i) ", track);
          }
        }
      }
      break;
    case 3:
      // Every bus is summed into the master, bus 1, on outputs 1 and 2.
      if (onBus(busMatrix, 1, track)) print("Out 1 2 ");
      for (int bus = 2; bus <= kMaxBusses; ++bus) {
        if (onBus(busMatrix, bus, track)) print("Bus %i -> Out 1 2 ", bus);
      }
      break;
    default:
      break;
  }
}

}  // namespace

bool REC_ARM_CHECK(int inputs, char skipMarker, const std::string& recordListName) {
  TrackList list;
  if (!readForListing(recordListName, skipMarker, "Cannot find recordlist file called %s\n",
                      list)) {
    return false;
  }
  print("File: %s\n", recordListName.c_str());
  printLine("Source\t\tStatus\t\tDestination");
  const int lastInput = lastListedChannel(inputs, list);
  for (int input = 1; input <= lastInput; ++input) {
    if (!list.isNamed(input)) continue;
    print("In %i\t\tARMED\t\t", input);
    printLine(list.fileName(input));
  }
  printLine("-------------------------");
  return true;
}

bool PLAY_ARM_CHECK(int tracks, int outputs, char skipMarker,
                    const decltype(ProjectSettings::solo)& solo, const std::string& playListName,
                    const decltype(ProjectSettings::busMatrix)& busMatrix, int mixMode,
                    const decltype(ProjectSettings::busOn)& busOn) {
  TrackList list;
  if (!readForListing(playListName, skipMarker, "Playlist file called %s was not found!\n", list)) {
    return false;
  }
  print("File: %s\n", playListName.c_str());
  printLine("Source\t\t\tSolo\tDestination");
  const int lastTrack = lastListedChannel(tracks, list);
  for (int track = 1; track <= lastTrack; ++track) {
    if (!list.isNamed(track)) continue;
    print("%.12s\t\t", list.fileName(track).c_str());
    if (solo[static_cast<std::size_t>(track - 1)] == 1) {
      print("ON\t");
    } else {
      print("off\t");
    }
    printDestination(track, outputs, busMatrix, mixMode, busOn);
    print("\n");
  }
  printLine("-------------------------");
  return true;
}

}  // namespace varnow
