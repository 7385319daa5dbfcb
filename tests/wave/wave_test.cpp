// Packed samples, period rounding, wave files written, read, refused, repaired.

#include <cmath>
#include <limits>

#include "core/position_limit.hpp"
#include "core/unit_fixture.hpp"
#include "wave/length_rule.hpp"
#include "wave/quantize.hpp"
#include "wave/sample_codec.hpp"
#include "wave/size_repair.hpp"
#include "wave/wave_attributes.hpp"
#include "wave/wave_header.hpp"

namespace varnow {
namespace {

std::vector<std::int8_t> bytes(std::initializer_list<int> values) {
  std::vector<std::int8_t> out;
  for (const int value : values)
    out.push_back(static_cast<std::int8_t>(static_cast<std::uint8_t>(value)));
  return out;
}

TEST(SampleCodec, LowByteFirstWithSignAndNoSaturation) {
  const auto packed = bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00,
                             0x00, 0x01, 0x00, 0x56, 0x34, 0x92});
  std::vector<std::int64_t> samples(7, 777);
  CHAR_TO_NUM32(packed.data(), samples.data(), kBytesPerSample, 6);
  EXPECT_EQ(samples,
            (std::vector<std::int64_t>{-1, -8388608, 8388607, 1, 256, 0x923456 - 0x1000000, 777}));
  // Encoding keeps the low 24 bits of two's complement: 8388608 wraps.
  const std::vector<std::int64_t> values = {-1, -8388608, 8388607, 8388608, 0x123456};
  auto out = bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA});
  NUM24MONO_TO_CHAR(values.data(), out.data(), 5);
  EXPECT_EQ(out, bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80,
                        0x56, 0x34, 0x12, 0xAA}));
  for (const std::int64_t count : {0, -1}) {  // counts below one touch nothing
    CHAR_TO_NUM32(packed.data(), samples.data(), kBytesPerSample, count);
    NUM24MONO_TO_CHAR(samples.data(), out.data(), count);
  }
  EXPECT_EQ(samples[0], -1);
  EXPECT_EQ(out[0], -1);

  const std::uint8_t field[4] = {0x80, 0xBB, 0x00, 0x80};
  EXPECT_EQ(Assem4(field), 0x0000BB80 - 2147483648LL);
  EXPECT_EQ(Assem2(field + 1), 0xBB);
  std::uint8_t written[6] = {};
  Decon4(0x12345678, written);
  Decon2(0xBEEF, written + 4);
  EXPECT_EQ(std::vector<std::uint8_t>(written, written + 6),
            (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12, 0xEF, 0xBE}));
}

// The rounding rule stepped literally: k = q, 2q, ... until x <= float(k),
// starting a safe distance below x for large values.
std::int64_t stepped(std::int64_t q, float x) {
  if (!(x > 0.0f)) return 0;
  const double approximate = static_cast<double>(x) / static_cast<double>(q);
  const double slack =
      static_cast<double>(std::nextafter(x, INFINITY) - x) / static_cast<double>(q);
  std::int64_t k =
      approximate > 2000.0 ? (static_cast<std::int64_t>(approximate - slack) - 4) * q : q;
  while (!(x <= static_cast<float>(k)))
    k += q;
  return k;
}

TEST(Quantize, FirstWholeMultipleReachingTheTimeComparedInSinglePrecision) {
  EXPECT_EQ(QUANTIZE(4096, 48000, 1e-30f), 4096);
  EXPECT_EQ(QUANTIZE(4096, 48000, -2.5f), 0);
  EXPECT_EQ(QUANTIZE(4096, 48000, NAN), 0);
  EXPECT_EQ(QUANTIZE(1, 1, 33554432.0f), 33554431);  // a tie that rounds to 2^25
  EXPECT_EQ(QUANTIZE(1, 1, 16777218.0f), 16777218);
  EXPECT_EQ(QUANTIZE(0, 48000, 0.5f), 24000);  // a quantum below 1 does not round
  EXPECT_EQ(QUANTIZE(-8, 48000, 0.5f), 24000);
  EXPECT_EQ(QUANTIZE(4096, 48000, 50000.0f), 2400002048);
  EXPECT_EQ(QUANTIZE(4096, 48000, 1e30f), kLastPosition);
  EXPECT_EQ(QUANTIZE(1000, 48000, INFINITY), (kLastPosition / 1000) * 1000);

  const struct {
    std::int64_t q, position, rounded;
  } samples[] = {{0, 12345, 12345},
                 {-4, 12345, 12345},
                 {1000, 3000000001LL, 3000001000LL},
                 {4096, 2147483649LL, 2147487744LL},
                 {4096, std::numeric_limits<std::int64_t>::max(), kLastPosition},
                 {1000, kLastPosition + 1, (kLastPosition / 1000) * 1000},
                 {1, kLastPosition, kLastPosition}};
  for (const auto& c : samples)
    EXPECT_EQ(QUANTIZE_SAMPLES(c.q, c.position), c.rounded) << c.q << " " << c.position;

  // A sweep of session times and of frame counts where floats are sparser
  // than frames (powers of two and their neighbours up to 2^45).
  for (const std::int64_t q : {1, 3, 64, 1000, 1024, 4096}) {
    for (const std::uint32_t rate : {22050u, 44100u, 48000u, 96000u}) {
      for (int ms = 0; ms <= 30000; ms += 37) {
        const float seconds = static_cast<float>(ms) / 1000.0f;
        ASSERT_EQ(QUANTIZE(q, rate, seconds), stepped(q, static_cast<float>(rate) * seconds))
            << q << " " << rate << " " << seconds;
      }
    }
    for (int exponent = 20; exponent <= 45; ++exponent) {
      float x = std::ldexp(1.0f, exponent);
      for (int step = 0; step < 6; ++step)
        x = std::nextafter(x, 0.0f);
      for (int step = 0; step < 12; ++step, x = std::nextafter(x, INFINITY))
        ASSERT_EQ(QUANTIZE(q, 1, x), stepped(q, x)) << q << " " << x;
    }
    for (std::int64_t position = -10; position <= 20000; position += 7) {
      const std::int64_t up = position <= 0 ? 0 : (position + q - 1) / q * q;
      ASSERT_EQ(QUANTIZE_SAMPLES(q, position), up) << q << " " << position;
    }
  }
}

using testing::field32;
using testing::formatChunk;
using testing::le;
using testing::printedBy;
using testing::readBytes;
using testing::riff;
using testing::TakeDir;

std::string chunk(const std::string& id, const std::string& body) {
  return id + le(body.size(), 4) + body + (body.size() % 2 != 0 ? std::string(1, '\0') : "");
}
std::string samples(std::size_t n, std::int32_t first = 0) {
  return testing::packSamples(testing::staircase(n, first));
}
// The 44-byte header planned for `planned` frames, then `present` frames.
std::string take(std::int64_t planned, std::size_t present) {
  const WaveHeaderBytes header = makeHeaderBytes(48000, planned, 1);
  return std::string(header.begin(), header.end()) + samples(present);
}

TEST(WaveHeader, BytesPlannedLengthAndFailure) {
  TakeDir dir;
  const std::string path = dir.file("take.wav");
  ASSERT_TRUE(MAKE_HEADER(path, 48000, 1000, 1).ok());
  EXPECT_EQ(readBytes(path),
            "RIFF" + le(3036, 4) + "WAVE" + formatChunk(1, 48000, 24) + "data" + le(3000, 4));
  const std::string huge = take(1431655766LL, 0);  // 2^32 + 2 bytes
  EXPECT_EQ(std::pair(field32(huge, 40), field32(huge, 4)), std::pair(2u, 38u));
  EXPECT_EQ(MAKE_HEADER(dir.file("no/take.wav"), 48000, 10, 1).message(),
            "Could not create " + dir.file("no/take.wav") + ": No such file or directory.");
}

TEST(WaveAttributes, LengthRuleAndChunkWalk) {
  EXPECT_EQ(playableFrames(3000, 44, 44 + 1202, 3), 400);        // a partial frame does not count
  EXPECT_EQ(playableFrames(301, 44, 44 + 1200, 3), 100);         // bytes after the data are ignored
  EXPECT_EQ(playableFrames(-2147483648LL, 44, 44 + 30, 3), 10);  // no stated limit
  EXPECT_EQ(playableFrames(3000, 44, 44 + 1200, 6), 200);
  EXPECT_EQ(playableFrames(3000, 80, 44, 3), 0);
  EXPECT_EQ(playableFrames(3000, 44, 1244, 0), 0);

  TakeDir dir;
  // A 200000-byte chunk that spells "data" at even offsets, an odd chunk and
  // its pad byte, then the data chunk with no stated size.
  std::string metadata(200000, '\0');
  for (std::size_t at = 100; at + 8 < metadata.size(); at += 5000)
    metadata.replace(at, 4, "data");
  const struct {
    const char* name;
    std::string bytes;
    WaveAttributes expected;
  } files[] = {
      {"short.wav", take(1000, 400), {1, 44, 48000, 400, 3, 24}},
      {"long.wav", take(100, 150), {1, 44, 48000, 100, 3, 24}},
      {"unclosed.wav",
       riff(formatChunk(1, 44100, 24) + "data" + le(0xFFFFFFFF, 4) + samples(250)),
       {1, 44, 44100, 250, 3, 24}},
      {"tagged.wav",
       riff(chunk("LIST", metadata) + formatChunk(1, 96000, 24) + chunk("junk", "ddd") +
            chunk("data", samples(64))),
       {1, 200064, 96000, 64, 3, 24}},
      // The extensible format: a 40-byte fmt chunk, then a fact chunk.
      {"extensible.wav",
       riff(formatChunk(1, 44100, 24).replace(4, 1, "\x28") + std::string(24, 'x') +
            chunk("fact", "abcd") + chunk("data", samples(5))),
       {1, 80, 44100, 5, 3, 24}},
  };
  WaveAttributeTable table{};
  for (const auto& file : files) {
    const std::string path = dir.file(file.name);
    testing::writeBytes(path, file.bytes);
    EXPECT_EQ(printedBy([&] { EXPECT_TRUE(GET_ATTRIBUTES(7, path, table).playable()); }), "");
    EXPECT_EQ(table[7], file.expected) << file.name;
    EXPECT_EQ(GET_LENGTH(path).frames, file.expected.lengthFrames) << file.name;
  }
  EXPECT_EQ(table[6], WaveAttributes{});
  EXPECT_FALSE(GET_ATTRIBUTES(kMaxChannels, dir.file("short.wav"), table).playable());
  EXPECT_FALSE(GET_ATTRIBUTES(-1, dir.file("short.wav"), table).playable());
}

// '@' in a message stands for the file's path.
TEST(WaveAttributes, RefusalsSayWhy) {
  const std::string noFormat = "Can't find format chunk in wave file!\n";
  const std::string absent = "Cannot find file in track list called @!!\n";
  const struct {
    const char* name;
    std::string bytes;
    std::string played;  // the refusal of GET_ATTRIBUTES
    std::string length;  // of GET_LENGTH
  } cases[] = {
      {"mono16.wav", riff(formatChunk(1, 48000, 16) + chunk("data", samples(6))),
       "@ is not a 24 bit file and will not be played\n", "24 bit wave files only!\n"},
      {"stereo.wav", riff(formatChunk(2, 48000, 16) + chunk("data", samples(8))),
       "@ is not a mono file and will not be played\n", "Mono files only\n"},
      {"nofmt.wav", riff(chunk("data", samples(8))), noFormat, noFormat},
      {"shortfmt.wav", riff(chunk("fmt ", "12345678") + chunk("data", samples(4))), noFormat,
       noFormat},
      {"cutfmt.wav", take(10, 10).substr(0, 30), noFormat, noFormat},  // ends inside fmt
      {"nodata.wav", riff(formatChunk(1, 48000, 24) + chunk("LIST", samples(8))),
       "Cannot find data block in file @!\n", "Can't find data block in wave file!\n"},
      {"broken.wav",
       riff(formatChunk(1, 48000, 24) + "LIST" + le(100000, 4) + chunk("data", "xyz")),
       "Cannot find data block in file @!\n", "Can't find data block in wave file!\n"},
      {"absent.wav", "", absent, absent},
  };
  TakeDir dir;
  WaveAttributeTable table{};
  for (const auto& c : cases) {
    const std::string path = dir.file(c.name);
    if (!c.bytes.empty()) testing::writeBytes(path, c.bytes);
    const auto withPath = [&path](std::string text) {
      const std::size_t at = text.find('@');
      return at == std::string::npos ? text : text.replace(at, 1, path);
    };
    WaveLength length;
    EXPECT_EQ(printedBy([&] {
                EXPECT_EQ(playFileRejection(path, GET_ATTRIBUTES(1, path, table)),
                          withPath(c.played));
                length = GET_LENGTH(path);
              }),
              "")
        << c.name;
    EXPECT_EQ(length.frames, 0) << c.name;
    EXPECT_EQ(lengthRejection(path, length.check), withPath(c.length)) << c.name;
  }
}

TEST(SizeRepair, SizesFromTheFileLengthOrNothingWithoutData) {
  TakeDir dir;
  const std::string planned = dir.file("planned.wav");
  testing::writeBytes(planned, take(1000, 400));
  ASSERT_TRUE(FIX_SIZE(planned).ok());
  EXPECT_EQ(readBytes(planned), take(400, 400));

  const std::string noData = dir.file("nodata.wav");
  testing::writeBytes(noData, riff(formatChunk(1, 48000, 24)));
  const SizeRepairResult result = FIX_SIZE(noData);
  EXPECT_EQ(result.outcome, SizeRepairOutcome::kNoDataChunk);
  EXPECT_EQ(result.message, "Can't find data block in wave file!");
  EXPECT_EQ(readBytes(noData), riff(formatChunk(1, 48000, 24)));
}

}  // namespace
}  // namespace varnow
