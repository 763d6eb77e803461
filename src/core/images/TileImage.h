#pragma once

#include <cstdint>

#include "core/common/Bytes.h"
#include "core/images/BMPTools.h"
#include "core/images/PixelImage.h"

namespace vld {

// Tile entries hold one 640 x 480 background cut into 256 x 256 tiles, three
// across and two down; the bottom-right 128 x 224 corner rides in the unused
// right half of the third tile.
constexpr std::int32_t kTileSize = 256;
constexpr std::int32_t kTileScreenWidth = 640;
constexpr std::int32_t kTileScreenHeight = 480;
constexpr int kTilesAcross = 3;
// A count byte of 0 or above this reads this many tiles.
constexpr int kMaxTiles = 6;
// Offset of the first tile behind the tile block.
constexpr std::size_t kTileBlockSize = 128;

// Where the tiles of inflated tile data start and how many the count byte
// asks for (0, or above kMaxTiles, reads kMaxTiles). `what` names the data in
// the error thrown when the header lies outside it.
struct TTileHeader {
  std::size_t firstTile = 0;
  int count = 0;
};
TTileHeader ReadTileHeader(ByteSpan inflated, const char* what);

// Builds the 640 x 480 picture from an inflated tile entry. Status texts:
// "Loading tiles...", "Copying tiles...", "Still copying...", "Creating screen...".
// Tiles are placed as 256 x 256 pixels each; whatever a tile or the data does
// not hold (a smaller tile, a tile cut off by the end of the data, tiles after
// one of impossible size) stays black. Throws VldError when the header or the
// tile count lies outside the data.
TPixelImage AssembleTiles(ByteSpan inflated, const StatusFn& status = {});

// A tile entry as stored in the bundle (a gzip member) to its BMP file.
TImageFile DecodeTileImage(ByteSpan entry, const StatusFn& status = {});

}  // namespace vld
