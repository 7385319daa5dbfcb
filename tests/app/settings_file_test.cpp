// The settings file's reader rules, and a save that reads back as it was.
#include "app/settings_file.hpp"

#include <functional>

#include "core/print.hpp"
#include "core/unit_fixture.hpp"

namespace varnow {
namespace {

using P = ProjectSettings;

ProjectSettings parsed(std::string_view text, std::string* printed = nullptr) {
  ProjectSettings s;
  const std::string out = testing::printedBy([&] { ParseSettingsText(text, s); });
  if (printed != nullptr) *printed = out;
  return s;
}

// Extremes a save must bring back: every channel, bus and slot, positions
// beyond 32 bits, names with tabs; what is not saved comes back as computed.
TEST(SettingsFileWriter, SaveAndRestartReproducesTheSettings) {
  ProjectSettings s;
  s.device = "plughw:CARD=Interface,DEV=0";
  s.inputs = s.tracks = 256;
  s.clockMode = kClockHidden, s.inPoint = 2147483647LL * 3, s.punchPoint = -1;
  s.memoryPoint = 123456789012, s.odcomp = -3, s.auditionLength = 7.75f, s.crossfade = 20.5f;
  s.mixMode = 3, s.tempo = 133.25f, s.undoBudget = 77;
  for (std::size_t k = 0; k < kMaxChannels; ++k) {
    s.volumes[k] = -0.25f * static_cast<float>(k);
    s.pans[k] = static_cast<float>(static_cast<int>(k % 201) - 100);
    s.solo[k] = k % 3 == 0 ? 1 : 0, s.busMatrix[0][k] = 1, s.busMatrix[9][k] = k % 2 == 0 ? 1 : 0;
  }
  for (std::size_t slot = 0; slot < kMaxRanges; ++slot) {
    const auto n = static_cast<Position>(slot);
    s.rangeIn[slot] = n * 3000000000, s.rangeOut[slot] = n * 3000000000 + 1;
    s.rangeNames[slot] = formatText("part\t%i of the song", static_cast<int>(slot));
    s.locateTimes[slot] = -n - 1;
    s.locateNames[slot] = formatText("point %i", static_cast<int>(slot));
  }
  for (int entry = ListFileTable::kFirst; entry <= ListFileTable::kLast; ++entry)
    s.playLists[entry] = formatText("play list %i.txt", entry);
  s.playLists[128] = std::string(127, 'p'), s.recordLists[77] = "rec dir/takes.txt";
  s.busOn[0] = s.busOn[9] = s.busOn[20] = 1;  // bus 21 has no channels
  s.busLevels[0] = -1.5f, s.busLevels[20] = 6.0f, s.busGains[0] = 0.25f;
  ProjectSettings expected = s;
  expected.busOn[20] = 0, expected.busGains[0] = 1.0f;
  EXPECT_EQ(parsed(SettingsText(s)), expected);
  // A project without tracks has no track lines.
  s.tracks = 0;
  EXPECT_NE(SettingsText(s).find("\nVolume Settings:\n\nPan Settings:\n\nSolo Settings:\n\n"),
            std::string::npos);
}

// The undo store's budget: the 25th plain line, after the safety mode; a
// value below 0 keeps nothing but the newest decision, a missing one 2 GB.
TEST(SettingsFileReader, TheUndoBudgetIsWholeMegabytesAndNeverBelowZero) {
  ProjectSettings s;
  EXPECT_NE(SettingsText(s).find("\nsafe\t0\nundobudget\t2048\n\nVolume Settings:\n"),
            std::string::npos);
  EXPECT_EQ(parsed("safe\t1\n").undoBudget, 2048);
  EXPECT_EQ(parsed("undobudget\t512 MB\n").undoBudget, 512);
  EXPECT_EQ(parsed("undobudget\t-5\n").undoBudget, 0);
  EXPECT_EQ(parsed("undobudget\tlots\n").undoBudget, 0);
}

}  // namespace
}  // namespace varnow
