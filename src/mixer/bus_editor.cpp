// 'bus': lists which channels feed each of the 64 stereo busses and adds or
// removes channels.
#include <cstdint>
#include <string>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "mixer/channel_mixer.hpp"
#include "mixer/mixer_console.hpp"

namespace varnow {

namespace {

// Every bus that is on, with the output pair it plays on in mix mode 2 and
// the channels 1..tracks assigned to it:
//
//   Bus 2		Out 03-04		Ch: 3 4
void printBusAssignments(const ProjectSettings& settings) {
  print("Stereo Bus Assignments: (%i outputs, %i busses)\n", settings.outputs,
        settings.outputs / 2);
  const int channels = settings.tracks < kMaxChannels ? settings.tracks : kMaxChannels;
  for (int bus = 1; bus <= kMaxBusses; ++bus) {
    const auto busIndex = static_cast<std::size_t>(bus - 1);
    if (settings.busOn[busIndex] != 1) continue;
    print("\nBus %i\t\tOut %.2i-%.2i\t\tCh: ", bus, 2 * bus - 1, 2 * bus);
    for (int channel = 1; channel <= channels; ++channel) {
      if (settings.busMatrix[busIndex][static_cast<std::size_t>(channel - 1)] == 1) {
        print("%i ", channel);
      }
    }
  }
}

// Sets (1) or clears (0) the matrix entries of `bus` (1-based) for every
// comma-separated piece of `channelList` that reads as 1..256; other pieces
// are skipped. Adding also turns the bus on.
void assignChannels(ProjectSettings& settings, std::int64_t bus, const std::string& channelList,
                    std::int32_t assigned) {
  if (bus < 1 || bus > kMaxBusses) return;
  const auto busIndex = static_cast<std::size_t>(bus - 1);
  std::size_t start = 0;
  while (start <= channelList.size()) {
    std::size_t end = channelList.find(',', start);
    if (end == std::string::npos) end = channelList.size();
    const std::int64_t channel = wordAsInteger(channelList.substr(start, end - start));
    start = end + 1;
    if (channel < 1 || channel > kMaxChannels) continue;
    settings.busMatrix[busIndex][static_cast<std::size_t>(channel - 1)] = assigned;
    if (assigned == 1) settings.busOn[busIndex] = 1;
  }
}

}  // namespace

void editBusAssignments(ProjectSettings& settings) {
  UpdateBusses(settings.busMatrix, settings.busOn);
  for (;;) {
    printBusAssignments(settings);
    printLine("\nEnter 'a' to add a channel to a bus");
    printLine("Enter 'r' to remove a channel from a bus");
    printLine("Enter 'c' to continue");
    const std::string answer = console().readWord();
    if (answer == "c") return;
    if (answer != "a" && answer != "r") continue;

    const bool adding = answer == "a";
    printLine(adding ? "Enter bus number" : "Enter a bus number");
    // A reply that is not a number is consumed and reads as 0: no bus.
    const std::int64_t bus = console().readWordAsInteger();
    printLine(adding ? "Enter channel to add, or multiple if comma separated"
                     : "Enter the channel to remove, or multiple if comma separated");
    const std::string channelList = console().readWord();
    assignChannels(settings, bus, channelList, adding ? 1 : 0);
    UpdateBusses(settings.busMatrix, settings.busOn);
  }
}

}  // namespace varnow
