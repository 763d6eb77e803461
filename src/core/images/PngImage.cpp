#include "core/images/PngImage.h"

#include <cstdlib>
#include <string>

#include "core/common/ByteReader.h"
#include "core/common/Errors.h"

#ifdef VLD_HAVE_PNG
#include <png.h>
#endif

namespace vld {

#ifdef VLD_HAVE_PNG

namespace {

void AppendData(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  // libpng's own error path is a longjmp; it leaves through the setjmp below.
  auto* text = static_cast<std::string*>(png_get_error_ptr(png));
  *text = message ? message : "unknown error";
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

bool HavePngWriter() { return true; }

Bytes WritePNG(const TPixelImage& image) {
  if (image.Width <= 0 || image.Height <= 0) throw VldError("An empty picture cannot be saved as PNG.");
  Bytes out;
  std::string error;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, PngError, PngWarning);
  if (!png) throw VldError("The PNG writer could not start.");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw VldError("The PNG writer could not start.");
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.Height));
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw VldError("The PNG file could not be written: " + error);
  }
  png_set_write_fn(png, &out, AppendData, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width), static_cast<png_uint_32>(image.Height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);  // the pixels are stored blue, green, red, alpha
  for (std::int32_t y = 0; y < image.Height; ++y)
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(image.Row(y));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

TPixelImage DecodePNG(ByteSpan png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
    throw VldError(std::string("The PNG file cannot be read: ") + image.message);
  image.format = PNG_FORMAT_BGRA;
  try {
    TPixelImage picture(image.width, image.height, "PNG picture");
    if (!png_image_finish_read(&image, nullptr, picture.Pixels.data(), 0, nullptr))
      throw VldError(std::string("The PNG file cannot be read: ") + image.message);
    return picture;
  } catch (...) {
    png_image_free(&image);
    throw;
  }
}

#else

bool HavePngWriter() { return false; }

TPixelImage DecodePNG(ByteSpan) {
  throw VldError(
      "This build cannot read PNG files (it was built without libpng); save the picture as BMP and use that.");
}

Bytes WritePNG(const TPixelImage&) {
  throw VldError("This build cannot write PNG files (it was built without libpng).");
}

#endif

TPixelImage DecodeBMPPixels(ByteSpan bmp) {
  ByteReader r(bmp, "bitmap");
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') throw VldError("This is not a BMP file.");
  r.Seek(10);
  const std::uint32_t dataOffset = r.U32LE();
  const std::uint32_t headerSize = r.U32LE();
  const std::int32_t width = r.I32LE();
  const std::int32_t rawHeight = r.I32LE();
  r.U16LE();  // planes
  const std::uint16_t bits = r.U16LE();
  const std::uint32_t compression = r.U32LE();
  if (compression != 0 || (bits != 8 && bits != 24 && bits != 32))
    throw VldError("Only uncompressed 8-, 24- and 32-bit BMP pictures convert to PNG (this one has " +
                   std::to_string(bits) + " bits per pixel, compression " + std::to_string(compression) + ").");
  if (rawHeight == INT32_MIN || width <= 0) throw VldError("The bitmap has an impossible size.");
  const bool topDown = rawHeight < 0;
  const std::int32_t height = std::abs(rawHeight);
  TPixelImage image(width, height, "bitmap");

  std::uint8_t palette[256][4] = {};
  if (bits == 8) {
    r.Seek(46);
    std::uint32_t colours = r.U32LE();
    if (colours == 0 || colours > 256) colours = 256;
    const std::size_t paletteAt = 14 + static_cast<std::size_t>(headerSize);
    for (std::uint32_t c = 0; c < colours && paletteAt + c * 4 + 4 <= bmp.size(); ++c)
      for (int k = 0; k < 4; ++k) palette[c][k] = bmp[paletteAt + c * 4 + static_cast<std::size_t>(k)];
  }
  const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) & ~std::size_t{3};
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int32_t stored = topDown ? y : height - 1 - y;
    const std::size_t at = dataOffset + static_cast<std::size_t>(stored) * stride;
    // The last row may lack its padding; its pixels must be there.
    if (at + static_cast<std::size_t>(width) * bits / 8 > bmp.size())
      throw VldError("The bitmap's pixels are cut short.");
    const std::uint8_t* src = bmp.data() + at;
    for (std::int32_t x = 0; x < width; ++x) {
      switch (bits) {
        case 32:
          image.Set(x, y, src[x * 4], src[x * 4 + 1], src[x * 4 + 2], src[x * 4 + 3]);
          break;
        case 24:
          image.Set(x, y, src[x * 3], src[x * 3 + 1], src[x * 3 + 2]);
          break;
        default: {
          const std::uint8_t* c = palette[src[x]];
          image.Set(x, y, c[0], c[1], c[2]);
        }
      }
    }
  }
  return image;
}

}  // namespace vld
