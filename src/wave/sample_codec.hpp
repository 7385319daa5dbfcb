// Packed 24-bit samples and the little-endian header fields of a wave file.
//
// Every audio file and every device buffer holds signed 24-bit PCM in three
// bytes per sample, low byte first. All sample arithmetic works on signed
// 64-bit integers holding the 24-bit value right-justified (full scale
// -8388608 .. 8388607). These routines are pure: they neither print nor fail.
#pragma once

#include <cstdint>

namespace varnow {

// One block is the unit of file reading, mixing and take writing.
inline constexpr std::int64_t kBlockFrames = 4096;
inline constexpr int kBytesPerSample = 3;
inline constexpr std::int64_t kBlockBytes = kBlockFrames * kBytesPerSample;  // 12288

// Decodes `count` packed samples into `samples`:
//
//   packed:  | b0 b1 b2 | b0 b1 b2 | ...      sample i = b0 + 256 b1 + 65536 b2
//              sample 0   sample 1              (b0, b1 unsigned; b2 signed)
//
// `bytesPerSample` is part of the calling convention and is always
// kBytesPerSample; the packed form has no other width, so it is not consulted.
// A count below 1 writes nothing.
void CHAR_TO_NUM32(const std::int8_t* packed, std::int64_t* samples, int bytesPerSample,
                   std::int64_t count);

// Block form: decodes exactly kBlockFrames samples (kBlockBytes bytes).
void CHAR_TO_NUM32(const std::int8_t* packed, std::int64_t* samples, int bytesPerSample);

// Encodes `count` integer samples as packed samples: the low 24 bits of each
// value's two's complement, low byte first. No rounding, no saturation: a value
// outside the 24-bit range is written modulo 2^24 (8388608 becomes 00 00 80).
// The bytes do not depend on the host's byte order. A count below 1 writes
// nothing.
void NUM24MONO_TO_CHAR(const std::int64_t* samples, std::int8_t* packed, std::int64_t count);

// Block form: encodes exactly kBlockFrames samples into kBlockBytes bytes.
void NUM24MONO_TO_CHAR(const std::int64_t* samples, std::int8_t* packed);

// Reads an unsigned 16-bit little-endian field: 0 .. 65535.
std::int64_t Assem2(const std::uint8_t* bytes);

// Reads a 32-bit little-endian field and sign-extends bit 31: a field of 2^31
// or more comes back negative. The wave readers' length rule relies on this
// (a data size of FF FF FF FF reads as -1, "no limit").
std::int64_t Assem4(const std::uint8_t* bytes);

// Writes `value` as an unsigned 32-bit little-endian field. Meant for
// 0 .. 2^32 - 1; larger values are written modulo 2^32.
void Decon4(std::int64_t value, std::uint8_t* out);

// Writes `value` as a 16-bit little-endian field.
void Decon2(std::uint16_t value, std::uint8_t* out);

}  // namespace varnow
