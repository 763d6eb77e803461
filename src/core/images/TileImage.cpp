#include "core/images/TileImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/common/ByteReader.h"
#include "core/images/GzipEntry.h"

namespace vld {

namespace {

constexpr std::size_t kTileRowBytes = kTileSize * 4;
constexpr std::size_t kTileBytes = kTileRowBytes * kTileSize;
// The corner strip: the right half of the third tile's top rows.
constexpr int kCornerTile = 2;
constexpr std::int32_t kCornerWidth = kTileScreenWidth - 2 * kTileSize;  // 128
constexpr std::int32_t kCornerHeight = kTileScreenHeight - kTileSize;    // 224
constexpr std::size_t kCornerSourceColumn = kTileSize - kCornerWidth;    // 128

void Report(const StatusFn& status, const char* text) {
  if (status) status(text);
}

// A tile's pixel bytes as far as the data holds them (RGBA, 256 per row).
struct TTileView {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

std::vector<TTileView> ReadTiles(ByteSpan inflated, std::size_t first, int count) {
  std::vector<TTileView> tiles;
  std::size_t pos = first;
  for (int k = 0; k < count; ++k) {
    if (pos > inflated.size() || inflated.size() - pos < 8) break;
    ByteReader sizes(inflated.subspan(pos, 8), "tile size");
    std::int64_t width = sizes.I32LE();
    std::int64_t height = sizes.I32LE();
    pos += 8;
    // A negative size leaves no way to find the next tile.
    if (width < 0 || height < 0) break;
    const std::size_t available = inflated.size() - pos;
    const bool fits = width == 0 || static_cast<std::uint64_t>(height) <= available / 4 / width;
    const std::size_t announced = fits ? static_cast<std::size_t>(width * height * 4) : available;
    tiles.push_back({inflated.data() + pos, std::min(announced, kTileBytes)});
    if (!fits) break;
    pos += announced;
  }
  return tiles;
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VLD_EXCHANGE_AVX2 1
// Eight pixels at a time with one byte shuffle, on processors that have AVX2
// (the build itself assumes no more than the x86-64 baseline). Returns how
// many bytes it did.
__attribute__((target("avx2"))) std::size_t ExchangeEightsAvx2(std::uint8_t* dest, const std::uint8_t* src,
                                                               std::size_t n) {
  using TBytes = std::uint8_t __attribute__((vector_size(32)));
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    TBytes v;
    std::memcpy(&v, src + i, 32);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 18, 17, 16, 19, 22, 21, 20,
                                23, 26, 25, 24, 27, 30, 29, 28, 31);
    std::memcpy(dest + i, &v, 32);
  }
  return i;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#endif

// Copies n bytes (whole pixels) from the tile's bytes at `offset`, turning red,
// green, blue, alpha into blue, green, red, alpha; what the tile lacks stays
// as it was. Several pixels at a time: this is the only per-pixel work of a decode.
void CopyExchanged(std::uint8_t* dest, const TTileView& tile, std::size_t offset, std::size_t n) {
  if (offset >= tile.size) return;
  n = std::min(n, tile.size - offset) & ~std::size_t{3};
  const std::uint8_t* src = tile.data + offset;
  using TQuad = std::uint32_t __attribute__((vector_size(16)));
  std::size_t i = 0;
#ifdef VLD_EXCHANGE_AVX2
  if (HaveAvx2()) i = ExchangeEightsAvx2(dest, src, n);
#endif
  for (; i + 16 <= n; i += 16) {
    TQuad v;
    std::memcpy(&v, src + i, 16);
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(dest + i, &v, 16);
  }
  for (; i < n; i += 4) {
    std::uint32_t v;
    std::memcpy(&v, src + i, 4);
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(dest + i, &v, 4);
  }
}

std::vector<TTileView> LoadTiles(ByteSpan inflated, const StatusFn& status) {
  const TTileHeader header = ReadTileHeader(inflated, "tile entry");
  Report(status, "Loading tiles...");
  return ReadTiles(inflated, header.firstTile, header.count);
}

// Places the tiles into a zero-filled 640 x 480 picture whose row y starts at
// rowOf(y), exchanging the colour bytes on the way. Only the parts of tiles
// that fall inside the picture are copied: the sixth tile lies wholly outside
// it or under the corner strip.
template <typename TRowOf>
void PlaceTiles(const std::vector<TTileView>& tiles, TRowOf rowOf, const StatusFn& status) {
  Report(status, "Copying tiles...");
  for (std::size_t k = 0; k < tiles.size(); ++k) {
    const std::int32_t left = kTileSize * static_cast<std::int32_t>(k % kTilesAcross);
    const std::int32_t top = kTileSize * static_cast<std::int32_t>(k / kTilesAcross);
    if (left >= kTileScreenWidth || top >= kTileScreenHeight) continue;
    const std::size_t columns = static_cast<std::size_t>(std::min(kTileSize, kTileScreenWidth - left));
    const std::int32_t rows = std::min(kTileSize, kTileScreenHeight - top);
    for (std::int32_t r = 0; r < rows; ++r)
      CopyExchanged(rowOf(top + r) + left * 4, tiles[k], r * kTileRowBytes, columns * 4);
  }

  Report(status, "Still copying...");
  if (tiles.size() > kCornerTile) {
    for (std::int32_t r = 0; r < kCornerHeight; ++r)
      CopyExchanged(rowOf(kTileSize + r) + 2 * kTileSize * 4, tiles[kCornerTile],
                    r * kTileRowBytes + kCornerSourceColumn * 4, static_cast<std::size_t>(kCornerWidth) * 4);
  }
  Report(status, "Creating screen...");
}

}  // namespace

TTileHeader ReadTileHeader(ByteSpan inflated, const char* what) {
  ByteReader header(inflated, what);
  header.Seek(4);
  const std::size_t block = header.U32LE();
  header.Seek(block + 16);
  int count = header.U8();
  if (count == 0 || count > kMaxTiles) count = kMaxTiles;
  return {block + kTileBlockSize, count};
}

TPixelImage AssembleTiles(ByteSpan inflated, const StatusFn& status) {
  const std::vector<TTileView> tiles = LoadTiles(inflated, status);
  TPixelImage picture(kTileScreenWidth, kTileScreenHeight, "tile picture");
  PlaceTiles(
      tiles, [&](std::int32_t y) { return picture.Row(y); }, status);
  return picture;
}

TImageFile DecodeTileImage(ByteSpan entry, const StatusFn& status) {
  const TInflatedBuffer inflated = InflateGzipBuffer(entry);
  const std::vector<TTileView> tiles = LoadTiles(inflated.Span(), status);
  // The rows go straight into the BMP file, bottom row first, rather than
  // through a picture and a second copy.
  TImageFile file{{}, kTileScreenWidth, kTileScreenHeight};
  AppendBMP32Header(file.bmp, kTileScreenWidth, kTileScreenHeight);
  file.bmp.resize(BMP32FileSize(kTileScreenWidth, kTileScreenHeight));
  std::uint8_t* const pixels = file.bmp.data() + kBmpHeaderSize;
  const std::size_t rowBytes = static_cast<std::size_t>(kTileScreenWidth) * 4;
  PlaceTiles(
      tiles, [&](std::int32_t y) { return pixels + (kTileScreenHeight - 1 - y) * rowBytes; }, status);
  return file;
}

}  // namespace vld
