#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/images/KFNFont.h"
#include "samples/ImageSamples.h"

using namespace vld;
using samples::BuildKFNFont;
using samples::KFNGlyphRecordOffset;
using samples::TFontGlyph;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

TFontGlyph Glyph(std::int32_t w, std::int32_t h, Bytes pixels) { return {w, h, std::move(pixels)}; }

// A font of empty glyphs except those given.
Bytes Font(std::int32_t cw, std::int32_t ch, std::vector<std::pair<int, TFontGlyph>> set) {
  std::vector<TFontGlyph> glyphs(256);
  for (auto& [i, g] : set) glyphs[static_cast<std::size_t>(i)] = std::move(g);
  return BuildKFNFont(cw, ch, glyphs);
}

void Put32(Bytes& b, std::size_t at, std::int32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k));
}

Bytes PixelAt(const TPixelImage& image, int x, int y) { return Bytes(image.At(x, y), image.At(x, y) + 4); }

// Number of pixels set in the sheet.
int Drawn(const TPixelImage& sheet) {
  int n = 0;
  for (std::size_t i = 3; i < sheet.Pixels.size(); i += 4) n += sheet.Pixels[i] != 0;
  return n;
}

}  // namespace

TEST(KfnFont, SheetIsSixteenCellsEachWayWithTwoSpareRows) {
  TImageFile file = RenderKFNImage(Font(10, 12, {}));
  EXPECT_EQ(file.width, 160);
  EXPECT_EQ(file.height, 224);
  EXPECT_EQ(file.bmp.size(), 54u + 160u * 224u * 4u);
  TPixelImage sheet = samples::ReadBMP32(file.bmp);
  EXPECT_EQ(sheet.Width, 160);
  EXPECT_EQ(sheet.Pixels, Bytes(160 * 224 * 4, 0));  // nothing drawn: a black, transparent sheet
}

TEST(KfnFont, GlyphsLandInTheirCellsAsGreyLevels) {
  TPixelImage sheet = RenderKFNSheet(Font(10, 12, {{17, Glyph(1, 1, {0x80})}, {255, Glyph(2, 1, {0x01, 0xFF})}}));
  EXPECT_EQ(PixelAt(sheet, 10, 14), (Bytes{0x80, 0x80, 0x80, 0xFF}));
  EXPECT_EQ(PixelAt(sheet, 150, 210), (Bytes{0x01, 0x01, 0x01, 0xFF}));
  EXPECT_EQ(PixelAt(sheet, 151, 210), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Drawn(sheet), 3);
}

TEST(KfnFont, ZeroBytesLeaveWhatEarlierGlyphsDrew) {
  // Glyph 16 is twelve pixels wide in ten-pixel cells: its last two columns
  // fall into glyph 17's cell, which is drawn after it.
  Bytes wide(12, 0);
  wide[10] = 0x40;
  wide[11] = 0x50;
  TPixelImage sheet = RenderKFNSheet(Font(10, 12, {{16, Glyph(12, 1, wide)}, {17, Glyph(2, 1, {0x00, 0x90})}}));
  EXPECT_EQ(PixelAt(sheet, 10, 14)[0], 0x40);
  EXPECT_EQ(PixelAt(sheet, 11, 14)[0], 0x90);
}

TEST(KfnFont, PositionsRunOnLinearlyPastTheCellAndTheSheetsEdge) {
  // Glyph 15 starts at column 150 of a 160-wide sheet; a 15-pixel row runs on
  // into the first columns of the next pixel row.
  TPixelImage sheet = RenderKFNSheet(Font(10, 12, {{15, Glyph(15, 1, Bytes(15, 0x33))}}));
  EXPECT_EQ(PixelAt(sheet, 159, 0)[0], 0x33);
  EXPECT_EQ(PixelAt(sheet, 4, 1)[0], 0x33);
  EXPECT_EQ(PixelAt(sheet, 5, 1)[0], 0);
  // A glyph taller than its cell continues into the cell below.
  sheet = RenderKFNSheet(Font(10, 12, {{0, Glyph(1, 20, Bytes(20, 0x44))}}));
  EXPECT_EQ(PixelAt(sheet, 0, 19)[0], 0x44);
  EXPECT_EQ(Drawn(sheet), 20);
}

TEST(KfnFont, GlyphsReachingPastTheSheetsEndStopThere) {
  // The last glyph, 100 rows high in a 224-row sheet whose last cell row starts at 210.
  TPixelImage sheet = RenderKFNSheet(Font(10, 12, {{255, Glyph(3, 100, Bytes(300, 0x22))}}));
  EXPECT_EQ(Drawn(sheet), 3 * 14);
  EXPECT_EQ(PixelAt(sheet, 152, 223)[0], 0x22);
}

TEST(KfnFont, TheUnusedHeaderBytesDoNotMatter) {
  Bytes font = Font(8, 10, {{65, Glyph(2, 2, {1, 2, 3, 4})}});
  Bytes noisy = font;
  for (std::size_t i = 32; i < 544; ++i) noisy[i] = static_cast<std::uint8_t>(i * 13);
  for (std::size_t i : {0, 4, 16, 20, 24, 28}) noisy[i] = 0xEE;
  EXPECT_EQ(RenderKFNImage(noisy).bmp, RenderKFNImage(font).bmp);
  std::vector<std::string> texts;
  RenderKFNImage(font, [&](const std::string& t) { texts.push_back(t); });
  EXPECT_EQ(texts, std::vector<std::string>{"Loading KFN font..."});
}

TEST(KfnFont, TheDemoFontIsReadable) {
  TPixelImage sheet = RenderKFNSheet(samples::BuildDemoFont());
  EXPECT_EQ(sheet.Width, 128);
  EXPECT_EQ(sheet.Height, 192);
  // 'A' (65) sits in cell column 1, cell row 4; its top row is .###.
  const int x = 8, y = 4 * 12;
  for (int c = 0; c < 5; ++c) EXPECT_EQ(PixelAt(sheet, x + c, y)[0], (c >= 1 && c <= 3) ? 0xFF : 0) << c;
  // Its crossbar in row 4 with a grey shadow below-right of the ink.
  EXPECT_EQ(PixelAt(sheet, x, y + 4)[0], 0xFF);
  EXPECT_EQ(PixelAt(sheet, x + 5, y + 5)[0], 0x60);
}

TEST(KfnFont, GlyphBitmapsOutsideTheEntryDrawNothingThere) {
  Bytes font = Font(8, 8, {{0, Glyph(4, 4, Bytes(16, 0x11))}});
  // Glyph 1 points behind the end, glyph 2 before the bitmaps and into the
  // glyph table, glyph 3 far before the entry, glyph 4 is huge.
  for (int g : {1, 2, 3, 4}) {
    Put32(font, KFNGlyphRecordOffset(g) + 8, 4);
    Put32(font, KFNGlyphRecordOffset(g) + 12, 4);
  }
  Put32(font, KFNGlyphRecordOffset(1), 14);
  Put32(font, KFNGlyphRecordOffset(2), -4);
  Put32(font, KFNGlyphRecordOffset(3), INT32_MIN);
  Put32(font, KFNGlyphRecordOffset(4), 0);
  Put32(font, KFNGlyphRecordOffset(4) + 8, 0x7FFFFFFF);
  Put32(font, KFNGlyphRecordOffset(4) + 12, 0x7FFFFFFF);
  TPixelImage sheet = RenderKFNSheet(font);
  // Glyph 1: two bytes of glyph 0's bitmap remain inside the entry.
  EXPECT_EQ(PixelAt(sheet, 8, 0)[0], 0x11);
  EXPECT_EQ(PixelAt(sheet, 9, 0)[0], 0x11);
  EXPECT_EQ(PixelAt(sheet, 10, 0)[0], 0);
  EXPECT_EQ(PixelAt(sheet, 8, 1)[0], 0);
  // Glyph 2 reads the last four bytes of the table: glyph 255's empty size.
  EXPECT_EQ(PixelAt(sheet, 16, 0)[0], 0);
  // Glyph 4's single row runs on across the sheet as far as the entry goes.
  EXPECT_EQ(PixelAt(sheet, 32, 0)[0], 0x11);
}

TEST(KfnFont, UnusableFontsAreRefused) {
  EXPECT_THAT([] { RenderKFNSheet(Bytes(4639, 0)); }, ThrowsMessage<VldError>(HasSubstr("4639 bytes long")));
  EXPECT_THAT([] { RenderKFNSheet(Font(0, 10, {})); }, ThrowsMessage<VldError>(HasSubstr("at least 1 x 1")));
  EXPECT_THROW(RenderKFNSheet(Font(8, -1, {})), VldError);
  EXPECT_THROW(RenderKFNSheet(Font(-8, 10, {})), VldError);
  EXPECT_THROW(RenderKFNSheet(Font(0x7FFFFFFF, 0x7FFFFFFF, {})), VldError);
  EXPECT_THROW(RenderKFNSheet(Font(300, 1000, {})), VldError);  // 4800 x 16032 pixels
  EXPECT_NO_THROW(RenderKFNSheet(Font(256, 254, {})));          // 4096 x 4096
}
