// The byte-level pieces of the files the take operations keep for a crash:
// the undo journal and the decision record. Numbers are little-endian and
// unsigned; every file ends its parts with a 64-bit checksum.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnow {

// A 64-bit checksum of a stream of bytes, taken eight bytes at a time (a
// punch-in sums every byte it rewrites, so this is on its way). The value is
// the same however the stream is cut into calls to add().
class Checksum {
 public:
  void add(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    total_ += count;
    while (count > 0 && (carried_ > 0 || count < 8)) {
      carry_[carried_++] = *bytes++;
      --count;
      if (carried_ == 8) {
        mix(word(carry_.data()));
        carried_ = 0;
      }
    }
    for (; count >= 8; bytes += 8, count -= 8)
      mix(word(bytes));
    while (count-- > 0)
      carry_[carried_++] = *bytes++;
  }
  void add(std::string_view bytes) { add(bytes.data(), bytes.size()); }

  std::uint64_t value() const {
    Checksum last = *this;
    if (carried_ > 0) {
      std::fill(last.carry_.begin() + static_cast<std::ptrdiff_t>(carried_), last.carry_.end(), 0);
      last.mix(word(last.carry_.data()));
    }
    last.mix(total_);
    std::uint64_t h = last.state_;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
  }

 private:
  static std::uint64_t word(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
      value = (value << 8) | bytes[i];
    return value;
  }
  void mix(std::uint64_t word) {
    state_ = std::rotl(state_ ^ (word * 0x9E3779B97F4A7C15ull), 29) * 0xBF58476D1CE4E5B9ull;
  }

  std::uint64_t state_ = 0x27D4EB2F165667C5ull;
  std::uint64_t total_ = 0;
  std::array<std::uint8_t, 8> carry_{};
  std::size_t carried_ = 0;
};

inline std::uint64_t checksumOf(const void* data, std::size_t count) {
  Checksum sum;
  sum.add(data, count);
  return sum.value();
}

// Appends `value` as `width` little-endian bytes.
inline void appendNumber(std::string& bytes, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(value >> (8 * i))));
}

// Reads fields front to back from bytes held in memory; every read is
// bounds-checked and fails past the end.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* bytes, std::size_t count) : at_(bytes), left_(count) {}
  bool bytes(std::size_t count, const std::uint8_t*& out) {
    if (count > left_) return false;
    out = at_;
    at_ += count;
    left_ -= count;
    return true;
  }
  bool number(int width, std::uint64_t& value) {
    const std::uint8_t* field = nullptr;
    if (!bytes(static_cast<std::size_t>(width), field)) return false;
    value = 0;
    for (int i = width - 1; i >= 0; --i)
      value = (value << 8) | field[i];
    return true;
  }
  // A 4-byte length, then that many bytes, at most `longest`.
  bool text(std::string& out, std::size_t longest) {
    std::uint64_t length = 0;
    const std::uint8_t* field = nullptr;
    if (!number(4, length) || length > longest || !bytes(length, field)) return false;
    out.assign(reinterpret_cast<const char*>(field), length);
    return true;
  }
  std::size_t left() const { return left_; }

 private:
  const std::uint8_t* at_;
  std::size_t left_;
};

}  // namespace varnow
