// How much recording the disks have room for: the free space of every file
// system that take files are written to, and how long a take of the armed
// inputs fits there (3 bytes a sample, one file an input).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/project_settings.hpp"
#include "core/status.hpp"

namespace varnow {

struct DiskRoom {
  std::string directory;                // the first directory named on that file system
  std::uint64_t freeBytes = 0;          // what an unprivileged writer may still use
  int inputs = 0;                       // how many of the files are written there
  Status examined = Status::success();  // why the directory could not be examined
};

// The file systems that the files `paths` are written to (the directory of
// each, "." for a plain name), in the order first named, with the number
// of paths on each. A directory that cannot be examined is an entry of its own.
std::vector<DiskRoom> diskRoomFor(const std::vector<std::string>& paths);

// How many seconds of recording `freeBytes` hold at `inputs` mono 24-bit
// files and `rateHz`.
double recordingSecondsIn(std::uint64_t freeBytes, int inputs, std::uint32_t rateHz);

// "45.2 s", "12 min 05 s", "2 h 18 min": whole seconds and minutes cut down,
// never rounded up, since this is time that fits.
std::string durationText(double seconds);

// "1.2 GB", "512.0 kB", "900 bytes" (powers of 1000, as disks are sold).
std::string bytesText(std::uint64_t bytes);

// "No input is armed: record.txt names no file for any input." for the
// record list `listName`.
void printNothingArmed(const std::string& listName);

// Before a recording pass: one line for each file system of the take files
// `takeFiles` that cannot hold `takeFrames` frames of each of them, saying
// how long a take fits there.
void warnIfTakeDoesNotFit(const std::vector<std::string>& takeFiles, Position takeFrames,
                          std::uint32_t rateHz);

// The 'df' listing: each file system that the record list writes to, with
// its free space and the recording time left. Takes are recorded in the
// project directory, so it holds every armed input; another directory
// counts the inputs whose destination lies there. `recordLines` are the
// destinations of the armed inputs, in order.
void printRecordingRoom(const std::vector<std::string>& recordLines, std::uint32_t rateHz);

}  // namespace varnow
