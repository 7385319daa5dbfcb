#include "wave/sample_codec.hpp"

namespace varnow {

void CHAR_TO_NUM32(const std::int8_t* packed, std::int64_t* samples, int /*bytesPerSample*/,
                   std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int8_t* sample = packed + 3 * i;
    const std::int32_t low = static_cast<std::uint8_t>(sample[0]);
    const std::int32_t middle = static_cast<std::uint8_t>(sample[1]);
    const std::int32_t high = sample[2];  // signed: carries the sign of the sample
    samples[i] = low + 256 * middle + 65536 * high;
  }
}

void CHAR_TO_NUM32(const std::int8_t* packed, std::int64_t* samples, int bytesPerSample) {
  CHAR_TO_NUM32(packed, samples, bytesPerSample, kBlockFrames);
}

void NUM24MONO_TO_CHAR(const std::int64_t* samples, std::int8_t* packed, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    // Unsigned arithmetic is modular, so the low bytes are the two's complement
    // bytes of the value without relying on shifts of negative numbers.
    const auto bits = static_cast<std::uint64_t>(samples[i]);
    std::int8_t* sample = packed + 3 * i;
    sample[0] = static_cast<std::int8_t>(bits & 0xFFu);
    sample[1] = static_cast<std::int8_t>((bits >> 8) & 0xFFu);
    sample[2] = static_cast<std::int8_t>((bits >> 16) & 0xFFu);
  }
}

void NUM24MONO_TO_CHAR(const std::int64_t* samples, std::int8_t* packed) {
  NUM24MONO_TO_CHAR(samples, packed, kBlockFrames);
}

std::int64_t Assem2(const std::uint8_t* bytes) {
  return static_cast<std::int64_t>(bytes[0]) + 256 * static_cast<std::int64_t>(bytes[1]);
}

std::int64_t Assem4(const std::uint8_t* bytes) {
  const std::uint32_t field =
      static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
      static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return static_cast<std::int32_t>(field);  // modular conversion: bit 31 is the sign
}

void Decon4(std::int64_t value, std::uint8_t* out) {
  const auto bits = static_cast<std::uint64_t>(value);
  out[0] = static_cast<std::uint8_t>(bits & 0xFFu);
  out[1] = static_cast<std::uint8_t>((bits >> 8) & 0xFFu);
  out[2] = static_cast<std::uint8_t>((bits >> 16) & 0xFFu);
  out[3] = static_cast<std::uint8_t>((bits >> 24) & 0xFFu);
}

void Decon2(std::uint16_t value, std::uint8_t* out) {
  out[0] = static_cast<std::uint8_t>(value & 0xFFu);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace varnow
