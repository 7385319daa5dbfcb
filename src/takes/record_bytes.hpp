// The byte-level pieces of the files the take operations keep for a crash:
// the undo journal and the decision record. Numbers are little-endian and
// unsigned; every file ends its parts with an FNV-1a 64 checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnow {

inline constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;

inline std::uint64_t fnv1a(std::uint64_t hash, const std::uint8_t* bytes, std::size_t count) {
  constexpr std::uint64_t kFnvPrime = 1099511628211ull;
  for (std::size_t i = 0; i < count; ++i) {
    hash ^= bytes[i];
    hash *= kFnvPrime;
  }
  return hash;
}

inline std::uint64_t fnv1a(std::uint64_t hash, std::string_view bytes) {
  return fnv1a(hash, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
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
