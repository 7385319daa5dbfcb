#include "support/audio_signals.hpp"

#include "support/project_fixture.hpp"

namespace varnow::testing {

namespace {

std::int32_t unpack(const std::string& bytes, std::size_t at) {
  const auto b0 = static_cast<std::uint8_t>(bytes[at]);
  const auto b1 = static_cast<std::uint8_t>(bytes[at + 1]);
  const auto b2 = static_cast<std::int8_t>(bytes[at + 2]);
  return b0 + 256 * b1 + 65536 * b2;
}

}  // namespace

std::vector<std::int32_t> staircase(std::size_t n, std::int32_t first, std::int32_t step) {
  std::vector<std::int32_t> samples(n);
  for (std::size_t i = 0; i < n; ++i)
    samples[i] = first + static_cast<std::int32_t>(i) * step;
  return samples;
}

std::string rampCapture(std::size_t frames, const std::vector<std::int32_t>& channelBase) {
  std::vector<std::int32_t> interleaved;
  interleaved.reserve(frames * channelBase.size());
  for (std::size_t i = 0; i < frames; ++i) {
    for (const std::int32_t base : channelBase) {
      interleaved.push_back(base + static_cast<std::int32_t>(i));
    }
  }
  return packSamples(interleaved);
}

std::vector<std::int32_t> channelOf(const std::string& interleaved, int channels, int channel) {
  std::vector<std::int32_t> samples;
  const std::size_t frameBytes = static_cast<std::size_t>(channels) * 3;
  for (std::size_t at = static_cast<std::size_t>(channel) * 3; at + 3 <= interleaved.size();
       at += frameBytes) {
    samples.push_back(unpack(interleaved, at));
  }
  return samples;
}

std::vector<std::int32_t> wavSamples(const std::string& fileBytes) {
  std::vector<std::int32_t> samples;
  for (std::size_t at = 44; at + 3 <= fileBytes.size(); at += 3) {
    samples.push_back(unpack(fileBytes, at));
  }
  return samples;
}

std::uint32_t field32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace varnow::testing
