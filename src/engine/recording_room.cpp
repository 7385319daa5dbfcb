#include "engine/recording_room.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cmath>

#include "core/file_paths.hpp"
#include "core/print.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

std::string inputsText(int inputs) {
  return inputs == 1 ? std::string("1 input") : formatText("%i inputs", inputs);
}

}  // namespace

std::vector<DiskRoom> diskRoomFor(const std::vector<std::string>& paths) {
  std::vector<DiskRoom> rooms;
  std::vector<dev_t> devices;  // the file system of each examined entry
  for (const std::string& path : paths) {
    const std::string directory = directoryOf(path);
    struct stat info {};
    struct statvfs space {};
    if (::stat(directory.c_str(), &info) != 0 || ::statvfs(directory.c_str(), &space) != 0) {
      DiskRoom room;
      room.directory = directory;
      room.inputs = 1;
      room.examined = fileFailure("examine", directory, errno);
      rooms.push_back(std::move(room));
      devices.push_back(static_cast<dev_t>(-1));
      continue;
    }
    bool counted = false;
    for (std::size_t k = 0; k < rooms.size() && !counted; ++k) {
      if (rooms[k].examined && devices[k] == info.st_dev) {
        ++rooms[k].inputs;
        counted = true;
      }
    }
    if (counted) continue;
    DiskRoom room;
    room.directory = directory;
    room.freeBytes = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    room.inputs = 1;
    rooms.push_back(std::move(room));
    devices.push_back(info.st_dev);
  }
  return rooms;
}

double recordingSecondsIn(std::uint64_t freeBytes, int inputs, std::uint32_t rateHz) {
  const double bytesPerSecond = static_cast<double>(kBytesPerSample) * rateHz * inputs;
  return bytesPerSecond > 0 ? static_cast<double>(freeBytes) / bytesPerSecond : 0.0;
}

std::string durationText(double seconds) {
  if (seconds < 60) return formatText("%.1f s", std::floor(seconds * 10) / 10);
  const auto whole = static_cast<long long>(seconds);
  if (whole < 3600) return formatText("%lli min %02lli s", whole / 60, whole % 60);
  return formatText("%lli h %02lli min", whole / 3600, whole % 3600 / 60);
}

std::string bytesText(std::uint64_t bytes) {
  const auto amount = static_cast<double>(bytes);
  if (bytes >= 1000000000) return formatText("%.1f GB", std::floor(amount / 1e8) / 10);
  if (bytes >= 1000000) return formatText("%.1f MB", std::floor(amount / 1e5) / 10);
  if (bytes >= 1000) return formatText("%.1f kB", std::floor(amount / 1e2) / 10);
  return formatText("%llu bytes", static_cast<unsigned long long>(bytes));
}

void printNothingArmed(const std::string& listName) {
  print("No input is armed: %s names no file for any input.\n", listName.c_str());
}

void warnIfTakeDoesNotFit(const std::vector<std::string>& takeFiles, Position takeFrames,
                          std::uint32_t rateHz) {
  if (takeFrames <= 0) return;
  for (const DiskRoom& room : diskRoomFor(takeFiles)) {
    if (!room.examined) continue;
    const auto needed = static_cast<std::uint64_t>(takeFrames) * kBytesPerSample *
                        static_cast<std::uint64_t>(room.inputs);
    if (room.freeBytes >= needed) continue;
    print("Warning: %s has %s free, room for %s of recording at %s; the take is planned for %s.\n",
          room.directory.c_str(), bytesText(room.freeBytes).c_str(),
          durationText(recordingSecondsIn(room.freeBytes, room.inputs, rateHz)).c_str(),
          inputsText(room.inputs).c_str(),
          durationText(static_cast<double>(takeFrames) / rateHz).c_str());
  }
}

void printRecordingRoom(const std::vector<std::string>& recordLines, std::uint32_t rateHz) {
  const int armed = static_cast<int>(recordLines.size());
  // The project directory first, holding every take while it is recorded.
  std::vector<std::string> places{"take"};
  places.insert(places.end(), recordLines.begin(), recordLines.end());
  std::vector<DiskRoom> rooms = diskRoomFor(places);
  rooms.front().inputs = armed;
  for (const DiskRoom& room : rooms) {
    if (!room.examined) {
      printLine(room.examined.message());
    } else if (room.inputs == 0) {
      print("%s: %s free.\n", room.directory.c_str(), bytesText(room.freeBytes).c_str());
    } else {
      print("%s: %s free, room for %s of recording at %s and %u Hz.\n", room.directory.c_str(),
            bytesText(room.freeBytes).c_str(),
            durationText(recordingSecondsIn(room.freeBytes, room.inputs, rateHz)).c_str(),
            inputsText(room.inputs).c_str(), rateHz);
    }
  }
}

}  // namespace varnow
