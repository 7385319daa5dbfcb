// Repairing the size fields of a wave file after its data was lengthened.
#pragma once

#include <string>
#include <string_view>

namespace varnow {

// The line a caller prints when a file it rewrites has no data chunk, before
// ending the program with status 2.
inline constexpr std::string_view kNoDataBlockLine = "Can't find data block in wave file!";

enum class SizeRepairOutcome {
  kRepaired,
  kNoDataChunk,  // message is kNoDataBlockLine; the caller prints it and ends with status 2
  kFileFailed,   // message names the file and the reason; the caller treats the file as absent
};

struct [[nodiscard]] SizeRepairResult {
  SizeRepairOutcome outcome = SizeRepairOutcome::kRepaired;
  std::string message;

  bool ok() const { return outcome == SizeRepairOutcome::kRepaired; }
};

// Rewrites the sizes of `path` from its actual length F:
//
//   0      4                     T      T+4    T+8                  F
//   | RIFF | F - 8 | ... chunks  | data | F - (T+8) | samples ...   |
//
// Both fields are written as unsigned 32-bit numbers (modulo 2^32). The data
// chunk is found by the chunk walk; everything after its first sample byte
// counts as data. Prints nothing; the outcome tells the caller what to say.
SizeRepairResult FIX_SIZE(const std::string& path);

}  // namespace varnow
