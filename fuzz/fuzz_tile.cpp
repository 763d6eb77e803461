// Tile assembly from inflated data, and whole tile entries (gzip members).
#include "FuzzCommon.h"
#include "core/images/GzipEntry.h"
#include "core/images/TileImage.h"

VLD_FUZZ_TARGET({
  if (vld::IsGzipMember(input)) {
    vld::TImageFile image = vld::DecodeTileImage(input);
    VLD_FUZZ_CHECK(image.width == 640 && image.height == 480);
  } else {
    vld::TPixelImage picture = vld::AssembleTiles(input);
    VLD_FUZZ_CHECK(picture.Pixels.size() == 640u * 480u * 4u);
  }
})
