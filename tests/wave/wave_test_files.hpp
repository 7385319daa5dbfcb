// Scratch directories and byte-level file helpers for the wave tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace varnow::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under /tmp, removed with everything in it at the end of
// the test.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/varnow_wave_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = made != nullptr ? made : "/tmp";
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

inline void writeFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline Bytes readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void appendText(Bytes& bytes, std::string_view text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

inline void appendLe(Bytes& bytes, std::uint64_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) {
    bytes.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFFu));
  }
}

// A plain 16-byte PCM format body.
inline Bytes pcmFormatBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  Bytes body;
  const std::uint32_t align = static_cast<std::uint32_t>(channels) * bits / 8u;
  appendLe(body, 1, 2);
  appendLe(body, channels, 2);
  appendLe(body, rate, 4);
  appendLe(body, static_cast<std::uint64_t>(rate) * align, 4);
  appendLe(body, align, 2);
  appendLe(body, bits, 2);
  return body;
}

// Packed 24-bit staircase: sample i holds first + i.
inline Bytes staircaseSamples(std::int64_t frames, std::int64_t first = 0) {
  Bytes bytes;
  for (std::int64_t i = 0; i < frames; ++i)
    appendLe(bytes, static_cast<std::uint64_t>(first + i), 3);
  return bytes;
}

// A chunk header that states `sizeField` whatever follows it.
inline Bytes chunkHeader(std::string_view id, std::uint32_t sizeField) {
  Bytes bytes;
  appendText(bytes, id);
  appendLe(bytes, sizeField, 4);
  return bytes;
}

// A whole chunk, with its pad byte after an odd size.
inline Bytes chunk(std::string_view id, const Bytes& body) {
  Bytes bytes = chunkHeader(id, static_cast<std::uint32_t>(body.size()));
  bytes.insert(bytes.end(), body.begin(), body.end());
  if (body.size() % 2 != 0) bytes.push_back(0);
  return bytes;
}

// "RIFF" <size> "WAVE" followed by the given chunks; the RIFF size is right.
inline Bytes riffFile(std::initializer_list<Bytes> chunks) {
  Bytes body;
  appendText(body, "WAVE");
  for (const Bytes& chunk : chunks)
    body.insert(body.end(), chunk.begin(), chunk.end());
  Bytes file = chunkHeader("RIFF", static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

inline std::uint32_t fieldAt(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) |
         static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
         static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
         static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

}  // namespace varnow::testing
