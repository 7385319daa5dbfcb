// Injected I/O failures (support/fault_injector.cpp): each is reported in a
// sentence naming the file and the reason, nothing is reported as done, and
// the user's files are as they were.
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

}  // namespace
}  // namespace varnow::testing
