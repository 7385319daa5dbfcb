// Injected I/O failures (support/fault_injector.cpp): each is reported in a
// sentence naming the file and the reason, nothing is reported as done, and
// the user's files are as they were.
#include <tuple>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

struct Fault {
  std::string rule;
  std::string message;
};

TEST(Faults, ASaveThatFailsLeavesTheSettingsAsTheyWere) {
  const std::vector<Fault> faults{
      {"open:*/param.txt.new:1:EACCES", "Could not create param.txt.new: Permission denied."},
      {"fwrite:*/param.txt.new:1:ENOSPC", "Could not write param.txt: No space left on device."},
      {"fwrite:*/param.txt.new:1:short", "Could not write param.txt: No space left on device."},
      {"fwrite:*/param.txt.new:1:EPERM", "Could not write param.txt: Operation not permitted."},
      {"fflush:*/param.txt.new:1:EDQUOT", "Could not write param.txt: Disk quota exceeded."},
      {"fsync:*/param.txt.new:1:EIO", "Could not write param.txt: Input/output error."},
      {"fclose:*/param.txt.new:1:EIO", "Could not write param.txt: Input/output error."},
      {"rename:*/param.txt:1:ENOSPC", "Could not replace param.txt: No space left on device."},
  };
  ProjectFixture p("int\t0\ni\t48000\n");
  const std::string before = p.readFile("param.txt");
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.rule);
    p.injectFaults(f.rule);
    const std::string shown = p.console("i0 s x");
    EXPECT_TRUE(has(shown, f.message + "\n"));
    EXPECT_FALSE(has(shown, kStored));
    EXPECT_NE(p.firedFaults(), "");
    EXPECT_EQ(p.readFile("param.txt"), before);
    EXPECT_EQ(p.files(), ProjectFixture::withListFiles({}));
  }
}

TEST(Faults, ATakeThatCannotBeWrittenEndsThePassAtOnceAndEveryTakeStaysTrue) {
  // Block 2 of input 1 (write 1 is its header), or of both, meets a full disk:
  // a line at once, after the clock, and the pass ends with the period that
  // completed it; with periods of 1024 that is period 19 of 'r' (capture
  // starts after 12, block k is complete 4k - 1 later). Input 2 keeps every
  // frame read.
  for (const auto& [rule, command, period, kept] :
       {std::tuple{"fwrite:*/audio_ch_1_*:3:ENOSPC", "r", "1024", 8192},
        {"fwrite:*/audio_ch_1_*:3:ENOSPC", "r", "1000", 9000},
        {"fwrite:*/audio_ch_*:5-6:ENOSPC", "R", "1024", 4096}}) {
    ProjectFixture p("int\t0\nmeter\t0\no\t96000\nbuf\t" + std::string(period) + "\n", "",
                     "a.wav\nb.wav\n");
    p.writeCapture(rampCapture(30000, {1000000, 2000000}));
    p.injectFaults(rule);
    const std::string shown = p.console(command);
    const std::string take1 = p.stamped("audio_ch_1_", ".wav");
    const std::string take2 = p.stamped("audio_ch_2_", ".wav");
    std::string now, after;
    for (const std::string& take : kept == 4096 ? Names{take1, take2} : Names{take1}) {
      now += "Could not write " + take + ": No space left on device.\n";
      after += "Could not write " + take + ": No space left on device. It holds 4096 samples.\n";
    }
    EXPECT_TRUE(has(p.firedFaults(), take1 + " #")) << rule;
    EXPECT_TRUE(has(shown, " sec\n" + now + "\n\n\nInput Channel Peaks:"));
    EXPECT_TRUE(has(shown, after + "Recording finished."));
    EXPECT_TRUE(p.holds(take1, staircase(4096, 1000000)));
    EXPECT_TRUE(p.holds(take2, staircase(static_cast<std::size_t>(kept), 2000000)));
    EXPECT_TRUE(kept != 8192 || p.playback().size() == 19u * 1024 * 6);
  }
}

}  // namespace
}  // namespace varnow::testing
