// A play file's samples read ahead in large sequential pieces, block by block,
// for the export: one positioned read covers many 4096-frame blocks, and the
// kernel is told that the file is read from start to end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/project_settings.hpp"
#include "core/status.hpp"
#include "wave/wave_attributes.hpp"

namespace varnow {

class TrackReadAhead {
 public:
  // Reads the samples described by `attributes` from the open `descriptor`
  // (which stays the caller's), `pieceBlocks` blocks per read. `name` is the
  // file's name in failure messages.
  TrackReadAhead(int descriptor, std::string name, const WaveAttributes& attributes,
                 std::int64_t pieceBlocks);

  // The 4096 packed frames of the block that starts at timeline position
  // `blockStart`: the file's frames that lie inside its data, silence around
  // them. The pointer stays valid until the next call.
  //
  //   timeline:  blockStart               blockStart + 4096
  //              |<-------- block -------->|
  //   file:   [0 ............ length)
  //              |<- frames ->|<- silence ->|
  //
  // A read that failed or met the end of the file early fails the first block
  // that needs its missing frames, with the file's name and the reason, as a
  // read of that block alone would.
  Status block(Position blockStart, const std::int8_t*& frames);

 private:
  void readPiece(Position pieceStart);

  int descriptor_;
  std::string name_;
  WaveAttributes attributes_;
  std::int64_t pieceFrames_;
  std::vector<std::int8_t> piece_;
  Position pieceStart_ = 0;
  bool pieceRead_ = false;
  Position validEnd_ = 0;  // frames of the piece before this one are as read
  int readError_ = 0;      // why the piece ends early: an errno, 0 for the file's end
};

}  // namespace varnow
