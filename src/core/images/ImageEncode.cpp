#include "core/images/ImageEncode.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/common/ByteReader.h"
#include "core/common/Errors.h"
#include "core/images/GzipEntry.h"
#include "core/images/PngImage.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"

namespace vld {

namespace {

constexpr std::uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsPng(ByteSpan file) { return file.size() >= 8 && std::equal(kPngMagic, kPngMagic + 8, file.begin()); }
bool IsBmp(ByteSpan file) { return file.size() >= 2 && file[0] == 'B' && file[1] == 'M'; }

std::string SizeText(std::int64_t w, std::int64_t h) { return std::to_string(w) + " x " + std::to_string(h); }

// ---- tiles ---------------------------------------------------------------------

constexpr std::size_t kTileHeaderSize = 20;
constexpr int kStoredTiles = 5;
constexpr std::size_t kTileRowBytes = static_cast<std::size_t>(kTileSize) * 4;
constexpr std::size_t kTilePixelBytes = kTileRowBytes * kTileSize;

// A standard tile entry's inflated bytes with black tiles.
Bytes BlankTileData() {
  Bytes data(kTileHeaderSize + kTileBlockSize, 0);
  data[4] = static_cast<std::uint8_t>(kTileHeaderSize);
  data[kTileHeaderSize + 16] = kStoredTiles;
  for (int k = 0; k < kStoredTiles; ++k) {
    PutU32LE(data, kTileSize);
    PutU32LE(data, kTileSize);
    data.resize(data.size() + kTilePixelBytes, 0);
  }
  return data;
}

// Where the pixels of the first five tiles start in inflated tile data, found
// as the tile reader finds them; refuses tiles the picture cannot be put into.
std::vector<std::size_t> FindTilePixels(ByteSpan data) {
  const TTileHeader header = ReadTileHeader(data, "tile entry it replaces");
  if (header.count < kStoredTiles)
    throw VldError("The tile entry it replaces holds " + std::to_string(header.count) +
                   " tiles; a picture can only be put into an entry of five or more.");
  ByteReader r(data, "tile entry it replaces");
  std::vector<std::size_t> at;
  r.Seek(header.firstTile);
  for (int k = 0; k < kStoredTiles; ++k) {
    const std::int32_t w = r.I32LE(), h = r.I32LE();
    if (w != kTileSize || h != kTileSize)
      throw VldError("Tile " + std::to_string(k + 1) + " of the entry it replaces is " + SizeText(w, h) +
                     " pixels; only entries of 256 x 256 tiles can be rewritten.");
    at.push_back(r.Pos());
    r.Skip(kTilePixelBytes);
  }
  return at;
}

// Copies a block of the picture into a tile, blue-green-red-alpha to red-green-blue-alpha.
void PutIntoTile(const TPixelImage& picture, int x, int y, int w, int h, std::uint8_t* tile, int tx, int ty) {
  for (int row = 0; row < h; ++row) {
    const std::uint8_t* p = picture.At(x, y + row);
    std::uint8_t* t = tile + static_cast<std::size_t>(ty + row) * kTileRowBytes + static_cast<std::size_t>(tx) * 4;
    for (int col = 0; col < w; ++col, p += 4, t += 4) {
      t[0] = p[2];
      t[1] = p[1];
      t[2] = p[0];
      t[3] = p[3];
    }
  }
}

// ---- TGA -----------------------------------------------------------------------

std::size_t TgaBytesPerPixel(const TTgaHeader& h) { return h.depth == 32 ? 4 : 3; }

// Where the pixel data of a TGA image ends: what follows is kept as it is.
std::size_t TgaPixelDataEnd(ByteSpan tga, const TTgaHeader& h) {
  const std::size_t bpp = TgaBytesPerPixel(h);
  const std::size_t pixels = static_cast<std::size_t>(h.width) * h.height;
  if (h.imageType == kTgaTypeTrueColour) return std::min(tga.size(), kTgaHeaderSize + pixels * bpp);
  std::size_t pos = kTgaHeaderSize, done = 0;
  while (done < pixels && pos < tga.size()) {
    const std::uint8_t head = tga[pos++];
    const std::size_t n = (head & 127u) + 1u;
    pos += head >= 128 ? bpp : n * bpp;
    done += n;
  }
  return std::min(pos, tga.size());
}

}  // namespace

bool LooksLikePicture(ByteSpan file) { return IsPng(file) || IsBmp(file); }

TPixelImage ReadPictureFile(ByteSpan file) {
  if (IsPng(file)) return DecodePNG(file);
  if (IsBmp(file)) return DecodeBMPPixels(file);
  throw VldError("This is neither a PNG nor a BMP picture; save the picture in one of these formats and try again.");
}

Bytes EncodeTgaPixels(const TPixelImage& image, int depth, bool runLength, bool flipped) {
  const std::size_t pixelBytes = depth == 32 ? 4 : 3;
  const std::size_t count = static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height);
  // The pixels in file order, each as the file stores it.
  Bytes pixels;
  pixels.reserve(count * pixelBytes);
  for (std::int32_t i = 0; i < image.Height; ++i) {
    const std::uint8_t* row = image.Row(flipped ? image.Height - 1 - i : i);
    for (std::int32_t x = 0; x < image.Width; ++x) pixels.insert(pixels.end(), row + x * 4, row + x * 4 + pixelBytes);
  }
  if (!runLength) return pixels;
  auto at = [&](std::size_t i) { return pixels.data() + i * pixelBytes; };
  auto same = [&](std::size_t a, std::size_t b) { return std::memcmp(at(a), at(b), pixelBytes) == 0; };
  Bytes out;
  std::size_t i = 0;
  while (i < count) {
    std::size_t run = 1;
    while (i + run < count && run < 128 && same(i, i + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<std::uint8_t>(128 + run - 1));
      out.insert(out.end(), at(i), at(i) + pixelBytes);
      i += run;
      continue;
    }
    // Raw pixels up to the next pair of equal ones.
    std::size_t raw = 1;
    while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1))) ++raw;
    out.push_back(static_cast<std::uint8_t>(raw - 1));
    out.insert(out.end(), at(i), at(i) + raw * pixelBytes);
    i += raw;
  }
  return out;
}

Bytes EncodeTileEntry(const TPixelImage& picture, ByteSpan like) {
  if (picture.Width != kTileScreenWidth || picture.Height != kTileScreenHeight)
    throw VldError("The picture is " + SizeText(picture.Width, picture.Height) +
                   " pixels; a tile background must be exactly 640 x 480. Resize it and import it again.");
  Bytes data;
  if (like.empty()) {
    data = BlankTileData();
  } else {
    if (!IsGzipMember(like)) throw VldError("The tile entry it replaces is not gzip-compressed as tile entries are.");
    data = InflateGzipEntry(like);
  }
  const std::vector<std::size_t> tiles = FindTilePixels(data);
  for (int k = 0; k < kStoredTiles; ++k) {
    const int left = kTileSize * (k % kTilesAcross), top = kTileSize * (k / kTilesAcross);
    PutIntoTile(picture, left, top, std::min(kTileSize, kTileScreenWidth - left),
                std::min(kTileSize, kTileScreenHeight - top), data.data() + tiles[static_cast<std::size_t>(k)], 0, 0);
  }
  // The bottom-right corner rides in the third tile's right half.
  const int cornerWidth = kTileScreenWidth - 2 * kTileSize, cornerHeight = kTileScreenHeight - kTileSize;
  PutIntoTile(picture, 2 * kTileSize, kTileSize, cornerWidth, cornerHeight, data.data() + tiles[2],
              kTileSize - cornerWidth, 0);
  if (like.empty()) {
    const std::uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 2, 0xFF};
    return GzipCompress(header, data, 9);
  }
  return RewriteGzipMember(like, data);
}

Bytes EncodeTGAEntry(const TPixelImage& picture, ByteSpan like) {
  const bool compressed = IsGzipMember(like);
  const Bytes inflated = compressed ? InflateGzipEntry(like) : Bytes();
  const ByteSpan tga = compressed ? ByteSpan(inflated) : like;
  const TTgaHeader h = ReadTgaHeader(tga);
  if (h.imageType != kTgaTypeTrueColour && h.imageType != kTgaTypeRunLength)
    throw VldError("The TGA image it replaces has image type " + std::to_string(h.imageType) +
                   "; only true-colour images (types 2 and 10) can be rewritten.");
  if (h.depth != 24 && h.depth != 32)
    throw VldError("The TGA image it replaces has " + std::to_string(h.depth) +
                   " bits per pixel; only 24- and 32-bit images can be rewritten.");
  if (picture.Width != h.width || picture.Height != h.height)
    throw VldError("The picture is " + SizeText(picture.Width, picture.Height) +
                   " pixels; the TGA image it replaces is " + SizeText(h.width, h.height) + ". Resize it to " +
                   SizeText(h.width, h.height) + " and try again.");
  Bytes out(tga.begin(), tga.begin() + kTgaHeaderSize);
  const Bytes pixels =
      EncodeTgaPixels(picture, h.depth, h.imageType == kTgaTypeRunLength, (h.descriptor & kTgaFlipBit) != 0);
  out.insert(out.end(), pixels.begin(), pixels.end());
  const std::size_t end = TgaPixelDataEnd(tga, h);
  out.insert(out.end(), tga.begin() + static_cast<std::ptrdiff_t>(end), tga.end());
  return compressed ? RewriteGzipMember(like, out) : out;
}

}  // namespace vld
