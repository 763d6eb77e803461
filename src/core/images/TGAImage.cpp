#include "core/images/TGAImage.h"

#include <algorithm>
#include <cstring>

#include "core/common/ByteReader.h"
#include "core/images/GzipEntry.h"

namespace vld {

namespace {

void Report(const StatusFn& status, const char* text) {
  if (status) status(text);
}

void DecodeUncompressed(ByteSpan data, int bytesPerPixel, TPixelImage& image) {
  std::uint8_t* out = image.Pixels.data();
  const std::size_t pixels = image.Pixels.size() / 4;
  if (bytesPerPixel == 4) {
    const std::size_t n = std::min(image.Pixels.size(), data.size());
    if (n) std::memcpy(out, data.data(), n);
    return;
  }
  const std::size_t present = std::min(pixels, data.size() / 3);
  const std::uint8_t* in = data.data();
  for (std::size_t i = 0; i < present; ++i, in += 3, out += 4) {
    out[0] = in[0];
    out[1] = in[1];
    out[2] = in[2];
    out[3] = 0xFF;
  }
}

// Run-length packets: a header byte h, then for h >= 128 one pixel repeated
// h - 127 times, otherwise h + 1 pixels. Each pixel starts as FF FF FF FF and
// its stored bytes overwrite the first three or four. Decoding ends where the
// data ends; a pixel whose bytes are not all there is not stored.
void DecodeRunLength(ByteSpan data, int bytesPerPixel, TPixelImage& image) {
  std::uint8_t* out = image.Pixels.data();
  const std::size_t pixels = image.Pixels.size() / 4;
  const std::uint8_t* in = data.data();
  const std::uint8_t* end = in + data.size();
  const std::size_t pixelBytes = static_cast<std::size_t>(bytesPerPixel);
  std::size_t p = 0;
  auto nextPixel = [&](std::uint8_t value[4]) {
    if (static_cast<std::size_t>(end - in) < pixelBytes) return false;
    std::memset(value, 0xFF, 4);
    std::memcpy(value, in, pixelBytes);
    in += pixelBytes;
    return true;
  };
  while (p < pixels && in < end) {
    const std::uint8_t h = *in++;
    std::uint8_t value[4];
    if (h >= 128) {
      if (!nextPixel(value)) return;
      const std::size_t run = std::min<std::size_t>(h - 127u, pixels - p);
      for (std::size_t i = 0; i < run; ++i, ++p) std::memcpy(out + p * 4, value, 4);
    } else {
      for (std::size_t i = 0; i <= h; ++i) {
        if (!nextPixel(value)) return;
        // Pixels past the last one are read and dropped.
        if (p < pixels) std::memcpy(out + p * 4, value, 4);
        ++p;
      }
    }
  }
}

void ReverseRows(TPixelImage& image) {
  const std::size_t rowBytes = image.RowBytes();
  for (std::int32_t top = 0, bottom = image.Height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(image.Row(top), image.Row(top) + rowBytes, image.Row(bottom));
}

}  // namespace

TTgaHeader ReadTgaHeader(ByteSpan tga) {
  if (tga.size() < kTgaHeaderSize)
    throw VldError("The TGA image is only " + std::to_string(tga.size()) +
                   " bytes long, too short to hold its 18-byte header.");
  ByteReader r(tga, "TGA header");
  TTgaHeader h;
  r.Seek(2);
  h.imageType = r.U8();
  r.Seek(12);
  h.width = r.U16LE();
  h.height = r.U16LE();
  h.depth = r.U8();
  h.descriptor = r.U8();
  return h;
}

TPixelImage DecodeTGA(ByteSpan tga, const StatusFn& status) {
  const TTgaHeader header = ReadTgaHeader(tga);
  TPixelImage image(header.width, header.height, "TGA image");
  const ByteSpan data = tga.subspan(kTgaHeaderSize);
  const int bytesPerPixel = header.depth == 24 ? 3 : header.depth == 32 ? 4 : 0;
  if (bytesPerPixel != 0 && !image.Pixels.empty()) {
    if (header.imageType == kTgaTypeTrueColour) DecodeUncompressed(data, bytesPerPixel, image);
    if (header.imageType == kTgaTypeRunLength) DecodeRunLength(data, bytesPerPixel, image);
  }
  if (header.descriptor & kTgaFlipBit) {
    Report(status, "Flipping image...");
    if (!image.Pixels.empty()) ReverseRows(image);
  }
  return image;
}

TImageFile DecodeTGAImage(ByteSpan entry, bool compressed, const StatusFn& status) {
  Report(status, "Loading TGA image...");
  if (!compressed) return MakeImageFile(DecodeTGA(entry, status));
  Report(status, "Uncompressing TGA image...");
  Bytes inflated = InflateGzipEntry(entry);
  return MakeImageFile(DecodeTGA(inflated, status));
}

TImageFile DecodeTGAImage(ByteSpan entry, const StatusFn& status) {
  return DecodeTGAImage(entry, IsGzipMember(entry), status);
}

}  // namespace vld
