#include "takes/crossfade.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "take_test_files.hpp"
#include "takes/insert_file.hpp"
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
  const std::string level = dir.wave("level.wav", Samples(480, 1000));
  const std::string up = freshOutput(dir, "up.wav", 480);
  const std::string down = freshOutput(dir, "down.wav", 480);
  const std::string even = freshOutput(dir, "even.wav", 480);
  ASSERT_TRUE(CROSSFADE({loud, 0, loud, 0, 480, up}).ok());
  ASSERT_TRUE(CROSSFADE({quiet, 0, quiet, 0, 480, down}).ok());
  ASSERT_TRUE(CROSSFADE({level, 0, level, 0, 480, even}).ok());
  EXPECT_EQ(testing::wavSamples(readBytes(up))[240], 8388607);
  EXPECT_EQ(testing::wavSamples(readBytes(down))[240], -8388608);
  const Samples flat = testing::wavSamples(readBytes(even));
  EXPECT_EQ(flat[0], 1000);
  EXPECT_EQ(flat[240], 1414);
  EXPECT_EQ(flat[479], 1003);
}

TEST(Crossfade, RejectsWhatItCannotBlendWithItsCodesAndMessages) {
  TakeDir dir;
  const std::string song = dir.wave("song.wav", staircase(100));
  const std::string take = dir.wave("take.wav", staircase(50));
  const std::string out = freshOutput(dir, "out.wav", 10);
  CrossfadeResult result;
  auto fade = [&](CrossfadeRequest request) {
    return printedBy([&] { result = CROSSFADE(request); });
  };

  // A start at the sample count is accepted (an empty region of silence).
  EXPECT_EQ(fade({song, 100, take, 50, 0, out}), "");
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(fade({song, 101, take, 0, 10, out}),
            "Invalid crossfade for destination file at sample 101\n");
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(fade({song, -1, take, 0, 10, out}),
            "Invalid crossfade for destination file at sample -1\n");
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(fade({song, 0, take, 51, 10, out}), "Invalid crossfade for source file at sample 51\n");
  EXPECT_EQ(result.code, 2);

  const std::string headerOnly = testing::wavFile({}).substr(0, 36);
  testing::writeBytes(dir.file("nodata.wav"), headerOnly);
  EXPECT_EQ(fade({song, 0, dir.file("nodata.wav"), 0, 10, out}), "Data block not found error\n");
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(fade({dir.file("nodata.wav"), 0, take, 0, 10, out}), "Data block not found error\n");
  EXPECT_EQ(result.code, 1);

  // Files that cannot be opened: nothing printed, a sentence for the caller.
  EXPECT_EQ(fade({dir.file("gone.wav"), 0, take, 0, 10, out}), "");
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.message,
            "Could not open " + dir.file("gone.wav") + ": No such file or directory.");
  EXPECT_EQ(fade({song, 0, dir.file("gone.wav"), 0, 10, out}), "");
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(fade({song, 0, take, 0, 10, dir.file("no/out.wav")}), "");
  EXPECT_EQ(result.code, 3);
  EXPECT_EQ(result.message,
            "Could not open " + dir.file("no/out.wav") + ": No such file or directory.");

  // Nothing reached the output in all of this.
  EXPECT_EQ(readBytes(out).size(), 44u);
}

// The two fades of a punch-in, applied the way the take menu applies them:
//
//   destination  old old old [head fade) take take take [tail fade) old old
//                          p                                     p + w
TEST(Crossfade, PunchInWithBothFadesLeavesTheOldMaterialOutsideTheTake) {
  TakeDir dir;
  const Samples old = staircase(4000, 1);
  const Samples recorded = staircase(2000, -300000, 11);
  const std::string song = dir.wave("song.wav", old);
  const std::string take = dir.wave("take.wav", recorded);
  const std::int64_t p = 1000;
  const std::int64_t w = 2000;
  const std::int64_t fade = 480;
  const std::string head = freshOutput(dir, "xfade_temp1.wav", fade);
  const std::string tailFade = freshOutput(dir, "xfade_temp2.wav", fade);
  ASSERT_TRUE(CROSSFADE({song, p, take, 0, fade, head}).ok());
  ASSERT_TRUE(CROSSFADE({take, w - fade, song, p + w - fade, fade, tailFade}).ok());
  ASSERT_TRUE(INSERT_FILE({take, head, 0, fade}).ok());
  ASSERT_TRUE(INSERT_FILE({take, tailFade, w - fade, fade}).ok());
  ASSERT_TRUE(INSERT_FILE({song, take, p, w}).ok());

  Samples expected = old;
  const Samples headBlend = referenceFade(tail(old, 1000), recorded, 480);
  const Samples tailBlend = referenceFade(tail(recorded, 1520), tail(old, 2520), 480);
  for (std::size_t i = 0; i < 2000; ++i) {
    expected[1000 + i] = i < 480 ? headBlend[i] : i >= 1520 ? tailBlend[i - 1520] : recorded[i];
  }
  testing::expectSoxReads(song, expected);
}

}  // namespace
}  // namespace varnow
