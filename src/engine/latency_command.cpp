#include "engine/latency_command.hpp"

#include <algorithm>
#include <cstdlib>

#include "core/console_input.hpp"
#include "core/print.hpp"
#include "engine/latency_probe.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

// Half of full scale: loud enough to stand above any noise of a cable, far
// from clipping an input.
constexpr std::int32_t kChipLevel = 4194304;

std::int64_t roundedUp(std::int64_t frames, std::int64_t periodFrames) {
  return (frames + periodFrames - 1) / periodFrames * periodFrames;
}

double milliseconds(std::int64_t frames, std::uint32_t rate) {
  return rate == 0 ? 0.0 : static_cast<double>(frames) * 1000.0 / rate;
}

}  // namespace

void measureLatency(PassContext& context, Transport& transport) {
  ProjectSettings& s = context.settings;
  const std::int64_t period = context.periodFrames;
  if (s.inputs < 1 || s.outputs < 1 || period <= 0) {
    printLine("The latency measurement needs an output 1 and an input 1.");
    return;
  }
  printLine(
      "Measuring the round trip from output 1 to input 1: connect them (a cable, or the sound "
      "server's monitor of output 1).");

  //   timeline  0 ......... signalAt [sequence] ............ captureFrames
  //   take      sample k holds timeline k when the round trip is compensated
  const std::vector<int> sequence = maximumLengthSequence();
  const std::int64_t signalAt = roundedUp(s.sampleRate / 2, period);
  const std::int64_t captureFrames =
      roundedUp(signalAt + s.sampleRate + static_cast<std::int64_t>(sequence.size()), period);
  std::vector<std::int64_t> chips(static_cast<std::size_t>(signalAt) + sequence.size(), 0);
  for (std::size_t j = 0; j < sequence.size(); ++j)
    chips[static_cast<std::size_t>(signalAt) + j] = std::int64_t{sequence[j]} * kChipLevel;
  std::vector<std::int8_t> signal(chips.size() * kBytesPerSample);
  NUM24MONO_TO_CHAR(chips.data(), signal.data(), std::ssize(chips));
  std::vector<std::int8_t> captured(static_cast<std::size_t>(captureFrames * kBytesPerSample), 0);

  const Position in = s.inPoint, out = s.outPoint, punch = s.punchPoint;
  PassRequest request;
  request.play = true;
  request.record = true;
  request.probeSignal = &signal;
  request.probeCapture = &captured;
  s.inPoint = 0;
  s.punchPoint = 0;
  s.outPoint = captureFrames;
  PassContext probe{s, context.device, context.counts, period, request, context.preemptiveTakeName,
                    {}};
  const auto restore = [&] {
    s.inPoint = in;
    s.outPoint = out;
    s.punchPoint = punch;
  };
  try {
    transport.runPass(probe, PassLines{});
  } catch (...) {
    restore();
    throw;
  }
  restore();
  if (request.probeFrames < captureFrames) return;  // stopped: the pass said why

  std::vector<std::int64_t> decoded(static_cast<std::size_t>(captureFrames));
  CHAR_TO_NUM32(captured.data(), decoded.data(), kBytesPerSample, captureFrames);
  const std::vector<std::int32_t> samples(decoded.begin(), decoded.end());
  const std::optional<std::int64_t> found = findSequence(samples, sequence);
  if (!found) {
    printLine(
        "The test signal did not come back on input 1: connect output 1 to input 1 and try again.");
    return;
  }

  const std::int64_t late = *found - signalAt;  // > 0: takes land after the tracks
  const std::int64_t compensated = compensatedLatencyFrames(context.device.deviceBufferFrames(),
                                                            period, s.odcomp, s.odcompFrames);
  const std::int64_t roundTrip = compensated + late;
  print("Round-trip latency: %li frames (%.2f ms)\n", static_cast<long>(roundTrip),
        milliseconds(roundTrip, s.sampleRate));
  if (late == 0) {
    print("With odcomp %i and odframes %i, takes land on the tracks to the frame.\n", s.odcomp,
          s.odcompFrames);
    return;
  }
  print("With odcomp %i and odframes %i, takes land %li frames (%.2f ms) %s the tracks.\n",
        s.odcomp, s.odcompFrames, static_cast<long>(std::abs(late)),
        milliseconds(std::abs(late), s.sampleRate), late > 0 ? "after" : "before");
  const LatencyCorrection correction =
      splitCompensation(std::int64_t{s.odcomp} * period + s.odcompFrames + late, period);
  print(
      "odcomp %i and odframes %i put them on the tracks. Enter 'y' to use them, any other word "
      "to keep the settings.\n",
      correction.odcomp, correction.frames);
  if (console().readWord() != "y") {
    printLine("The settings are as they were.");
    return;
  }
  s.odcomp = correction.odcomp;
  s.odcompFrames = correction.frames;
  printLine("Done; 's' stores them in param.txt.");
}

}  // namespace varnow
