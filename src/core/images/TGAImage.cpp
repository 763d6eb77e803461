#include "core/images/TGAImage.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "core/common/ByteReader.h"
#include "core/images/GzipEntry.h"

namespace vld {

namespace {

void Report(const StatusFn& status, const char* text) {
  if (status) status(text);
}

// Where decoded pixels go, in the order the file stores them: row after row,
// each row `step` bytes after the one before (negative when the buffer holds
// its rows in the other order). Hands out stretches that stay within a row.
// Rows that follow each other in memory are handed out as one long row.
class PixelCursor {
 public:
  PixelCursor(std::uint8_t* firstRow, std::ptrdiff_t step, std::size_t width, std::size_t pixels)
      : row_(firstRow),
        step_(step),
        width_(step == static_cast<std::ptrdiff_t>(width * 4) ? pixels : width),
        rowLeft_(width_),
        left_(pixels) {}

  std::size_t Left() const { return left_; }
  std::size_t RowLeft() const { return rowLeft_; }
  std::uint8_t* Here() const { return row_ + (width_ - rowLeft_) * 4; }
  // Moves on by n pixels that stay inside the row, short of its end.
  void Skip(std::size_t n) {
    rowLeft_ -= n;
    left_ -= n;
  }

  // The place of the next min(n, pixels left in this row) pixels; n becomes that count.
  std::uint8_t* Take(std::size_t& n) {
    n = std::min(n, rowLeft_);
    std::uint8_t* at = row_ + (width_ - rowLeft_) * 4;
    rowLeft_ -= n;
    left_ -= n;
    if (rowLeft_ == 0 && left_ > 0) {
      row_ += step_;
      rowLeft_ = width_;
    }
    return at;
  }

 private:
  std::uint8_t* row_;
  std::ptrdiff_t step_;
  std::size_t width_;
  std::size_t rowLeft_;
  std::size_t left_;
};

// Stores `count` pixels from `in` (bytesPerPixel each; a three-byte pixel gets
// the alpha byte FF) at the cursor, as far as the picture reaches.
void PutPixels(const std::uint8_t* in, std::size_t count, std::size_t bytesPerPixel, PixelCursor& out) {
  count = std::min(count, out.Left());
  while (count > 0) {
    std::size_t n = count;
    std::uint8_t* at = out.Take(n);
    if (bytesPerPixel == 4) {
      std::memcpy(at, in, n * 4);
      in += n * 4;
    } else {
      for (std::size_t i = 0; i < n; ++i, in += 3, at += 4) {
        at[0] = in[0];
        at[1] = in[1];
        at[2] = in[2];
        at[3] = 0xFF;
      }
    }
    count -= n;
  }
}

// Stores `count` copies of one pixel value, as far as the picture reaches.
void PutRun(std::uint32_t value, std::size_t count, PixelCursor& out) {
  count = std::min(count, out.Left());
  while (count > 0) {
    std::size_t n = count;
    std::uint8_t* at = out.Take(n);
    for (std::size_t i = 0; i < n; ++i) std::memcpy(at + i * 4, &value, 4);
    count -= n;
  }
}

void DecodeUncompressed(ByteSpan data, std::size_t bytesPerPixel, PixelCursor& out) {
  const std::size_t whole = data.size() / bytesPerPixel;
  PutPixels(data.data(), whole, bytesPerPixel, out);
  // The bytes of a last four-byte pixel cut short are kept as they are.
  const std::size_t rest = data.size() - whole * bytesPerPixel;
  if (bytesPerPixel == 4 && rest > 0 && out.Left() > 0) {
    std::size_t one = 1;
    std::memcpy(out.Take(one), data.data() + whole * 4, rest);
  }
}

// Run-length packets: a header byte h, then for h >= 128 one pixel repeated
// h - 127 times, otherwise h + 1 pixels. Each pixel starts as FF FF FF FF and
// its stored bytes overwrite the first three or four. Decoding ends where the
// data ends; a pixel whose bytes are not all there is not stored, and pixels
// past the last one are read and dropped.
// The longest packet, in pixels.
constexpr std::size_t kMaxPacket = 128;
// What the quick loop below may store past a packet's last pixel, in pixels,
// and how much data it wants in front of it (a header and the longest raw
// packet, read 16 bytes at a time).
constexpr std::size_t kOvershootPixels = 8;
constexpr std::size_t kQuickInputRoom = 1 + kMaxPacket * 4 + 16;

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

using TQuad = std::uint32_t __attribute__((vector_size(16)));

// One packet of four-byte pixels with no branch on its kind: the first eight
// pixels are stored whatever its length, each four pixels being the run's
// value or the raw bytes as the packet says.
inline void QuickPacket32(const std::uint8_t*& in, std::uint8_t*& at) {
  const std::uint8_t h = *in++;
  const std::uint32_t run = h >> 7;
  const std::size_t n = (h & 127u) + 1u;
  const TQuad fromRun = TQuad{} - run;  // all ones for a run packet
  const TQuad value = TQuad{} + Load32(in);
  auto store = [&](std::size_t i) {
    TQuad raw;
    std::memcpy(&raw, in + i * 4, 16);
    const TQuad v = (value & fromRun) | (raw & ~fromRun);
    std::memcpy(at + i * 4, &v, 16);
  };
  store(0);
  store(4);
  for (std::size_t i = 8; i < n; i += 4) store(i);
  in += run ? 4 : n * 4;
  at += n * 4;
}

// Decodes packets while the row has room for the next packet and a little
// more and the data holds the longest packet and a little more, so that
// nothing needs checking per pixel. Pixels are stored several at a time, up
// to seven past the packet's last one, which the next packet overwrites;
// those past the last packet are zeroed again on the way out, as the caller's
// buffer had them. Returns where it stopped.
template <std::size_t kBytesPerPixel>
const std::uint8_t* QuickPackets(const std::uint8_t* in, const std::uint8_t* end, PixelCursor& out) {
  // The pixel words below are put together in little-endian byte order.
  if constexpr (std::endian::native != std::endian::little) return in;
  if (out.RowLeft() < kOvershootPixels || static_cast<std::size_t>(end - in) < kQuickInputRoom) return in;
  std::uint8_t* at = out.Here();
  std::uint8_t* const rowEnd = at + out.RowLeft() * 4;
  const std::uint8_t* const inStop = end - kQuickInputRoom;
  std::uint8_t* const start = at;
  while (in <= inStop) {
    if ((((*in & 127u) + 1u) + kOvershootPixels) * 4 > static_cast<std::size_t>(rowEnd - at)) break;
    if (kBytesPerPixel == 4) {
      QuickPacket32(in, at);
      continue;
    }
    const std::uint8_t h = *in++;
    const std::size_t n = (h & 127u) + 1u;
    if (h >= 128) {
      const std::uint32_t pixel = Load32(in) | 0xFF000000u;
      in += 3;
      const TQuad quad = TQuad{} + pixel;
      for (std::size_t i = 0; i < n; i += 4) std::memcpy(at + i * 4, &quad, 16);
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t pixel = Load32(in + i * 3) | 0xFF000000u;
        std::memcpy(at + i * 4, &pixel, 4);
      }
      in += n * 3;
    }
    at += n * 4;
  }
  std::memset(at, 0, kOvershootPixels * 4);
  out.Skip(static_cast<std::size_t>(at - start) / 4);
  return in;
}

void DecodeRunLength(ByteSpan data, std::size_t bytesPerPixel, PixelCursor& out) {
  const std::uint8_t* in = data.data();
  const std::uint8_t* end = in + data.size();
  while (out.Left() > 0 && in < end) {
    in = bytesPerPixel == 4 ? QuickPackets<4>(in, end, out) : QuickPackets<3>(in, end, out);
    if (in == end) return;
    const std::uint8_t h = *in++;
    const std::size_t available = static_cast<std::size_t>(end - in) / bytesPerPixel;
    if (h >= 128) {
      if (available == 0) return;
      std::uint8_t value[4] = {0xFF, 0xFF, 0xFF, 0xFF};
      std::memcpy(value, in, bytesPerPixel);
      in += bytesPerPixel;
      std::uint32_t pixel;
      std::memcpy(&pixel, value, 4);
      PutRun(pixel, h - 127u, out);
    } else {
      const std::size_t count = std::min<std::size_t>(h + 1u, available);
      PutPixels(in, count, bytesPerPixel, out);
      in += count * bytesPerPixel;
      if (count <= h) return;
    }
  }
}

// Decodes the pixel data into a zero-filled buffer of width x height pixels
// whose top row is at `top`; `bottomUp` when the buffer stores its rows from
// the bottom of the picture up (as a BMP file does). Pixels the data does not
// reach stay as they are.
void DecodeInto(ByteSpan tga, const TTgaHeader& header, std::uint8_t* top, bool bottomUp, const StatusFn& status) {
  const std::size_t width = header.width, height = header.height;
  const std::size_t pixels = width * height;
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width * 4);
  // The file's rows run from the top of the picture down unless the
  // descriptor asks for them to be reversed.
  const bool flipped = header.descriptor & kTgaFlipBit;
  if (flipped) Report(status, "Flipping image...");
  const std::size_t bytesPerPixel = header.depth == 24 ? 3 : header.depth == 32 ? 4 : 0;
  if (bytesPerPixel == 0 || pixels == 0) return;
  const bool fromLastRow = flipped != bottomUp;
  PixelCursor out(fromLastRow ? top + (static_cast<std::ptrdiff_t>(height) - 1) * rowBytes : top,
                  fromLastRow ? -rowBytes : rowBytes, width, pixels);
  const ByteSpan data = tga.subspan(kTgaHeaderSize);
  if (header.imageType == kTgaTypeTrueColour) DecodeUncompressed(data, bytesPerPixel, out);
  if (header.imageType == kTgaTypeRunLength) DecodeRunLength(data, bytesPerPixel, out);
}

// The BMP file straight from the TGA data: the rows are stored where the BMP
// wants them as they are decoded, with no picture in between.
TImageFile DecodeTGAToBMP(ByteSpan tga, const StatusFn& status) {
  const TTgaHeader header = ReadTgaHeader(tga);
  TPixelImage::CheckImageSize(header.width, header.height, "TGA image");
  TImageFile file{{}, header.width, header.height};
  file.bmp.reserve(BMP32FileSize(header.width, header.height));
  AppendBMP32Header(file.bmp, header.width, header.height);
  file.bmp.resize(BMP32FileSize(header.width, header.height));
  DecodeInto(tga, header, file.bmp.data() + kBmpHeaderSize, true, status);
  return file;
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
  DecodeInto(tga, header, image.Pixels.data(), false, status);
  return image;
}

TImageFile DecodeTGAImage(ByteSpan entry, bool compressed, const StatusFn& status) {
  Report(status, "Loading TGA image...");
  if (!compressed) return DecodeTGAToBMP(entry, status);
  Report(status, "Uncompressing TGA image...");
  const TInflatedBuffer inflated = InflateGzipBuffer(entry);
  return DecodeTGAToBMP(inflated.Span(), status);
}

TImageFile DecodeTGAImage(ByteSpan entry, const StatusFn& status) {
  return DecodeTGAImage(entry, IsGzipMember(entry), status);
}

}  // namespace vld
