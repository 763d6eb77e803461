#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/Bytes.h"
#include "core/images/PixelImage.h"

namespace vld::samples {

// ---- gzip members ----------------------------------------------------------

struct TGzipOptions {
  std::string fileName;  // stored in the header when not empty (as every gzip tool does for named files)
  std::string comment;
  Bytes extra;  // an extra field when not empty
  bool headerCrc = false;
  int level = 9;
};

// A complete gzip member: header (with the optional fields asked for), raw
// deflate data, CRC-32 and length.
Bytes GzipMember(ByteSpan data, const TGzipOptions& options = {});

// ---- pictures --------------------------------------------------------------

struct TColour {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

void FillRect(TPixelImage& image, int x, int y, int w, int h, TColour colour);
void FillCircle(TPixelImage& image, int cx, int cy, int radius, TColour colour);
// Vertical blend from `top` at row y to `bottom` at row y + h - 1.
void FillGradient(TPixelImage& image, int x, int y, int w, int h, TColour top, TColour bottom);
// Text in the built-in 5 x 7 font, each font pixel drawn as scale x scale.
void DrawText(TPixelImage& image, int x, int y, std::string_view text, int scale, TColour colour);
// Width in pixels of DrawText's output.
int TextWidth(std::string_view text, int scale);

// The built-in 5 x 7 pattern of a printable ASCII character (seven rows, bit 4
// the leftmost pixel); nullptr for other characters.
const std::uint8_t* Glyph5x7(unsigned char c);

// A picture whose every pixel differs from its neighbours in a predictable
// way (colour from position), opaque unless `alphaFromPosition`.
TPixelImage PatternPicture(int width, int height, bool alphaFromPosition = false);

// Reads back a 32-bit bottom-up BMP file as WriteBMP32 writes it; throws
// VldError for anything else. Tests compare pictures through it.
TPixelImage ReadBMP32(ByteSpan bmp);

// The demo pictures.
TPixelImage BeachPicture();  // 640 x 480
TPixelImage TitlePicture();  // 320 x 200
TPixelImage BrickPicture();  // 128 x 128
TPixelImage SignPicture();   // 160 x 64, transparent around the sign
TPixelImage WaterPicture();  // 128 x 128
TPixelImage FlagPicture();   // 96 x 64, "TOP" along its top edge

// ---- tile entries ------------------------------------------------------------

struct TTile {
  std::int32_t width = 256;
  std::int32_t height = 256;
  Bytes rgba;  // width * height pixels, bytes red, green, blue, alpha
};

// Cuts a 640 x 480 picture into the five stored tiles; the bottom-right
// 128 x 224 corner goes into the right half of the third tile.
std::vector<TTile> CutIntoTiles(const TPixelImage& picture);
// A 256 x 256 tile of one colour (red, green, blue, alpha as given).
TTile SolidTile(TColour colour);

// The inflated form of a tile entry: 20-byte header whose bytes 4 to 7 give
// the tile block's offset, the 128-byte tile block (count at 16), the tiles.
Bytes BuildTileData(const std::vector<TTile>& tiles, std::uint8_t countByte, std::uint32_t blockOffset = 20);
// A tile entry as stored: the picture cut into tiles, gzip-compressed.
Bytes BuildTileEntry(const TPixelImage& picture, const TGzipOptions& gzip = {});

// ---- TGA images ------------------------------------------------------------

struct TTgaOptions {
  int depth = 24;          // 24 or 32
  bool runLength = false;  // image type 10 instead of 2
  bool flipped = false;    // rows stored bottom-up, descriptor bit 3 set
};

// An 18-byte TGA header.
Bytes TgaHeader(std::uint8_t imageType, std::uint16_t width, std::uint16_t height, std::uint8_t depth,
                std::uint8_t descriptor);
// A TGA file that decodes back to the picture (alpha becomes 255 at depth 24).
Bytes BuildTGA(const TPixelImage& image, const TTgaOptions& options = {});

// ---- KFN fonts -------------------------------------------------------------

struct TFontGlyph {
  std::int32_t width = 0;
  std::int32_t height = 0;
  Bytes pixels;  // width * height grey levels, 0 = not drawn
};

// A font entry: header with the cell size, 512 unused bytes, the 256-record
// glyph table, then the bitmaps one after another. Missing glyphs are empty.
Bytes BuildKFNFont(std::int32_t cellWidth, std::int32_t cellHeight, const std::vector<TFontGlyph>& glyphs);
// Byte offset of glyph i's table record in a font entry.
std::size_t KFNGlyphRecordOffset(int glyph);

// A readable font: printable ASCII from the built-in 5 x 7 patterns in white
// with a grey shadow, in 8 x 10 cells; other codes show a dim box.
Bytes BuildDemoFont();

}  // namespace vld::samples
