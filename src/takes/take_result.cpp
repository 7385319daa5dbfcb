#include "takes/take_result.hpp"

#include <algorithm>

#include "wave/chunk_search.hpp"
#include "wave/size_repair.hpp"

namespace varnow {

RewriteResult RewriteResult::noDataChunk() {
  return RewriteResult(RewriteOutcome::kNoDataChunk, std::string(kNoDataBlockLine));
}

bool anyFailed(const ChannelOutcomes& outcomes) {
  return std::any_of(outcomes.begin(), outcomes.end(), [](const ChannelOutcome& outcome) {
    return outcome.state == ChannelState::kFailed;
  });
}

DataStart findDataStart(std::FILE* file, const std::string& path) {
  const ChunkLocation data = findChunk(file, kDataChunkId);
  switch (data.outcome) {
    case ChunkSearchOutcome::kFound:
      return {RewriteOutcome::kDone, data.bodyByte(), {}};
    case ChunkSearchOutcome::kNotFound:
      return {RewriteOutcome::kNoDataChunk, 0, std::string(kNoDataBlockLine)};
    case ChunkSearchOutcome::kReadFailed:
      break;
  }
  return {RewriteOutcome::kFailed, 0, fileFailure("read", path, data.readError).message()};
}

}  // namespace varnow
