#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/images/TGAImage.h"
#include "samples/ImageSamples.h"

using namespace vld;
using samples::BuildTGA;
using samples::TgaHeader;
using samples::TTgaOptions;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

Bytes Tga(std::uint8_t type, std::uint16_t w, std::uint16_t h, std::uint8_t depth, std::uint8_t descriptor,
          const Bytes& data) {
  Bytes out = TgaHeader(type, w, h, depth, descriptor);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// The decoded pixels in picture order (top row first), as the BMP carries them.
Bytes Pixels(const Bytes& tga) { return samples::ReadBMP32(DecodeTGAImage(tga, false).bmp).Pixels; }

std::vector<std::string> StatusTexts(const Bytes& entry) {
  std::vector<std::string> texts;
  DecodeTGAImage(entry, [&](const std::string& t) { texts.push_back(t); });
  return texts;
}

TTgaOptions Options(int depth, bool runLength, bool flipped) {
  TTgaOptions o;
  o.depth = depth;
  o.runLength = runLength;
  o.flipped = flipped;
  return o;
}

// Wide rows of runs of every length from 1 to 130 between raw stretches of
// every length up to 140, so that packets of every size occur, cross rows and
// fill rows far wider than the longest packet.
TPixelImage RunsAndStretches(int width, int height) {
  TPixelImage image(width, height);
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  std::size_t pixel = 0, runLength = 1, rawLength = 0;
  const std::size_t pixels = image.Pixels.size() / 4;
  std::uint32_t last = 0;
  auto put = [&](std::uint32_t value) {
    if (pixel < pixels) std::memcpy(image.Pixels.data() + pixel++ * 4, &value, 4);
    last = value;
  };
  while (pixel < pixels) {
    std::uint32_t colour = next() | 0x01010101u;
    if (colour == last) colour ^= 0x80u;
    for (std::size_t i = 0; i < runLength; ++i) put(colour);
    for (std::size_t i = 0; i < rawLength; ++i) put(last + 0x01020304u);
    runLength = runLength % 130 + 1;
    rawLength = (rawLength + 7) % 141;
  }
  return image;
}

// The picture's pixels in the order the file stores them.
Bytes FileOrder(const TPixelImage& image, bool flipped) {
  Bytes out;
  for (int i = 0; i < image.Height; ++i) {
    const std::uint8_t* row = image.Row(flipped ? image.Height - 1 - i : i);
    out.insert(out.end(), row, row + image.RowBytes());
  }
  return out;
}

// How many pixels the run-length data stores: whole packets, and of a raw
// packet cut short the pixels that are all there.
std::size_t PixelsStored(ByteSpan data, std::size_t pixelBytes, std::size_t pixels) {
  std::size_t stored = 0, at = 0;
  while (stored < pixels && at < data.size()) {
    const std::size_t h = data[at++];
    const std::size_t available = (data.size() - at) / pixelBytes;
    const std::size_t n = h >= 128 ? (available ? h - 127 : 0) : std::min(h + 1, available);
    stored += n;
    at += (h >= 128 ? std::min<std::size_t>(1, available) : n) * pixelBytes;
    if (n == 0 || (h < 128 && n <= h)) break;
  }
  return std::min(stored, pixels);
}

}  // namespace

TEST(TgaImage, UncompressedPixelsKeepTheirByteOrder) {
  EXPECT_EQ(Pixels(Tga(2, 2, 1, 24, 0, {1, 2, 3, 4, 5, 6})), (Bytes{1, 2, 3, 0xFF, 4, 5, 6, 0xFF}));
  EXPECT_EQ(Pixels(Tga(2, 2, 1, 32, 0, {1, 2, 3, 4, 5, 6, 7, 8})), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  TImageFile file = DecodeTGAImage(Tga(2, 2, 1, 24, 0, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(file.width, 2);
  EXPECT_EQ(file.height, 1);
  EXPECT_EQ(file.bmp.size(), 54u + 8u);
}

TEST(TgaImage, RunAndRawPackets) {
  // One run of four at depth 24: the alpha byte keeps the FF start value.
  EXPECT_EQ(Pixels(Tga(10, 4, 1, 24, 0, {0x83, 0x0A, 0x0B, 0x0C})),
            (Bytes{0x0A, 0x0B, 0x0C, 0xFF, 0x0A, 0x0B, 0x0C, 0xFF, 0x0A, 0x0B, 0x0C, 0xFF, 0x0A, 0x0B, 0x0C, 0xFF}));
  // A raw packet of three at depth 32 passes the bytes unchanged.
  const Bytes twelve{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Bytes raw{0x02};
  raw.insert(raw.end(), twelve.begin(), twelve.end());
  EXPECT_EQ(Pixels(Tga(10, 3, 1, 32, 0, raw)), twelve);
  // A run of two and a raw packet of two fill four pixels in file order.
  EXPECT_EQ(Pixels(Tga(10, 2, 2, 24, 0, {0x81, 1, 1, 1, 0x01, 2, 2, 2, 3, 3, 3})),
            (Bytes{1, 1, 1, 0xFF, 1, 1, 1, 0xFF, 2, 2, 2, 0xFF, 3, 3, 3, 0xFF}));
  // Packets may run across row ends.
  EXPECT_EQ(Pixels(Tga(10, 1, 3, 24, 0, {0x82, 9, 8, 7})), (Bytes{9, 8, 7, 0xFF, 9, 8, 7, 0xFF, 9, 8, 7, 0xFF}));
}

TEST(TgaImage, DescriptorBitThreeFlipsTheRows) {
  const Bytes rows{1, 1, 1, 2, 2, 2};  // a 1 x 2 picture: top 01, bottom 02
  const Bytes fileOrder{1, 1, 1, 0xFF, 2, 2, 2, 0xFF};
  const Bytes flipped{2, 2, 2, 0xFF, 1, 1, 1, 0xFF};
  EXPECT_EQ(Pixels(Tga(2, 1, 2, 24, 0x00, rows)), fileOrder);
  EXPECT_EQ(Pixels(Tga(2, 1, 2, 24, 0x20, rows)), fileOrder);
  EXPECT_EQ(Pixels(Tga(2, 1, 2, 24, 0x08, rows)), flipped);
  EXPECT_EQ(Pixels(Tga(2, 1, 2, 24, 0x28, rows)), flipped);
  EXPECT_EQ(StatusTexts(Tga(2, 1, 2, 24, 0x08, rows)),
            (std::vector<std::string>{"Loading TGA image...", "Flipping image..."}));
  EXPECT_EQ(StatusTexts(Tga(2, 1, 2, 24, 0x20, rows)), std::vector<std::string>{"Loading TGA image..."});
}

TEST(TgaImage, PlainAndCompressedEntriesGiveTheSameFile) {
  const Bytes plain = BuildTGA(samples::WaterPicture());
  const Bytes compressed = samples::GzipMember(plain);
  EXPECT_EQ(DecodeTGAImage(compressed).bmp, DecodeTGAImage(plain).bmp);
  EXPECT_EQ(DecodeTGAImage(compressed, true).bmp, DecodeTGAImage(plain, false).bmp);
  EXPECT_EQ(StatusTexts(compressed), (std::vector<std::string>{"Loading TGA image...", "Uncompressing TGA image..."}));
  EXPECT_EQ(StatusTexts(plain), std::vector<std::string>{"Loading TGA image..."});
}

TEST(TgaImage, EveryWayOfWritingAPictureDecodesToIt) {
  const TPixelImage picture = samples::PatternPicture(45, 17, true);
  TPixelImage opaque = picture;
  for (std::size_t i = 3; i < opaque.Pixels.size(); i += 4) opaque.Pixels[i] = 0xFF;
  for (int depth : {24, 32})
    for (bool runLength : {false, true})
      for (bool flipped : {false, true}) {
        const Bytes tga = BuildTGA(picture, Options(depth, runLength, flipped));
        EXPECT_EQ(Pixels(tga), depth == 32 ? picture.Pixels : opaque.Pixels)
            << depth << " bits, run length " << runLength << ", flipped " << flipped;
      }
  // The picture decoder puts the rows where the BMP writer does.
  for (bool flipped : {false, true}) {
    const Bytes tga = BuildTGA(picture, Options(32, true, flipped));
    EXPECT_EQ(DecodeTGA(tga).Pixels, picture.Pixels) << "flipped " << flipped;
  }
  // Flat areas make real runs: the sign compresses and still decodes exactly.
  const Bytes sign = BuildTGA(samples::SignPicture(), Options(32, true, false));
  EXPECT_LT(sign.size(), 160u * 64u * 4u / 4u);
  EXPECT_EQ(Pixels(sign), samples::SignPicture().Pixels);
}

TEST(TgaImage, PacketsOfEverySizeInWideRowsDecodeExactly) {
  const TPixelImage picture = RunsAndStretches(333, 61);
  TPixelImage opaque = picture;
  for (std::size_t i = 3; i < opaque.Pixels.size(); i += 4) opaque.Pixels[i] = 0xFF;
  for (int depth : {24, 32})
    for (bool flipped : {false, true}) {
      const Bytes tga = BuildTGA(picture, Options(depth, true, flipped));
      const TPixelImage& expected = depth == 32 ? picture : opaque;
      EXPECT_EQ(Pixels(tga), expected.Pixels) << depth << " bits, flipped " << flipped;
      EXPECT_EQ(DecodeTGA(tga).Pixels, expected.Pixels) << depth << " bits, flipped " << flipped;
    }
}

TEST(TgaImage, DataCutAnywhereLeavesZerosAfterTheLastStoredPixel) {
  const TPixelImage picture = RunsAndStretches(300, 20);
  const std::size_t pixels = 300 * 20;
  for (int depth : {24, 32})
    for (bool flipped : {false, true}) {
      const Bytes tga = BuildTGA(picture, Options(depth, true, flipped));
      const Bytes full = FileOrder(samples::ReadBMP32(DecodeTGAImage(tga).bmp), flipped);
      const std::size_t pixelBytes = depth / 8;
      for (std::size_t cut = kTgaHeaderSize; cut < tga.size(); cut += 1 + cut % 97) {
        const Bytes part(tga.begin(), tga.begin() + static_cast<std::ptrdiff_t>(cut));
        const std::size_t stored = PixelsStored(ByteSpan(part).subspan(kTgaHeaderSize), pixelBytes, pixels);
        Bytes expected(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(stored * 4));
        expected.resize(full.size(), 0);
        ASSERT_EQ(FileOrder(samples::ReadBMP32(DecodeTGAImage(part).bmp), flipped), expected)
            << depth << " bits, flipped " << flipped << ", cut at " << cut;
        ASSERT_EQ(FileOrder(DecodeTGA(part), flipped), expected)
            << depth << " bits, flipped " << flipped << ", cut at " << cut;
      }
    }
}

TEST(TgaImage, OtherTypesAndDepthsGiveAnAllZeroPictureOfTheHeadersSize) {
  for (const Bytes& tga : {Tga(3, 5, 4, 8, 0, Bytes(20, 0x77)), Tga(1, 5, 4, 24, 0, Bytes(60, 0x77)),
                           Tga(2, 5, 4, 16, 0, Bytes(40, 0x77)), Tga(10, 5, 4, 8, 0, Bytes(60, 0x77))}) {
    TImageFile file = DecodeTGAImage(tga);
    EXPECT_EQ(file.width, 5);
    EXPECT_EQ(file.height, 4);
    EXPECT_EQ(samples::ReadBMP32(file.bmp).Pixels, Bytes(5 * 4 * 4, 0));
  }
}

TEST(TgaImage, ShortOrOverlongPixelDataStaysInsideThePicture) {
  // Missing pixels stay zero; the bytes of a four-byte pixel cut short are kept.
  EXPECT_EQ(Pixels(Tga(2, 3, 1, 24, 0, {1, 2, 3, 4})), (Bytes{1, 2, 3, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Pixels(Tga(2, 3, 1, 32, 0, {1, 2, 3, 4, 5, 6})), (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Pixels(Tga(2, 2, 2, 32, 0x08, {1, 2, 3, 4, 5, 6})),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(Pixels(Tga(10, 3, 1, 24, 0, {0x80, 1, 2, 3, 0x85})), (Bytes{1, 2, 3, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
  // A packet header whose pixel bytes are cut off stores nothing.
  EXPECT_EQ(Pixels(Tga(10, 2, 1, 32, 0, {0x81, 1, 2, 3})), Bytes(8, 0));
  // A run past the last pixel is cut there, as is a raw packet.
  EXPECT_EQ(Pixels(Tga(10, 2, 1, 24, 0, {0xFF, 4, 5, 6})), (Bytes{4, 5, 6, 0xFF, 4, 5, 6, 0xFF}));
  EXPECT_EQ(Pixels(Tga(10, 1, 1, 24, 0, {0x02, 1, 1, 1, 2, 2, 2, 3, 3, 3})), (Bytes{1, 1, 1, 0xFF}));
  // An empty picture is a bare BMP header.
  EXPECT_EQ(DecodeTGAImage(Tga(10, 0, 7, 24, 0x08, {0x85, 1, 2, 3})).bmp.size(), 54u);
}

TEST(TgaImage, HostileHeadersAreRefused) {
  EXPECT_THAT([] { DecodeTGAImage(Bytes(17, 2)); }, ThrowsMessage<VldError>(HasSubstr("18-byte header")));
  EXPECT_THAT([] { DecodeTGAImage(Tga(2, 65535, 65535, 32, 0, {})); },
              ThrowsMessage<VldError>(HasSubstr("65535 x 65535")));
  EXPECT_THROW(DecodeTGAImage(Tga(10, 4097, 4096, 24, 0, {0xFF, 1, 2, 3})), VldError);
  EXPECT_NO_THROW(DecodeTGAImage(Tga(10, 4096, 16, 24, 0, {0xFF, 1, 2, 3})));
  // Compressed entries whose gzip member is broken are refused the same way.
  EXPECT_THROW(DecodeTGAImage(Bytes{0x1F, 0x8B, 8, 0}), VldError);
}
