// The menu that settles a take after recording: listen to it, throw it
// away, write it into the files of the record list, or keep it under new
// names.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/project_settings.hpp"
#include "durable/durable.hpp"
#include "engine/take_files.hpp"
#include "timeline/derived_counts.hpp"

namespace varnow {

// Exit status when a take or destination has no data chunk.
inline constexpr int kExitNoDataChunk = 2;

// What a take audition pass needs: the play lines (recorded channels play
// their takes), where each file starts on the timeline, and the offsets
// into the take.
struct TakeAudition {
  std::vector<std::string> playLines;
  std::array<Position, kMaxChannels> fileStart{};
  Position startOffset = 0;
  Position stopOffset = 0;
};

struct TakeMenuContext {
  ProjectSettings& settings;
  const TakeFiles& take;
  const DerivedCounts& counts;
  // The counted lines of the pass's record and play lists ("-" for a skip).
  const std::vector<std::string>& recordLines;
  const std::vector<std::string>& playLines;
  // Set by 'W' at the overwrite check; kept for the whole run.
  bool& dontAskAgain;
  // Runs a take audition pass with the in point at the punch point; in and
  // out are restored afterwards.
  std::function<void(const TakeAudition&)> audition;
};

// How the take menu ended.
enum class TakeMenuEnd {
  kSettled,      // a decision was carried out (or the take kept as it was)
  kUndoFurther,  // 'undo': the take is kept as recorded, and the decision
                 // before is to be taken back
};

// Asks for take handling commands until one other than 'aud' is carried
// out. With `redo` (the decision taken back for this take, from
// decisionToRedo()), that decision is carried out again first, with its
// answers; the menu asks only when that does not settle the take.
TakeMenuEnd runTakeMenu(TakeMenuContext& context, const TakeOnRecord* redo = nullptr);

}  // namespace varnow
