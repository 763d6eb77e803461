#include "core/images/BMPTools.h"

#include <cstdlib>
#include <cstring>

#include "core/common/ByteReader.h"

namespace vld {

// The 54-byte file and information headers, all fields little-endian.
void AppendBMP32Header(Bytes& out, std::int32_t width, std::int32_t height) {
  PutText(out, "BM");
  PutU32LE(out, static_cast<std::uint32_t>(BMP32FileSize(width, height)));
  PutU16LE(out, 0);
  PutU16LE(out, 0);
  PutU32LE(out, kBmpHeaderSize);
  PutU32LE(out, 40);
  PutU32LE(out, static_cast<std::uint32_t>(width));
  PutU32LE(out, static_cast<std::uint32_t>(height));  // positive: rows stored bottom-up
  PutU16LE(out, 1);
  PutU16LE(out, 32);
  PutU32LE(out, 0);  // uncompressed
  PutU32LE(out, 0);  // image size may be 0 for uncompressed data
  PutU32LE(out, kBmpResolution);
  PutU32LE(out, kBmpResolution);
  PutU32LE(out, 0);
  PutU32LE(out, 0);
}

std::size_t BMP32FileSize(std::int32_t width, std::int32_t height) {
  return kBmpHeaderSize + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

std::size_t BMP32FileSize(const TPixelImage& image) { return BMP32FileSize(image.Width, image.Height); }

void WriteBMP32(TByteSink& dest, const TPixelImage& image) {
  Bytes header;
  AppendBMP32Header(header, image.Width, image.Height);
  dest.Write(header.data(), header.size());
  if (image.RowBytes() == 0) return;
  for (std::int32_t y = image.Height - 1; y >= 0; --y) dest.Write(image.Row(y), image.RowBytes());
}

Bytes WriteBMP32(const TPixelImage& image) {
  Bytes out;
  out.reserve(BMP32FileSize(image));
  AppendBMP32Header(out, image.Width, image.Height);
  out.resize(BMP32FileSize(image));
  std::uint8_t* dest = out.data() + kBmpHeaderSize;
  const std::size_t rowBytes = image.RowBytes();
  if (rowBytes == 0) return out;
  for (std::int32_t y = image.Height - 1; y >= 0; --y, dest += rowBytes) std::memcpy(dest, image.Row(y), rowBytes);
  return out;
}

TImageFile MakeImageFile(const TPixelImage& image) { return {WriteBMP32(image), image.Width, image.Height}; }

TImageFile LoadBMPImage(ByteSpan entry, const StatusFn& status) {
  if (status) status("Loading bitmap...");
  TImageFile file{Bytes(entry.begin(), entry.end()), 0, 0};
  if (entry.size() >= 26 && entry[0] == 'B' && entry[1] == 'M') {
    ByteReader r(entry, "bitmap header");
    r.Seek(18);
    file.width = r.I32LE();
    // A negative height marks rows stored from the top down.
    const std::int32_t height = r.I32LE();
    file.height = height == INT32_MIN ? 0 : std::abs(height);
  }
  return file;
}

}  // namespace vld
