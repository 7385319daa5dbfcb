// The 44-byte header that this system writes at the start of every wave file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/status.hpp"

namespace varnow {

inline constexpr std::int64_t kHeaderBytes = 44;  // samples start right after it
inline constexpr std::uint32_t kBitsPerSample = 24;

using WaveHeaderBytes = std::array<std::uint8_t, kHeaderBytes>;

// The header bytes for `frames` frames of `channels` interleaved 24-bit
// channels at `rate` Hz, built field by field (see the layout in the .cpp).
// Byte counts of 2^32 or more are written modulo 2^32.
WaveHeaderBytes makeHeaderBytes(std::uint32_t rate, std::int64_t frames, std::uint32_t channels);

// Creates (or truncates) `path` and writes the header for a planned length of
// `frames` frames, then closes the file; sample data is appended by the caller
// and starts at byte kHeaderBytes. Returns a failure naming the file and the
// reason when the file cannot be created or written; the caller then treats
// the file as absent.
Status MAKE_HEADER(const std::string& path, std::uint32_t rate, std::int64_t frames,
                   std::uint32_t channels);

}  // namespace varnow
