#include "engine/take_files.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/console_input.hpp"
#include "core/file_paths.hpp"
#include "core/forced_exit_cleanup.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "core/status.hpp"
#include "durable/durable.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"
#include "wave/size_repair.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_header.hpp"

namespace varnow {
namespace {

// 2012-10-10 16:09:00 UTC in seconds since the epoch: the origin of the time
// stamps in automatic take names.
constexpr std::int64_t kStampOriginSeconds = 1349885340;

const std::string kNotTaken = "-";

// The name of input `channel1` (1-based) for a take without a preemptive
// name. The stamp is printed as an int, as stored names have always had it.
std::string automaticName(int channel1, std::int64_t stamp, Position punchFrame) {
  const int stampField = static_cast<int>(stamp);
  if (punchFrame == 0) return formatText("audio_ch_%i_%i.wav", channel1, stampField);
  return formatText("audio_ch_%i_%i_stp_%li.wav", channel1, stampField,
                    static_cast<long>(punchFrame));
}

std::string preemptiveFileName(const std::string& baseName, const std::string& takeName,
                               Position punchFrame) {
  if (punchFrame == 0) return formatText("%s_%s.wav", baseName.c_str(), takeName.c_str());
  return formatText("%s_%s_stp_%li.wav", baseName.c_str(), takeName.c_str(),
                    static_cast<long>(punchFrame));
}

// True when a file of that name exists, or an earlier input of this take
// is about to have that name.
bool nameTaken(const std::string& path, const std::vector<std::string>& namedSoFar) {
  if (std::find(namedSoFar.begin(), namedSoFar.end(), path) != namedSoFar.end()) return true;
  // Anything under the name (a dangling link too) takes it; a name that
  // cannot be examined counts as free, and creating it then reports why.
  return varnow::nameTaken(path);
}

// Formats the preemptive name of one input and settles a conflict with an
// existing file by asking: "w" keeps the name, "W" keeps it and every later
// conflict of this take, any other word replaces the take name (for this input
// and all later ones) and the new name is tested again.
std::string resolvePreemptiveName(const std::string& baseName, std::string& takeName,
                                  Position punchFrame, bool& overwriteSimilar,
                                  const std::vector<std::string>& namedSoFar) {
  for (;;) {
    std::string name = preemptiveFileName(baseName, takeName, punchFrame);
    if (overwriteSimilar || !nameTaken(name, namedSoFar)) return name;
    print("The file named %s already exists!\n", name.c_str());
    printLine("Enter a different take name or 'w' to overwrite this file");
    printLine("or 'W' to overwrite all similar conflicts");
    std::string answer = console().readWord();
    if (answer == "w") return name;
    if (answer == "W") {
      overwriteSimilar = true;
      return name;
    }
    takeName = std::move(answer);
  }
}

// Cuts a take whose writing failed back to the whole samples it holds, so
// that the size repair (FIX_SIZE) afterwards states exactly those samples:
//
//   0            dataStartByte                             wholeBytes   fileBytes
//   | header     | sample 0 | sample 1 | ... | sample n-1 | partial sample, cut |
//
// `samplesHeld` receives n. The stream is left open.
Status cutToWholeSamples(std::FILE* file, const std::string& path, std::int64_t dataStartByte,
                         std::int64_t& samplesHeld) {
  samplesHeld = 0;
  const std::int64_t fileBytes = fileLengthBytes(file);
  if (fileBytes < 0) return fileFailure("read", path, errno);
  samplesHeld = std::max<std::int64_t>(fileBytes - dataStartByte, 0) / kBytesPerSample;
  const std::int64_t wholeBytes = dataStartByte + samplesHeld * kBytesPerSample;
  if (wholeBytes < fileBytes && ftruncate(fileno(file), static_cast<off_t>(wholeBytes)) != 0) {
    return fileFailure("shorten", path, errno);
  }
  return Status::success();
}

// Replaces line `index` (0-based) of a newline-terminated list.
void replaceLine(std::string& list, std::size_t index, const std::string& text) {
  std::size_t start = 0;
  for (std::size_t line = 0; line < index; ++line) {
    start = list.find('\n', start);
    if (start == std::string::npos) return;
    ++start;
  }
  const std::size_t end = list.find('\n', start);
  if (end == std::string::npos) return;
  list.replace(start, end - start, text);
}

}  // namespace

std::int64_t NewTime() {
  return static_cast<std::int64_t>(std::time(nullptr)) - kStampOriginSeconds;
}

// The same base as every take naming scheme uses: a directory part stays as
// it is, so "./vox.wav" names "./vox_take.wav", not a file at the root.
std::string takeBaseName(const std::string& recordLine) {
  return baseName(recordLine);
}

TakeFiles::~TakeFiles() {
  closeAll();
}

void TakeFiles::closeAll() {
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    if (channels_[i].file == nullptr) continue;
    releaseTakeFile(static_cast<int>(i));
    std::fclose(channels_[i].file);
    channels_[i].file = nullptr;
  }
}

void TakeFiles::create(const TakeRequest& request, std::array<std::int32_t, kMaxChannels>& armed,
                       std::string& preemptiveName) {
  closeAll();
  for (Channel& channel : channels_)
    channel = Channel{};
  takeList_.clear();
  takeLength_ = request.takeLength;

  const int inputs = std::clamp(request.inputs, 0, kMaxChannels);
  // Inputs beyond the card's have no take file.
  for (std::size_t i = static_cast<std::size_t>(inputs); i < armed.size(); ++i)
    armed[i] = 0;

  // Every input is named before any file is created: the conflict questions
  // may meet the end of the input, and then no file may be left behind with
  // a header that promises samples it will never get.
  std::vector<std::string> names(static_cast<std::size_t>(inputs));
  bool overwriteSimilar = false;
  for (int i = 0; i < inputs; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    if (armed[slot] == 0) continue;
    if (preemptiveName.empty()) {
      // Read for each input, so inputs may differ by a second. Two takes in
      // the same second would share a name: the later one gets a suffix.
      stamp_ = NewTime();
      names[slot] = unusedName(automaticName(i + 1, stamp_, request.punchPoint));
    } else if (slot < request.recordLines.size()) {
      names[slot] = resolvePreemptiveName(takeBaseName(request.recordLines[slot]), preemptiveName,
                                          request.punchPoint, overwriteSimilar, names);
    } else {
      // Arming comes from the record lines, so this only guards a caller's mistake.
      print("Input %i has no line in the record list and is not recorded.\n", i + 1);
      armed[slot] = 0;
    }
  }

  const std::int64_t headerFrames = std::max<std::int64_t>(request.takeLength, 0);
  for (int i = 0; i < inputs; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    if (armed[slot] == 0) {
      takeList_ += kNotTaken;
      takeList_ += '\n';
      continue;
    }
    const std::string& name = names[slot];
    Status made = prepareForUse(name);
    if (made) made = MAKE_HEADER(name, request.sampleRate, headerFrames, 1);
    if (!made) {
      printLine(made.message());
      armed[slot] = 0;
      takeList_ += kNotTaken;
      takeList_ += '\n';
      continue;
    }
    channels_[slot].name = name;
    takeList_ += name;
    takeList_ += '\n';
  }
}

void TakeFiles::open(std::array<std::int32_t, kMaxChannels>& armed) {
  WaveAttributeTable attributes{};
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    Channel& channel = channels_[i];
    if (armed[i] == 0) continue;
    if (channel.name.empty()) {
      armed[i] = 0;  // armed without a take file: nothing to write to
      continue;
    }
    std::FILE* file = nullptr;
    const WaveCheck check = GET_ATTRIBUTES(static_cast<int>(i), channel.name, attributes);
    printText(playFileRejection(channel.name, check));
    if (check.playable()) {
      file = openRegularStream(channel.name, "rb+");
    }
    // Unbuffered, so that each block is one write and a failing write shows
    // at the block that fails, not at some later flush.
    if (file != nullptr && std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
      std::fclose(file);
      file = nullptr;
    }
    if (file == nullptr) {
      print("Can't open %s for recording\n", channel.name.c_str());
      // An input that is not written is no part of the take.
      armed[i] = 0;
      channel.name.clear();
      replaceLine(takeList_, i, kNotTaken);
      continue;
    }
    channel.file = file;
    channel.dataStart = attributes[i].dataStart;
    channel.samplesWritten = 0;
    channel.error = 0;
    guardTakeFile(static_cast<int>(i), ::fileno(file), channel.dataStart);
  }
}

bool TakeFiles::write(int channel, const std::int8_t* packed, std::int64_t count) {
  if (channel < 0 || channel >= kMaxChannels || packed == nullptr || count <= 0) return true;
  Channel& take = channels_[static_cast<std::size_t>(channel)];
  if (take.error != 0) return false;
  if (take.file == nullptr) return true;

  // The block lands right after the samples already written, never past them.
  const std::int64_t offset = take.dataStart + kBytesPerSample * take.samplesWritten;
  const auto byteCount = static_cast<std::size_t>(count * kBytesPerSample);
  if (!seekTo(take.file, offset) || !writeExactly(take.file, packed, byteCount)) {
    take.error = errno != 0 ? errno : EIO;
    return false;
  }
  take.samplesWritten += count;
  return true;
}

int TakeFiles::writeError(int channel) const {
  if (channel < 0 || channel >= kMaxChannels) return 0;
  return channels_[static_cast<std::size_t>(channel)].error;
}

void TakeFiles::close(const std::array<std::int32_t, kMaxChannels>& armed,
                      std::int64_t samplesWritten) {
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    Channel& channel = channels_[i];
    if (channel.file == nullptr) continue;
    releaseTakeFile(static_cast<int>(i));
    FileHandle file(std::exchange(channel.file, nullptr));

    if (channel.error == 0) {
      const Status closed = closeWritten(std::move(file), channel.name);
      if (!closed) printLine(closed.message());
      if (channel.samplesWritten != takeLength_) {
        const SizeRepairResult repaired = FIX_SIZE(channel.name);
        if (!repaired.ok()) printLine(repaired.message);
      }
      continue;
    }

    // The pass went on without this file; keep what it holds and say so.
    std::int64_t samplesHeld = 0;
    const Status cut = cutToWholeSamples(file.get(), channel.name, channel.dataStart, samplesHeld);
    const Status closed = closeWritten(std::move(file), channel.name);
    const Status failedWrite = fileFailure("write", channel.name, channel.error);
    printText(failedWrite.message());
    print(" It holds %li samples.\n", static_cast<long>(samplesHeld));
    if (!cut) printLine(cut.message());
    if (!closed) printLine(closed.message());
    const SizeRepairResult repaired = FIX_SIZE(channel.name);
    if (!repaired.ok()) printLine(repaired.message);
  }
  takeLength_ = samplesWritten;
  for (std::size_t i = 0; i < channelFlags_.size(); ++i) {
    channelFlags_[i] = armed[i] != 0 && !channels_[i].name.empty() ? 1 : 0;
  }
}

void TakeFiles::adopt(const std::string& takeList,
                      const std::array<std::int32_t, kMaxChannels>& flags, std::int64_t takeLength,
                      std::int64_t stamp) {
  closeAll();
  takeList_ = takeList;
  channelFlags_ = flags;
  takeLength_ = takeLength;
  stamp_ = stamp;
  std::size_t slot = 0;
  for (std::size_t start = 0; start < takeList.size() && slot < channels_.size(); ++slot) {
    const std::size_t end = std::min(takeList.find('\n', start), takeList.size());
    const std::string line = takeList.substr(start, end - start);
    channels_[slot] = Channel{};
    channels_[slot].name = line == kNotTaken ? std::string() : line;
    start = end + 1;
  }
  for (; slot < channels_.size(); ++slot)
    channels_[slot] = Channel{};
}

const std::string& TakeFiles::name(int channel) const {
  static const std::string kNone;
  if (channel < 0 || channel >= kMaxChannels) return kNone;
  return channels_[static_cast<std::size_t>(channel)].name;
}

}  // namespace varnow
