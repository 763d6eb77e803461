#include <gtest/gtest.h>

#include <cmath>

#include "core/audio/AifAudio.h"
#include "core/common/ByteReader.h"
#include "core/common/Errors.h"
#include "samples/AifBuilder.h"

using namespace vld;
using namespace vld::samples;

namespace {

struct TWave {
  std::uint32_t riffSize, fmtSize;
  std::uint16_t format, channels;
  std::uint32_t rate, byteRate;
  std::uint16_t blockAlign, bits;
  std::uint32_t dataSize;
  Bytes data;
};

TWave ParseWave(const Bytes& file) {
  ByteReader r(file);
  TWave w{};
  EXPECT_EQ(AsString(r.Take(4)), "RIFF");
  w.riffSize = r.U32LE();
  EXPECT_EQ(AsString(r.Take(8)), "WAVEfmt ");
  w.fmtSize = r.U32LE();
  w.format = r.U16LE();
  w.channels = r.U16LE();
  w.rate = r.U32LE();
  w.byteRate = r.U32LE();
  w.blockAlign = r.U16LE();
  w.bits = r.U16LE();
  EXPECT_EQ(AsString(r.Take(4)), "data");
  w.dataSize = r.U32LE();
  ByteSpan rest = r.Take(r.Remaining());
  w.data.assign(rest.begin(), rest.end());
  // The header never disagrees with the data behind it.
  EXPECT_EQ(w.dataSize, w.data.size());
  EXPECT_EQ(w.riffSize, 36 + w.data.size());
  return w;
}

TWave Convert(const TAifSpec& layout) { return ParseWave(ConvertAifToWav(BuildAif(layout))); }

TAifSpec Spec16(std::vector<std::int16_t> samples, std::uint16_t channels = 1, std::uint32_t rate = 22050) {
  return AifSpecFor(TPcm16{channels, rate, std::move(samples)});
}

std::string RefusalOf(const Bytes& aif) {
  try {
    ConvertAifToWav(aif);
  } catch (const VldError& e) {
    return e.what();
  }
  return "(converted)";
}

}  // namespace

TEST(AifToWave, StereoHeaderFieldsFollowTheCommChunk) {
  TWave w = Convert(Spec16({1, 2, 3, 4, 5, 6}, 2, 22050));
  EXPECT_EQ(w.fmtSize, 16u);
  EXPECT_EQ(w.format, 1);
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.rate, 22050u);
  EXPECT_EQ(w.byteRate, 88200u);
  EXPECT_EQ(w.blockAlign, 4);
  EXPECT_EQ(w.bits, 16);
}

TEST(AifToWave, SixteenBitSamplesTurnLittleEndianWithoutTheSsndFields) {
  TWave w = Convert(Spec16({0x1234, -2, 0x7F00}));
  // Only sample bytes: the SSND offset and block-size fields are not copied.
  EXPECT_EQ(w.data, (Bytes{0x34, 0x12, 0xFE, 0xFF, 0x00, 0x7F}));
}

TEST(AifToWave, SsndOffsetSkipsFillerBeforeTheSamples) {
  TAifSpec layout = Spec16({0x0102, 0x0304});
  layout.ssndOffset = 6;
  layout.ssndBlockSize = 8;
  EXPECT_EQ(Convert(layout).data, (Bytes{0x02, 0x01, 0x04, 0x03}));
}

TEST(AifToWave, OtherChunksAnywhereAreSkipped) {
  TAifSpec plain = Spec16({100, -100, 200});
  Bytes expected = ConvertAifToWav(BuildAif(plain));

  TAifSpec marked = plain;
  marked.beforeSsnd.push_back(MarkerChunk(1, "loop"));
  EXPECT_EQ(ConvertAifToWav(BuildAif(marked)), expected);

  // Common writers put a name or comment chunk before COMM.
  TAifSpec named = plain;
  named.beforeComm.push_back(TextChunk("NAME", "Door creak"));
  named.afterSsnd.push_back(TextChunk("AUTH", "Sound desk"));
  EXPECT_EQ(ConvertAifToWav(BuildAif(named)), expected);

  // SSND before COMM is allowed in AIFF too.
  TAifSpec reversed = plain;
  reversed.omitComm = true;
  Bytes reversedFile = BuildAif(reversed);
  Bytes comm = BuildAif(plain);
  // Append the COMM chunk (bytes 12..37 of the plain file) behind SSND and fix the FORM size.
  reversedFile.insert(reversedFile.end(), comm.begin() + 12, comm.begin() + 38);
  std::uint32_t formSize = static_cast<std::uint32_t>(reversedFile.size() - 8);
  for (int i = 0; i < 4; ++i) reversedFile[4 + i] = static_cast<std::uint8_t>(formSize >> (24 - 8 * i));
  EXPECT_EQ(ConvertAifToWav(reversedFile), expected);
}

TEST(AifToWave, OddChunksWalkWithOrWithoutThePadByte) {
  TAifSpec layout = Spec16({11, 22});
  layout.beforeComm.push_back(TextChunk("NAME", "odd"));  // 3 bytes
  layout.beforeSsnd.push_back(TextChunk("ANNO", "abcde"));
  Bytes expected = ConvertAifToWav(BuildAif(Spec16({11, 22})));
  layout.padOddChunks = true;
  EXPECT_EQ(ConvertAifToWav(BuildAif(layout)), expected);
  layout.padOddChunks = false;
  EXPECT_EQ(ConvertAifToWav(BuildAif(layout)), expected);
}

TEST(AifToWave, OddSampleByteCountSwapsWholeWordsAndKeepsTheLastByte) {
  TAifSpec layout = Spec16({});
  layout.sampleBytes = {0x01, 0x02, 0x03, 0x04, 0x05};
  for (bool pad : {true, false}) {
    layout.padOddChunks = pad;
    layout.afterSsnd = {TextChunk("ANNO", "after")};
    TWave w = Convert(layout);
    EXPECT_EQ(w.data, (Bytes{0x02, 0x01, 0x04, 0x03, 0x05})) << "pad " << pad;
  }
}

TEST(AifToWave, EightBitSignedBecomesUnsigned) {
  TAifSpec layout;
  layout.channels = 2;
  layout.bitsPerSample = 8;
  layout.sampleRate = 11025;
  std::vector<std::int8_t> samples = {-128, -1, 0, 127};
  layout.sampleBytes = AifSamples8(samples);
  TWave w = Convert(layout);
  EXPECT_EQ(w.bits, 8);
  EXPECT_EQ(w.blockAlign, 2);
  EXPECT_EQ(w.byteRate, 22050u);
  EXPECT_EQ(w.data, (Bytes{0, 127, 128, 255}));
}

TEST(AifToWave, WideSamplesAreReversedPerSample) {
  TAifSpec layout;
  layout.channels = 2;
  layout.bitsPerSample = 24;
  layout.sampleRate = 48000;
  std::vector<std::int32_t> samples = {0x123456, -2};
  layout.sampleBytes = AifSamples24(samples);
  TWave w = Convert(layout);
  EXPECT_EQ(w.bits, 24);
  EXPECT_EQ(w.blockAlign, 6);
  EXPECT_EQ(w.byteRate, 288000u);
  EXPECT_EQ(w.data, (Bytes{0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF}));

  layout.channels = 1;
  layout.bitsPerSample = 32;
  layout.sampleBytes = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0};
  w = Convert(layout);
  EXPECT_EQ(w.blockAlign, 4);
  EXPECT_EQ(w.data, (Bytes{0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}));
}

TEST(AifToWave, UnconvertibleFormatsAreRefused) {
  TAifSpec layout = Spec16({1, 2});
  layout.bitsPerSample = 12;
  EXPECT_NE(RefusalOf(BuildAif(layout)).find("12 bits"), std::string::npos);
  layout = Spec16({1, 2});
  layout.channels = 0;
  EXPECT_NE(RefusalOf(BuildAif(layout)).find("0 channels"), std::string::npos);
}

TEST(AifToWave, ExtendedSampleRatesRoundToWholeHertz) {
  for (std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 96000u}) EXPECT_EQ(ExtendedToHertz(Extended80(rate)), rate);
  // 44101 / 2 = 22050.5 rounds up; 44101 / 4 = 11025.25 rounds down.
  auto half = Extended80(44101);
  half[1] -= 1;
  EXPECT_EQ(ExtendedToHertz(half), 22051u);
  half[1] -= 1;
  EXPECT_EQ(ExtendedToHertz(half), 11025u);

  auto negative = Extended80(22050);
  negative[0] |= 0x80;
  auto infinite = std::array<std::uint8_t, 10>{0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
  for (const auto& bad : {Extended80(0), negative, infinite, Extended80(1ull << 33)}) {
    EXPECT_THROW(ExtendedToHertz(bad), VldError);
    TAifSpec layout = Spec16({1});
    layout.rawRate = bad;
    EXPECT_NE(RefusalOf(BuildAif(layout)).find("sample rate"), std::string::npos);
  }
}

TEST(AifToWave, MissingOrDamagedChunksAreRefused) {
  TAifSpec noSsnd = Spec16({1, 2});
  noSsnd.omitSsnd = true;
  noSsnd.afterSsnd.push_back(MarkerChunk(0, "x"));
  EXPECT_NE(RefusalOf(BuildAif(noSsnd)).find("no SSND"), std::string::npos);

  TAifSpec noComm = Spec16({1, 2});
  noComm.omitComm = true;
  EXPECT_NE(RefusalOf(BuildAif(noComm)).find("no COMM"), std::string::npos);

  // A chunk claiming more bytes than the entry has stops the walk with a clear reason.
  TAifSpec oversized = Spec16({1, 2});
  oversized.beforeSsnd.push_back(TextChunk("ANNO", "note"));
  Bytes file = BuildAif(oversized);
  file[38 + 4] = 0x7F;  // the ANNO chunk's size field right behind COMM
  EXPECT_NE(RefusalOf(file).find("claims"), std::string::npos);

  TAifSpec shortSsnd = Spec16({});
  shortSsnd.ssndSize = 6;
  EXPECT_NE(RefusalOf(BuildAif(shortSsnd)).find("8-byte header"), std::string::npos);

  TAifSpec farOffset = Spec16({1, 2});
  farOffset.ssndOffset = 2;
  farOffset.ssndSize = 8 + 1;  // offset 2 points past the 1 byte behind the fields
  EXPECT_NE(RefusalOf(BuildAif(farOffset)).find("past the chunk's end"), std::string::npos);

  Bytes shortComm = BuildAif(Spec16({1}));
  shortComm[19] = 10;  // COMM size field
  EXPECT_NE(RefusalOf(shortComm).find("fewer than the 18"), std::string::npos);
}

TEST(AifToWave, SsndRunningPastTheEntryKeepsWhatIsThere) {
  TAifSpec layout = Spec16({0x0102, 0x0304, 0x0506});
  layout.ssndSize = 8 + 6 + 1000;
  TWave w = Convert(layout);
  EXPECT_EQ(w.data, (Bytes{0x02, 0x01, 0x04, 0x03, 0x06, 0x05}));
}

TEST(AifToWave, MutatedFilesAreRefusedOrConsistent) {
  TAifSpec layout = Spec16({1, -2, 3, -4, 5, -6});
  layout.beforeComm.push_back(TextChunk("NAME", "abc"));
  layout.beforeSsnd.push_back(MarkerChunk(2, "m"));
  Bytes original = BuildAif(layout);
  std::uint32_t seed = 11;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (int round = 0; round < 3000; ++round) {
    Bytes file = original;
    for (int flips = 1 + next() % 3; flips > 0; --flips) file[next() % file.size()] = static_cast<std::uint8_t>(next());
    Bytes wave;
    try {
      wave = ConvertAifToWav(file);
    } catch (const VldError&) {
      continue;
    }
    EXPECT_LE(ParseWave(wave).data.size(), file.size());
  }
}
