#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/images/TileImage.h"
#include "samples/ImageSamples.h"

using namespace vld;
using samples::BuildTileData;
using samples::SolidTile;
using samples::TColour;
using samples::TTile;

namespace {

// Five (or more) tiles of distinct solid colours.
std::vector<TTile> SolidTiles(int n) {
  std::vector<TTile> tiles;
  for (int k = 0; k < n; ++k)
    tiles.push_back(SolidTile({static_cast<std::uint8_t>(10 + k), static_cast<std::uint8_t>(20 + k), 30, 0xFF}));
  return tiles;
}

// The picture pixel expected from a tile pixel stored as red, green, blue, alpha.
Bytes Exchanged(TColour c) { return {c.b, c.g, c.r, c.a}; }
Bytes PixelAt(const TPixelImage& image, int x, int y) { return Bytes(image.At(x, y), image.At(x, y) + 4); }

// Which tile's solid colour (by its red byte 10 + k) shows at (x, y); -1 for black.
int TileShownAt(const TPixelImage& image, int x, int y) {
  const std::uint8_t red = image.At(x, y)[2];
  return red == 0 ? -1 : red - 10;
}

}  // namespace

TEST(TileImage, APictureCutIntoTilesComesBackPixelIdentical) {
  // Alpha varies too: it passes through unchanged.
  TPixelImage picture = samples::PatternPicture(640, 480, true);
  std::vector<std::string> texts;
  TImageFile file =
      DecodeTileImage(samples::BuildTileEntry(picture), [&](const std::string& t) { texts.push_back(t); });
  EXPECT_EQ(file.width, 640);
  EXPECT_EQ(file.height, 480);
  ASSERT_EQ(file.bmp.size(), 1228854u);
  EXPECT_EQ(samples::ReadBMP32(file.bmp).Pixels, picture.Pixels);
  EXPECT_EQ(texts, (std::vector<std::string>{"Loading tiles...", "Copying tiles...", "Still copying...",
                                             "Creating screen..."}));

  EXPECT_EQ(samples::ReadBMP32(DecodeTileImage(samples::BuildTileEntry(samples::BeachPicture())).bmp).Pixels,
            samples::BeachPicture().Pixels);
}

TEST(TileImage, TilesArePlacedThreeAcrossAndTheRedAndBlueBytesExchanged) {
  TPixelImage picture = AssembleTiles(BuildTileData(SolidTiles(5), 5));
  EXPECT_EQ(TileShownAt(picture, 0, 0), 0);
  EXPECT_EQ(TileShownAt(picture, 255, 255), 0);
  EXPECT_EQ(TileShownAt(picture, 256, 0), 1);
  EXPECT_EQ(TileShownAt(picture, 639, 255), 2);
  EXPECT_EQ(TileShownAt(picture, 0, 256), 3);
  EXPECT_EQ(TileShownAt(picture, 511, 479), 4);
  // The corner below the third tile comes from the third tile's right half.
  EXPECT_EQ(TileShownAt(picture, 512, 256), 2);
  EXPECT_EQ(TileShownAt(picture, 639, 479), 2);

  TImageFile file = DecodeTileImage(samples::GzipMember(BuildTileData({SolidTile({0x10, 0x20, 0x30, 0xFF})}, 1)));
  // The top row is the last in the file.
  EXPECT_EQ(Bytes(file.bmp.end() - 640 * 4, file.bmp.end() - 640 * 4 + 4), (Bytes{0x30, 0x20, 0x10, 0xFF}));
}

TEST(TileImage, TheCornerStripComesFromTheThirdTilesRightHalfRowByRow) {
  std::vector<TTile> tiles = SolidTiles(5);
  TTile& third = tiles[2];
  for (int r = 0; r < 256; ++r)
    for (int c = 0; c < 256; ++c) {
      std::uint8_t* p = third.rgba.data() + (r * 256 + c) * 4;
      p[0] = static_cast<std::uint8_t>(r);
      p[1] = static_cast<std::uint8_t>(c);
      p[2] = 7;
      p[3] = 200;
    }
  TPixelImage picture = AssembleTiles(BuildTileData(tiles, 5));
  for (int r : {0, 1, 100, 223})
    for (int j : {0, 5, 127}) {
      const TColour stored{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(128 + j), 7, 200};
      EXPECT_EQ(PixelAt(picture, 512 + j, 256 + r), Exchanged(stored)) << r << "," << j;
    }
  // The left half shows where the tile itself lies.
  EXPECT_EQ(PixelAt(picture, 512 + 127, 255), Exchanged({255, 127, 7, 200}));
}

TEST(TileImage, ASixthTileChangesNothing) {
  std::vector<TTile> six = SolidTiles(6);
  six[5] = SolidTile({0xEE, 0xDD, 0xCC, 0xFF});
  EXPECT_EQ(AssembleTiles(BuildTileData(six, 6)).Pixels, AssembleTiles(BuildTileData(SolidTiles(5), 5)).Pixels);
}

TEST(TileImage, CountsOfZeroAndAboveSixReadSixTiles) {
  const Bytes allFive = AssembleTiles(BuildTileData(SolidTiles(6), 6)).Pixels;
  for (std::uint8_t count : {0, 7, 255}) EXPECT_EQ(AssembleTiles(BuildTileData(SolidTiles(6), count)).Pixels, allFive);

  // Counts below five leave the rest black; with no third tile the corner is black too.
  TPixelImage two = AssembleTiles(BuildTileData(SolidTiles(6), 2));
  EXPECT_EQ(TileShownAt(two, 300, 10), 1);
  EXPECT_EQ(TileShownAt(two, 600, 10), -1);
  EXPECT_EQ(TileShownAt(two, 600, 400), -1);
  EXPECT_EQ(TileShownAt(two, 10, 300), -1);
  TPixelImage three = AssembleTiles(BuildTileData(SolidTiles(6), 3));
  EXPECT_EQ(TileShownAt(three, 600, 400), 2);
  EXPECT_EQ(TileShownAt(three, 10, 300), -1);
}

TEST(TileImage, TheTileBlockMayLieAnywhere) {
  EXPECT_EQ(AssembleTiles(BuildTileData(SolidTiles(5), 5, 300)).Pixels,
            AssembleTiles(BuildTileData(SolidTiles(5), 5)).Pixels);
}

TEST(TileImage, TilesOfOtherSizesNeverReadOutsideTheirPixels) {
  // A 128 x 128 tile holds 64 rows of 256 pixels' worth of bytes; the rest of
  // its cell stays black and the next tile is found behind its real size.
  std::vector<TTile> tiles = SolidTiles(5);
  tiles[0].width = tiles[0].height = 128;
  tiles[0].rgba.resize(128 * 128 * 4);
  TPixelImage picture = AssembleTiles(BuildTileData(tiles, 5));
  EXPECT_EQ(TileShownAt(picture, 255, 63), 0);
  EXPECT_EQ(TileShownAt(picture, 0, 64), -1);
  EXPECT_EQ(TileShownAt(picture, 300, 0), 1);
  EXPECT_EQ(TileShownAt(picture, 300, 479), 4);

  // A negative size leaves no way to find the following tiles.
  tiles = SolidTiles(5);
  tiles[1].width = -256;
  picture = AssembleTiles(BuildTileData(tiles, 5));
  EXPECT_EQ(TileShownAt(picture, 0, 0), 0);
  EXPECT_EQ(TileShownAt(picture, 300, 0), -1);
  EXPECT_EQ(TileShownAt(picture, 0, 300), -1);

  // A size whose byte count overflows 64 bits takes what the data holds.
  tiles = SolidTiles(2);
  tiles[1].width = tiles[1].height = 0x7FFFFFFF;
  picture = AssembleTiles(BuildTileData(tiles, 5));
  EXPECT_EQ(TileShownAt(picture, 300, 255), 1);
  EXPECT_EQ(TileShownAt(picture, 600, 0), -1);
}

TEST(TileImage, DataEndingEarlyLeavesBlackInsteadOfReadingOn) {
  Bytes data = BuildTileData(SolidTiles(5), 5);
  // Cut inside the second tile, 100 rows in.
  data.resize(20 + 128 + (8 + 256 * 256 * 4) + 8 + 100 * 1024);
  TPixelImage picture = AssembleTiles(data);
  EXPECT_EQ(TileShownAt(picture, 300, 99), 1);
  EXPECT_EQ(TileShownAt(picture, 300, 100), -1);
  EXPECT_EQ(TileShownAt(picture, 0, 300), -1);

  for (std::size_t n : {std::size_t{0}, std::size_t{7}, std::size_t{20 + 16}})
    EXPECT_THROW(AssembleTiles(Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n))), VldError) << n;
  EXPECT_EQ(TileShownAt(AssembleTiles(Bytes(data.begin(), data.begin() + 20 + 17)), 0, 0), -1);

  Bytes farBlock = data;
  farBlock[7] = 0x70;  // tile block offset far past the end
  EXPECT_THROW(AssembleTiles(farBlock), VldError);
}

TEST(TileImage, DamagedCompressedEntriesDecodeOrAreRefusedWithoutFaults) {
  Bytes entry = samples::BuildTileEntry(samples::BeachPicture());
  for (std::size_t n = 0; n < entry.size(); n += 97) {
    Bytes cut(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(n));
    try {
      EXPECT_EQ(DecodeTileImage(cut).bmp.size(), 1228854u);
    } catch (const VldError&) {
    }
  }
  // A damaged middle still gives the whole picture: the inflated data keeps
  // the trailer's length, zero-filled, so the header and tile block survive.
  Bytes damaged = entry;
  for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] ^= 0x5A;
  EXPECT_EQ(DecodeTileImage(damaged).width, 640);
}
