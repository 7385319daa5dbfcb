#include "takes/crossfade.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "take_test_files.hpp"
#include "timeline/scripted_replies.hpp"
#include "wave/wave_header.hpp"

namespace varnow {
namespace {

using testing::printedBy;
using testing::readBytes;
using testing::Samples;
using testing::staircase;
using testing::TakeDir;

// The fade law written out independently of the code under test.
Samples referenceFade(const Samples& destination, const Samples& source, std::size_t length) {
  Samples blend;
  for (std::size_t k = 0; k < length; ++k) {
    const double theta = static_cast<double>(k) / static_cast<double>(length) * 1.570796327;
    const double d = k < destination.size() ? destination[k] : 0;
    const double s = k < source.size() ? source[k] : 0;
    const double value = std::trunc(d * std::cos(theta) + s * std::sin(theta));
    blend.push_back(static_cast<std::int32_t>(std::clamp(value, -8388608.0, 8388607.0)));
  }
  return blend;
}

Samples tail(const Samples& samples, std::size_t from) {
  return Samples(samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end());
}

// An output file as the take menu prepares it: a header planning `frames`.
std::string freshOutput(const TakeDir& dir, std::string_view name, std::int64_t frames) {
  const std::string path = dir.file(name);
  EXPECT_TRUE(MAKE_HEADER(path, 48000, frames, 1).ok());
  return path;
}

TEST(Crossfade, BlendsEveryPieceWithTheEqualPowerLaw) {
  TakeDir dir;
  const Samples old = staircase(1000, 1);  // sample i holds 1 + i
  const Samples take = staircase(3000, -100000, 7);
  const std::string destination = dir.wave("song.wav", old);
  const std::string source = dir.wave("take.wav", take);

  const std::string out480 = freshOutput(dir, "xfade_temp1.wav", 480);
  ASSERT_TRUE(CROSSFADE({destination, 200, source, 0, 480, out480}).ok());
  const std::string bytes = readBytes(out480);
  ASSERT_EQ(bytes.size(), 44u + 1440u);
  const Samples blend = testing::wavSamples(bytes);
  EXPECT_EQ(blend[0], 201);       // theta = 0: the destination itself
  EXPECT_EQ(blend[240], -69210);  // 441 x cos(pi/4) - 98320 x sin(pi/4), truncated
  EXPECT_EQ(blend[479], -96644);
  EXPECT_EQ(blend, referenceFade(tail(old, 200), take, 480));
  testing::expectSoxReads(out480, blend);

  // 2500 samples: pieces of 1024, 1024 and 452; the destination runs out
  // after 800 and reads silence from there.
  const std::string out2500 = freshOutput(dir, "xfade_temp2.wav", 2500);
  ASSERT_TRUE(CROSSFADE({destination, 200, source, 100, 2500, out2500}).ok());
  testing::expectSoxReads(out2500, referenceFade(tail(old, 200), tail(take, 100), 2500));
}

TEST(Crossfade, SaturatesInsteadOfWrapping) {
  TakeDir dir;
  const std::string loud = dir.wave("loud.wav", Samples(480, 8388607));
  const std::string quiet = dir.wave("low.wav", Samples(480, -8388608));
  const std::string up = freshOutput(dir, "up.wav", 480);
  const std::string down = freshOutput(dir, "down.wav", 480);
  ASSERT_TRUE(CROSSFADE({loud, 0, loud, 0, 480, up}).ok());
  ASSERT_TRUE(CROSSFADE({quiet, 0, quiet, 0, 480, down}).ok());
  EXPECT_EQ(testing::wavSamples(readBytes(up))[240], 8388607);
  EXPECT_EQ(testing::wavSamples(readBytes(down))[240], -8388608);
}

struct Rejection {
  CrossfadeRequest request;
  std::string printed;
  int code;
};

TEST(Crossfade, RejectsWhatItCannotBlendWithItsCodesAndMessages) {
  TakeDir dir;
  const std::string song = dir.wave("song.wav", staircase(100));
  const std::string take = dir.wave("take.wav", staircase(50));
  const std::string out = freshOutput(dir, "out.wav", 10);
  const std::string noData = dir.file("nodata.wav");
  testing::writeBytes(noData, testing::wavFile({}).substr(0, 36));
  const std::string gone = dir.file("gone.wav");
  const std::string noDir = dir.file("no/out.wav");
  const std::string invalid = "Invalid crossfade for ";
  // A start at the sample count is accepted (an empty region of silence).
  // Files that cannot be opened print nothing and give the caller a sentence.
  for (const Rejection& r :
       {Rejection{{song, 100, take, 50, 0, out}, "", 0},
        {{song, 101, take, 0, 10, out}, invalid + "destination file at sample 101\n", 1},
        {{song, -1, take, 0, 10, out}, invalid + "destination file at sample -1\n", 1},
        {{song, 0, take, 51, 10, out}, invalid + "source file at sample 51\n", 2},
        {{song, 0, noData, 0, 10, out}, "Data block not found error\n", 2},
        {{noData, 0, take, 0, 10, out}, "Data block not found error\n", 1},
        {{gone, 0, take, 0, 10, out}, "", 1},
        {{song, 0, gone, 0, 10, out}, "", 2},
        {{song, 0, take, 0, 10, noDir}, "", 3}}) {
    CrossfadeResult result;
    EXPECT_EQ(printedBy([&] { result = CROSSFADE(r.request); }), r.printed);
    EXPECT_EQ(result.code, r.code) << r.printed;
    const std::string unopened = r.code == 3 ? noDir : r.request.destination == gone ? gone : "";
    if (!unopened.empty()) {
      EXPECT_EQ(result.message, "Could not open " + unopened + ": No such file or directory.");
    }
  }
  // Nothing reached the output in all of this.
  EXPECT_EQ(readBytes(out).size(), 44u);
}

}  // namespace
}  // namespace varnow
