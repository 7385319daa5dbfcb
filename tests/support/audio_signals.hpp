// Test signals, packed 24-bit little-endian as the card and the files hold
// them, the independent model of a punch-in, and the meter line that shows a level.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnow::testing {

using Samples = std::vector<std::int32_t>;

// first, first + step, first + 2 step, ... (n samples).
inline Samples staircase(std::size_t n, std::int32_t first = 1, std::int32_t step = 1) {
  Samples samples(n);
  for (std::size_t i = 0; i < n; ++i)
    samples[i] = first + static_cast<std::int32_t>(i) * step;
  return samples;
}

inline Samples silence(std::size_t n) {
  return Samples(n, 0);
}

inline Samples operator+(Samples head, const Samples& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// `destination` with `take` written over it from sample `at`, grown with
// silence where it is too short.
inline Samples punchedIn(Samples destination, const Samples& take, std::size_t at) {
  if (destination.size() < at + take.size()) destination.resize(at + take.size(), 0);
  std::copy(take.begin(), take.end(), destination.begin() + static_cast<std::ptrdiff_t>(at));
  return destination;
}

// The take punched in, then the head fade over it, then the tail fade, both
// computed from the files as they were (silence past their ends), each left
// out when it starts past the end of the old file, never longer than the take.
inline Samples inserted(const Samples& old, const Samples& take, std::size_t p, std::size_t fade) {
  const std::size_t n = take.size();
  const std::size_t length = std::min(fade, n);
  const auto at = [](const Samples& s, std::size_t i) { return i < s.size() ? s[i] : 0; };
  // The fade law written out independently of the code under test.
  const auto faded = [length](std::int32_t from, std::int32_t to, std::size_t k) {
    const double theta = static_cast<double>(k) / static_cast<double>(length) * 1.570796327;
    const double blend = std::trunc(from * std::cos(theta) + to * std::sin(theta));
    return static_cast<std::int32_t>(std::clamp(blend, -8388608.0, 8388607.0));
  };
  Samples result = punchedIn(old, take, p);
  Samples head, tail;
  for (std::size_t k = 0; k < length; ++k) {
    head.push_back(faded(at(old, p + k), take[k], k));
    tail.push_back(faded(take[n - length + k], at(old, p + n - length + k), k));
  }
  if (length > 0 && p <= old.size()) result = punchedIn(result, head, p);
  if (length > 0 && p + n - length <= old.size()) result = punchedIn(result, tail, p + n - length);
  return result;
}

// `value` as `width` bytes, low byte first.
inline std::string le(std::uint64_t value, int width) {
  std::string bytes;
  for (int i = 0; i < width; ++i)
    bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return bytes;
}

inline std::string packSamples(const Samples& samples) {
  std::string bytes;
  for (const std::int32_t sample : samples)
    bytes += le(static_cast<std::uint32_t>(sample), 3);
  return bytes;
}

// A RIFF WAVE file of `chunks`; a PCM format chunk.
inline std::string riff(const std::string& chunks) {
  return "RIFF" + le(chunks.size() + 4, 4) + "WAVE" + chunks;
}
inline std::string formatChunk(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits) {
  return "fmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) +
         le(rate * 3 * channels, 4) + le(3 * channels, 2) + le(bits, 2);
}

// A 24-bit WAV file with a canonical 44-byte header (interleaved frames when
// channels > 1).
inline std::string wavFile(const Samples& samples, std::uint32_t rate = 48000,
                           std::uint32_t channels = 1) {
  const std::string data = packSamples(samples);
  return riff(formatChunk(channels, rate, 24) + "data" + le(data.size(), 4) + data);
}

// Interleaved capture frames: channel c of frame i holds channelBase[c] + i.
inline std::string rampCapture(std::size_t frames, const Samples& channelBase) {
  Samples interleaved;
  for (std::size_t i = 0; i < frames; ++i) {
    for (const std::int32_t base : channelBase)
      interleaved.push_back(base + static_cast<std::int32_t>(i));
  }
  return packSamples(interleaved);
}

// Every `stride`-th sample of packed bytes from byte `at`, decoded.
inline Samples unpackSamples(const std::string& bytes, std::size_t at, std::size_t stride = 3) {
  Samples samples;
  for (; at + 3 <= bytes.size(); at += stride) {
    samples.push_back(static_cast<std::uint8_t>(bytes[at]) +
                      256 * static_cast<std::uint8_t>(bytes[at + 1]) +
                      65536 * static_cast<std::int8_t>(bytes[at + 2]));
  }
  return samples;
}

// One channel of interleaved frames; the samples of a canonical mono file.
inline Samples channelOf(const std::string& interleaved, int channels, int channel) {
  return unpackSamples(interleaved, static_cast<std::size_t>(channel) * 3,
                       static_cast<std::size_t>(channels) * 3);
}
inline Samples wavSamples(const std::string& fileBytes) {
  return unpackSamples(fileBytes, 44);
}

// A little-endian 32-bit field of a byte string.
inline std::uint32_t field32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
  return value;
}

// The level meter's line at a span of 30 dB: `bars` bars, the channel mark
// `gap` places on, blanks to the width of 24 bars.
inline std::string meterLine(int bars, int gap, const std::string& mark, const std::string& tail) {
  return "\t -30 dB [" + std::string(static_cast<std::size_t>(bars), '|') +
         std::string(static_cast<std::size_t>(gap), ' ') + mark +
         std::string(static_cast<std::size_t>(std::max(0, 23 - bars - gap)), ' ') + "] " + tail +
         "   ";
}

}  // namespace varnow::testing
