#include "wave/wave_header.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include "wave/file_handle.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {

// Offset Size  Field
//  0      4    "RIFF"
//  4      4    RIFF size: data bytes + 36 (36 = "WAVE" + the fmt chunk + the data chunk's id and
//  size) 8      4    "WAVE"
// 12      4    "fmt "
// 16      4    16, the size of the fmt body
// 20      2    1, integer PCM
// 22      2    channel count
// 24      4    sample rate in Hz
// 28      4    byte rate = rate x 3 x channels
// 32      2    block align = 3 x channels
// 34      2    24 bits per sample
// 36      4    "data"
// 40      4    data bytes = frames x 3 x channels
WaveHeaderBytes makeHeaderBytes(std::uint32_t rate, std::int64_t frames, std::uint32_t channels) {
  const std::uint32_t bytesPerFrame = static_cast<std::uint32_t>(kBytesPerSample) * channels;
  // Unsigned arithmetic, so a count beyond 32 bits wraps as the field does.
  const std::uint64_t dataBytes = static_cast<std::uint64_t>(frames) * bytesPerFrame;
  const std::uint32_t dataBytesField = static_cast<std::uint32_t>(dataBytes & 0xFFFFFFFFu);
  const std::uint32_t riffBytesField = dataBytesField + 36u;

  WaveHeaderBytes header{};
  std::memcpy(&header[0], "RIFF", 4);
  Decon4(riffBytesField, &header[4]);
  std::memcpy(&header[8], "WAVE", 4);
  std::memcpy(&header[12], "fmt ", 4);
  Decon4(16, &header[16]);
  Decon2(1, &header[20]);
  Decon2(static_cast<std::uint16_t>(channels), &header[22]);
  Decon4(rate, &header[24]);
  Decon4(static_cast<std::uint32_t>(rate * bytesPerFrame), &header[28]);
  Decon2(static_cast<std::uint16_t>(bytesPerFrame), &header[32]);
  Decon2(static_cast<std::uint16_t>(kBitsPerSample), &header[34]);
  std::memcpy(&header[36], "data", 4);
  Decon4(dataBytesField, &header[40]);
  return header;
}

Status MAKE_HEADER(const std::string& path, std::uint32_t rate, std::int64_t frames,
                   std::uint32_t channels) {
  FileHandle file = openFile(path, "wb");
  if (!file) return fileFailure("create", path, errno);
  const WaveHeaderBytes header = makeHeaderBytes(rate, frames, channels);
  if (!writeExactly(file.get(), header.data(), header.size())) {
    return fileFailure("write", path, errno);
  }
  return closeWritten(std::move(file), path);
}

}  // namespace varnow
