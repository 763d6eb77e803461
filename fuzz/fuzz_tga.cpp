// TGA images, plain or gzip-compressed.
#include "FuzzCommon.h"
#include "core/images/GzipEntry.h"
#include "core/images/PixelImage.h"
#include "core/images/TGAImage.h"

VLD_FUZZ_TARGET({
  // Every announced size up to the cap takes the same code path; large ones
  // only cost time (tens of MiB to clear and write per input), so the whole
  // decode runs for pictures up to 256 x 256 and the header checks for the rest.
  if (!vld::IsGzipMember(input) && input.size() >= vld::kTgaHeaderSize) {
    vld::TTgaHeader h = vld::ReadTgaHeader(input);
    if (std::int64_t{h.width} * h.height > 65536) return 0;
  }
  vld::TImageFile image = vld::DecodeTGAImage(input);
  VLD_FUZZ_CHECK(static_cast<std::int64_t>(image.width) * image.height <= vld::kMaxImagePixels);
})
