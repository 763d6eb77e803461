#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "core/audio/AifAudio.h"
#include "core/audio/WvcAudio.h"
#include "core/browser/Formats.h"
#include "core/common/ByteReader.h"
#include "core/common/Errors.h"
#include "samples/AifBuilder.h"
#include "samples/WvcEncoder.h"

using namespace vld;
using namespace vld::samples;

namespace {

std::string RefusalOf(const Bytes& entry) {
  try {
    ConvertWvcToWav(entry);
  } catch (const VldError& e) {
    return e.what();
  }
  return "(converted)";
}

TWvcBlock Block(std::uint8_t codec, std::uint32_t outputSize, Bytes stored) {
  return TWvcBlock{codec, outputSize, std::move(stored)};
}

// The samples of a 16-bit WAVE file after checking that its header describes them.
std::vector<std::int16_t> WaveSamples(const Bytes& wave, const TPcm16& expectedFormat) {
  ByteReader r(wave);
  r.Seek(22);
  EXPECT_EQ(r.U16LE(), expectedFormat.channels);
  EXPECT_EQ(r.U32LE(), expectedFormat.sampleRate);
  r.Seek(40);
  EXPECT_EQ(r.U32LE(), wave.size() - kWaveHeaderSize);
  std::vector<std::int16_t> samples;
  while (r.Remaining() >= 2) samples.push_back(static_cast<std::int16_t>(r.U16LE()));
  return samples;
}

double SnrDb(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < original.size(); ++i) {
    signal += double(original[i]) * original[i];
    noise += (double(original[i]) - decoded[i]) * (double(original[i]) - decoded[i]);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

struct TRoundTrip {
  double snr;
  int worstError;
  TWvcEncodeStats stats;
};

TRoundTrip RoundTrip(const TPcm16& pcm, const TWvcEncodeOptions& options = {}) {
  TRoundTrip result{};
  Bytes wave = ConvertWvcToWav(EncodeWvc(pcm, options, &result.stats));
  std::vector<std::int16_t> decoded = WaveSamples(wave, pcm);
  EXPECT_EQ(decoded.size(), pcm.samples.size());
  if (decoded.size() != pcm.samples.size()) return result;
  result.snr = SnrDb(pcm.samples, decoded);
  for (std::size_t i = 0; i < decoded.size(); ++i)
    result.worstError = std::max(result.worstError, std::abs(int(decoded[i]) - pcm.samples[i]));
  return result;
}

}  // namespace

TEST(WvcContainer, StoredBlocksAreCopiedByteForByteAndOtherCodecsDropped) {
  Bytes a = {1, 2, 3}, b = {4, 5}, c = {6, 7, 8, 9};
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry({StoredWvcBlock(a), StoredWvcBlock(b), StoredWvcBlock(c)})),
            (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry({StoredWvcBlock(a), Block(7, 2, b), Block(255, 0, {}), StoredWvcBlock(c)})),
            (Bytes{1, 2, 3, 6, 7, 8, 9}));
  // A stored block writes its stored bytes, whatever its output size says.
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry({Block(kWvcCodecStored, 100, a)})), a);
}

TEST(WvcContainer, BlockDataFollowsTheLastNameRead) {
  Bytes payload = {0xAA, 0xBB};
  // Two names, whatever their lengths: the size field only counts them (size / 5).
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry({StoredWvcBlock(payload)}, {"A", "LONGER-NAME"}, 14)), payload);
  // A size field of 5 counts one name, so the second name's bytes are block data.
  Bytes entry = BuildWvcEntry({StoredWvcBlock(payload)}, {"A", "B"}, 5);
  EXPECT_EQ(ConvertWvcToWav(entry), (Bytes{'B', 0}));
}

TEST(WvcContainer, CountsOutsideTheLimitsAreRefused) {
  std::vector<TWvcBlock> many(kMaxWvcBlocks, StoredWvcBlock({0x5A}));
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry(many)).size(), kMaxWvcBlocks);
  many.push_back(StoredWvcBlock({0x5A}));
  EXPECT_NE(RefusalOf(BuildWvcEntry(many)).find("1025 blocks; at most 1024"), std::string::npos);
  EXPECT_NE(RefusalOf(BuildWvcEntry({})).find("block table is empty"), std::string::npos);

  std::vector<TWvcBlock> one = {StoredWvcBlock({1})};
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry(one, {"a", "b", "c"}, 19)), Bytes{1});
  EXPECT_NE(RefusalOf(BuildWvcEntry(one, {"a", "b", "c", "d"}, 20)).find("4 names; at most 3"), std::string::npos);
  EXPECT_NE(RefusalOf(BuildWvcEntry(one, {}, 4)).find("name list is empty"), std::string::npos);
}

TEST(WvcContainer, DamagedSizesAreRefusedBeforeAnythingIsAllocated) {
  Bytes entry = BuildWvcEntry({StoredWvcBlock({1, 2, 3}), StoredWvcBlock({4, 5})});
  entry.pop_back();
  EXPECT_NE(RefusalOf(entry).find("truncated: block 2 of 2 needs 2 bytes, but only 1 are left"), std::string::npos);

  // Four output bytes per stored byte is the most any code stream can describe.
  Bytes codes = {0x00, 0x00, 0x00, 0x44, 0x44};
  EXPECT_EQ(ConvertWvcToWav(BuildWvcEntry({Block(kWvcCodecAdpcm, 20, codes)})).size(), 20u);
  EXPECT_NE(RefusalOf(BuildWvcEntry({Block(kWvcCodecAdpcm, 21, codes)})).find("more than its codes can hold"),
            std::string::npos);
  EXPECT_NE(RefusalOf(BuildWvcEntry({Block(kWvcCodecAdpcm, 0xFFFFFFF0u, codes)})).find("block 1 of 1"),
            std::string::npos);

  EXPECT_NE(RefusalOf(BuildWvcEntry({Block(kWvcCodecAdpcm, 4, {0x80, 0, 0})})).find("block 1 of 1 is damaged"),
            std::string::npos);

  EXPECT_EQ(RefusalOf({}), kEmptyEntryRefusal);
  Bytes whole = EncodeWvc(VoiceSound(8000, 0.05), {.framesPerBlock = 100});
  for (std::size_t n = 1; n < whole.size(); ++n) {
    Bytes prefix(whole.begin(), whole.begin() + n);
    EXPECT_THROW(ConvertWvcToWav(prefix), VldError) << "prefix " << n;
  }
}

TEST(WvcContainer, BlockTableFieldsAreEchoedToTheMemo) {
  std::vector<std::string> lines;
  ConvertWvcToWav(BuildWvcEntry({StoredWvcBlock(Bytes(0x2C, 0)), Block(9, 0x01020304, {})}),
                  [&](const std::string& line) { lines.push_back(line); });
  EXPECT_EQ(lines, (std::vector<std::string>{"00. 00. 00. 2C", "00. 00. 00. 2C", "01. 02. 03. 04", "00. 00. 00. 00"}));
}

TEST(WvcRoundTrip, VoiceMonoTracksTheSignal) {
  TPcm16 voice = VoiceSound(22050, 1.0);
  TRoundTrip mono = RoundTrip(voice);
  // Every sample is within the escape threshold: the decoder reproduces exactly
  // what the encoder predicted, bit for bit, across all blocks.
  EXPECT_LE(mono.worstError, TWvcEncodeOptions{}.escapeAbove);
  EXPECT_GT(mono.snr, 20.0);
  std::printf("[ measure  ] voice mono SNR %.1f dB, %zu escapes in %zu codes\n", mono.snr, mono.stats.escapes,
              mono.stats.codes);
}

TEST(WvcRoundTrip, StereoChordKeepsBothChannels) {
  TPcm16 chord = ChordSound(22050, 2, 0.5, {261.63, 329.63, 392.0});
  TRoundTrip stereo = RoundTrip(chord, {.framesPerBlock = 1000});
  EXPECT_LE(stereo.worstError, TWvcEncodeOptions{}.escapeAbove);
  EXPECT_GT(stereo.snr, 20.0);
  std::printf("[ measure  ] chord stereo SNR %.1f dB\n", stereo.snr);

  // Swapping the channels must swap them in the output too (channel 1 is no copy of 0).
  TPcm16 swapped = chord;
  for (std::size_t i = 0; i + 1 < swapped.samples.size(); i += 2) std::swap(swapped.samples[i], swapped.samples[i + 1]);
  Bytes a = ConvertWvcToWav(EncodeWvc(chord)), b = ConvertWvcToWav(EncodeWvc(swapped));
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(a[kWaveHeaderSize], b[kWaveHeaderSize + 2]);
  EXPECT_NE(a[kWaveHeaderSize + 100 * 4], a[kWaveHeaderSize + 100 * 4 + 2]);
}

TEST(WvcRoundTrip, JumpsUseEscapeCodes) {
  // A full-scale square wave: no code reaches from one level to the other at once.
  TPcm16 square{1, 8000, {}};
  for (int i = 0; i < 800; ++i) square.samples.push_back((i / 40) % 2 ? 30000 : -30000);
  TRoundTrip jumps = RoundTrip(square);
  EXPECT_GT(jumps.stats.escapes, 10u);
  EXPECT_LE(jumps.worstError, TWvcEncodeOptions{}.escapeAbove);
}

TEST(SaveAsWave, ChoiceFollowsTheFilePartWvcFirst) {
  auto source = [](const char* name) -> std::string {
    const TFormat* f = FormatForSaveWav(name);
    return f ? f->contains : "none";
  };
  EXPECT_EQ(source("Voices\\LINE001.WVC"), ".wvc");
  EXPECT_EQ(source("odd.aif.wvc"), ".wvc");
  EXPECT_EQ(source("sound.aiff"), ".aif");
  EXPECT_EQ(source("x.wvc\\y.aif"), ".aif");
  EXPECT_EQ(source("x.aif\\readme"), "none");

  Bytes aif = BuildAif(TPcm16{1, 8000, {1, 2, 3}});
  Bytes wvc = EncodeWvc(TPcm16{1, 8000, {1, 2, 3}});
  EXPECT_EQ(ConvertEntryBytes("a\\B.AIF", aif).data, ConvertAifToWav(aif));
  EXPECT_EQ(ConvertEntryBytes("b.wvc", wvc).data, ConvertWvcToWav(wvc));
  try {
    ConvertEntryBytes("empty.aif", {});
    ADD_FAILURE() << "empty entry converted";
  } catch (const VldError& e) {
    EXPECT_STREQ(e.what(), kEmptyEntryRefusal);
  }
}

TEST(SaveAsWave, EntryConversionGivesTheSameWaveFile) {
  Bytes aif = BuildAif(TPcm16{2, 22050, {1, 2, 3, 4}});
  TConversion c = ConvertEntryBytes("sound\\Door.Aif", aif);
  EXPECT_EQ(c.extension, ".wav");
  EXPECT_EQ(c.data, ConvertAifToWav(aif));
  EXPECT_TRUE(IsConvertible("voices\\line.wvc"));
  EXPECT_FALSE(IsConvertible("x.aif\\readme"));  // a sound-like folder name
  EXPECT_THROW(ConvertEntryBytes("x.wvc", {}), VldError);
}

TEST(WvcContainer, MutatedEntriesAreRefusedOrDecodedWithinBounds) {
  TPcm16 stereo = ChordSound(8000, 2, 0.05, {300, 500});
  Bytes original = EncodeWvc(stereo, {.framesPerBlock = 64});
  std::uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (int round = 0; round < 3000; ++round) {
    Bytes entry = original;
    for (int flips = 1 + next() % 4; flips > 0; --flips)
      entry[next() % entry.size()] = static_cast<std::uint8_t>(next());
    try {
      Bytes wave = ConvertWvcToWav(entry);
      EXPECT_LE(wave.size(), kMaxWvcExpansion * entry.size());
    } catch (const VldError&) {
    }
  }
}
