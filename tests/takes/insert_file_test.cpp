#include "takes/insert_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include "core/stop_request.hpp"
#include "take_test_files.hpp"
#include "timeline/scripted_replies.hpp"

namespace varnow {
namespace {

using testing::field32;
using testing::readBytes;
using testing::Samples;
using testing::staircase;
using testing::TakeDir;

// `destination` with `source` written over it from sample p (zeros fill a gap).
Samples punched(Samples destination, const Samples& source, std::size_t p) {
  if (destination.size() < p + source.size()) destination.resize(p + source.size(), 0);
  std::copy(source.begin(), source.end(), destination.begin() + static_cast<std::ptrdiff_t>(p));
  return destination;
}

TEST(InsertFile, OverwritesInsideTheDestinationAndLeavesItsHeaderAlone) {
  TakeDir dir;
  const std::string destination = dir.wave("song.wav", staircase(100));
  const std::string take = dir.wave("take.wav", staircase(5, 1000));
  const std::string before = readBytes(destination);

  ASSERT_TRUE(INSERT_FILE({destination, take, 10, 5}).ok());
  const std::string after = readBytes(destination);
  EXPECT_EQ(after.substr(0, 44), before.substr(0, 44));
  testing::expectSoxReads(destination, punched(staircase(100), staircase(5, 1000), 10));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav"}));
}

TEST(InsertFile, GrowsTheDestinationAcrossAndBeyondItsEnd) {
  TakeDir dir;
  const std::string take = dir.wave("take.wav", staircase(5, 1000));
  // Across the end: 98 + 5 = 103 samples.
  const std::string across = dir.wave("across.wav", staircase(100));
  ASSERT_TRUE(INSERT_FILE({across, take, 98, 5}).ok());
  EXPECT_EQ(field32(readBytes(across), 40), 309u);
  testing::expectSoxReads(across, punched(staircase(100), staircase(5, 1000), 98));

  // Beyond the end: samples 100 .. 104 are silence, 105 .. 109 the take.
  const std::string beyond = dir.wave("beyond.wav", staircase(100));
  ASSERT_TRUE(INSERT_FILE({beyond, take, 105, 5}).ok());
  EXPECT_EQ(field32(readBytes(beyond), 40), 330u);
  testing::expectSoxReads(beyond, punched(staircase(100), staircase(5, 1000), 105));
}

TEST(InsertFile, CopiesInPiecesAndTakesNoMoreThanTheSourceHolds) {
  TakeDir dir;
  // 3000 samples = 9000 bytes: pieces of 4096, 4096 and 808.
  const std::string take = dir.wave("take.wav", staircase(3000, -5000, 3));
  const std::string destination = dir.wave("song.wav", staircase(5000));
  ASSERT_TRUE(INSERT_FILE({destination, take, 1234, 3000}).ok());
  testing::expectSoxReads(destination, punched(staircase(5000), staircase(3000, -5000, 3), 1234));

  // A count below the source's length takes only that many samples; one
  // beyond it is cut to the source.
  const std::string shortTake = dir.wave("short.wav", staircase(4, 7000));
  const std::string partial = dir.wave("partial.wav", staircase(20));
  ASSERT_TRUE(INSERT_FILE({partial, shortTake, 2, 3}).ok());
  ASSERT_TRUE(INSERT_FILE({partial, shortTake, 10, 50}).ok());
  Samples expected = punched(staircase(20), staircase(3, 7000), 2);
  expected = punched(expected, staircase(4, 7000), 10);
  testing::expectSoxReads(partial, expected);

  // Nothing to insert: the file stays as it was.
  const std::string before = readBytes(partial);
  ASSERT_TRUE(INSERT_FILE({partial, shortTake, 30, 0}).ok());
  EXPECT_EQ(readBytes(partial), before);
}

// The fade law written out independently of the code under test.
std::int32_t faded(std::int32_t from, std::int32_t to, std::size_t k, std::size_t length) {
  const double theta = static_cast<double>(k) / static_cast<double>(length) * 1.570796327;
  const double blend = std::trunc(from * std::cos(theta) + to * std::sin(theta));
  return static_cast<std::int32_t>(std::clamp(blend, -8388608.0, 8388607.0));
}

// What the whole-file steps made of an insert with fades: the take punched
// in, then the head fade over it, then the tail fade, both fades computed
// from the files as they were (silence past their ends), each left out when
// it starts past the end of the old file, and never longer than the take.
Samples wholeFileResult(const Samples& old, const Samples& take, std::size_t p, std::size_t fade) {
  const std::size_t n = take.size();
  const std::size_t length = std::min(fade, n);
  auto at = [](const Samples& samples, std::size_t i) {
    return i < samples.size() ? samples[i] : 0;
  };
  Samples result = punched(old, take, p);
  Samples head;
  Samples tail;
  for (std::size_t k = 0; k < length; ++k) {
    head.push_back(faded(at(old, p + k), take[k], k, length));
    tail.push_back(faded(take[n - length + k], at(old, p + n - length + k), k, length));
  }
  if (length > 0 && p <= old.size()) result = punched(result, head, p);
  if (length > 0 && p + n - length <= old.size()) result = punched(result, tail, p + n - length);
  return result;
}

struct FadeCase {
  std::size_t oldFrames;
  std::size_t p;
  std::size_t n;
  std::size_t fade;
  std::string printed;
  bool loud = false;  // both signals near full scale and in phase: the blend saturates
};

TEST(InsertFile, WritesInPlaceWhatTheWholeFileStepsWrote) {
  const std::string invalid = "Invalid crossfade for ";
  for (const FadeCase& c : {
           FadeCase{20000, 6000, 9000, 480, ""},  // both fades, three pieces of 4096
           FadeCase{20000, 100, 600, 480, ""},    // fades that overlap: the tail is written last
           FadeCase{20000, 100, 300, 480, ""},    // a fade longer than the take: cut to it
           FadeCase{1000, 900, 500, 100, invalid + "source file at sample 1300\n"},  // grows
           FadeCase{100, 500, 50, 20,  // beyond the end: a gap of silence, no fade fits
                    invalid + "destination file at sample 500\n" + invalid +
                        "source file at sample 530\n"},
           FadeCase{5000, 1000, 2000, 480, "", true},
           FadeCase{1000, 1000, 10, 0, ""},  // right at the end, without fades
       }) {
    TakeDir dir;
    const Samples old =
        c.loud ? Samples(c.oldFrames, 8000000) : staircase(c.oldFrames, -3000000, 7);
    const Samples take = c.loud ? Samples(c.n, 7900000) : staircase(c.n, 1000000, 3);
    const std::string destination = dir.wave("song.wav", old);
    const std::string source = dir.wave("take.wav", take);
    RewriteResult result = RewriteResult::done();
    const std::string printed = testing::printedBy([&] {
      result = INSERT_FILE({destination, source, static_cast<Position>(c.p),
                            static_cast<std::int64_t>(c.n), static_cast<std::int64_t>(c.fade)});
    });
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(printed, c.printed) << c.p;
    // The header states exactly the samples: its old sizes, or new ones when it grew.
    EXPECT_TRUE(readBytes(destination) == testing::wavFile(wholeFileResult(old, take, c.p, c.fade)))
        << c.oldFrames << " " << c.p << " " << c.n << " " << c.fade;
    EXPECT_EQ(readBytes(source), testing::wavFile(take));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav"}));
  }
}

TEST(InsertFile, AStopRequestBetweenPiecesLeavesTheDestinationAsItWas) {
  TakeDir dir;
  const std::string destination = dir.wave("song.wav", staircase(20000));
  const std::string take = dir.wave("take.wav", staircase(10000, 5000));
  const std::string before = readBytes(destination);
  // Raised before the call: the first piece is written, then the request is
  // seen and the journal played back (the file had grown past its end).
  requestStop(SIGINT);
  const RewriteResult stopped = INSERT_FILE({destination, take, 15000, 10000});
  clearStopRequest();
  EXPECT_EQ(stopped.outcome(), RewriteOutcome::kFailed);
  EXPECT_EQ(stopped.message(), "The insert into " + destination +
                                   " was stopped before it was finished. " + destination +
                                   " is as it was before the insert.");
  EXPECT_EQ(readBytes(destination), before);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav"}));
}

}  // namespace
}  // namespace varnow
