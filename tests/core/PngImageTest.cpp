#include <gtest/gtest.h>

#include <png.h>

#include "core/browser/Formats.h"
#include "core/common/Errors.h"
#include "core/images/BMPTools.h"
#include "core/images/PngImage.h"
#include "samples/ImageSamples.h"

using namespace vld;

namespace {

// libpng's own reader, as an independent check of what the writer wrote:
// the pixels as blue, green, red, alpha.
TPixelImage ReadPng(const Bytes& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
  image.format = PNG_FORMAT_BGRA;
  TPixelImage out(image.width, image.height);
  if (!png_image_finish_read(&image, nullptr, out.Pixels.data(), 0, nullptr)) return {};
  return out;
}

// A BMP file of another depth, written field by field.
Bytes Bmp(int width, int height, int bits, const Bytes& rows, const Bytes& palette = {},
          std::uint32_t compression = 0) {
  Bytes b(54, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(10, static_cast<std::uint32_t>(54 + palette.size()));
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  b[26] = 1;
  b[28] = static_cast<std::uint8_t>(bits);
  put32(30, compression);
  put32(46, static_cast<std::uint32_t>(palette.size() / 4));
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), rows.begin(), rows.end());
  put32(2, static_cast<std::uint32_t>(b.size()));
  return b;
}

}  // namespace

TEST(PngExport, ThePngHoldsTheBmpsPixelsAlphaIncluded) {
  ASSERT_TRUE(HavePngWriter());
  TPixelImage picture = samples::PatternPicture(37, 21, /*alphaFromPosition=*/true);
  Bytes bmp = WriteBMP32(picture);
  Bytes png = BmpToPng(bmp);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(Bytes(png.begin(), png.begin() + 4), (Bytes{0x89, 'P', 'N', 'G'}));
  TPixelImage back = ReadPng(png);
  EXPECT_EQ(back.Width, 37);
  EXPECT_EQ(back.Height, 21);
  EXPECT_EQ(back.Pixels, picture.Pixels);
  EXPECT_EQ(BmpToPng(bmp), png);  // the same picture gives the same file
}

TEST(PngExport, OtherBitmapDepthsAndRowOrders) {
  // 2 x 2, 24-bit, bottom-up: rows are padded to four bytes.
  Bytes rows24 = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  TPixelImage p24 = DecodeBMPPixels(Bmp(2, 2, 24, rows24));
  EXPECT_EQ(p24.Pixels, (Bytes{7, 8, 9, 255, 10, 11, 12, 255, 1, 2, 3, 255, 4, 5, 6, 255}));

  // The same rows stored from the top down.
  TPixelImage down = DecodeBMPPixels(Bmp(2, -2, 24, rows24));
  EXPECT_EQ(down.Pixels, (Bytes{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255}));

  // 8-bit with a palette of two colours.
  Bytes palette = {10, 20, 30, 0, 40, 50, 60, 0};
  TPixelImage p8 = DecodeBMPPixels(Bmp(3, 1, 8, {1, 0, 1, 0}, palette));
  EXPECT_EQ(p8.Pixels, (Bytes{40, 50, 60, 255, 10, 20, 30, 255, 40, 50, 60, 255}));
  EXPECT_EQ(ReadPng(WritePNG(p8)).Pixels, p8.Pixels);
}

TEST(PngExport, RefusesWhatItCannotConvert) {
  EXPECT_THROW(DecodeBMPPixels(Bytes{'P', 'K', 3, 4}), VldError);
  EXPECT_THROW(DecodeBMPPixels(Bmp(2, 2, 8, Bytes(8, 0), {}, /*RLE8*/ 1)), VldError);
  EXPECT_THROW(DecodeBMPPixels(Bmp(2, 2, 16, Bytes(8, 0))), VldError);
  EXPECT_THROW(DecodeBMPPixels(Bmp(4, 4, 24, Bytes(10, 0))), VldError);  // pixels cut short
  EXPECT_THROW(WritePNG(TPixelImage()), VldError);
}

TEST(PngExport, EntriesConvertToPngByTheirType) {
  Bytes tile = samples::BuildTileEntry(samples::BeachPicture());
  TConversion bmp = ConvertEntryBytes("sets\\beach.til", tile);
  TConversion png = ConvertEntryBytes("sets\\beach.til", tile, ImageFormat::Png);
  EXPECT_EQ(bmp.extension, ".bmp");
  EXPECT_EQ(png.extension, ".png");
  EXPECT_EQ(ReadPng(png.data).Pixels, samples::ReadBMP32(bmp.data).Pixels);
  // Other types are not pictures: the format changes nothing for them.
  Bytes text{'h', 'i'};
  EXPECT_EQ(ConvertEntryBytes("t.tab", text, ImageFormat::Png).extension, ".txt");
}
