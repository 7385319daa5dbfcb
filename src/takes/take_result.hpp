// How the take file operations report what happened.
//
// The operations never print a failure themselves: each failure comes back as
// a plain sentence naming the file and the reason, and the caller (the take
// menu) prints it and decides what follows. The program's own messages that
// belong to an operation (its questions, "Copied %s to %s\n", "%s -> %s\n",
// the crossfade's rejections) are printed by the operation as they happen.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/status.hpp"

namespace varnow {

// Result of an operation that rewrites a wave file (PAD_FILE, INSERT_FILE).
enum class RewriteOutcome {
  kDone,
  // The file (or the source) has no data chunk. message() is
  // kNoDataBlockLine; the caller prints it and ends the program with status 2.
  // Nothing has been written or removed when this is returned.
  kNoDataChunk,
  // A file could not be opened, read or written; message() names it and the
  // reason. The file being rewritten is as it was before the call (where an
  // in-place insert could not say so, its sentence tells what became of it).
  kFailed,
  // The file to be rewritten does not exist (ENOENT, and only that): nothing
  // was written. message() says so.
  kAbsent,
};

class [[nodiscard]] RewriteResult {
 public:
  static RewriteResult done() { return RewriteResult(RewriteOutcome::kDone, {}); }
  static RewriteResult noDataChunk();
  static RewriteResult failed(const Status& status) {
    return RewriteResult(RewriteOutcome::kFailed, status.message());
  }
  static RewriteResult absent(const Status& status) {
    return RewriteResult(RewriteOutcome::kAbsent, status.message());
  }

  RewriteOutcome outcome() const { return outcome_; }
  bool ok() const { return outcome_ == RewriteOutcome::kDone; }
  const std::string& message() const { return message_; }

 private:
  RewriteResult(RewriteOutcome outcome, std::string message)
      : outcome_(outcome), message_(std::move(message)) {}
  RewriteOutcome outcome_;
  std::string message_;
};

// What happened to one channel's file in an operation over a name list.
enum class ChannelState {
  kSkipped,  // the channel is not armed, or its line names no file: nothing was done
  kDone,     // the file reached its new name
  kFailed,   // nothing changed for this channel; message says why
};

struct ChannelOutcome {
  ChannelState state = ChannelState::kSkipped;
  std::string message;  // the failure sentence when state is kFailed
};

// One entry per channel 0 .. count - 1 of the call.
using ChannelOutcomes = std::vector<ChannelOutcome>;

bool anyFailed(const ChannelOutcomes& outcomes);

// Where the samples of an open wave file start, for the rewriting operations.
struct DataStart {
  RewriteOutcome outcome = RewriteOutcome::kDone;
  std::int64_t byte = 0;  // T + 8: the first sample byte, when outcome is kDone
  std::string message;    // as in RewriteResult
};

// Finds the "data" chunk of `file` (opened from `path`) with the chunk walk.
DataStart findDataStart(std::FILE* file, const std::string& path);

}  // namespace varnow
