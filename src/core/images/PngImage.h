#pragma once

#include "core/common/Bytes.h"
#include "core/images/PixelImage.h"

namespace vld {

// False when this build has no PNG writer (the PNG functions then throw
// VldError saying so).
bool HavePngWriter();

// A complete PNG file of the picture: 8-bit RGBA, its alpha kept, written with
// libpng. The same picture always gives the same bytes.
Bytes WritePNG(const TPixelImage& image);

// The pixels of a PNG file, any colour type and bit depth, alpha kept. Throws
// VldError for a damaged file, one above kMaxImagePixels, and in builds
// without libpng (saying to use BMP instead).
TPixelImage DecodePNG(ByteSpan png);

// The pixels of a BMP file: uncompressed 8-bit (palette), 24-bit and 32-bit
// pictures, stored from the bottom up or from the top down. A 32-bit picture
// keeps its fourth byte as alpha (as this program's BMP files carry it); the
// others are opaque. Throws VldError for anything else.
TPixelImage DecodeBMPPixels(ByteSpan bmp);

}  // namespace vld
