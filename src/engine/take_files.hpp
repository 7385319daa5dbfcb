// The files of one take: one new mono 24-bit WAV file per armed input,
// created with their final header before the pass, written block by block
// while it runs, closed after it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "core/project_settings.hpp"

namespace varnow {

// Seconds since 2012-10-10 16:09:00 UTC, the stamp in automatic take names.
std::int64_t NewTime();

// The record-list line cut before its first "." (leading dots skipped).
std::string takeBaseName(const std::string& recordLine);

// Everything creation needs to know about the pass.
struct TakeRequest {
  int inputs = 0;
  // The counted lines of the record list ("-" lines as they are); line k is
  // input k. May be shorter than `inputs`.
  std::vector<std::string> recordLines;
  Position punchPoint = 0;
  std::int64_t takeLength = 0;
  std::uint32_t sampleRate = 48000;
};

class TakeFiles {
 public:
  TakeFiles() = default;
  TakeFiles(const TakeFiles&) = delete;
  TakeFiles& operator=(const TakeFiles&) = delete;
  ~TakeFiles();

  // Names the take files of every armed input (automatic names with the time
  // stamp, given the smallest free suffix -2, -3, ... when a file has that
  // name already; or the preemptive name with its conflict questions, which
  // may change `preemptiveName`), then creates each with MAKE_HEADER and
  // builds the take list. No file is created before every name is settled,
  // so input that ends at a question leaves no file behind. A file that cannot be created is
  // reported with its name and the reason; its input is disarmed for the pass and its take-list
  // line is
  // "-".
  void create(const TakeRequest& request, std::array<std::int32_t, kMaxChannels>& armed,
              std::string& preemptiveName);

  // Opens every created file for writing at its data start (GET_ATTRIBUTES
  // gives the offset). "Can't open %s for recording\n" for a file that does
  // not open; that input is disarmed for the pass. Open files are guarded:
  // a forced exit sets their headers to what they hold.
  void open(std::array<std::int32_t, kMaxChannels>& armed);

  // Appends `count` packed samples to input `channel`'s file (0-based). A
  // failed write stops that file; close() reports it. One seek and one write.
  // False when the file can take no samples because this write or an earlier
  // one failed (writeError() says why); true otherwise.
  bool write(int channel, const std::int8_t* packed, std::int64_t count);

  // The errno of the write that stopped input `channel`'s file, 0 if none did.
  int writeError(int channel) const;

  // Closes the files, repairs the header sizes of any file whose writing
  // failed to the samples it holds, prints one sentence per such file (its
  // name, the reason and how many samples it holds), and sets the take
  // channel flags from `armed`. `samplesWritten` is what the pass wrote to
  // every file: the take's length from now on. A pass that was stopped
  // wrote fewer samples than the headers were made for; those headers are
  // repaired to the samples the files hold.
  void close(const std::array<std::int32_t, kMaxChannels>& armed, std::int64_t samplesWritten);

  // Makes a take settled earlier the current one again (after `undo`): its
  // take list, channel flags, length and stamp. No file is opened.
  void adopt(const std::string& takeList, const std::array<std::int32_t, kMaxChannels>& flags,
             std::int64_t takeLength, std::int64_t stamp);

  // One line per input 1..inputs: the file name, or "-".
  const std::string& takeList() const { return takeList_; }
  // 1 for each input recorded in the last pass.
  const std::array<std::int32_t, kMaxChannels>& channelFlags() const { return channelFlags_; }
  // The samples in every take file (its planned length until close()).
  std::int64_t takeLength() const { return takeLength_; }
  // The time stamp of the take's automatic names (the last one read).
  std::int64_t stamp() const { return stamp_; }
  const std::string& name(int channel) const;

 private:
  struct Channel {
    std::string name;
    std::FILE* file = nullptr;
    std::int64_t dataStart = 0;
    std::int64_t samplesWritten = 0;
    int error = 0;  // errno of the first failed write, 0 while all is well
  };
  void closeAll();
  std::array<Channel, kMaxChannels> channels_{};
  std::string takeList_;
  std::array<std::int32_t, kMaxChannels> channelFlags_{};
  std::int64_t takeLength_ = 0;
  std::int64_t stamp_ = 0;
};

}  // namespace varnow
