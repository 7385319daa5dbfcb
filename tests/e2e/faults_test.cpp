// Injected I/O failures (support/fault_injector.cpp): each is reported in a
// sentence naming the file and the reason, nothing is reported as done, and
// the user's files are as they were.
#include <map>
#include <memory>
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
  // a line as soon as the disk thread has met it, after the clock, and the
  // pass ends at the next period; with periods of 1024 that is period 19 of
  // 'r' at the earliest (capture starts after 12, block k is complete 4k - 1
  // later). This card runs as fast as it is read, so the pass may have gone
  // on further by then. Input 2 keeps every frame read.
  for (const auto& [rule, command, period, kept] :
       {std::tuple{"fwrite:*/audio_ch_1_*:3:ENOSPC", "r", "1024", 8192},
        {"fwrite:*/audio_ch_1_*:3:ENOSPC", "r", "1000", 9000},
        {"fwrite:*/audio_ch_*:5-6:ENOSPC", "R", "1024", 4096}}) {
    ProjectFixture p("int\t0\nmeter\t0\no\t96000\nbuf\t" + std::string(period) + "\n", "",
                     "a.wav\nb.wav\n");
    p.writeCapture(rampCapture(110000, {1000000, 2000000}));  // the whole take
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
    const std::size_t read = wavSamples(p.readFile(take2)).size();
    EXPECT_GE(read, static_cast<std::size_t>(kept));
    EXPECT_TRUE(p.holds(take2, staircase(kept == 4096 ? 4096 : read, 2000000)));
    EXPECT_TRUE(kept != 8192 || p.playback().size() >= 19u * 1024 * 6);
  }
  // The repair of the header fails too: said after the take's own line.
  ProjectFixture p("int\t0\nmeter\t0\no\t96000\n", "", "a.wav\n");
  p.writeCapture(rampCapture(30000, {1000000, 2000000}));
  p.injectFaults("fwrite:*/audio_ch_1_*:3:ENOSPC;fwrite:*/audio_ch_1_*:4:EIO");
  const std::string shown = p.console("R");
  EXPECT_TRUE(has(shown, "It holds 4096 samples.\nCould not write " +
                             p.stamped("audio_ch_1_", ".wav") + ": Input/output error.\n"));
  EXPECT_TRUE(has(p.firedFaults(), " #4 EIO\n"));
}

TEST(Faults, AnExportThatFailsLeavesThePreviousMixAndNoScratchFile) {
  // Failed reads and writes end the export with a sentence naming the file
  // and the reason; interrupted and short reads are resumed and change no
  // byte of the mix.
  const std::vector<std::tuple<std::string, std::string, std::string>> faults{
      {"exp-i", "pread:*/vox.wav:1:EIO", "Could not read vox.wav: Input/output error."},
      {"exp-s", "pread:*/vox.wav:1:EDQUOT", "Could not read vox.wav: Disk quota exceeded."},
      {"exp-i", "pread:*/vox.wav:1:short", ""},
      {"exp-s", "pread:*/vox.wav:1-3:EINTR", ""},
      {"exp-i", "open:*/temp_mix.wav:1:EACCES",
       "Could not create temp_mix.wav: Permission denied."},
      {"exp-i", "ftruncate:*/temp_mix.wav:1:EIO", "Could not create temp_mix.wav: Input/output"},
      {"exp-i", "fwrite:*/temp_mix.wav:2:ENOSPC", "Could not write temp_mix.wav: No space left"},
      {"exp-s", "fwrite:*/temp_mix_R.wav:3:short", "Could not write temp_mix_R.wav: No space left"},
      {"exp-i", "fflush:*/temp_mix.wav:2:EDQUOT", "Could not write temp_mix.wav: Disk quota"},
      {"exp-s", "fclose:*/temp_mix_L.wav:2:EIO", "Could not close temp_mix_L.wav: Input/output"},
      {"exp-i", "rename:*/temp_mix.wav:1:EIO",
       "Could not rename temp_mix.wav to mix.wav: Input/output error."},
      {"exp-s", "rename:*/temp_mix_L.wav:1:ENOSPC",
       "Could not rename temp_mix_L.wav to mix_L.wav: No space left on device."},
  };
  const std::string old = wavFile(staircase(100, 7));
  const auto project = [&old] {
    auto p = std::make_unique<ProjectFixture>("int\t0\nmeter\t0\no\t20000\n", "vox.wav\n");
    p->writeWave("vox.wav", staircase(30000, -4000000, 300));
    for (const char* name : {"mix.wav", "mix_L.wav", "mix_R.wav"})
      p->writeFile(name, old);
    return p;
  };
  std::map<std::string, std::string> clean;  // each export's files, made without a fault
  for (const std::string command : {"exp-i", "exp-s"}) {
    const auto p = project();
    p->console(command + " mix c x");
    for (const char* name : {"mix.wav", "mix_L.wav", "mix_R.wav"})
      clean[command + name] = p->readFile(name);
  }
  for (const auto& [command, rule, message] : faults) {
    SCOPED_TRACE(rule);
    const auto p = project();
    p->injectFaults(rule);
    const std::string shown = p->console(command + " mix c x");
    EXPECT_NE(p->firedFaults(), "");
    EXPECT_TRUE(message.empty() || has(shown, message));
    EXPECT_EQ(shown.find("Output Peaks:") != std::string::npos, message.empty());
    for (const char* name : {"mix.wav", "mix_L.wav", "mix_R.wav"}) {
      // A split export whose second rename fails has its left file in place.
      const bool replaced = message.empty() || (rule.find("_R") != std::string::npos &&
                                                rule.starts_with("rename") && name[4] == 'L');
      EXPECT_TRUE(p->readFile(name) == (replaced ? clean[command + name] : old)) << name;
    }
    EXPECT_EQ(p->files(),
              ProjectFixture::withListFiles({"mix.wav", "mix_L.wav", "mix_R.wav", "vox.wav"}));
  }
}

}  // namespace
}  // namespace varnow::testing
