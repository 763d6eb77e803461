#include "samples/ImageSamples.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/common/ByteReader.h"
#include "core/common/Errors.h"
#include "core/images/GzipEntry.h"
#include "core/images/ImageEncode.h"
#include "core/images/KFNFont.h"
#include "core/images/TileImage.h"

namespace vld::samples {

// ---- gzip members ----------------------------------------------------------

Bytes GzipMember(ByteSpan data, const TGzipOptions& options) {
  Bytes out{0x1F, 0x8B, 8};
  std::uint8_t flags = 0;
  if (options.headerCrc) flags |= 0x02;
  if (!options.extra.empty()) flags |= 0x04;
  if (!options.fileName.empty()) flags |= 0x08;
  if (!options.comment.empty()) flags |= 0x10;
  out.push_back(flags);
  PutU32LE(out, 0);  // no time stamp
  out.push_back(options.level >= 9 ? 2 : 0);
  out.push_back(3);  // made on Unix
  if (!options.extra.empty()) {
    PutU16LE(out, static_cast<std::uint32_t>(options.extra.size()));
    out.insert(out.end(), options.extra.begin(), options.extra.end());
  }
  for (const std::string* text : {&options.fileName, &options.comment}) {
    if (text->empty()) continue;
    PutText(out, *text);
    out.push_back(0);
  }
  if (options.headerCrc) PutU16LE(out, crc32(0, out.data(), static_cast<uInt>(out.size())) & 0xFFFF);

  return GzipCompress(out, data, options.level);
}

// ---- pictures --------------------------------------------------------------

namespace {

// Printable ASCII 32..126, seven rows each, bit 4 leftmost.
constexpr std::uint8_t kFont5x7[95][7] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},  // space !
    {0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00}, {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},  // " #
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04}, {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},  // $ %
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}, {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00},  // & '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}, {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},  // ( )
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}, {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},  // * +
    {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}, {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},  // , -
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}, {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00},  // . /
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 0 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 2 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 4 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 6 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 8 9
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08},  // : ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}, {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00},  // < =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}, {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},  // > ?
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E}, {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11},  // @ A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}, {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // B C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // D E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}, {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // F G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // H I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}, {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // J K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}, {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // L M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}, {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // N O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}, {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // P Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}, {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // R S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // T U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}, {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // V W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}, {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // X Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}, {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},  // Z [
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00}, {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},  // backslash ]
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},  // ^ _
    {0x08, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F},  // ` a
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}, {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E},  // b c
    {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}, {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E},  // d e
    {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}, {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E},  // f g
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}, {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E},  // h i
    {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}, {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12},  // j k
    {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11},  // l m
    {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}, {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E},  // n o
    {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}, {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01},  // p q
    {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}, {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E},  // r s
    {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}, {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D},  // t u
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}, {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A},  // v w
    {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}, {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E},  // x y
    {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}, {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02},  // z {
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08},  // | }
    {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00},                                              // ~
};

std::uint8_t Blend(std::uint8_t a, std::uint8_t b, int step, int steps) {
  return static_cast<std::uint8_t>(a + (b - a) * step / std::max(1, steps));
}

void Plot(TPixelImage& image, int x, int y, TColour c) {
  if (x < 0 || y < 0 || x >= image.Width || y >= image.Height) return;
  image.Set(x, y, c.b, c.g, c.r, c.a);
}

}  // namespace

const std::uint8_t* Glyph5x7(unsigned char c) { return c >= 32 && c <= 126 ? kFont5x7[c - 32] : nullptr; }

void FillRect(TPixelImage& image, int x, int y, int w, int h, TColour colour) {
  for (int row = std::max(0, y); row < std::min(image.Height, y + h); ++row)
    for (int col = std::max(0, x); col < std::min(image.Width, x + w); ++col) Plot(image, col, row, colour);
}

void FillCircle(TPixelImage& image, int cx, int cy, int radius, TColour colour) {
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      if (dx * dx + dy * dy <= radius * radius) Plot(image, cx + dx, cy + dy, colour);
}

void FillGradient(TPixelImage& image, int x, int y, int w, int h, TColour top, TColour bottom) {
  for (int i = 0; i < h; ++i) {
    TColour c{Blend(top.r, bottom.r, i, h - 1), Blend(top.g, bottom.g, i, h - 1), Blend(top.b, bottom.b, i, h - 1),
              Blend(top.a, bottom.a, i, h - 1)};
    FillRect(image, x, y + i, w, 1, c);
  }
}

int TextWidth(std::string_view text, int scale) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * 6 * scale - scale;
}

void DrawText(TPixelImage& image, int x, int y, std::string_view text, int scale, TColour colour) {
  for (unsigned char ch : text) {
    if (const std::uint8_t* glyph = Glyph5x7(ch)) {
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (glyph[row] & (0x10 >> col)) FillRect(image, x + col * scale, y + row * scale, scale, scale, colour);
    }
    x += 6 * scale;
  }
}

TPixelImage PatternPicture(int width, int height, bool alphaFromPosition) {
  TPixelImage image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.Set(x, y, static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 3),
                static_cast<std::uint8_t>(x ^ y), alphaFromPosition ? static_cast<std::uint8_t>(x + 2 * y) : 255);
  return image;
}

TPixelImage ReadBMP32(ByteSpan bmp) {
  ByteReader r(bmp, "BMP file");
  if (r.U8() != 'B' || r.U8() != 'M') throw VldError("Not a BMP file.");
  r.Seek(10);
  const std::uint32_t dataOffset = r.U32LE();
  r.Seek(18);
  const std::int32_t width = r.I32LE();
  const std::int32_t height = r.I32LE();
  r.Skip(2);
  if (r.U16LE() != 32 || height < 0) throw VldError("Not a bottom-up 32-bit BMP file.");
  TPixelImage image(width, height);
  r.Seek(dataOffset);
  if (image.RowBytes() == 0) return image;
  for (std::int32_t y = height - 1; y >= 0; --y) r.Read(image.Row(y), image.RowBytes());
  return image;
}

TPixelImage BeachPicture() {
  TPixelImage image(kTileScreenWidth, kTileScreenHeight);
  FillGradient(image, 0, 0, 640, 260, {40, 90, 200}, {170, 215, 250});  // sky
  FillCircle(image, 470, 110, 58, {255, 236, 150});                     // sun glow
  FillCircle(image, 470, 110, 44, {255, 210, 60});                      // sun
  FillCircle(image, 120, 70, 26, {250, 250, 255});                      // a cloud
  FillCircle(image, 150, 60, 32, {250, 250, 255});
  FillCircle(image, 185, 72, 24, {250, 250, 255});
  FillGradient(image, 0, 260, 640, 90, {30, 110, 170}, {60, 160, 190});  // sea
  for (int wave = 0; wave < 6; ++wave)
    for (int x = 0; x < 640; ++x)
      Plot(image, x, 270 + wave * 14 + static_cast<int>(3 * std::sin((x + wave * 40) / 18.0)), {200, 230, 245});
  FillGradient(image, 0, 350, 640, 130, {240, 220, 160}, {210, 180, 120});  // sand
  // A palm tree on the left.
  for (int y = 180; y < 420; ++y) FillRect(image, 90 + (420 - y) / 6, y, 14, 1, {120, 80, 40});
  for (int leaf = 0; leaf < 5; ++leaf)
    FillCircle(image, 100 + (leaf - 2) * 28, 180 + std::abs(leaf - 2) * 10, 22, {40, 140, 60});
  // A beach ball in the bottom-right corner, the part stored beside the third tile.
  FillCircle(image, 575, 420, 40, {240, 240, 240});
  FillRect(image, 535, 405, 81, 14, {220, 40, 40});
  FillRect(image, 535, 425, 81, 14, {40, 80, 220});
  DrawText(image, 520, 300, "CORNER", 3, {120, 20, 20});
  const char* title = "VORLINDANE BEACH";
  DrawText(image, (640 - TextWidth(title, 4)) / 2 + 3, 443, title, 4, {90, 60, 30});
  DrawText(image, (640 - TextWidth(title, 4)) / 2, 440, title, 4, {255, 255, 255});
  return image;
}

TPixelImage TitlePicture() {
  TPixelImage image(320, 200);
  FillGradient(image, 0, 0, 320, 200, {40, 10, 70}, {120, 40, 90});
  FillRect(image, 6, 6, 308, 3, {230, 190, 80});
  FillRect(image, 6, 191, 308, 3, {230, 190, 80});
  FillRect(image, 6, 6, 3, 188, {230, 190, 80});
  FillRect(image, 311, 6, 3, 188, {230, 190, 80});
  DrawText(image, (320 - TextWidth("VLD", 8)) / 2, 40, "VLD", 8, {255, 220, 120});
  DrawText(image, (320 - TextWidth("Resource Viewer", 2)) / 2, 120, "Resource Viewer", 2, {255, 255, 255});
  DrawText(image, (320 - TextWidth("demo bundle", 1)) / 2, 160, "demo bundle", 1, {200, 180, 220});
  return image;
}

TPixelImage BrickPicture() {
  TPixelImage image(128, 128);
  FillRect(image, 0, 0, 128, 128, {200, 195, 185});  // mortar
  for (int row = 0; row < 8; ++row) {
    const int shift = (row % 2) * 16;
    for (int col = -1; col < 4; ++col) {
      const std::uint8_t shade = static_cast<std::uint8_t>(150 + ((row * 5 + col * 3) % 4) * 15);
      FillRect(image, col * 32 + shift + 1, row * 16 + 1, 30, 14, {shade, 60, 40});
    }
  }
  return image;
}

TPixelImage SignPicture() {
  TPixelImage image(160, 64);  // all transparent to begin with
  FillRect(image, 8, 4, 144, 56, {30, 120, 40});
  FillRect(image, 4, 8, 152, 48, {30, 120, 40});
  FillRect(image, 10, 10, 140, 44, {40, 160, 60});
  DrawText(image, (160 - TextWidth("EXIT", 5)) / 2, 15, "EXIT", 5, {255, 255, 255});
  return image;
}

TPixelImage WaterPicture() {
  TPixelImage image(128, 128);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      const double wave = std::sin(x / 9.0 + std::sin(y / 13.0) * 2.0) * 0.5 + 0.5;
      Plot(image, x, y,
           {static_cast<std::uint8_t>(20 + wave * 40), static_cast<std::uint8_t>(90 + wave * 80 + y / 4),
            static_cast<std::uint8_t>(170 + wave * 70)});
    }
  return image;
}

TPixelImage FlagPicture() {
  TPixelImage image(96, 64);
  const TColour stripes[] = {{200, 30, 30}, {250, 250, 250}, {30, 60, 170}};
  for (int i = 0; i < 3; ++i) FillRect(image, 0, 16 + i * 16, 96, 16, stripes[i]);
  FillRect(image, 0, 0, 96, 16, {20, 20, 20});
  DrawText(image, (96 - TextWidth("TOP", 1)) / 2, 4, "TOP", 1, {255, 255, 0});
  return image;
}

// ---- tile entries ------------------------------------------------------------

namespace {

// Copies a w x h block of the picture at (x, y) into the tile at (tx, ty) as RGBA.
void CopyToTile(const TPixelImage& picture, int x, int y, int w, int h, TTile& tile, int tx, int ty) {
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < w; ++col) {
      const std::uint8_t* p = picture.At(x + col, y + row);
      std::uint8_t* t = tile.rgba.data() + (static_cast<std::size_t>(ty + row) * tile.width + tx + col) * 4;
      t[0] = p[2];
      t[1] = p[1];
      t[2] = p[0];
      t[3] = p[3];
    }
}

}  // namespace

std::vector<TTile> CutIntoTiles(const TPixelImage& picture) {
  if (picture.Width != kTileScreenWidth || picture.Height != kTileScreenHeight)
    throw VldError("A tile picture must be 640 x 480 pixels.");
  std::vector<TTile> tiles(5);
  for (int k = 0; k < 5; ++k) {
    TTile& tile = tiles[static_cast<std::size_t>(k)];
    tile.rgba.assign(static_cast<std::size_t>(kTileSize) * kTileSize * 4, 0);
    const int left = kTileSize * (k % 3), top = kTileSize * (k / 3);
    CopyToTile(picture, left, top, std::min(kTileSize, 640 - left), std::min(kTileSize, 480 - top), tile, 0, 0);
  }
  // The bottom-right corner rides in the third tile's right half.
  CopyToTile(picture, 512, 256, 128, 224, tiles[2], 128, 0);
  return tiles;
}

TTile SolidTile(TColour colour) {
  TTile tile;
  tile.rgba.resize(static_cast<std::size_t>(kTileSize) * kTileSize * 4);
  for (std::size_t i = 0; i < tile.rgba.size(); i += 4) {
    tile.rgba[i] = colour.r;
    tile.rgba[i + 1] = colour.g;
    tile.rgba[i + 2] = colour.b;
    tile.rgba[i + 3] = colour.a;
  }
  return tile;
}

Bytes BuildTileData(const std::vector<TTile>& tiles, std::uint8_t countByte, std::uint32_t blockOffset) {
  Bytes out{'T', 'I', 'L', '0'};
  PutU32LE(out, blockOffset);
  out.resize(blockOffset + kTileBlockSize, 0);  // rest of the header, the tile block
  out[blockOffset + 16] = countByte;
  for (const TTile& tile : tiles) {
    PutU32LE(out, static_cast<std::uint32_t>(tile.width));
    PutU32LE(out, static_cast<std::uint32_t>(tile.height));
    out.insert(out.end(), tile.rgba.begin(), tile.rgba.end());
  }
  return out;
}

Bytes BuildTileEntry(const TPixelImage& picture, const TGzipOptions& gzip) {
  return GzipMember(BuildTileData(CutIntoTiles(picture), 5), gzip);
}

// ---- TGA images ------------------------------------------------------------

Bytes TgaHeader(std::uint8_t imageType, std::uint16_t width, std::uint16_t height, std::uint8_t depth,
                std::uint8_t descriptor) {
  Bytes out{0, 0, imageType, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutU16LE(out, width);
  PutU16LE(out, height);
  out.push_back(depth);
  out.push_back(descriptor);
  return out;
}

Bytes BuildTGA(const TPixelImage& image, const TTgaOptions& options) {
  // Descriptor bit 3 is what the decoder flips on, so it is the only bit set
  // (a 32-bit file's alpha-depth nibble of 8 would read as the same bit).
  Bytes out = TgaHeader(options.runLength ? 10 : 2, static_cast<std::uint16_t>(image.Width),
                        static_cast<std::uint16_t>(image.Height), static_cast<std::uint8_t>(options.depth),
                        static_cast<std::uint8_t>(options.flipped ? 0x08 : 0));
  const Bytes pixels = EncodeTgaPixels(image, options.depth, options.runLength, options.flipped);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// ---- KFN fonts -------------------------------------------------------------

std::size_t KFNGlyphRecordOffset(int glyph) {
  return kKfnGlyphTableOffset + static_cast<std::size_t>(glyph) * kKfnGlyphRecordSize;
}

Bytes BuildKFNFont(std::int32_t cellWidth, std::int32_t cellHeight, const std::vector<TFontGlyph>& glyphs) {
  Bytes out(kKfnBitmapsOffset, 0);
  std::memcpy(out.data(), "KFN1", 4);
  auto put32 = [&](std::size_t at, std::int32_t v) {
    for (int b = 0; b < 4; ++b) out[at + b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * b));
  };
  put32(8, cellWidth);
  put32(12, cellHeight);
  for (std::size_t i = 0; i < glyphs.size() && i < static_cast<std::size_t>(kKfnGlyphCount); ++i) {
    const std::size_t record = KFNGlyphRecordOffset(static_cast<int>(i));
    put32(record, static_cast<std::int32_t>(out.size() - kKfnBitmapsOffset));
    put32(record + 4, glyphs[i].width);  // advance: unused by the sheet
    put32(record + 8, glyphs[i].width);
    put32(record + 12, glyphs[i].height);
    out.insert(out.end(), glyphs[i].pixels.begin(), glyphs[i].pixels.end());
  }
  return out;
}

Bytes BuildDemoFont() {
  constexpr int kWidth = 6, kHeight = 8;
  constexpr std::uint8_t kInk = 0xFF, kShadow = 0x60, kBox = 0x40;
  std::vector<TFontGlyph> glyphs(kKfnGlyphCount);
  for (int code = 0; code < kKfnGlyphCount; ++code) {
    TFontGlyph& glyph = glyphs[static_cast<std::size_t>(code)];
    glyph.width = kWidth;
    glyph.height = kHeight;
    glyph.pixels.assign(kWidth * kHeight, 0);
    auto at = [&](int x, int y) -> std::uint8_t& { return glyph.pixels[static_cast<std::size_t>(y * kWidth + x)]; };
    const std::uint8_t* pattern = Glyph5x7(static_cast<unsigned char>(code));
    if (!pattern) {
      for (int y = 1; y < 7; ++y)
        for (int x = 0; x < 5; ++x)
          if (y == 1 || y == 6 || x == 0 || x == 4) at(x, y) = kBox;
      continue;
    }
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 5; ++x)
        if (pattern[y] & (0x10 >> x)) {
          at(x, y) = kInk;
          if (at(x + 1, y + 1) == 0) at(x + 1, y + 1) = kShadow;
        }
  }
  return BuildKFNFont(8, 10, glyphs);
}

}  // namespace vld::samples
