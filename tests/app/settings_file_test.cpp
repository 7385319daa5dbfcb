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

TEST(SettingsFileReader, EveryLineChangesOnlyWhatItNames) {
  const std::string rangeError = "Error parsing time ranges in param.txt file!\n";
  const struct {
    std::string text;
    std::function<void(P&)> change;
    std::string printed = "";
  } cases[] = {
      // Signs are read, anything after the digits ignored; integers beyond
      // a field saturate; numbers that do not fit a float read as 0.
      {"o\t-96000\ne\t+1200abc\nbuf\tlots\n",
       [](P& s) { s.outPoint = -96000, s.punchPoint = 1200, s.bufferFrames = 0; }},
      {"ch\t99999999999\ni\t99999999999999999999\nnudge\t1e39\n",
       [](P& s) { s.tracks = 2147483647, s.inPoint = INT64_MAX, s.nudge = 0.0f; }},
      {"dv\t" + std::string(70, 'd') + "\n", [](P& s) { s.device = std::string(63, 'd'); }},
      // Whole words only: "hc", "sc", "np"; int 0; mix 1..3; tmode 0 and 1.
      {"clock\tsc\npeak\tnp\nint\t0\nmix\t3\ntmode\t1\n",
       [](P& s) {
         s.clockMode = 2, s.peakMode = 0, s.interfaceMode = 0, s.mixMode = 3, s.timeMode = 1;
       }},
      {"clock\thc\nclock\tuc\n", [](P& s) { s.clockMode = 0; }},
      {"clock\tsc \nclock\tfast\npeak\tcp\nint\t5\nmix\t7\ntmode\t2\n", [](P&) {}},
      {"int\tminimal\nmix\t-1\ntmode\t-1\naud\t-1\n",
       [](P& s) { s.interfaceMode = 0, s.mixMode = 0, s.timeMode = 0, s.auditionLength = 0.0f; }},
      // Tempo outside 1..400 is 120, beats outside 1..128 are 4, a rate below 1 is 44100.
      {"tempo\t0\nsig\t0\nsr\t0\ntempo\t400.5\nsig\t129\ntempo\tnan\nsr\t-5\n", [](P&) {}},
      {"tempo\t1\nsig\t128\nsr\t1\n",
       [](P& s) { s.tempo = 1.0f, s.beatsPerMeasure = 128, s.sampleRate = 1; }},
      // Headings and unknown words are skipped; keys are whole and
      // case-sensitive; a key at the end of its line has no value.
      {"\nVolume Settings:\nch 4\nsomething sig\t5\n  \tmeter\t-20\nSR\t96000\nsrate\t1\n",
       [](P& s) { s.tracks = 4, s.beatsPerMeasure = 5, s.meterRange = -20; }},
      {"sr\n48000\nch\nsig\t3\nbuf\t\ndv\t\nmeter", [](P& s) { s.beatsPerMeasure = 3; }},
      // Indexed lines without their number are ignored; track lines follow
      // the track count read so far.
      {"ch\t8\nv\t3\nv\t3\t\np\t2\nrange\t5\nloc\t\tname\nplay\t2\nbusvl\t3\t\nbus\t2\nv\t4\t-3\n",
       [](P& s) { s.tracks = 8, s.volumes[3] = -3.0f; }},
      {"v\t3\t-6\nsolo\t3\nch\t8\nv\t3\t-6\np\t3\t-40\nsolo\t3\nv\t9\t-1\n",
       [](P& s) { s.tracks = 8, s.volumes[2] = -6.0f, s.pans[2] = -40.0f, s.solo[2] = 1; }},
      {"ch\t300\nv\t280\t-6\nv\t256\t-2\nv\t0\t-9\nsolo\t257\nsolo\t256\n",
       [](P& s) { s.tracks = 300, s.volumes[255] = -2.0f, s.solo[255] = 1; }},
      // CR LF reads as LF.
      {"dv\thw:2\r\nch\t2\r\nv\t1\t-6.5\r\nplay\t1\tmy."
       "txt\r\nrange\t10\t20\tverse\r\nloc\t30\tintro\r\nbus\t1\t1,2,\r\n",
       [](P& s) {
         s.device = "hw:2", s.tracks = 2, s.volumes[0] = -6.5f, s.playLists[1] = "my.txt";
         s.rangeIn[0] = 10, s.rangeOut[0] = 20, s.rangeNames[0] = "verse";
         s.locateTimes[0] = 30, s.locateNames[0] = "intro";
         s.busOn[0] = s.busMatrix[0][0] = s.busMatrix[0][1] = 1;
       }},
      // Range names: missing or empty give "range<slot>" and a message, long
      // ones keep 63 characters; a locate without a name keeps the slot's.
      {"range\t1\t2\nrange\t3\t4\t\nrange\t5\t6\t" + std::string(80, 'n') + "\nloc\t7\n",
       [](P& s) {
         s.rangeIn = {1, 3, 5}, s.rangeOut = {2, 4, 6}, s.locateTimes[0] = 7;
         s.rangeNames[0] = "range1", s.rangeNames[1] = "range2",
         s.rangeNames[2] = std::string(63, 'n');
       },
       rangeError + rangeError},
      // List entries 1..128, names of at most 127 bytes; an empty name never clears.
      {"play\t129\tfar.txt\nplay\t0\tzero.txt\nplay\t128\tlast list.txt\nplay\t1\t\nrec\t2\t" +
           std::string(140, 'f') + "\n",
       [](P& s) { s.playLists[128] = "last list.txt", s.recordLists[2] = std::string(127, 'f'); }},
      // Bus lines: 1..64 and channels 1..256; a later line replaces the list.
      {"bus\t2\t3,0,300,4,\nbus\t65\t1,2,\nbus\t0\t1,\nbus\t5\t\nbus\t3\t1,\nbus\t3\t2,\n",
       [](P& s) {
         s.busOn[1] = s.busMatrix[1][2] = s.busMatrix[1][3] = s.busOn[2] = s.busMatrix[2][1] = 1;
       }},
      {"busvl\t1\t-3.5\nbusvl\t64\t2\nbusvl\t65\t-1\nbusvl\t0\t-1\nbusvl\t2\t-200\nbusvl\t3\t16\n",
       [](P& s) {
         s.busLevels[0] = -3.5f, s.busLevels[63] = 2.0f, s.busLevels[1] = -144.0f,
         s.busLevels[2] = 15.0f;
       }},
  };
  for (const auto& c : cases) {
    ProjectSettings expected;
    c.change(expected);
    std::string printed;
    EXPECT_EQ(parsed(c.text, &printed), expected) << c.text;
    EXPECT_EQ(printed, c.printed) << c.text;
  }
}

// Extremes a save must bring back: every channel, bus and slot, positions
// beyond 32 bits, names with tabs; what is not saved comes back as computed.
TEST(SettingsFileWriter, SaveAndRestartReproducesTheSettings) {
  ProjectSettings s;
  s.device = "plughw:CARD=Interface,DEV=0";
  s.inputs = s.tracks = 256;
  s.clockMode = kClockHidden, s.inPoint = 2147483647LL * 3, s.punchPoint = -1;
  s.memoryPoint = 123456789012, s.odcomp = -3, s.auditionLength = 7.75f, s.crossfade = 20.5f;
  s.mixMode = 3, s.tempo = 133.25f;
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

}  // namespace
}  // namespace varnow
