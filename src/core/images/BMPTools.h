#pragma once

#include <cstdint>
#include <string_view>

#include "core/common/Bytes.h"
#include "core/common/MemoryStream.h"
#include "core/images/PixelImage.h"

namespace vld {

constexpr std::size_t kBmpHeaderSize = 54;
// Pixels per metre written in both resolution fields.
constexpr std::int32_t kBmpResolution = 2880;

// Size of the file WriteBMP32 produces for a picture of that size.
std::size_t BMP32FileSize(const TPixelImage& image);
std::size_t BMP32FileSize(std::int32_t width, std::int32_t height);

// Appends the 54-byte header of a 32-bit bottom-up BMP file; the rows follow
// from the bottom up. For decoders that write their rows straight into the file.
void AppendBMP32Header(Bytes& out, std::int32_t width, std::int32_t height);

// Writes the picture as a complete 32-bit BMP file: the 54-byte header, then
// the rows from the bottom up, no colour table.
void WriteBMP32(TByteSink& dest, const TPixelImage& image);
// The same file as one buffer.
Bytes WriteBMP32(const TPixelImage& image);

// A decoded picture as the viewer receives it: the BMP file and the picture's
// size, which the viewer window is sized from.
struct TImageFile {
  Bytes bmp;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

TImageFile MakeImageFile(const TPixelImage& image);

// A BMP entry is already a BMP file: its bytes are passed on unchanged. The
// size is read from its header (0 x 0 when it has none). Status text:
// "Loading bitmap...".
TImageFile LoadBMPImage(ByteSpan entry, const StatusFn& status = {});

}  // namespace vld
