// An insert that a crash cut short: the next start finds the undo journal it
// left, restores the destination before anything else and says so; a
// journal whose checksum does not match is reported and never applied.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/audio_signals.hpp"
#include "support/project_fixture.hpp"
#include "takes/undo_journal.hpp"

namespace varnow::testing {
namespace {

// Journals an insert of 1000 samples from sample 1000 of vox.wav (2000
// samples, so it grows by 300 bytes) as the program does, then writes half
// of it: new bytes in the region, a longer file, a new data size.
void crashMidInsert(const ProjectFixture& project) {
  const std::string path = (project.dir() / "vox.wav").string();
  const std::int64_t oldBytes = static_cast<std::int64_t>(project.readFile("vox.wav").size());
  const SavedExtent saved[] = {{4, 4}, {40, 4}, {3044, oldBytes - 3044}};
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_TRUE(writeUndoJournal(path, fd, oldBytes, saved).ok());
  ::close(fd);
  std::string half = project.readFile("vox.wav");
  half.replace(3044, 1500, std::string(1500, '\x7f'));
  half.replace(40, 4, "\xff\xff\xff\xff");
  project.writeFile("vox.wav", half + std::string(300, '\x11'));
}

TEST(UndoJournal, TheNextStartRestoresTheDestinationFirst) {
  ProjectFixture project;
  project.writeParams("int\t0\nclock\thc\nmeter\t0\n");
  project.writeFile("play.txt", "");
  project.writeFile("record.txt", "vox.wav\n");
  const std::string old = wavFile(staircase(2000, -5000, 3));
  project.writeFile("vox.wav", old);
  crashMidInsert(project);
  RunResult result = project.run("x");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out.rfind("Restored vox.wav as it was before an insert that did not finish "
                             "(undo journal .vox.wav.varnow-journal).\n\nVarnow",
                             0),
            0u)
      << result.out;
  EXPECT_EQ(project.readFile("vox.wav"), old);
  EXPECT_EQ(project.files(),
            (std::vector<std::string>{"param.txt", "play.txt", "record.txt", "vox.wav"}));

  // One saved byte changed: reported at every start, and left alone.
  crashMidInsert(project);
  std::string journal = project.readFile(".vox.wav.varnow-journal");
  journal[200] = static_cast<char>(journal[200] ^ 1);
  project.writeFile(".vox.wav.varnow-journal", journal);
  const std::string half = project.readFile("vox.wav");
  for (int start = 0; start < 2; ++start) {
    result = project.run("x");
    EXPECT_EQ(result.out.rfind("The undo journal .vox.wav.varnow-journal does not match its "
                               "checksum; it was not applied and is left as it is.\n\nVarnow",
                               0),
              0u)
        << result.out;
    EXPECT_EQ(project.readFile("vox.wav"), half);
    EXPECT_EQ(project.readFile(".vox.wav.varnow-journal"), journal);
  }
}

}  // namespace
}  // namespace varnow::testing
