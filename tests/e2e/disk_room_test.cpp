// Room on the disk: the free-space listing, the warning before a take that
// will not fit, and a take menu that still works on a disk too full for the
// undo record. The small disks are tmpfs mounts (root only; skipped elsewhere).
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <map>
#include <regex>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

const std::string kPrompt = "Recording finished.  Enter a take handling command.\n";

// A file system of `size` (as mount takes it: "64k", "2m") mounted on `dir`
// for the life of the object; the regular files that stood there are
// written into it again.
class SmallDisk {
 public:
  SmallDisk(const std::filesystem::path& dir, const std::string& size) : dir_(dir) {
    std::map<std::string, std::string> kept;
    for (const std::string& name : namesIn(dir, true))
      kept[name] = readBytes(dir / name);
    const std::string options = "size=" + size;
    mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    for (const auto& [name, bytes] : kept)
      writeBytes(dir / name, bytes);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  std::uint64_t freeBytes() const {
    struct statvfs space {};
    if (::statvfs(dir_.c_str(), &space) != 0) return 0;
    return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
  }

 private:
  std::filesystem::path dir_;
  bool mounted_ = false;
};

// The listing's figures, cut down (never rounded up) as the program does.
std::string tenths(std::uint64_t tenthsCount, const std::string& unit) {
  return std::to_string(tenthsCount / 10) + "." + std::to_string(tenthsCount % 10) + unit;
}
std::string sized(std::uint64_t bytes) {
  if (bytes >= 1000000000) return tenths(bytes / 100000000, " GB");
  if (bytes >= 1000000) return tenths(bytes / 100000, " MB");
  return tenths(bytes / 100, " kB");
}
std::string lasting(std::uint64_t bytes, std::uint64_t inputs) {
  const std::uint64_t bytesPerSecond = 3 * 48000 * inputs, seconds = bytes / bytesPerSecond;
  const auto twoDigits = [](std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  if (seconds >= 3600)
    return std::to_string(seconds / 3600) + " h " + twoDigits(seconds % 3600 / 60) + " min";
  if (seconds >= 60) return std::to_string(seconds / 60) + " min " + twoDigits(seconds % 60) + " s";
  return tenths(bytes * 10 / bytesPerSecond, " s");
}
std::string roomLine(const std::string& dir, std::uint64_t bytes, std::uint64_t inputs) {
  return dir + ": " + sized(bytes) + " free, room for " + lasting(bytes, inputs) +
         " of recording at " + std::to_string(inputs) + (inputs == 1 ? " input" : " inputs") +
         " and 48000 Hz.\n";
}

TEST(DiskRoom, TheListingShowsEveryFileSystemTheRecordListWritesTo) {
  // Takes are recorded in the project, so it counts every armed input; the
  // other disks count the inputs whose destination they hold.
  ProjectFixture p("", "", "vox.wav\n-\nusb/bass.wav\nmem/keys.wav\nusb/gtr.wav\n", 5);
  SmallDisk project(p.dir(), "64k");
  if (!project.mounted()) GTEST_SKIP() << "mounting a small file system needs root";
  std::filesystem::create_directory(p.dir() / "usb");
  std::filesystem::create_directory(p.dir() / "mem");
  SmallDisk usb(p.dir() / "usb", "3g"), mem(p.dir() / "mem", "80m");
  const std::uint64_t here = project.freeBytes();
  EXPECT_TRUE(has(p.console("df x"), roomLine(".", here, 4) + roomLine("usb", usb.freeBytes(), 2) +
                                         roomLine("mem", mem.freeBytes(), 1)));
  // Nothing armed: said, and the free space alone.
  p.writeFile("record.txt", "-\n");
  EXPECT_TRUE(has(p.console("df x"),
                  "No input is armed: record.txt names no file for any input.\n"
                  ".: " +
                      sized(project.freeBytes()) + " free.\n"));
  EXPECT_EQ(p.files(), ProjectFixture::withListFiles({}));
}

TEST(DiskRoom, ATakeThatWillNotFitIsWarnedOfAndAFullDiskStillLetsItGo) {
  ProjectFixture p("int\t0\nclock\thc\nmeter\t0\ne\t0\no\t30720\n", "", "vox.wav\nbass.wav\n");
  p.writeCapture(rampCapture(40000, {1000, 2000}));
  SmallDisk disk(p.dir(), "64k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small file system needs root";
  const std::uint64_t before = disk.freeBytes();
  // The takes fill the disk; then neither 'rep' nor 'del' can record their
  // decision. 'rep' and a 'del' answered "n" bring the menu back; "y" lets
  // the take go for good.
  const std::string shown = p.console("R rep del n del y x");
  const std::regex warning(
      "Warning: \\. has [0-9]+\\.[0-9] kB free, room for 0\\.[0-9] s of recording at 2 inputs; "
      "the take is planned for 0\\.6 s\\.\nRecording\\.\\.\\.\n");
  EXPECT_TRUE(std::regex_search(shown, warning)) << shown;
  EXPECT_TRUE(has(shown, ": No space left on device."));
  const std::string noRecord =
      "Could not write the undo record .varnow-undo/record: No space left on device.\n";
  const std::string ask =
      "There is no room to keep the take for 'undo'. Delete it for good? (y/n)\n";
  EXPECT_TRUE(has(
      shown, kPrompt + noRecord + kPrompt + noRecord + ask + kPrompt + noRecord + ask + "Play:"));
  EXPECT_EQ(p.files(), ProjectFixture::withListFiles({}));
  EXPECT_GE(disk.freeBytes() + 8192, before);
}

}  // namespace
}  // namespace varnow::testing
