#pragma once

#include <cstdint>

#include "core/common/Bytes.h"
#include "core/images/PixelImage.h"

namespace vld {

// A picture file to import: PNG (where the build has libpng) or BMP, told
// apart by their first bytes. Throws VldError naming what to change for
// anything else.
TPixelImage ReadPictureFile(ByteSpan file);
// True when the bytes start as a PNG or a BMP file does.
bool LooksLikePicture(ByteSpan file);

// The pixel data of a TGA image in file order: rows from the top, or from the
// bottom when `flipped`; 3 bytes per pixel (blue, green, red) at depth 24, 4
// (with alpha) at depth 32; run-length packets when `runLength`.
Bytes EncodeTgaPixels(const TPixelImage& image, int depth, bool runLength, bool flipped);

// A tile entry (gzip member) holding the 640 x 480 picture. With `like`, the
// tile entry it replaces, everything the tile reader ignores is kept from it:
// the header and tile block, the pixels no part of the picture comes from, a
// sixth tile, and the gzip header (name, time, flags); without, a standard
// five-tile entry. Throws VldError for a picture of another size or a `like`
// entry whose first five tiles are not 256 x 256.
Bytes EncodeTileEntry(const TPixelImage& picture, ByteSpan like = {});

// A TGA entry in the flavour of `like`, the TGA entry it replaces: its whole
// 18-byte header, bits per pixel, run-length or not, row order, gzip member
// or not (with its gzip header), and whatever follows the pixel data. Throws
// VldError when the picture's size differs from `like`'s or `like` is no
// true-colour TGA of 24 or 32 bits.
Bytes EncodeTGAEntry(const TPixelImage& picture, ByteSpan like);

}  // namespace vld
