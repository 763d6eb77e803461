#include "core/images/KFNFont.h"

#include <algorithm>

#include "core/common/ByteReader.h"

namespace vld {

namespace {

// Draws one glyph with its cell's top-left corner at the linear sheet position
// `origin`. Reads stay inside the entry, writes inside the sheet.
void DrawGlyph(TPixelImage& sheet, ByteSpan entry, const TKfnGlyph& glyph, std::int64_t origin) {
  if (glyph.width <= 0 || glyph.height <= 0) return;
  const std::int64_t sheetWidth = sheet.Width;
  const std::int64_t sheetPixels = sheetWidth * sheet.Height;
  const std::int64_t entrySize = static_cast<std::int64_t>(entry.size());
  const std::int64_t start = static_cast<std::int64_t>(kKfnBitmapsOffset) + glyph.position;
  for (std::int64_t r = 0; r < glyph.height; ++r) {
    const std::int64_t rowStart = origin + r * sheetWidth;  // sheet position of column 0
    const std::int64_t rowIndex = start + r * glyph.width;  // entry index of column 0
    // Rows only move further down the sheet and the entry.
    if (rowStart >= sheetPixels || rowIndex >= entrySize) break;
    const std::int64_t firstColumn = std::max<std::int64_t>(0, -rowIndex);
    // Past the sheet's end the rest of the row is skipped.
    const std::int64_t endColumn = std::min({std::int64_t{glyph.width}, entrySize - rowIndex, sheetPixels - rowStart});
    for (std::int64_t c = firstColumn; c < endColumn; ++c) {
      const std::uint8_t v = entry[static_cast<std::size_t>(rowIndex + c)];
      if (v == 0) continue;
      std::uint8_t* p = sheet.Pixels.data() + static_cast<std::size_t>(rowStart + c) * 4;
      p[0] = v;
      p[1] = v;
      p[2] = v;
      p[3] = 0xFF;
    }
  }
}

}  // namespace

TKfnFont ReadKFNFont(ByteSpan entry) {
  if (entry.size() < kKfnBitmapsOffset)
    throw VldError("The font is only " + std::to_string(entry.size()) +
                   " bytes long, too short to hold its header and glyph table (4640 bytes).");
  ByteReader r(entry, "font");
  TKfnFont font;
  r.Seek(8);
  font.cellWidth = r.I32LE();
  font.cellHeight = r.I32LE();
  r.Seek(kKfnGlyphTableOffset);
  for (TKfnGlyph& glyph : font.glyphs) {
    glyph.position = r.I32LE();
    r.Skip(4);
    glyph.width = r.I32LE();
    glyph.height = r.I32LE();
  }
  return font;
}

TPixelImage RenderKFNSheet(ByteSpan entry, const StatusFn& status) {
  if (status) status("Loading KFN font...");
  const TKfnFont font = ReadKFNFont(entry);
  if (font.cellWidth < 1 || font.cellHeight < 1)
    throw VldError("The font's cells are " + std::to_string(font.cellWidth) + " x " + std::to_string(font.cellHeight) +
                   " pixels; a font needs cells of at least 1 x 1 pixel.");
  const std::int64_t cellWidth = font.cellWidth;
  const std::int64_t cellHeight = std::int64_t{font.cellHeight} + kKfnRowGap;
  TPixelImage sheet(kKfnSheetColumns * cellWidth, kKfnSheetColumns * cellHeight, "font sheet");
  for (int i = 0; i < kKfnGlyphCount; ++i) {
    const std::int64_t x = (i % kKfnSheetColumns) * cellWidth;
    const std::int64_t y = (i / kKfnSheetColumns) * cellHeight;
    DrawGlyph(sheet, entry, font.glyphs[static_cast<std::size_t>(i)], x + y * sheet.Width);
  }
  return sheet;
}

TImageFile RenderKFNImage(ByteSpan entry, const StatusFn& status) {
  return MakeImageFile(RenderKFNSheet(entry, status));
}

}  // namespace vld
