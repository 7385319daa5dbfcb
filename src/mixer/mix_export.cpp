// 'exp-i' and 'exp-s': the in-out stretch of the play list, mixed block by
// block as playback would mix it, written to one interleaved stereo file or
// to a left and a right mono file.
//
// The mix goes to scratch files beside the targets and replaces them by
// rename only when it is complete, so an export that fails half-way leaves
// the previous mix, and a play file that shares the target's name, intact.
#include "mixer/mix_export.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/console_input.hpp"
#include "core/file_paths.hpp"
#include "core/forced_exit_cleanup.hpp"
#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "core/scratch_file.hpp"
#include "core/status.hpp"
#include "core/stop_request.hpp"
#include "core/track_list.hpp"
#include "durable/durable.hpp"
#include "meter/peak_report.hpp"
#include "mixer/channel_mixer.hpp"
#include "mixer/export_targets.hpp"
#include "mixer/track_read_ahead.hpp"
#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_header.hpp"

namespace varnow {

namespace {

// The longest name one directory entry may have on the file systems Linux
// uses (NAME_MAX).
constexpr std::size_t kMaxFileNameBytes = 255;
constexpr std::int64_t kFrameBytesStereo = 2 * kBytesPerSample;

// An export target and the scratch file its samples go to first.
struct OutputFile {
  std::string target;   // "NAME.wav", "NAME_L.wav" or "NAME_R.wav"
  std::string scratch;  // "temp_mix.wav", ... in the target's directory
  FileHandle stream;
  bool created = false;                     // the scratch file is ours to remove
  std::unique_ptr<ScratchPathGuard> guard;  // removes it on a forced exit
};

// A play file opened for the export, read with positioned reads.
class PlayFile {
 public:
  PlayFile() = default;
  PlayFile(const PlayFile&) = delete;
  PlayFile& operator=(const PlayFile&) = delete;
  ~PlayFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }

  // Opens `path` for reading; false (errno set) when it cannot be opened or
  // is no regular file (a directory holds no samples to mix, a FIFO would
  // block the export).
  bool open(const std::string& path) {
    descriptor_ = openRegularFile(path, O_RDONLY);
    path_ = path;
    return descriptor_ >= 0;
  }

  bool isOpen() const { return descriptor_ >= 0; }

  // True when `path` names this very file (under any name).
  bool isFile(const std::string& path) const { return isOpen() && sameFile(path_, path); }

  int descriptor() const { return descriptor_; }

 private:
  int descriptor_ = -1;
  std::string path_;
};

std::vector<OutputFile> plannedOutputs(const std::string& name, ExportKind kind) {
  std::vector<OutputFile> outputs;
  if (kind == ExportKind::kInterleaved) {
    outputs.push_back({name + ".wav", besideFile(name, "temp_mix.wav"), nullptr, false, nullptr});
  } else {
    outputs.push_back(
        {name + "_L.wav", besideFile(name, "temp_mix_L.wav"), nullptr, false, nullptr});
    outputs.push_back(
        {name + "_R.wav", besideFile(name, "temp_mix_R.wav"), nullptr, false, nullptr});
  }
  return outputs;
}

// The export's closing wait takes any word that begins with "c", unlike the
// other waits of the console, which want "c" itself.
void waitForWordBeginningWithC() {
  printLine("Enter 'c' to continue");
  flushOutput();
  while (console().readWord().rfind('c', 0) != 0) {
  }
}

// Closes what is open and removes the scratch files this export made, after
// a failure.
void discardOutputs(std::vector<OutputFile>& outputs) {
  for (OutputFile& output : outputs) {
    output.stream.reset();
    output.guard.reset();
    if (!output.created) continue;
    if (std::remove(output.scratch.c_str()) != 0 && errno != ENOENT) {
      printLine(fileFailure("remove", output.scratch, errno).message());
    }
  }
}

// Creates the scratch files with their final headers and opens them for
// appending. A scratch name that a play file of this export already has is
// refused: creating it would empty the file before it is mixed.
Status createOutputs(std::vector<OutputFile>& outputs, const std::vector<PlayFile>& files,
                     std::uint32_t rate, Position frames) {
  for (const OutputFile& output : outputs) {
    for (const PlayFile& file : files) {
      if (!file.isFile(output.scratch)) continue;
      return Status::failure("Cannot export while " + output.scratch +
                             " is playing: the export writes its mix there first.");
    }
  }
  const std::uint32_t channels = outputs.size() == 1 ? 2 : 1;
  for (OutputFile& output : outputs) {
    output.created = true;
    output.guard = std::make_unique<ScratchPathGuard>(output.scratch);
    if (Status made = MAKE_HEADER(output.scratch, rate, frames, channels); !made) return made;
    errno = 0;
    output.stream = openFile(output.scratch, "ab");
    if (!output.stream) return fileFailure("open", output.scratch, errno);
  }
  return Status::success();
}

// Closes the finished scratch files and renames each over its target, each
// synced before its rename and its directory after (renameOverSynced).
Status finishOutputs(std::vector<OutputFile>& outputs) {
  for (OutputFile& output : outputs) {
    // The bytes reach the disk before the rename that makes them the mix.
    errno = 0;
    if (std::fflush(output.stream.get()) != 0 || ::fsync(::fileno(output.stream.get())) != 0) {
      return fileFailure("write", output.scratch, errno);
    }
    if (Status closed = closeWritten(std::move(output.stream), output.scratch); !closed) {
      return closed;
    }
  }
  for (OutputFile& output : outputs) {
    const char* failedAt = "";
    const int err = renameOverSynced(-1, output.scratch, output.target, {}, failedAt);
    if (err != 0 && std::string_view(failedAt) != "sync") {
      return fileFailure("rename " + output.scratch + " to", output.target, err);
    }
    output.guard.reset();
    if (err != 0) return fileFailure("sync the directory of", output.target, err);
  }
  return Status::success();
}

// Bytes past the end of the mixed blocks and of the stereo block that the
// interleaving may read or write without meaning: its word-wide moves run over.
constexpr std::size_t kSpareBytes = 8;

// Interleaves the first `frames` frames of the left and right blocks:
//
//   stereo:  | L0 L0 L0 R0 R0 R0 | L1 L1 L1 R1 R1 R1 | ...
//
// On little-endian hosts one frame is one 8-byte store of both samples (read
// 4 bytes at a time); its last 2 bytes are garbage that the next frame
// overwrites, and past the last frame they land in the spare bytes. `left`,
// `right` and `stereo` must have kSpareBytes of room after their data.
void interleave(const std::int8_t* left, const std::int8_t* right, std::int64_t frames,
                std::int8_t* stereo) {
  if constexpr (std::endian::native == std::endian::little) {
    for (std::int64_t i = 0; i < frames; ++i) {
      std::uint32_t leftBytes = 0;
      std::uint32_t rightBytes = 0;
      std::memcpy(&leftBytes, left + i * kBytesPerSample, sizeof leftBytes);
      std::memcpy(&rightBytes, right + i * kBytesPerSample, sizeof rightBytes);
      const std::uint64_t frame = (leftBytes & 0xFFFFFFu) | static_cast<std::uint64_t>(rightBytes)
                                                                << 24;
      std::memcpy(stereo + i * kFrameBytesStereo, &frame, sizeof frame);
    }
  } else {
    for (std::int64_t i = 0; i < frames; ++i) {
      std::copy_n(left + i * kBytesPerSample, kBytesPerSample, stereo + i * kFrameBytesStereo);
      std::copy_n(right + i * kBytesPerSample, kBytesPerSample,
                  stereo + i * kFrameBytesStereo + kBytesPerSample);
    }
  }
}

struct ExportPeaks {
  std::int64_t masterLeft = 0;
  std::int64_t masterRight = 0;
  BusPeakTable busLeft{};
  BusPeakTable busRight{};
};

void printExportPeaks(const ExportPeaks& peaks, int mixMode, const BusFlags& busOn) {
  if (mixMode == 3) {
    printLine("\n\nBus Peaks:");
    for (int bus = 2; bus <= kMaxBusses; ++bus) {
      const auto slot = static_cast<std::size_t>(bus - 1);
      if (busOn[slot] != 1) continue;
      ShowPeaks(peaks.busLeft[slot], bus, kBusLeftPeak);
      ShowPeaks(peaks.busRight[slot], bus, kBusRightPeak);
      printLine("");
    }
    printLine("\nOutput Peaks:");
    ShowPeaks(peaks.busLeft[0], 1, kChannelPeak);
    ShowPeaks(peaks.busRight[0], 2, kChannelPeak);
  } else {
    printLine("\n\nOutput Peaks:");
    ShowPeaks(peaks.masterLeft, 1, kChannelPeak);
    ShowPeaks(peaks.masterRight, 2, kChannelPeak);
  }
  printLine("");
}

// Everything the export needs from the command that starts it.
struct ExportJob {
  ProjectSettings& settings;
  ExportKind kind;
  const TrackList& list;
  int channelCount;
  PlayFlags& playFlags;
  const WaveAttributeTable& attributes;
  const ChannelGains& gains;
};

// Blocks per read of each play file. The export is no real-time pass, so it
// reads ahead: all tracks together 8 MiB, up to 32 blocks (384 KiB) per
// track, never fewer than 4 (21 blocks, 252 KiB, for 32 tracks; 5 for 128).
// Memory grows with the number of tracks, never with their length. What
// counts is the total: the kernel copies into the pieces and the mix reads
// them back, and both slow down once the pieces of all tracks outgrow the
// processor's caches (128 tracks at 16 blocks each took half as long again
// as at 5), while the calls a larger piece would save cost little.
std::int64_t readAheadBlocks(int playingTracks) {
  constexpr std::int64_t kBudgetBytes = std::int64_t{8} << 20;
  constexpr std::int64_t kMostBlocks = 32;
  constexpr std::int64_t kFewestBlocks = 4;
  const std::int64_t perTrack = kBudgetBytes / std::max(playingTracks, 1) / kBlockBytes;
  return std::clamp(perTrack, kFewestBlocks, kMostBlocks);
}

// Mixes every block of the stretch and appends it to the outputs; the
// progress line follows each block. Frames past the out point are not written.
// A stop request abandons the export before the next block.
Status mixAndWrite(const ExportJob& job, std::vector<PlayFile>& files,
                   std::vector<OutputFile>& outputs, ExportPeaks& peaks) {
  const ProjectSettings& s = job.settings;
  const Position length = s.outPoint - s.inPoint;
  int playing = 0;
  for (int k = 0; k < job.channelCount; ++k)
    playing += job.playFlags[static_cast<std::size_t>(k)] == 1;
  const std::int64_t pieceBlocks = readAheadBlocks(playing);
  std::vector<std::unique_ptr<TrackReadAhead>> readers(static_cast<std::size_t>(kMaxChannels));
  for (int k = 0; k < job.channelCount; ++k) {
    const auto slot = static_cast<std::size_t>(k);
    if (job.playFlags[slot] != 1) continue;
    readers[slot] = std::make_unique<TrackReadAhead>(
        files[slot].descriptor(), job.list.fileName(k + 1), job.attributes[slot], pieceBlocks);
  }
  // The channels are mixed where they were read; the mix lands in blocks 0
  // and 1 of `mixed`.
  std::array<const std::int8_t*, kMaxChannels> channelBlocks{};
  std::vector<std::int8_t> mixed(static_cast<std::size_t>(2 * kBlockBytes) + kSpareBytes);
  std::vector<std::int8_t> stereo(static_cast<std::size_t>(kBlockFrames * kFrameBytesStereo) +
                                  kSpareBytes);
  MixerScratch scratch;
  MixInputs inputs;
  inputs.channelCount = job.channelCount;
  inputs.playFlags = &job.playFlags;
  inputs.gains = &job.gains;
  inputs.busGains = &s.busGains;
  inputs.busOn = &s.busOn;
  inputs.busMatrix = &s.busMatrix;
  inputs.busCount = busCountFor(3, s.outputs, job.channelCount, 0);
  inputs.channelBlocks = &channelBlocks;

  for (Position offset = 0; offset < length; offset += kBlockFrames) {
    if (stopRequested()) return fileFailure("write", outputs[0].scratch, EINTR);
    const Position p = s.inPoint + offset;
    for (int k = 0; k < job.channelCount; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      if (job.playFlags[slot] != 1) continue;
      const Status read = readers[slot]->block(p, channelBlocks[slot]);
      if (!read) return read;
    }
    if (s.mixMode == 3) {
      MixMultiple(mixed.data(), inputs, peaks.busLeft, peaks.busRight, 3, scratch);
    } else {
      Mix(mixed.data(), inputs, peaks.masterLeft, peaks.masterRight, scratch);
    }
    const std::int64_t frames = std::min<std::int64_t>(kBlockFrames, length - offset);
    const std::int8_t* left = mixed.data();
    const std::int8_t* right = mixed.data() + kBlockBytes;
    if (job.kind == ExportKind::kInterleaved) {
      interleave(left, right, frames, stereo.data());
      if (!writeExactly(outputs[0].stream.get(), stereo.data(),
                        static_cast<std::size_t>(frames * kFrameBytesStereo))) {
        return fileFailure("write", outputs[0].scratch, errno);
      }
    } else {
      const auto byteCount = static_cast<std::size_t>(frames * kBytesPerSample);
      if (!writeExactly(outputs[0].stream.get(), left, byteCount)) {
        return fileFailure("write", outputs[0].scratch, errno);
      }
      if (!writeExactly(outputs[1].stream.get(), right, byteCount)) {
        return fileFailure("write", outputs[1].scratch, errno);
      }
    }
    const float done = static_cast<float>(offset) / static_cast<float>(length) * 100.0f;
    print("\rExport Progress: %.0f %%", static_cast<double>(done));
    flushOutput();
  }
  return Status::success();
}

// ExportMix: asks for the name, opens the play files, writes the mix and
// reports its peaks. Returns to the caller after "Enter 'c' to continue", or
// straight away when the name is refused.
void ExportMix(const ExportJob& job) {
  ProjectSettings& s = job.settings;
  printLine("Enter mix filename");
  flushOutput();
  const std::string name = console().readWord();
  std::vector<OutputFile> outputs = plannedOutputs(name, job.kind);
  // Both split names have the same length; the first stands for all.
  if (fileNamePart(outputs[0].target).size() > kMaxFileNameBytes) {
    print("Cannot export to %s: a file name may be at most 255 bytes long.\n",
          outputs[0].target.c_str());
    return;
  }
  for (const OutputFile& output : outputs) {
    Status kept =
        checkExportOutput(output.target, output.scratch, job.list, s.recordLists.current().str());
    // An insert that did not finish into a file of that name is settled
    // first: its journal would be left beside a file it was not written for.
    if (kept) kept = prepareForUse(output.target);
    if (!kept) return printLine(kept.message());
  }

  if (s.mixMode == 3) VerifyChannels(s.busMatrix, job.playFlags);

  print("Mixing channels ");
  {
    std::vector<PlayFile> files(static_cast<std::size_t>(kMaxChannels));
    for (int k = 0; k < job.channelCount; ++k) {
      const auto slot = static_cast<std::size_t>(k);
      if (job.playFlags[slot] != 1) continue;
      const std::string& fileName = job.list.fileName(k + 1);
      if (files[slot].open(fileName)) {
        print(" %i", k + 1);
      } else {
        print("Can't open %s for Mixing\n", fileName.c_str());
        job.playFlags[slot] = 0;
      }
    }
    print("\n");

    // The report speaks of this export alone.
    ExportPeaks peaks;
    const Position length = s.outPoint - s.inPoint;
    Status done = createOutputs(outputs, files, s.sampleRate, length);
    if (done) {
      done = mixAndWrite(job, files, outputs, peaks);
      if (done) done = finishOutputs(outputs);
      if (!done) print("\n");  // ends the progress line
    }
    if (done) {
      printExportPeaks(peaks, s.mixMode, s.busOn);
    } else {
      printLine(done.message());
      discardOutputs(outputs);
    }
  }  // the play files close here
  waitForWordBeginningWithC();
}

}  // namespace

void exportMixCommand(ProjectSettings& settings, ExportKind kind) {
  const std::string listPath = settings.playLists.current().str();
  TrackList list;
  const std::optional<Status> read = readExistingTrackList(listPath, list);
  if (!read) {
    print("Playlist file called %s was not found!\n", listPath.c_str());
    return;
  }
  if (!*read) {
    printLine(read->message());
    return;
  }

  const int channelCount = std::clamp(settings.tracks, 0, kMaxChannels);
  PlayFlags playFlags{};
  WaveAttributeTable attributes{};
  const int lines = std::min(channelCount, list.lineCount());
  for (int k = 0; k < lines; ++k) {
    if (!list.isNamed(k + 1)) continue;  // the skip marker
    // A track that an insert left half-written is mixed only once restored.
    if (const Status settled = prepareForUse(list.fileName(k + 1)); !settled) {
      printLine(settled.message());
      continue;
    }
    const WaveCheck check = GET_ATTRIBUTES(k, list.fileName(k + 1), attributes);
    printText(playFileRejection(list.fileName(k + 1), check));
    playFlags[static_cast<std::size_t>(k)] = check.playable() ? 1 : 0;
  }

  ChannelGains gains;
  SetVolume(settings.pans, settings.volumes, gains, channelCount, playFlags);

  if (settings.outPoint - settings.inPoint <= 0) {
    printLine("Cannot export until in and out points are set incorrectly.");
    return;
  }
  ExportMix({settings, kind, list, channelCount, playFlags, attributes, gains});
}

}  // namespace varnow
