// Bitmap fonts drawn as glyph sheets, and BMP entries.
#include "FuzzCommon.h"
#include "core/images/BMPTools.h"
#include "core/images/KFNFont.h"
#include "core/images/PixelImage.h"

VLD_FUZZ_TARGET({
  vld::LoadBMPImage(input);
  vld::TImageFile sheet = vld::RenderKFNImage(input);
  VLD_FUZZ_CHECK(static_cast<std::int64_t>(sheet.width) * sheet.height <= vld::kMaxImagePixels);
})
