#include <gtest/gtest.h>

#include <vector>

#include "core/audio/WvcAudio.h"
#include "core/common/Errors.h"
#include "samples/WvcEncoder.h"

using namespace vld;
using namespace vld::samples;

namespace {

// Decodes a block into `bytes` output bytes and returns the 16-bit samples.
std::vector<int> Decode(const Bytes& block, std::size_t bytes, std::uint8_t prefill = 0xEE) {
  Bytes out(bytes, prefill);
  DecodeWvcBlock(block, out);
  std::vector<int> samples;
  for (std::size_t i = 0; i + 1 < out.size(); i += 2) samples.push_back(std::int16_t(out[i] | (out[i + 1] << 8)));
  return samples;
}

struct TCode {
  std::uint32_t bits;
  int width;
};

Bytes Block(std::vector<TWvcChannel> start, std::vector<TCode> codes) {
  Bytes block = WvcBlockHeader(start);
  TWvcBitWriter writer;
  for (const TCode& c : codes) writer.Put(c.bits, c.width);
  Bytes stream = writer.Take();
  block.insert(block.end(), stream.begin(), stream.end());
  return block;
}

std::string RefusalOf(const Bytes& block, std::size_t bytes) {
  try {
    Decode(block, bytes);
  } catch (const VldError& e) {
    return e.what();
  }
  return "(decoded)";
}

}  // namespace

TEST(WvcTables, MatchThePublishedSteps) {
  const TWvcTables& t = WvcTables();
  EXPECT_EQ(t.step[0], 7);
  EXPECT_EQ(t.step[42], 408);
  EXPECT_EQ(t.step[88], 32767);
  EXPECT_EQ(t.delta[88][63], 64506);
  EXPECT_EQ(t.delta[0][32], 7);
  EXPECT_EQ(t.delta[0][1], 0);  // 7 >> 5
  for (auto [index, width] : {std::pair{0, 4}, {44, 4}, {45, 5}, {58, 5}, {59, 6}, {73, 6}, {74, 7}, {88, 7}})
    EXPECT_EQ(t.width[index], width) << "index " << index;
  std::vector<int> row5(t.indexChange[5].begin(), t.indexChange[5].begin() + 16);
  EXPECT_EQ(row5, (std::vector<int>{-1, -1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 2, 2, 4, 5, 6}));
  for (int width = 4; width <= 7; ++width) {
    int half = 1 << (width - 1);
    for (int m = 0; m < half / 2; ++m) EXPECT_EQ(t.indexChange[width][m], -1);
    EXPECT_EQ(t.indexChange[width][half - 1], 6);
  }
  EXPECT_EQ(t.indexChange[7][41], 1);
  EXPECT_EQ(t.indexChange[7][42], 2);
  EXPECT_EQ(t.indexChange[7][59], 5);
  EXPECT_EQ(t.indexChange[7][60], 6);
}

TEST(WvcDecoder, StereoFlagComplementsTheStartIndex) {
  // 0xD5 marks stereo and gives index 42 (step 408): code 0100 adds 408 + 408/8.
  Bytes stereo = {0xD5, 0x00, 100, 0x00, 0x00, 0x00, 0x44};
  EXPECT_EQ(Decode(stereo, 4), (std::vector<int>{559, 7}));
  Bytes mono = {42, 0x00, 100, 0x40};
  EXPECT_EQ(Decode(mono, 2), (std::vector<int>{559}));
}

TEST(WvcDecoder, EscapeCodeLoadsTheNextSixteenBits) {
  // Index 0: 0111 is the escape; 0x1234 follows; the index rises by 6 (step 13),
  // so the next code 0100 adds 13 + 1.
  Bytes block = {0x00, 0x00, 100, 0x71, 0x23, 0x44};
  EXPECT_EQ(Decode(block, 4), (std::vector<int>{0x1234, 0x1234 + 14}));
  // The escape's sign bit does not matter.
  block[3] = 0xF1;
  EXPECT_EQ(Decode(block, 4), (std::vector<int>{0x1234, 0x1234 + 14}));
  // A 5-bit escape leaves the window at an odd bit position; index 50 + 6 has step 1552.
  Bytes wide = Block({{50, 0}}, {{0b01111, 5}, {0x8001, 16}, {0b01000, 5}});
  EXPECT_EQ(Decode(wide, 4), (std::vector<int>{-32767, -32767 + 1552 + 97}));
}

TEST(WvcDecoder, MagnitudeZeroAddsNothingAndLowersTheIndex) {
  // From index 1: -0 keeps 500 and lowers to 0; +0 stays at 0 (not below); at index 0
  // code 0100 adds exactly 7.
  Bytes block = Block({{1, 500}}, {{0b1000, 4}, {0b0000, 4}, {0b0100, 4}});
  EXPECT_EQ(Decode(block, 6), (std::vector<int>{500, 500, 507}));
}

TEST(WvcDecoder, ValueAndIndexClamp) {
  // Index 86 + 6 clamps to 88: the next code then works with step 32767.
  Bytes block = Block({{86, 0}}, {{0b0111110, 7}, {0b1100000, 7}, {0b1111110, 7}});
  EXPECT_EQ(Decode(block, 6), (std::vector<int>{32767, 32767 - 33278, -32768}));
}

TEST(WvcDecoder, ChannelOneStartsRightAfterChannelZeroMidByte) {
  // Three 4-bit codes for channel 0 end in the middle of the second byte. Channel 1
  // starts at index 10 (step 19): 0101 adds 19 + 4 + 2, then index 12 (step 23) ...
  Bytes block = Block({{0, 0}, {10, 1000}}, {{0b0100, 4},
                                             {0b0000, 4},
                                             {0b1100, 4},  // channel 0
                                             {0b0101, 4},
                                             {0b0110, 4},
                                             {0b1011, 4}});  // channel 1
  EXPECT_EQ(block.size(), 6u + 3u);
  EXPECT_EQ(Decode(block, 12), (std::vector<int>{7, 1025, 7, 1061, 0, 1032}));
}

TEST(WvcDecoder, CodesEndingInTheLastByteDecodeCompletely) {
  Bytes block = {0x00, 0x00, 0x00, 0x44, 0x44};
  EXPECT_EQ(Decode(block, 8), (std::vector<int>{7, 16, 26, 37}));
}

TEST(WvcDecoder, BitsPastTheStoredBytesReadAsZero) {
  Bytes block = Block({{5, -300}}, {});
  EXPECT_EQ(Decode(block, 6), (std::vector<int>{-300, -300, -300}));
}

TEST(WvcDecoder, PartialTrailingFrameIsSilence) {
  Bytes block = {0xD5, 0x00, 100, 0x00, 0x00, 0x00, 0x44};
  Bytes out(7, 0xEE);
  DecodeWvcBlock(block, out);
  EXPECT_EQ(out, (Bytes{0x2F, 0x02, 0x07, 0x00, 0, 0, 0}));
}

TEST(WvcDecoder, BadHeadersAreRefused) {
  EXPECT_NE(RefusalOf({}, 2).find("fewer than its 3-byte header"), std::string::npos);
  EXPECT_NE(RefusalOf({0x10, 0x00}, 2).find("fewer than its 3-byte header"), std::string::npos);
  EXPECT_NE(RefusalOf({0x80, 0, 0, 0, 0}, 4).find("fewer than its 6-byte header"), std::string::npos);
  EXPECT_NE(RefusalOf({89, 0, 0}, 2).find("index 89"), std::string::npos);
  EXPECT_NE(RefusalOf({0xA0, 0, 0, 0, 0, 0}, 4).find("index 95"), std::string::npos);
  EXPECT_NE(RefusalOf({0xFF, 0, 0, 200, 0, 0}, 4).find("channel 1 starts at step index 200"), std::string::npos);
}
