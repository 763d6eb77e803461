#pragma once

#include <array>
#include <cstdint>

#include "core/common/Bytes.h"
#include "core/images/BMPTools.h"
#include "core/images/PixelImage.h"

namespace vld {

constexpr std::size_t kKfnHeaderSize = 32;
constexpr std::size_t kKfnGlyphTableOffset = 544;
constexpr int kKfnGlyphCount = 256;
constexpr std::size_t kKfnGlyphRecordSize = 16;
// Glyph bitmap positions count from here.
constexpr std::size_t kKfnBitmapsOffset = kKfnGlyphTableOffset + kKfnGlyphCount * kKfnGlyphRecordSize;  // 4640
// The sheet is 16 x 16 cells; each cell row is two pixels taller than the font.
constexpr int kKfnSheetColumns = 16;
constexpr std::int32_t kKfnRowGap = 2;

struct TKfnGlyph {
  std::int32_t position = 0;  // of the bitmap, from kKfnBitmapsOffset
  std::int32_t width = 0;
  std::int32_t height = 0;
};

struct TKfnFont {
  std::int32_t cellWidth = 0;
  std::int32_t cellHeight = 0;
  std::array<TKfnGlyph, kKfnGlyphCount> glyphs{};
};

// Reads the header and the glyph table; throws VldError when the entry is too
// short to hold them.
TKfnFont ReadKFNFont(ByteSpan entry);

// Draws all 256 glyphs into a 16 x 16 sheet of cells CW x (CH + 2) pixels.
// Glyph bytes are grey levels (0 is not drawn); positions run on linearly, so a
// glyph wider than its cell continues into the next one. Bitmap bytes outside
// the entry count as 0. Throws VldError for cells smaller than 1 x 1 or a
// sheet above kMaxImagePixels. Status text: "Loading KFN font...".
TPixelImage RenderKFNSheet(ByteSpan entry, const StatusFn& status = {});

// The font entry's glyph sheet as a BMP file.
TImageFile RenderKFNImage(ByteSpan entry, const StatusFn& status = {});

}  // namespace vld
