// The take files of a pass, and what a file that cannot be written leaves.
#include "engine/take_files.hpp"

#include <cerrno>

#include "core/unit_fixture.hpp"

namespace varnow {
namespace {

namespace fs = std::filesystem;
using testing::printedBy;
using Armed = std::array<std::int32_t, kMaxChannels>;

Armed armedInputs(std::initializer_list<int> channels) {
  Armed armed{};
  for (const int channel : channels)
    armed[static_cast<std::size_t>(channel)] = 1;
  return armed;
}

// A scratch directory that is the working directory while it lives.
struct InScratch {
  testing::TakeDir dir;
  fs::path previous = fs::current_path();
  InScratch() { fs::current_path(dir.file("")); }
  ~InScratch() { fs::current_path(previous); }
};

TEST(TakeFiles, AFileThatCannotBeMadeOrWrittenIsReportedAndTheRestGoesOn) {
  InScratch scratch;
  TakeRequest request{3, {"nodir/vox.wav", "bass.wav", "gtr.wav"}, 0, 3 * 4096};
  std::string takeName = "t";
  Armed armed = armedInputs({0, 1, 2});
  TakeFiles take;
  EXPECT_EQ(printedBy([&] { take.create(request, armed, takeName); }),
            "Could not create nodir/vox_t.wav: No such file or directory.\n");
  EXPECT_EQ(armed, armedInputs({1, 2}));
  fs::remove("gtr_t.wav");
  EXPECT_EQ(printedBy([&] { take.open(armed); }),
            "Cannot find file in track list called gtr_t.wav!!\n"
            "Can't open gtr_t.wav for recording\n");
  EXPECT_EQ(armed, armedInputs({1}));
  EXPECT_EQ(take.takeList(), "-\nbass_t.wav\n-\n");

  // The disk fills up after 33 samples and one byte of the next block.
  const std::string samples = testing::packSamples(testing::staircase(3 * 4096));
  const auto* packed = reinterpret_cast<const std::int8_t*>(samples.data());
  EXPECT_TRUE(take.write(1, packed, 4096));
  {
    const testing::FileSizeLimit full(44 + 3 * 4096 + 100);
    EXPECT_FALSE(take.write(1, packed + 3 * 4096, 4096));
  }
  EXPECT_FALSE(take.write(1, packed + 6 * 4096, 4096));  // stays stopped
  EXPECT_EQ(take.writeError(1), EFBIG);
  EXPECT_EQ(printedBy([&] { take.close(armed, 3 * 4096); }),
            "Could not write bass_t.wav: File too large. It holds 4129 samples.\n");
  EXPECT_EQ(testing::readBytes("bass_t.wav"), testing::wavFile(testing::staircase(4129)));
  EXPECT_EQ(take.channelFlags(), armedInputs({1}));  // what was written belongs to the take
  // The next take starts a list of its own.
  takeName = "u";
  Armed again = armedInputs({1});
  printedBy([&] { take.create(request, again, takeName); });
  EXPECT_EQ(take.takeList(), "-\nbass_u.wav\n-\n");
  printedBy([&] { take.close(again, 0); });
}

}  // namespace
}  // namespace varnow
