#include <cmath>
#include <string>

#include "samples/Demo.h"
#include "samples/ImageSamples.h"

namespace vld::samples {

namespace {

constexpr int kFrames = 8;
constexpr int kSize = 96;

// One frame of a glowing orb: a ring of eight dots with a bright one going
// round, and a core whose size and colour pulse.
TPixelImage PulseFrame(int k) {
  TPixelImage image(kSize, kSize, "frame");
  FillGradient(image, 0, 0, kSize, kSize, {10, 12, 40}, {30, 10, 60});
  const double pi = 3.14159265358979323846;
  for (int d = 0; d < kFrames; ++d) {
    double angle = 2 * pi * d / kFrames;
    int x = kSize / 2 + static_cast<int>(std::lround(34 * std::cos(angle)));
    int y = kSize / 2 + static_cast<int>(std::lround(34 * std::sin(angle)));
    bool lit = d == k;
    FillCircle(image, x, y, lit ? 8 : 5, lit ? TColour{255, 240, 120} : TColour{90, 90, 160});
  }
  double pulse = 0.5 + 0.5 * std::sin(2 * pi * k / kFrames);
  int radius = 12 + static_cast<int>(std::lround(10 * pulse));
  auto level = static_cast<std::uint8_t>(150 + 100 * pulse);
  FillCircle(image, kSize / 2, kSize / 2, radius + 4, {level, 80, 40});
  FillCircle(image, kSize / 2, kSize / 2, radius, {255, level, 60});
  return image;
}

}  // namespace

void AddSurfaceDemoEntries(LabWriter& lab) {
  std::string text = "SURFACE pulse\r\nVERSION 1\r\n";
  for (int k = 0; k < kFrames; ++k) {
    std::string name = "textures/pulse/orb" + std::to_string(k) + ".tga";
    // Frames alternate between run-length and plain storage.
    Bytes tga = BuildTGA(PulseFrame(k), {.depth = 24, .runLength = k % 2 == 0, .flipped = false});
    std::string entry = name;
    for (char& c : entry)
      if (c == '/') c = '\\';
    lab.Add(entry, std::move(tga));
    text += "TEX:   " + name + "\r\n";
    if (k == 3) text += "TEX:   textures/pulse/missing.tga\r\n";  // names no entry: no frame
  }
  text += "COLOR: 255 200 0\r\nEND_OF_SECTION\r\nTEX:   textures/pulse/orb0.tga\r\n";
  lab.Add("surfaces\\pulse.sur", Bytes(text.begin(), text.end()));
}

}  // namespace vld::samples
