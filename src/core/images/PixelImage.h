#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "core/common/Bytes.h"
#include "core/common/Errors.h"

namespace vld {

// Largest picture any decoder builds (4096 x 4096). The game's pictures are a
// few hundred pixels across; a header announcing more is almost certainly not
// an image at all, and refusing it keeps a hostile entry from claiming gigabytes.
constexpr std::int64_t kMaxImagePixels = std::int64_t{4096} * 4096;

// A 32-bit picture: rows from the top down, each row left to right, every
// pixel four bytes in memory order blue, green, red, alpha.
struct TPixelImage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  Bytes Pixels;  // Width * Height * 4 bytes

  TPixelImage() = default;
  // A zero-filled (black, transparent) picture; throws VldError when the size
  // is negative or above kMaxImagePixels. `what` names the image in the message.
  TPixelImage(std::int64_t width, std::int64_t height, const std::string& what = "image") {
    CheckImageSize(width, height, what);
    Width = static_cast<std::int32_t>(width);
    Height = static_cast<std::int32_t>(height);
    Pixels.assign(static_cast<std::size_t>(width * height) * 4, 0);
  }

  std::size_t RowBytes() const { return static_cast<std::size_t>(Width) * 4; }
  std::uint8_t* Row(std::int32_t y) { return Pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
  const std::uint8_t* Row(std::int32_t y) const { return Pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
  std::uint8_t* At(std::int32_t x, std::int32_t y) { return Row(y) + static_cast<std::size_t>(x) * 4; }
  const std::uint8_t* At(std::int32_t x, std::int32_t y) const { return Row(y) + static_cast<std::size_t>(x) * 4; }

  // Sets one pixel from its colour channels.
  void Set(std::int32_t x, std::int32_t y, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a = 255) {
    std::uint8_t* p = At(x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = a;
  }

  // Throws VldError unless width x height is a picture this program builds.
  static void CheckImageSize(std::int64_t width, std::int64_t height, const std::string& what) {
    if (width < 0 || height < 0)
      throw VldError("The " + what + " has an impossible size (" + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels).");
    // Divide rather than multiply, so that no pair of sizes can overflow.
    if (width > 0 && height > kMaxImagePixels / width)
      throw VldError("The " + what + " announces " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels; pictures above " + std::to_string(kMaxImagePixels) +
                     " pixels are refused (the entry is damaged or not an image).");
  }
};

}  // namespace vld
