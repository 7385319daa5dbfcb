#include "app/settings_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/print.hpp"

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

// Every key reading into its field is shown by the save-and-restart round
// trip below; these are the reader's own rules.
TEST(SettingsFileReader, PlainKeysAndTheirRules) {
  // Signs are read; anything after the digits is ignored.
  ProjectSettings s = parsed("o\t-96000\ne\t+1200abc\n");
  EXPECT_EQ(s.outPoint, -96000);
  EXPECT_EQ(s.punchPoint, 1200);

  // Non-numbers read as 0; the device keeps at most 63 characters.
  s = parsed("buf\tlots\ndv\t" + std::string(70, 'd') + "\n");
  EXPECT_EQ(s.bufferFrames, 0);
  EXPECT_EQ(s.device.str(), std::string(63, 'd'));

  // clock: only the whole words "hc" and "sc" change it; peak: only "np";
  // int: only a value that reads as 0; mix: 1..3 as read, else 0; tmode: 0
  // and 1 as read, else 0.
  using P = ProjectSettings;
  const struct {
    const char* text;
    std::int32_t P::*field;
    std::int32_t value;
  } words[] = {
      {"clock\tuc\n", &P::clockMode, 1},  {"clock\tfast\n", &P::clockMode, 1},
      {"clock\thc\n", &P::clockMode, 0},  {"clock\tsc\n", &P::clockMode, 2},
      {"clock\tsc \n", &P::clockMode, 1}, {"clock\thc\nclock\tuc\n", &P::clockMode, 0},
      {"peak\tcp\n", &P::peakMode, 1},    {"peak\tnp\n", &P::peakMode, 0},
      {"int\t5\n", &P::interfaceMode, 1}, {"int\tminimal\n", &P::interfaceMode, 0},
      {"mix\t7\n", &P::mixMode, 0},       {"mix\t-1\n", &P::mixMode, 0},
      {"tmode\t2\n", &P::timeMode, 0},    {"tmode\t-1\n", &P::timeMode, 0},
  };
  for (const auto& word : words)
    EXPECT_EQ(parsed(word.text).*word.field, word.value) << word.text;
  // aud: negative lengths become 0.
  EXPECT_EQ(parsed("aud\t-1\n").auditionLength, 0.0f);

  // Integers beyond a field's range saturate; numbers that are not finite or
  // do not fit a float read as 0.
  s = parsed("ch\t99999999999\ni\t99999999999999999999\nnudge\t1e39\n");
  EXPECT_EQ(s.tracks, 2147483647);
  EXPECT_EQ(s.inPoint, INT64_MAX);
  EXPECT_EQ(s.nudge, 0.0f);

  // Values no display can show come in as the tempo menu has them: a tempo
  // outside 1..400 (or not a number) is 120, beats outside 1..128 are 4; a
  // rate below 1 is the built-in 44100.
  const struct {
    const char* text;
    float tempo;
    std::int32_t beats;
    std::uint32_t rate;
  } ranges[] = {{"tempo\t0\nsig\t0\nsr\t0\n", 120.0f, 4, 44100},
                {"tempo\t-90\nsig\t-3\nsr\t-5\n", 120.0f, 4, 44100},
                {"tempo\t400.5\nsig\t129\n", 120.0f, 4, 44100},
                {"tempo\tnan\n", 120.0f, 4, 44100},
                {"tempo\tfast\n", 120.0f, 4, 44100},
                {"tempo\t1\nsig\t128\nsr\t1\n", 1.0f, 128, 1},
                {"tempo\t400\nsig\t1\n", 400.0f, 1, 44100}};
  for (const auto& range : ranges) {
    s = parsed(range.text);
    EXPECT_EQ(s.tempo, range.tempo) << range.text;
    EXPECT_EQ(s.beatsPerMeasure, range.beats) << range.text;
    EXPECT_EQ(s.sampleRate, range.rate) << range.text;
  }
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

  // Bus levels: 1..64 read, beyond -144..15 dB as the nearer limit; only
  // non-zero levels are written.
  s = parsed(
      "busvl\t1\t-3.5\nbusvl\t64\t2\nbusvl\t65\t-1\nbusvl\t0\t-1\nbusvl\t2\t-200\nbusvl\t3\t16\n");
  EXPECT_EQ(s.busLevels[0], -3.5f);
  EXPECT_EQ(s.busLevels[63], 2.0f);
  EXPECT_EQ(s.busLevels[1], -144.0f);
  EXPECT_EQ(s.busLevels[2], 15.0f);
  s.busLevels[1] = s.busLevels[2] = 0.0f;
  EXPECT_EQ(linesStartingWith(SettingsText(s), "busvl"), "busvl\t1\t-3.50\nbusvl\t64\t2.00\n");
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
            "dv\thw:1\nsr\t48000\ninputs\t2\noutputs\t2\nch\t3\nbuf\t512\nint\t0\nclock\tsc\n"
            "peak\tnp\ni\t48000\no\t96000\ne\t72000\nnudge\t0.2500\nproll\t1.500\naud\t3.00\n"
            "xfade\t10.0\nmem\t0\nodcomp\t4\nmix\t2\nmeter\t-30\ntmode\t1\ntempo\t120.00\nsig\t3\n"
            "safe\t1\n\nVolume Settings:\nv\t1\t-6.00\nv\t2\t0.00\nv\t3\t1.50\n\nPan Settings:\n"
            "p\t1\t-100\np\t2\t0\np\t3\t50\n\nSolo Settings:\nsolo\t2\n\nTime Ranges:\n"
            "range\t48000\t96000\tverse\n\nLocate Points:\nloc\t24000\tintro\n\nPlaylist Files:\n"
            "play\t1\tplay.txt\nplay\t3\tmix2.txt\n\nRecordlist Files:\nrec\t1\trecord.txt\n\n"
            "Bus Assignments:\nbus\t1\t1,2,\nbus\t2\t\n\nBus Volumes (dB):\nbusvl\t1\t-3.50\n");

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
  EXPECT_EQ(parsed(text), expected);
  // Positions beyond 32 bits are written as plain signed decimals.
  EXPECT_NE(text.find("\ni\t6442450941\no\t8589934588\ne\t-1\n"), std::string::npos);
}

// Writing that succeeds is checked end to end (tests/e2e/startup_test.cpp and
// console_test.cpp); here both writers meet a scratch file that cannot be
// created.
TEST(SettingsFileWriter, WritersSayWhyTheyCouldNotWrite) {
  const fs::path previous = fs::current_path();
  std::string pattern = (fs::temp_directory_path() / "varnow-settings-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  fs::current_path(pattern);
  fs::create_directory("param.txt.new");
  ProjectSettings s;
  testing::internal::CaptureStdout();
  const Status stored = Store_Settings(s);
  const Status created = MAKE_PARAM_FILE(s);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Could not create param.txt.new: Is a directory.\n"
            "Could not create param.txt.new: Is a directory.\n");
  EXPECT_FALSE(stored.ok());
  EXPECT_FALSE(created.ok());
  EXPECT_FALSE(fs::exists("param.txt"));
  fs::current_path(previous);
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace varnow
