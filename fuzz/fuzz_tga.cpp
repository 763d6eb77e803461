// TGA images, plain or gzip-compressed.
#include "FuzzCommon.h"
#include "core/images/PixelImage.h"
#include "core/images/TGAImage.h"

VLD_FUZZ_TARGET({
  vld::TImageFile image = vld::DecodeTGAImage(input);
  VLD_FUZZ_CHECK(static_cast<std::int64_t>(image.width) * image.height <= vld::kMaxImagePixels);
})
