#include "app/settings_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/print.hpp"

namespace varnow {
namespace {

namespace fs = std::filesystem;

// Parses `text` into default settings; `output` receives what was printed.
ProjectSettings parsed(std::string_view text, std::string* output = nullptr) {
  ProjectSettings settings;
  testing::internal::CaptureStdout();
  ParseSettingsText(text, settings);
  std::fflush(stdout);
  const std::string printed = testing::internal::GetCapturedStdout();
  if (output != nullptr) *output = printed;
  return settings;
}

ProjectSettings reloaded(const ProjectSettings& settings) {
  return parsed(SettingsText(settings));
}

// The lines of `text` that begin with `prefix`, joined.
std::string linesStartingWith(const std::string& text, const std::string& prefix) {
  std::string lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start + 1);
    if (line.rfind(prefix, 0) == 0) lines += line;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

TEST(SettingsFileReader, PlainKeysAndTheirRules) {
  ProjectSettings s = parsed(
      "dv\thw:CARD=USB,DEV=0\nsr\t48000\ninputs\t4\noutputs\t6\nch\t8\nbuf\t256\n"
      "i\t48000\no\t-96000\ne\t+1200abc\nmem\t77\nodcomp\t2\nmeter\t-48\nsig\t7\nsafe\t1\n"
      "nudge\t0.5\nproll\t1.25\nxfade\t12.5\ntempo\t98.5\naud\t2.5\n");
  EXPECT_EQ(s.device.str(), "hw:CARD=USB,DEV=0");
  EXPECT_EQ(s.sampleRate, 48000u);
  EXPECT_EQ(s.inputs, 4);
  EXPECT_EQ(s.outputs, 6);
  EXPECT_EQ(s.tracks, 8);
  EXPECT_EQ(s.bufferFrames, 256);
  EXPECT_EQ(s.inPoint, 48000);
  EXPECT_EQ(s.outPoint, -96000);
  EXPECT_EQ(s.punchPoint, 1200);  // anything after the digits is ignored
  EXPECT_EQ(s.memoryPoint, 77);
  EXPECT_EQ(s.odcomp, 2);
  EXPECT_EQ(s.meterRange, -48);
  EXPECT_EQ(s.beatsPerMeasure, 7);
  EXPECT_EQ(s.safeMode, 1);
  EXPECT_EQ(s.nudge, 0.5f);
  EXPECT_EQ(s.preroll, 1.25f);
  EXPECT_EQ(s.crossfade, 12.5f);
  EXPECT_EQ(s.tempo, 98.5f);
  EXPECT_EQ(s.auditionLength, 2.5f);

  // Non-numbers read as 0; the device keeps at most 63 characters.
  s = parsed("buf\tlots\ntempo\tfast\ndv\t" + std::string(70, 'd') + "\n");
  EXPECT_EQ(s.bufferFrames, 0);
  EXPECT_EQ(s.tempo, 0.0f);
  EXPECT_EQ(s.device.str(), std::string(63, 'd'));

  // clock: only the whole words "hc" and "sc" change it.
  EXPECT_EQ(parsed("clock\tuc\n").clockMode, 1);
  EXPECT_EQ(parsed("clock\tfast\n").clockMode, 1);
  EXPECT_EQ(parsed("clock\thc\n").clockMode, 0);
  EXPECT_EQ(parsed("clock\tsc\n").clockMode, 2);
  EXPECT_EQ(parsed("clock\tsc \n").clockMode, 1);
  EXPECT_EQ(parsed("clock\thc\nclock\tuc\n").clockMode, 0);
  // peak: only "np" changes it.
  EXPECT_EQ(parsed("peak\tcp\n").peakMode, 1);
  EXPECT_EQ(parsed("peak\tnp\n").peakMode, 0);
  // int: only a value that reads as 0 changes it.
  EXPECT_EQ(parsed("int\t1\n").interfaceMode, 1);
  EXPECT_EQ(parsed("int\t5\n").interfaceMode, 1);
  EXPECT_EQ(parsed("int\t0\n").interfaceMode, 0);
  EXPECT_EQ(parsed("int\tminimal\n").interfaceMode, 0);
  // mix: 1..3 as read, anything else 0.
  EXPECT_EQ(parsed("mix\t7\n").mixMode, 0);
  EXPECT_EQ(parsed("mix\t3\n").mixMode, 3);
  EXPECT_EQ(parsed("mix\t-1\n").mixMode, 0);
  // tmode: 0 and 1 as read, anything else 0.
  EXPECT_EQ(parsed("tmode\t1\n").timeMode, 1);
  EXPECT_EQ(parsed("tmode\t2\n").timeMode, 0);
  EXPECT_EQ(parsed("tmode\t-1\n").timeMode, 0);
  // aud: negative lengths become 0.
  EXPECT_EQ(parsed("aud\t-1\n").auditionLength, 0.0f);

  // Integers beyond a field's range saturate; numbers that are not finite or
  // do not fit a float read as 0.
  s = parsed("sr\t-5\nch\t99999999999\ni\t99999999999999999999\ntempo\tnan\nnudge\t1e39\n");
  EXPECT_EQ(s.sampleRate, 0u);
  EXPECT_EQ(s.tracks, 2147483647);
  EXPECT_EQ(s.inPoint, INT64_MAX);
  EXPECT_EQ(s.tempo, 0.0f);
  EXPECT_EQ(s.nudge, 0.0f);
}

TEST(SettingsFileReader, WordsHeadingsAndIncompleteLines) {
  // Heading words and unknown words are skipped; a key may follow them on
  // the same line; a space separates a key as well as a tab does.
  ProjectSettings s =
      parsed("\nVolume Settings:\nch 4\nsomething sig\t5\n  \tmeter\t-20\nSR\t96000\nsrate\t1\n");
  EXPECT_EQ(s.tracks, 4);
  EXPECT_EQ(s.beatsPerMeasure, 5);
  EXPECT_EQ(s.meterRange, -20);
  EXPECT_EQ(s.sampleRate, 44100u);  // keys are compared whole and case-sensitively

  // A key at the end of its line has no value and never takes the next line.
  s = parsed("sr\n48000\nch\nsig\t3\nbuf\t\ndv\t\nmeter");
  EXPECT_EQ(s.sampleRate, 44100u);
  EXPECT_EQ(s.tracks, -1);
  EXPECT_EQ(s.beatsPerMeasure, 3);
  EXPECT_EQ(s.bufferFrames, 1024);
  EXPECT_EQ(s.device.str(), "default");
  EXPECT_EQ(s.meterRange, -30);

  // Indexed lines that lack a number field are ignored.
  std::string printed;
  s = parsed(
      "ch\t8\nv\t3\nv\t3\t\np\t2\nrange\t5\nrange\t\t9\tname\nloc\t\tname\nplay\t2\n"
      "busvl\t3\nbusvl\t3\t\nbus\t2\nv\t4\t-3\n",
      &printed);
  EXPECT_EQ(s.volumes[2], 0.0f);
  EXPECT_EQ(s.pans[1], 0.0f);
  EXPECT_EQ(s.rangeIn[0], 0);
  EXPECT_EQ(s.rangeNames[0].str(), "(name)");
  EXPECT_EQ(s.locateTimes[0], 0);
  EXPECT_TRUE(s.playLists[2].empty());
  EXPECT_EQ(s.busLevels[2], 0.0f);
  EXPECT_EQ(s.busOn[1], 0);
  EXPECT_EQ(s.volumes[3], -3.0f);  // the line after them is read
  EXPECT_EQ(printed, "");

  // Lines ending in CR LF read the same as lines ending in LF.
  s = parsed(
      "dv\thw:2\r\nch\t2\r\nclock\tsc\r\npeak\tnp\r\nv\t1\t-6.5\r\nplay\t1\tmy.txt\r\n"
      "range\t10\t20\tverse\r\nloc\t30\tintro\r\nbus\t1\t1,2,\r\n");
  EXPECT_EQ(s.device.str(), "hw:2");
  EXPECT_EQ(s.clockMode, 2);
  EXPECT_EQ(s.peakMode, 0);
  EXPECT_EQ(s.volumes[0], -6.5f);
  EXPECT_EQ(s.playLists[1].str(), "my.txt");
  EXPECT_EQ(s.rangeNames[0].str(), "verse");
  EXPECT_EQ(s.locateNames[0].str(), "intro");
  EXPECT_EQ(s.busMatrix[0][1], 1);
}

TEST(SettingsFileReader, TrackLinesFollowTheTrackCountReadSoFar) {
  ProjectSettings s = parsed("v\t3\t-6\nch\t8\nv\t3\t-6\np\t3\t-40\nsolo\t3\nv\t9\t-1\n");
  EXPECT_EQ(s.volumes[2], -6.0f);
  EXPECT_EQ(s.pans[2], -40.0f);
  EXPECT_EQ(s.solo[2], 1);
  EXPECT_EQ(s.volumes[8], 0.0f);  // track 9 of 8

  s = parsed("v\t3\t-6\np\t3\t10\nsolo\t3\n");  // before any ch line: tracks is -1
  EXPECT_EQ(s.volumes[2], 0.0f);
  EXPECT_EQ(s.pans[2], 0.0f);
  EXPECT_EQ(s.solo[2], 0);

  s = parsed("ch\t300\nv\t280\t-6\nv\t256\t-2\nv\t0\t-9\nsolo\t257\nsolo\t256\n");
  EXPECT_EQ(s.volumes[255], -2.0f);
  EXPECT_EQ(s.solo[255], 1);
  for (std::size_t k = 0; k < 255; ++k)
    EXPECT_EQ(s.volumes[k], 0.0f) << k;
}

TEST(SettingsFileReader, RangesAndLocatePointsFillSlotsInFileOrder) {
  // 70 range lines: the first 64 fill slots 1..64 in file order, the rest
  // are ignored.
  std::string text;
  for (int n = 1; n <= 70; ++n) {
    text += formatText("range\t%i\t%i\tpart %i\n", n * 100, n * 100 + 50, n);
    text += formatText("loc\t%i\tmark %i\n", n * 10, n);
  }
  ProjectSettings s = parsed(text);
  for (std::size_t slot = 0; slot < 64; ++slot) {
    const auto n = static_cast<Position>(slot + 1);
    EXPECT_EQ(s.rangeIn[slot], n * 100) << slot;
    EXPECT_EQ(s.rangeOut[slot], n * 100 + 50) << slot;
    EXPECT_EQ(s.rangeNames[slot].str(), "part " + std::to_string(n)) << slot;
    EXPECT_EQ(s.locateTimes[slot], n * 10) << slot;
    EXPECT_EQ(s.locateNames[slot].str(), "mark " + std::to_string(n)) << slot;
  }

  // A range saved at slot 5 with slots 1..4 empty comes back as range 1.
  ProjectSettings saved;
  saved.rangeIn[4] = 1000;
  saved.rangeOut[4] = 2000;
  saved.rangeNames[4] = "chorus";
  saved.locateTimes[9] = 500;
  saved.locateNames[9] = "drop";
  s = reloaded(saved);
  EXPECT_EQ(s.rangeIn[0], 1000);
  EXPECT_EQ(s.rangeOut[0], 2000);
  EXPECT_EQ(s.rangeNames[0].str(), "chorus");
  EXPECT_EQ(s.rangeIn[4], 0);
  EXPECT_EQ(s.locateTimes[0], 500);
  EXPECT_EQ(s.locateNames[0].str(), "drop");

  // A missing or empty range name gives "range<slot>" and a message; a long
  // one keeps 63 characters; names may hold spaces and tabs.
  std::string printed;
  s = parsed("range\t1\t2\nrange\t3\t4\t\nrange\t5\t6\t" + std::string(80, 'n') +
                 "\nrange\t7\t8\ta b\tc\n",
             &printed);
  EXPECT_EQ(s.rangeNames[0].str(), "range1");
  EXPECT_EQ(s.rangeNames[1].str(), "range2");
  EXPECT_EQ(s.rangeNames[2].str(), std::string(63, 'n'));
  EXPECT_EQ(s.rangeNames[3].str(), "a b\tc");
  EXPECT_EQ(printed,
            "Error parsing time ranges in param.txt file!\n"
            "Error parsing time ranges in param.txt file!\n");

  // A locate line without a name keeps the slot's name.
  s = parsed("loc\t500\nloc\t600\t\nloc\t700\tverse\n");
  EXPECT_EQ(s.locateTimes[0], 500);
  EXPECT_EQ(s.locateNames[0].str(), "(name)");
  EXPECT_EQ(s.locateNames[1].str(), "(name)");
  EXPECT_EQ(s.locateNames[2].str(), "verse");

  // A locate point at 0 is not written (0 marks an empty slot).
  ProjectSettings atZero;
  atZero.locateNames[0] = "start";
  atZero.locateTimes[1] = 40;
  const std::string written = SettingsText(atZero);
  EXPECT_EQ(linesStartingWith(written, "loc"), "loc\t40\t(name)\n");
  EXPECT_EQ(reloaded(atZero).locateNames[0].str(), "(name)");
}

TEST(SettingsFileReader, ListFileEntries) {
  const std::string longName(140, 'f');
  ProjectSettings s = parsed(
      "play\t129\tfar.txt\nplay\t0\tzero.txt\nplay\t1\tsongs.txt\nplay\t128\tlast list.txt\n"
      "play\t3\t\nrec\t2\t" +
      longName + "\nrec\t1\ttakes.txt\n");
  EXPECT_EQ(s.playLists.current().str(), "songs.txt");
  EXPECT_EQ(s.playLists[128].str(), "last list.txt");
  EXPECT_TRUE(s.playLists[3].empty());
  for (int entry = 2; entry < 128; ++entry)
    EXPECT_TRUE(s.playLists[entry].empty()) << entry;
  EXPECT_EQ(s.recordLists.current().str(), "takes.txt");
  EXPECT_EQ(s.recordLists[2].str(), std::string(127, 'f'));

  // An empty name never clears an entry.
  EXPECT_EQ(parsed("play\t1\t\n").playLists.current().str(), "play.txt");
}

TEST(SettingsFileReader, BusLinesAndBusLevels) {
  ProjectSettings s = parsed("bus\t2\t3,0,300,4,\nbus\t65\t1,2,\nbus\t0\t1,\nbus\t5\t\n");
  EXPECT_EQ(s.busOn[1], 1);
  EXPECT_EQ(s.busMatrix[1][2], 1);
  EXPECT_EQ(s.busMatrix[1][3], 1);
  int channelsOn = 0;
  for (const auto& row : s.busMatrix) {
    for (const std::int32_t on : row)
      channelsOn += on;
  }
  EXPECT_EQ(channelsOn, 2);
  for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
    if (bus != 1) {
      EXPECT_EQ(s.busOn[bus], 0) << bus;
    }
  }

  // A long channel list is read whole; a later line for the same bus
  // replaces the earlier list.
  std::string all;
  for (int channel = 256; channel >= 1; --channel)
    all += formatText("%i,", channel);
  s = parsed("bus\t64\t" + all + "\nbus\t3\t1,\nbus\t3\t2,\n");
  for (std::size_t channel = 0; channel < kMaxChannels; ++channel) {
    EXPECT_EQ(s.busMatrix[63][channel], 1) << channel;
  }
  EXPECT_EQ(s.busMatrix[2][0], 0);
  EXPECT_EQ(s.busMatrix[2][1], 1);

  // A bus that is on without a channel is saved as an empty list and comes
  // back off.
  ProjectSettings empty;
  empty.busOn[6] = 1;
  const std::string text = SettingsText(empty);
  EXPECT_EQ(linesStartingWith(text, "bus\t"), "bus\t7\t\n");
  EXPECT_EQ(parsed(text).busOn[6], 0);

  // Bus levels: 1..64 read; only non-zero levels are written.
  s = parsed("busvl\t1\t-3.5\nbusvl\t64\t2\nbusvl\t65\t-1\nbusvl\t0\t-1\n");
  EXPECT_EQ(s.busLevels[0], -3.5f);
  EXPECT_EQ(s.busLevels[63], 2.0f);
  EXPECT_EQ(linesStartingWith(SettingsText(s), "busvl"), "busvl\t1\t-3.50\nbusvl\t64\t2.00\n");
}

TEST(SettingsFileReader, PositionsKeepAllSixtyFourBits) {
  ProjectSettings s;
  s.inPoint = 48000;
  s.outPoint = 3000000000;  // beyond 2^31 frames: about 17 hours at 48 kHz
  s.punchPoint = -5;
  s.memoryPoint = 9000000000000;
  s.rangeIn[0] = 2147483648;
  s.rangeOut[0] = 4294967296;
  s.locateTimes[0] = -2147483649;
  const std::string text = SettingsText(s);
  EXPECT_EQ(linesStartingWith(text, "i\t"), "i\t48000\n");
  EXPECT_EQ(linesStartingWith(text, "o\t"), "o\t3000000000\n");
  EXPECT_EQ(linesStartingWith(text, "range"), "range\t2147483648\t4294967296\t(name)\n");
  EXPECT_EQ(reloaded(s), s);
}

// Golden bytes of a complete file for a small configuration.
TEST(SettingsFileWriter, CompleteFileBytes) {
  ProjectSettings s;
  s.device = "hw:1";
  s.sampleRate = 48000;
  s.inputs = 2;
  s.outputs = 2;
  s.tracks = 3;
  s.bufferFrames = 512;
  s.interfaceMode = 0;
  s.clockMode = kClockStreamed;
  s.peakMode = 0;
  s.inPoint = 48000;
  s.outPoint = 96000;
  s.punchPoint = 72000;
  s.preroll = 1.5f;
  s.crossfade = 10.0f;
  s.mixMode = 2;
  s.timeMode = 1;
  s.beatsPerMeasure = 3;
  s.safeMode = 1;
  s.volumes[0] = -6.0f;
  s.volumes[2] = 1.5f;
  s.volumes[3] = -9.0f;  // beyond `tracks`: not written
  s.pans[0] = -100.0f;
  s.pans[2] = 49.6f;
  s.solo[1] = 1;
  s.rangeIn[2] = 48000;
  s.rangeOut[2] = 96000;
  s.rangeNames[2] = "verse";
  s.locateTimes[1] = 24000;
  s.locateNames[1] = "intro";
  s.playLists[3] = "mix2.txt";
  s.busOn[0] = 1;
  s.busMatrix[0][0] = 1;
  s.busMatrix[0][1] = 1;
  s.busOn[1] = 1;
  s.busLevels[0] = -3.5f;
  s.busGains[0] = 0.5f;  // not saved

  EXPECT_EQ(SettingsText(s),
            "dv\thw:1\n"
            "sr\t48000\n"
            "inputs\t2\n"
            "outputs\t2\n"
            "ch\t3\n"
            "buf\t512\n"
            "int\t0\n"
            "clock\tsc\n"
            "peak\tnp\n"
            "i\t48000\n"
            "o\t96000\n"
            "e\t72000\n"
            "nudge\t0.2500\n"
            "proll\t1.500\n"
            "aud\t3.00\n"
            "xfade\t10.0\n"
            "mem\t0\n"
            "odcomp\t4\n"
            "mix\t2\n"
            "meter\t-30\n"
            "tmode\t1\n"
            "tempo\t120.00\n"
            "sig\t3\n"
            "safe\t1\n"
            "\n"
            "Volume Settings:\n"
            "v\t1\t-6.00\n"
            "v\t2\t0.00\n"
            "v\t3\t1.50\n"
            "\n"
            "Pan Settings:\n"
            "p\t1\t-100\n"
            "p\t2\t0\n"
            "p\t3\t50\n"
            "\n"
            "Solo Settings:\n"
            "solo\t2\n"
            "\n"
            "Time Ranges:\n"
            "range\t48000\t96000\tverse\n"
            "\n"
            "Locate Points:\n"
            "loc\t24000\tintro\n"
            "\n"
            "Playlist Files:\n"
            "play\t1\tplay.txt\n"
            "play\t3\tmix2.txt\n"
            "\n"
            "Recordlist Files:\n"
            "rec\t1\trecord.txt\n"
            "\n"
            "Bus Assignments:\n"
            "bus\t1\t1,2,\n"
            "bus\t2\t\n"
            "\n"
            "Bus Volumes (dB):\n"
            "busvl\t1\t-3.50\n");

  EXPECT_EQ(FirstSettingsText(s),
            "dv\thw:1\nsr\t48000\ninputs\t2\noutputs\t2\nch\t3\nbuf\t512\nint\t0\n");

  // With no tracks the three track headings stand empty.
  ProjectSettings none;
  none.tracks = 0;
  const std::string text = SettingsText(none);
  EXPECT_NE(text.find("\nVolume Settings:\n\nPan Settings:\n\nSolo Settings:\n\nTime Ranges:\n"),
            std::string::npos);
}

TEST(SettingsFileWriter, SaveAndRestartReproducesTheSettings) {
  ProjectSettings s;
  s.device = "plughw:CARD=Interface,DEV=0";
  s.sampleRate = 96000;
  s.inputs = 256;
  s.outputs = 64;
  s.tracks = 256;
  s.bufferFrames = 128;
  s.interfaceMode = 0;
  s.clockMode = kClockHidden;
  s.peakMode = 0;
  s.inPoint = 2147483647LL * 3;
  s.outPoint = 2147483647LL * 4;
  s.punchPoint = -1;
  s.memoryPoint = 123456789012;
  s.odcomp = -3;
  s.nudge = 0.125f;
  s.preroll = 2.5f;
  s.auditionLength = 7.75f;
  s.crossfade = 20.5f;
  s.mixMode = 3;
  s.meterRange = 0;
  s.timeMode = 1;
  s.tempo = 133.25f;
  s.beatsPerMeasure = 5;
  s.safeMode = 1;
  for (std::size_t k = 0; k < kMaxChannels; ++k) {
    s.volumes[k] = -0.25f * static_cast<float>(k);
    s.pans[k] = static_cast<float>(static_cast<int>(k % 201) - 100);
    s.solo[k] = k % 3 == 0 ? 1 : 0;
    s.busMatrix[0][k] = 1;  // bus 1 holds all 256 channels
    s.busMatrix[9][k] = k % 2 == 0 ? 1 : 0;
  }
  for (std::size_t slot = 0; slot < kMaxRanges; ++slot) {
    const auto n = static_cast<Position>(slot);
    s.rangeIn[slot] = n * 3000000000;
    s.rangeOut[slot] = n * 3000000000 + 1;
    s.rangeNames[slot] = formatText("part\t%i of the song", static_cast<int>(slot));
    s.locateTimes[slot] = -n - 1;
    s.locateNames[slot] = formatText("point %i", static_cast<int>(slot));
  }
  s.rangeNames[63] = std::string(63, 'r');
  for (int entry = ListFileTable::kFirst; entry <= ListFileTable::kLast; ++entry) {
    s.playLists[entry] = formatText("play list %i.txt", entry);
  }
  s.playLists[128] = std::string(127, 'p');
  s.recordLists[1] = "rec dir/takes.txt";
  s.recordLists[77] = "other.txt";
  s.busOn[0] = 1;
  s.busOn[9] = 1;
  s.busOn[20] = 1;  // on without channels
  s.busLevels[0] = -1.5f;
  s.busLevels[20] = 6.0f;
  s.busGains[0] = 0.25f;

  ProjectSettings expected = s;
  expected.busOn[20] = 0;       // a bus without channels comes back off
  expected.busGains[0] = 1.0f;  // gains are computed from levels, not saved

  const std::string text = SettingsText(s);
  const ProjectSettings back = parsed(text);
  EXPECT_EQ(back, expected);
  EXPECT_EQ(SettingsText(back), SettingsText(expected));
}

// Runs the writers inside a scratch directory, the current directory of the
// test while it lives.
class SettingsFileInDirectory : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "varnow-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    fs::current_path(directory_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  static std::string content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  fs::path previous_;
  fs::path directory_;
};

TEST_F(SettingsFileInDirectory, WritersReplaceParamTxtAndReport) {
  ProjectSettings s;
  s.tracks = 2;
  s.inputs = 2;
  s.outputs = 2;

  testing::internal::CaptureStdout();
  const Status created = MAKE_PARAM_FILE(s);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Created param.txt file\n");
  ASSERT_TRUE(created.ok());
  EXPECT_EQ(content("param.txt"),
            "dv\tdefault\nsr\t44100\ninputs\t2\noutputs\t2\nch\t2\nbuf\t1024\nint\t1\n");

  s.volumes[1] = -12.0f;
  testing::internal::CaptureStdout();
  const Status stored = Store_Settings(s);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nStored Settings\n");
  ASSERT_TRUE(stored.ok());
  EXPECT_EQ(content("param.txt"), SettingsText(s));
  EXPECT_FALSE(fs::exists("param.txt.new"));

  // Start-up reads it back through the open stream, which it closes.
  std::FILE* file = std::fopen("param.txt", "r");
  ASSERT_NE(file, nullptr);
  ProjectSettings loaded;
  GET_PARAMS(loaded, file);
  EXPECT_EQ(loaded, s);

  // A save that cannot be written says so and leaves the old file.
  fs::create_directory("param.txt.new");
  s.volumes[1] = 0.0f;
  testing::internal::CaptureStdout();
  const Status failed = Store_Settings(s);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Could not create param.txt.new: Is a directory.\n");
  EXPECT_FALSE(failed.ok());
  ProjectSettings unchanged;
  file = std::fopen("param.txt", "r");
  ASSERT_NE(file, nullptr);
  GET_PARAMS(unchanged, file);
  EXPECT_EQ(unchanged.volumes[1], -12.0f);

  testing::internal::CaptureStdout();
  const Status notCreated = MAKE_PARAM_FILE(s);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Could not create param.txt.new: Is a directory.\n");
  EXPECT_FALSE(notCreated.ok());
}

}  // namespace
}  // namespace varnow
