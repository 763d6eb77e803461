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

// Copies n bytes starting at `offset` of the tile; what the tile lacks stays as it was.
void CopyFromTile(std::uint8_t* dest, const TTileView& tile, std::size_t offset, std::size_t n) {
  if (offset >= tile.size) return;
  std::memcpy(dest, tile.data + offset, std::min(n, tile.size - offset));
}

// Red, green, blue, alpha becomes blue, green, red, alpha.
void ExchangeRedBlue(Bytes& pixels) {
  std::uint8_t* p = pixels.data();
  const std::size_t n = pixels.size() / 4;
  for (std::size_t i = 0; i < n; ++i, p += 4) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(p, &v, 4);
  }
}

}  // namespace

TPixelImage AssembleTiles(ByteSpan inflated, const StatusFn& status) {
  ByteReader header(inflated, "tile entry");
  header.Seek(4);
  const std::size_t block = header.U32LE();
  header.Seek(block + 16);
  int count = header.U8();
  if (count == 0 || count > kMaxTiles) count = kMaxTiles;

  Report(status, "Loading tiles...");
  std::vector<TTileView> tiles = ReadTiles(inflated, block + kTileBlockSize, count);

  // Only the parts of tiles that fall inside the picture are copied: the
  // sixth tile lies wholly outside it or under the corner strip.
  Report(status, "Copying tiles...");
  TPixelImage picture(kTileScreenWidth, kTileScreenHeight, "tile picture");
  for (std::size_t k = 0; k < tiles.size(); ++k) {
    const std::int32_t left = kTileSize * static_cast<std::int32_t>(k % kTilesAcross);
    const std::int32_t top = kTileSize * static_cast<std::int32_t>(k / kTilesAcross);
    if (left >= kTileScreenWidth || top >= kTileScreenHeight) continue;
    const std::int32_t columns = std::min(kTileSize, kTileScreenWidth - left);
    const std::int32_t rows = std::min(kTileSize, kTileScreenHeight - top);
    for (std::int32_t r = 0; r < rows; ++r)
      CopyFromTile(picture.At(left, top + r), tiles[k], r * kTileRowBytes, static_cast<std::size_t>(columns) * 4);
  }

  Report(status, "Still copying...");
  if (tiles.size() > kCornerTile) {
    for (std::int32_t r = 0; r < kCornerHeight; ++r)
      CopyFromTile(picture.At(2 * kTileSize, kTileSize + r), tiles[kCornerTile],
                   r * kTileRowBytes + kCornerSourceColumn * 4, static_cast<std::size_t>(kCornerWidth) * 4);
  }

  Report(status, "Creating screen...");
  ExchangeRedBlue(picture.Pixels);
  return picture;
}

TImageFile DecodeTileImage(ByteSpan entry, const StatusFn& status) {
  Bytes inflated = InflateGzipEntry(entry);
  return MakeImageFile(AssembleTiles(inflated, status));
}

}  // namespace vld
