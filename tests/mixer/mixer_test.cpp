// Gain and pan laws to the bit, bus tables, mix kernels, the mixer's edits.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <random>

#include "core/unit_fixture.hpp"
#include "mixer/channel_mixer.hpp"
#include "mixer/mix_reference.hpp"
#include "mixer/mix_stages.hpp"
#include "mixer/mixer_console.hpp"
#include "mixer/track_read_ahead.hpp"
#include "wave/sample_codec.hpp"

namespace varnow {
namespace {

constexpr float kCentre = 0.70794576f;  // 10^(-3/20)
constexpr float kBusUnity = 1.0f / 256.0f;

float volumeGain(float volume) {
  return static_cast<float>(std::pow(10.0, static_cast<double>(volume) / 20.0) * 256.0);
}
float risingSide(float pan) {  // linear in dB from -3 dB at the centre
  return static_cast<float>(static_cast<double>(kCentre) *
                            std::pow(10.0, static_cast<double>(pan * 3.0f / 100.0f) / 20.0));
}

TEST(GainLaw, PansVolumesClampsAndBusGains) {
  std::array<float, kMaxChannels> pans{};
  std::array<float, kMaxChannels> volumes{};
  PlayFlags flags{};
  ChannelGains gains;
  gains.left.fill(-1.0f);
  const float set[][2] = {{0, 0},  {0, 100},  {-6, 37}, {3.5f, -63},
                          {13, 0}, {-200, 0}, {0, 150}, {0, -150}};
  for (std::size_t k = 0; k < 8; ++k) {
    volumes[k] = set[k][0];
    pans[k] = set[k][1];
    flags[k] = k == 5 ? 0 : 1;  // channel 6 does not play: clamped, gains untouched
  }
  volumes[8] = 99.0f;  // beyond the channel count: neither clamped nor told
  EXPECT_EQ(testing::printedBy([&] { SetVolume(pans, volumes, gains, 8, flags); }),
            "Volume of channel 5 is too high.\nIt has been reset to 12 dB, the maximum.\n"
            "Volume of channel 6 is too low.\nIt has been reset to -144 dB, the minimum.\n"
            "Pan of channel 7 is too extreme.\nIt has been reset to 100, fully right\n"
            "Pan of channel 8 is too extreme.\nIt has been reset to -100, fully left\n");
  EXPECT_EQ(gains.left[0], 256.0f * kCentre);
  EXPECT_EQ(gains.right[0], 256.0f * kCentre);
  EXPECT_EQ(gains.left[1], 0.0f);
  EXPECT_EQ(gains.right[1], 256.0f * risingSide(100.0f));
  // The falling side is linear in amplitude, the rising side linear in dB.
  EXPECT_EQ(gains.left[2], volumeGain(-6.0f) * ((100.0f - 37.0f) * kCentre / 100.0f));
  EXPECT_EQ(gains.right[2], volumeGain(-6.0f) * risingSide(37.0f));
  EXPECT_EQ(gains.left[3], volumeGain(3.5f) * risingSide(63.0f));
  EXPECT_EQ(gains.right[3], volumeGain(3.5f) * (kCentre * (-63.0f + 100.0f) / 100.0f));
  EXPECT_EQ(gains.left[5], -1.0f);
  EXPECT_EQ(gains.left[7], 256.0f * risingSide(100.0f));
  EXPECT_EQ(gains.right[7], 0.0f);
  EXPECT_EQ(std::vector({volumes[4], volumes[5], pans[6], volumes[8]}),
            std::vector({12.0f, -144.0f, 100.0f, 99.0f}));
  EXPECT_EQ(testing::printedBy([&] { SetVolume(pans, volumes, gains, 8, flags); }), "");

  BusGains busGains;
  busGains.fill(1.0f);
  EXPECT_EQ(SetBusVolume(busGains, 0.0f, 0), 1);
  EXPECT_EQ(SetBusVolume(busGains, 15.0f, 63), 1);
  EXPECT_EQ(SetBusVolume(busGains, -144.0f, 5), 1);
  for (const auto& [level, bus] : {std::pair{-200.0f, 0}, {15.5f, 0}, {0.0f, 64}, {0.0f, -1}})
    EXPECT_EQ(SetBusVolume(busGains, level, bus), 0) << level << " " << bus;
  EXPECT_EQ(busGains[0], kBusUnity);
  EXPECT_EQ(busGains[63], static_cast<float>(std::pow(10.0, 0.75)) / 256.0f);
  std::array<float, kMaxBusses> levels{};
  levels[1] = -6.0f;
  levels[2] = 20.0f;  // out of range: kept
  initialBusGains(levels, busGains);
  EXPECT_EQ(busGains[1], static_cast<float>(std::pow(10.0, -0.3)) * kBusUnity);
  EXPECT_EQ(busGains[2], 1.0f);
}

TEST(BusTable, FlagsFollowTheirChannelsAndCountsAreBounded) {
  BusMatrix matrix{};
  BusFlags on{};
  on[0] = on[1] = on[5] = 1;
  matrix[2][7] = matrix[63][255] = 1;
  UpdateBusses(matrix, on);  // bus 1 is never recounted
  EXPECT_EQ(std::vector<int>({on[0], on[1], on[2], on[5], on[63]}),
            std::vector<int>({1, 0, 1, 0, 1}));
  BusFlags off{};
  matrix[0][0] = 1;
  UpdateBusses(matrix, off);
  EXPECT_EQ(off[0], 0);

  const int counts[][5] = {{2, 8, 32, 0, 4},   {2, 9, 32, 0, 4},     {3, 8, 32, 0, 16},
                           {3, 8, 3, 0, 1},    {2, 256, 256, 0, 64}, {3, 2, 256, 0, 64},
                           {2, 130, 2, 0, 64}, {1, 256, 256, 7, 7},  {0, 256, 256, 100, 64},
                           {2, -1, 0, 0, 0}};
  for (const auto& c : counts)
    EXPECT_EQ(busCountFor(c[0], c[1], c[2], c[3]), c[4]) << c[0] << " " << c[1] << " " << c[2];
}

constexpr std::size_t kFrames = kBlockFrames;
using Block = std::vector<std::int64_t>;

Block stairs(std::int32_t first, std::int32_t step) {
  const testing::Samples samples = testing::staircase(kFrames, first, step);
  return Block(samples.begin(), samples.end());
}

// Blocks of `channels` channels and the tables a test fills in.
struct Mixer {
  std::vector<std::int8_t> bytes;
  PlayFlags flags{};
  ChannelGains gains{};
  BusGains busGains{};
  BusFlags busOn{};
  BusMatrix matrix{};
  MixerScratch scratch;
  MixInputs inputs;
  BusPeakTable left{};
  BusPeakTable right{};

  explicit Mixer(int channels) : bytes(static_cast<std::size_t>(channels) * kBlockBytes) {
    busGains.fill(kBusUnity);
    inputs = {channels, &flags, &gains, &busGains, &busOn, &matrix};
  }
  void set(int channel, const Block& samples) {
    NUM24MONO_TO_CHAR(samples.data(), bytes.data() + channel * kBlockBytes);
  }
  Block get(int channel) const {
    Block samples(kFrames);
    CHAR_TO_NUM32(bytes.data() + channel * kBlockBytes, samples.data(), 3);
    return samples;
  }
  void play(int channel, float l, float r) {
    flags[static_cast<std::size_t>(channel)] = 1;
    gains.left[static_cast<std::size_t>(channel)] = l;
    gains.right[static_cast<std::size_t>(channel)] = r;
  }
  void mix(int mode) {
    if (mode == 1)
      Mix(bytes.data(), inputs, left[0], right[0], scratch);
    else
      MixMultiple(bytes.data(), inputs, left, right, mode, scratch);
  }
  auto result() const { return std::tie(bytes, left, right); }
  // The reference kernels on the tables of `inputs`.
  void mixByReference(const MixInputs& tables, int mode) {
    if (mode == 1)
      referenceMix(bytes.data(), tables, left[0], right[0]);
    else
      referenceMixMultiple(bytes.data(), tables, left, right, mode);
  }
};

TEST(Mix, IntegerGainsTruncateTowardZeroAndSilentChannelsStayAsRead) {
  Mixer one(3);
  const Block up = stairs(1, 1);
  const Block down = stairs(-1, -3);
  one.set(0, up);
  one.set(1, down);
  one.set(2, stairs(77, 5));
  one.play(0, 181.23f, 181.23f);
  one.play(1, 57.9f, 103.2f);
  one.left[0] = 123456;  // a peak from an earlier block only rises
  one.mix(1);
  for (std::size_t i = 0; i < kFrames; ++i) {
    ASSERT_EQ(one.get(0)[i], (181 * up[i] + 57 * down[i]) / 256) << i;
    ASSERT_EQ(one.get(1)[i], (181 * up[i] + 103 * down[i]) / 256) << i;
  }
  EXPECT_EQ(one.left[0], 123456);
  EXPECT_EQ(one.right[0], (181 * up[4095] + 103 * down[4095]) / -256);
  EXPECT_EQ(one.get(2), stairs(77, 5));
}

TEST(Mix, OversSaturateButPeaksKeepTheirSize) {
  for (const int mode : {1, 2, 3}) {
    for (const std::int64_t full : {8388607LL, -8388608LL}) {
      Mixer mixer(2);
      mixer.set(0, Block(kFrames, full));
      mixer.inputs.busCount = 1;
      mixer.play(0, 1019.0f, 256.0f);  // +12 dB on the left, 0 dB on the right
      mixer.matrix[0][0] = mixer.busOn[0] = 1;
      mixer.mix(mode);
      EXPECT_EQ(mixer.get(0), Block(kFrames, full)) << mode;
      EXPECT_EQ(mixer.get(1), Block(kFrames, full)) << mode;
      EXPECT_EQ(mixer.left[0],
                std::abs(static_cast<std::int64_t>(static_cast<float>(full * 1019) * kBusUnity)))
          << mode;
      EXPECT_EQ(mixer.right[0], std::abs(full)) << mode;
    }
  }
}

TEST(Mix, FastKernelsEqualTheReferenceOnRandomBlocks) {
  std::mt19937_64 random(20240611);
  for (int round = 0; round < 24; ++round) {
    const int channels = 2 + static_cast<int>(random() % 40);
    Mixer mixer(channels);
    for (auto& byte : mixer.bytes)
      byte = static_cast<std::int8_t>(random());
    std::array<float, kMaxChannels> volumes{};
    std::array<float, kMaxChannels> pans{};
    for (std::size_t k = 0; k < static_cast<std::size_t>(channels); ++k) {
      mixer.flags[k] = random() % 5 == 0 ? 0 : 1;
      volumes[k] = static_cast<float>(static_cast<int>(random() % 157) - 144) / 1.5f;
      pans[k] = static_cast<float>(static_cast<int>(random() % 201) - 100);
      for (std::size_t bus = 0; bus < kMaxBusses; ++bus)
        mixer.matrix[bus][k] = random() % 6 == 0 ? 1 : 0;
    }
    SetVolume(pans, volumes, mixer.gains, channels, mixer.flags);
    std::array<float, kMaxBusses> levels{};
    for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
      levels[bus] = static_cast<float>(static_cast<int>(random() % 40) - 30);
      mixer.busOn[bus] = random() % 4 == 0 ? 0 : 1;
    }
    mixer.busGains.fill(1.0f);
    initialBusGains(levels, mixer.busGains);
    const int mode = 1 + round % 3;
    mixer.inputs.busCount = busCountFor(mode, channels, channels, 0);
    Mixer reference = mixer;
    mixer.left[0] = reference.left[0] = 1000;  // peaks carried over from earlier blocks
    for (int step = 0; step < 2; ++step) {
      mixer.mix(mode);
      reference.mixByReference(mixer.inputs, mode);
      ASSERT_EQ(mixer.result(), reference.result()) << "round " << round << " mode " << mode;
    }
  }
}

// Each stage set against the reference: samples at full scale of both signs,
// integer gains up to the limit, bus gains that drive the master past 2^51
// (where the AVX2 emit hands over to the portable one), overs held, and the
// channels read from blocks outside the buffer.
TEST(MixStages, EachSetEqualsTheReferenceAtEveryGainAndOver) {
  const float gains[] = {0.0f, 0.99f, -0.99f, 1.0f, 181.23f, -57.9f, 1019.0f, 4096.0f, -4096.0f};
  const float busGains[] = {kBusUnity, 1.0f, 0.5f, 3e-5f, 0.0f};
  const MixStageSet original = mixStageSet();
  for (const MixStageSet set : {MixStageSet::kPortable, MixStageSet::kAvx2}) {
    if (!useMixStageSet(set)) continue;  // no AVX2 here: the portable set alone
    std::mt19937_64 random(99);
    for (int round = 0; round < 12; ++round) {
      const bool loudest = round % 6 == 5;  // every sample -2^23, every gain at the limit
      const int channels = loudest ? 32 : 2 + static_cast<int>(random() % 31);
      Mixer mixer(channels);
      std::vector<std::int8_t> elsewhere(mixer.bytes.size());
      for (std::size_t i = 0; i < elsewhere.size(); ++i) {
        const bool loud = i % 3 == 2 && random() % 4 == 0;  // a high byte of 0x7F or 0x80
        elsewhere[i] = static_cast<std::int8_t>(loud ? 0x7F + random() % 2 : random());
        if (loudest) elsewhere[i] = static_cast<std::int8_t>(i % 3 == 2 ? 0x80 : 0);
      }
      std::array<const std::int8_t*, kMaxChannels> pointers{};
      for (int k = 0; k < channels; ++k) {
        const auto slot = static_cast<std::size_t>(k);
        pointers[slot] = elsewhere.data() + k * kBlockBytes;
        if (random() % 6 != 0) mixer.play(k, gains[random() % 9], gains[random() % 9]);
        if (loudest) mixer.play(k, 4096.0f, -4096.0f);
        for (auto& bus : mixer.matrix)
          bus[slot] = loudest || random() % 3 == 0 ? 1 : 0;
      }
      for (std::size_t bus = 0; bus < kMaxBusses; ++bus) {
        mixer.busOn[bus] = random() % 4 == 0 ? 0 : 1;
        mixer.busGains[bus] = loudest ? 1.0f : busGains[random() % 5];
      }
      const int mode = 1 + round % 3;
      mixer.inputs.busCount = busCountFor(mode, channels, channels, 0);
      if (round % 2 == 0) mixer.bytes.assign(elsewhere.begin(), elsewhere.end());
      if (round % 2 == 1) mixer.inputs.channelBlocks = &pointers;
      Mixer reference = mixer;
      mixer.mix(mode);
      reference.mixByReference(mixer.inputs, mode);
      ASSERT_EQ(mixer.result(), reference.result()) << "round " << round << " mode " << mode;
    }
  }
  useMixStageSet(original);
}

// A staircase track of 3.5 blocks read two blocks at a time from an in point
// that is no block boundary: every block as a read of its own would give it.
TEST(TrackReadAhead, BlocksAcrossPiecesThenSilenceAndFailuresAtTheBlockThatNeedsThem) {
  testing::TakeDir dir;
  const std::int64_t frames = 3 * kBlockFrames + 2048;
  const testing::Samples track = testing::staircase(frames, -7000, 3);
  const std::string path = dir.wave("t.wav", track);
  using testing::operator+;
  const testing::Samples played = track + testing::silence(3 * kBlockFrames);  // then silence
  const WaveAttributes attributes{1, 44, 48000, frames, 3, 24};
  const int descriptor = ::open(path.c_str(), O_RDONLY);
  TrackReadAhead reader(descriptor, "t.wav", attributes, 2);
  for (std::int64_t p = 1000; p < 6 * kBlockFrames; p += kBlockFrames) {
    const std::int8_t* block = nullptr;
    ASSERT_TRUE(reader.block(p, block)) << p;
    Block got(kFrames);
    CHAR_TO_NUM32(block, got.data(), kBytesPerSample);
    ASSERT_EQ(got, Block(played.begin() + p, played.begin() + p + kBlockFrames)) << p;
  }

  // The file loses its last block after its length was taken.
  ASSERT_EQ(::truncate(path.c_str(), 44 + 3 * (frames - kBlockFrames)), 0);
  TrackReadAhead cut(descriptor, "t.wav", attributes, 4);
  const std::int8_t* block = nullptr;
  EXPECT_TRUE(cut.block(0, block) && cut.block(kBlockFrames, block));
  EXPECT_EQ(cut.block(2 * kBlockFrames, block).message(),
            "Could not read t.wav: the file ended before its samples did.");
  ::close(descriptor);

  const int directory = ::open(dir.file("").c_str(), O_RDONLY);
  TrackReadAhead unreadable(directory, "d.wav", attributes, 16);
  EXPECT_EQ(unreadable.block(0, block).message(), "Could not read d.wav: Is a directory.");
  ::close(directory);
}

TEST(MixerConsole, EditsStoreWhatIsTypedAndExclusionsChangeNothing) {
  ProjectSettings s;
  s.tracks = 4;
  const auto handled = [&s](const char* word) {
    bool mine = false;
    EXPECT_EQ(testing::printedBy([&] { mine = handleMixerToken(s, word); }), "") << word;
    return mine;
  };
  const struct {
    const char* word;
    float* field;
    float stored;
  } edits[] = {
      {"4v+2.5", &s.volumes[3], 2.5f},    {"1p100", &s.pans[0], 100.0f},
      {"1v13", &s.volumes[0], 13.0f},     {"2p-150", &s.pans[1], -150.0f},
      {"4vloud", &s.volumes[3], 0.0f},    {"3b-200", &s.busLevels[2], -144.0f},
      {"64b-4", &s.busLevels[63], -4.0f}, {"2b-144", &s.busLevels[1], -144.0f},
      {"1v2b3", &s.volumes[0], 2.0f},  // a 'v' decides first
  };
  for (const auto& edit : edits) {
    EXPECT_TRUE(handled(edit.word)) << edit.word;
    EXPECT_EQ(*edit.field, edit.stored) << edit.word;
  }
  EXPECT_FLOAT_EQ(s.busGains[1], static_cast<float>(std::pow(10.0, -7.2)) / 256.0f);

  // No channel, no bus or no finite value: the mixer's own word, no change.
  // Bus numbers are bounded by the table, not by the track count.
  const ProjectSettings before = s;
  s.tracks = 256;
  for (const char* word : {"0b3", "65b3", "1bnan", "1b-1e400", "1b1e39"})
    EXPECT_TRUE(handled(word)) << word;
  s.tracks = 4;
  for (const char* word : {"0v-6", "5v-6", "-1v3", "99999999999999999999v1", "0p50", "5p50", "xv3",
                           "2vnan", "2pnan", "3v1e300", "1v-1e400", "2p1e39"})
    EXPECT_TRUE(handled(word)) << word;
  // Not edits: a part is missing, or the word is a command with a 'p' or 'b'.
  for (const char* word : {"2v", "v-6", "2p", "p100", "pf", "pre", "sp", "opt", "lp", "exp-i",
                           "tempo", "mod", "x", "12", "1b", "b-4", "bo", "be", "bus"})
    EXPECT_FALSE(handled(word)) << word;
  EXPECT_EQ(s, before);

  // The view lists the busses whose level is not 0, also in a project's first session.
  const testing::TakeDir dir;
  testing::writeBytes(dir.file("play.txt"), "a.wav\n");
  s.playLists[1] = dir.file("play.txt");
  s.mixMode = 2;
  s.firstRun = 1;
  EXPECT_EQ(testing::printedBy([&] { ShowMixer(s); }),
            "Source:\na.wav\tCh 1\tVol 2.00\tPan  100\n\nBus 2\t  -144.00 dB\n"
            "Bus 3\t  -144.00 dB\nBus 64\t  -4.00 dB\n" +
                std::string(79, '-') + "\n");
}

}  // namespace
}  // namespace varnow
