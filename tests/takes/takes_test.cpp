// Backups, inserts, padding and names: what they write, and leave on failure.
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "core/stop_request.hpp"
#include "core/unit_fixture.hpp"
#include "takes/copy_file.hpp"
#include "takes/file_clone.hpp"
#include "takes/file_move.hpp"
#include "takes/file_names.hpp"
#include "takes/hybridize.hpp"
#include "takes/insert_file.hpp"
#include "takes/pad_file.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

using testing::inserted;
using testing::operator+;
using testing::printedBy;
using testing::readBytes;
using testing::Samples;
using testing::staircase;
using testing::TakeDir;
using testing::wavFile;
namespace fs = std::filesystem;

TEST(CopyFile, BackupsAreIdenticalWhateverTheSizeAndTheWay) {
  TakeDir dir;
  // Sizes one byte past a multiple of the 4096-byte piece, and 10000 bytes.
  for (const std::size_t size : {1u, 4097u, 8193u, 10000u}) {
    const std::string bytes = testing::packSamples(staircase(size, 1, 7)).substr(0, size);
    const std::string source = dir.file("takes.v2.wav");
    testing::writeBytes(source, bytes);
    testing::writeBytes(dir.file("takes_bkup_77.wav"), "an older backup");
    EXPECT_EQ(printedBy([&] { EXPECT_TRUE(COPY_FILE(77, source).ok()); }),
              "Copied " + source + " to " + dir.file("takes_bkup_77.wav") + "\n");
    EXPECT_EQ(readBytes(dir.file("takes_bkup_77.wav")), bytes) << size;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"takes.v2.wav", "takes_bkup_77.wav"}));
    // Each way falls through to the next where the file system lacks it.
    for (const CopyMethod first :
         {CopyMethod::kClone, CopyMethod::kCopyRange, CopyMethod::kPlainCopy}) {
      const std::string copy = dir.file("copy.wav");
      const FileHandle from = openFile(source, "rb");
      FileHandle to = openFile(copy, "wb");
      const auto count = static_cast<std::int64_t>(size);
      EXPECT_TRUE(copyFileBytes(fileno(from.get()), source, fileno(to.get()), copy, count, first));
      to.reset();
      EXPECT_EQ(readBytes(copy), bytes) << size << " " << static_cast<int>(first);
      if (first != CopyMethod::kClone) {  // a clone takes the whole file
        to = openFile(copy, "wb");
        EXPECT_EQ(
            copyFileBytes(fileno(from.get()), source, fileno(to.get()), copy, count + 10, first)
                .message(),
            "Could not read " + source + ": the file ended 10 bytes early.");
      }
      fs::remove(copy);
    }
  }
}

TEST(CopyFile, ABackupThatCannotBeMadeLeavesNothingHalfWritten) {
  TakeDir dir;
  const std::string song = dir.wave("song.wav", staircase(20000, 5));
  {
    const testing::FileSizeLimit full(50000);  // 60044 bytes do not fit
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(COPY_FILE(3, song).ok()); }),
              "Cannot create backup file " + dir.file("song_bkup_3.wav") + "\n");
  }
  EXPECT_EQ(readBytes(song), wavFile(staircase(20000, 5)));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.wav"});
}

TEST(InsertFile, WritesTheTakeAndItsFadesInPlace) {
  const std::string invalid = "Invalid crossfade for ";
  const struct {
    std::size_t old, p, n;
    std::int64_t count;  // asked for; the take's n samples when larger
    std::size_t fade;
    std::string printed;
    bool loud = false;  // both near full scale and in phase: the blend saturates
  } cases[] = {
      {100, 10, 5, 5, 0, ""},           // inside
      {100, 98, 5, 5, 0, ""},           // across the end
      {100, 105, 5, 5, 0, ""},          // beyond: a gap of silence
      {5000, 1234, 3000, 3000, 0, ""},  // pieces of 4096, 4096 and 808 bytes
      {20, 10, 4, 50, 0, ""},           // cut to the take
      {20, 3, 4, 2, 0, ""},
      {20, 30, 4, 0, 0, ""},               // nothing
      {20000, 6000, 9000, 9000, 480, ""},  // both fades
      {20000, 100, 600, 600, 480, ""},     // fades that overlap
      {20000, 100, 300, 300, 480, ""},     // a fade longer than the take
      {1000, 900, 500, 500, 100, invalid + "source file at sample 1300\n"},
      {100, 500, 50, 50, 20,
       invalid + "destination file at sample 500\n" + invalid + "source file at sample 530\n"},
      {5000, 1000, 2000, 2000, 480, "", true},
      {1000, 1000, 10, 10, 0, ""},
  };
  for (const auto& c : cases) {
    TakeDir dir;
    const Samples old = c.loud ? Samples(c.old, 8000000) : staircase(c.old, -3000000, 7);
    const Samples take = c.loud ? Samples(c.n, 7900000) : staircase(c.n, 1000000, 3);
    const std::string destination = dir.wave("song.wav", old);
    const std::string source = dir.wave("take.wav", take);
    const auto used = std::min<std::ptrdiff_t>(c.count, static_cast<std::ptrdiff_t>(c.n));
    EXPECT_EQ(printedBy([&] {
                const RewriteResult result =
                    INSERT_FILE({destination, source, static_cast<Position>(c.p), c.count,
                                 static_cast<std::int64_t>(c.fade)});
                EXPECT_TRUE(result.ok()) << result.message();
              }),
              c.printed);
    const Samples expected =
        used == 0 ? old : inserted(old, Samples(take.begin(), take.begin() + used), c.p, c.fade);
    EXPECT_TRUE(readBytes(destination) == wavFile(expected))
        << c.old << " " << c.p << " " << c.n << " " << c.fade;
    EXPECT_EQ(readBytes(source), wavFile(take));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav"}));
  }

  // A stop request seen after the first piece plays the journal back.
  TakeDir dir;
  const std::string destination = dir.wave("song.wav", staircase(20000));
  const std::string take = dir.wave("take.wav", staircase(20000, 5000));
  requestStop(SIGINT);
  const RewriteResult stopped = INSERT_FILE({destination, take, 15000, 20000});
  clearStopRequest();
  EXPECT_EQ(stopped.outcome(), RewriteOutcome::kFailed);
  EXPECT_EQ(stopped.message(), "The insert into " + destination +
                                   " was stopped before it was finished. " + destination +
                                   " is as it was before the insert.");
  EXPECT_EQ(readBytes(destination), wavFile(staircase(20000)));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song.wav", "take.wav"}));
}

TEST(PadFile, ThreeZeroBytesPerSampleBeforeTheFirstSample) {
  TakeDir dir;
  // 1024 and 1025 samples: one whole 3072-byte piece, and one more sample.
  for (const std::size_t frames : {1000u, 1025u, 1024u, 1u, 0u, 4000000u}) {
    const std::string take = dir.wave("take.wav", staircase(300));
    ASSERT_TRUE(PAD_FILE(take, static_cast<std::int64_t>(frames)).ok()) << frames;
    EXPECT_TRUE(readBytes(take) == wavFile(testing::silence(frames) + staircase(300))) << frames;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"take.wav"}) << frames;
  }
  // 12 MB of silence are a hole, where the file system makes holes.
  struct stat info {};
  ASSERT_EQ(::stat(dir.file("take.wav").c_str(), &info), 0);
  const std::string probe = dir.file("probe");
  testing::writeBytes(probe, "");
  struct stat sparse {};
  if (::truncate(probe.c_str(), 1 << 20) == 0 && ::stat(probe.c_str(), &sparse) == 0 &&
      sparse.st_blocks * 512 < (1 << 20)) {
    EXPECT_LT(info.st_blocks * 512, 256 * 1024);
  }
  fs::remove(probe);

  // Chunks before the data are kept, a planned header is repaired, and the
  // new file keeps the old permissions.
  std::string bytes = wavFile(staircase(10));
  bytes.insert(36, std::string("LIST\x06\0\0\0abcdef", 14));
  bytes.replace(54, 4, std::string("\xb8\x0b\0\0", 4));  // 3000 bytes planned
  const std::string take = dir.file("take.wav");
  testing::writeBytes(take, bytes);
  ::chmod(take.c_str(), 0640);
  ASSERT_TRUE(PAD_FILE(take, 2).ok());
  const std::string after = readBytes(take);
  EXPECT_EQ(after.substr(8, 46), bytes.substr(8, 46));
  EXPECT_EQ(testing::field32(after, 54), 36u);
  EXPECT_EQ(after.substr(58), std::string(6, '\0') + bytes.substr(58));
  ASSERT_EQ(::stat(take.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(TakeFaults, OriginalsStayAsTheyWereAndTheSentenceSaysWhy) {
  TakeDir dir;
  const std::string song = dir.wave("song.wav", staircase(100));
  const std::string broken = dir.file("broken.wav");  // no data chunk
  testing::writeBytes(broken, wavFile(staircase(20)).substr(0, 36));
  EXPECT_EQ(PAD_FILE(broken, 10).message(), "Can't find data block in wave file!");
  EXPECT_EQ(INSERT_FILE({broken, song, 0, 50}).outcome(), RewriteOutcome::kNoDataChunk);
  EXPECT_EQ(INSERT_FILE({song, broken, 0, 50}).outcome(), RewriteOutcome::kNoDataChunk);
  // A file that carries the scratch file's name is not written over.
  const std::string padNamed = dir.wave("temp_pad.wav", staircase(7));
  EXPECT_EQ(PAD_FILE(padNamed, 2).message(), "Could not rewrite " + padNamed +
                                                 ": its scratch file " + padNamed +
                                                 " is one of the files being read.");
  // The scratch file goes beside the take, not into the working directory.
  fs::create_directory(dir.file("sub"));
  const std::string inSub = dir.wave("sub/take.wav", staircase(5));
  ASSERT_TRUE(PAD_FILE(inSub, 1).ok());  // temp_pad.wav here does not matter
  fs::create_directory(dir.file("sub/temp_pad.wav"));
  EXPECT_EQ(PAD_FILE(inSub, 3).message(),
            "Could not create " + dir.file("sub/temp_pad.wav") + ": Is a directory.");
  EXPECT_EQ(readBytes(inSub), wavFile({0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(readBytes(padNamed), wavFile(staircase(7)));
  EXPECT_EQ(readBytes(song), wavFile(staircase(100)));
  EXPECT_EQ(readBytes(broken), wavFile(staircase(20)).substr(0, 36));
  EXPECT_EQ(dir.entries(),
            (std::vector<std::string>{"broken.wav", "song.wav", "sub", "temp_pad.wav"}));
}

TEST(FileNames, BasesCutAtTheFirstDotOfTheFileName) {
  for (const auto& [name, base] : {std::pair{"song.v2.wav", "song"},
                                   {"..hidden.take.wav", "hidden"},
                                   {"noext", "noext"},
                                   {"mix.v1/song.v2.wav", "mix.v1/song"},
                                   {"./song.wav", "./song"}})
    EXPECT_EQ(baseName(name), base) << name;
  EXPECT_EQ(withoutStamp("x_stp/audio_ch_3_1.wav"), "x_stp/audio_ch_3_1.wav");

  const std::array<std::int32_t, 3> flags{1, 0, 1};
  EXPECT_EQ(Hybridize({"p1.wav\np2.wav\n", "t1.wav\n-\nt3.wav\n", flags, 3}),
            "t1.wav\np2.wav\nt3.wav\n");
  EXPECT_EQ(Hybridize({"p1.wav\n\n-\n", "t1.wav\n", flags, 4}), "t1.wav\n-\n-\n-\n");
  EXPECT_EQ(Hybridize({"p1.wav", "t1.wav", flags, 0}), "");
}

TEST(MoveFile, CopiesAcrossFileSystems) {
  TakeDir dir;
  TakeDir shared("/dev/shm");
  const std::string to = shared.wave("song.wav", {1});
  ASSERT_TRUE(moveFile(dir.wave("take.wav", staircase(5000)), to).ok());
  EXPECT_EQ(readBytes(to), wavFile(staircase(5000)));
  EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
}  // namespace varnow
