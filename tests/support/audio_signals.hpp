// Test signals and readers for exact sample comparisons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnow::testing {

// first, first + step, first + 2 step, ... (n samples).
std::vector<std::int32_t> staircase(std::size_t n, std::int32_t first = 1, std::int32_t step = 1);

// Interleaved packed capture frames: channel c of frame i holds
// channelBase[c] + i.
std::string rampCapture(std::size_t frames, const std::vector<std::int32_t>& channelBase);

// One channel of interleaved packed frames, decoded.
std::vector<std::int32_t> channelOf(const std::string& interleaved, int channels, int channel);

// Samples of a mono 24-bit WAV file with a canonical 44-byte header.
std::vector<std::int32_t> wavSamples(const std::string& fileBytes);

// A little-endian 32-bit field of a byte string.
std::uint32_t field32(const std::string& bytes, std::size_t at);

}  // namespace varnow::testing
