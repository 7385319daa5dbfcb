#include "takes/insert_format.hpp"

#include "core/print.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_header.hpp"

namespace varnow {
namespace {

std::string channelWord(int channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return formatText("%i-channel", channels);
}

}  // namespace

Status checkInsertFormat(const std::string& destination, std::uint32_t takeRateHz) {
  const WaveFormat stated = readWaveFormat(destination);
  if (!stated.found) return Status::success();
  if (stated.channels == 1 && stated.bitsPerSample == static_cast<int>(kBitsPerSample) &&
      stated.sampleRate == static_cast<std::int64_t>(takeRateHz)) {
    return Status::success();
  }
  return Status::failure(formatText(
      "Cannot insert into %s: it is a %i-bit %s file at %lli Hz, the take is %i-bit mono at %u Hz.",
      destination.c_str(), stated.bitsPerSample, channelWord(stated.channels).c_str(),
      static_cast<long long>(stated.sampleRate), static_cast<int>(kBitsPerSample), takeRateHz));
}

}  // namespace varnow
