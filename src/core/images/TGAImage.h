#pragma once

#include <cstdint>

#include "core/common/Bytes.h"
#include "core/images/BMPTools.h"
#include "core/images/PixelImage.h"

namespace vld {

constexpr std::size_t kTgaHeaderSize = 18;
constexpr std::uint8_t kTgaTypeTrueColour = 2;
constexpr std::uint8_t kTgaTypeRunLength = 10;
// Descriptor bit asking for the rows to be reversed.
constexpr std::uint8_t kTgaFlipBit = 0x08;

// The header fields the decoder uses.
struct TTgaHeader {
  std::uint8_t imageType = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t depth = 0;
  std::uint8_t descriptor = 0;
};

// Reads the 18-byte header; throws VldError when the data is shorter.
TTgaHeader ReadTgaHeader(ByteSpan tga);

// Decodes uncompressed TGA data (the bytes after any inflation). Types 2 and
// 10 at depth 24 or 32 are decoded; every other type or depth gives an
// all-zero picture of the header's size. The pixel data is taken to follow the
// header directly. Pixels the data does not reach stay zero; run packets
// reaching past the last pixel are cut there. Status text: "Flipping image..."
// when the descriptor asks for it. Throws VldError for a short header or a
// picture above kMaxImagePixels.
TPixelImage DecodeTGA(ByteSpan tga, const StatusFn& status = {});

// A TGA entry as stored in the bundle to its BMP file; `compressed` tells that
// the entry is a gzip member (it starts with 1F 8B). Status texts:
// "Loading TGA image...", then "Uncompressing TGA image..." for compressed
// entries and "Flipping image..." for flipped pictures.
TImageFile DecodeTGAImage(ByteSpan entry, bool compressed, const StatusFn& status = {});
// The same, telling compression from the entry's first bytes.
TImageFile DecodeTGAImage(ByteSpan entry, const StatusFn& status = {});

}  // namespace vld
