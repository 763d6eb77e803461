// Image decoding against its yardsticks, measured in the same run:
// - a tile entry decoded to its BMP file (inflate, assembly, BMP) with zlib
//   alone and with libdeflate in front, against inflating the same entry
//   alone with each library into a buffer of the right size;
// - TGA decoding (run-length and plain) against copying the same pixel bytes.

#include <benchmark/benchmark.h>

#include <zlib.h>
#ifdef VLD_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "core/images/GzipEntry.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "samples/ImageSamples.h"

using namespace vld;

namespace {

// A 640 x 480 picture whose every pixel is colour(x, y, grain), grain being
// a pseudo-random number in [0, 1).
template <typename TColour>
TPixelImage GeneratedPicture(std::uint32_t seed, TColour colour) {
  TPixelImage image(640, 480);
  std::uint32_t state = seed;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      state = state * 1664525u + 1013904223u;
      const auto [b, g, r] = colour(x, y, (state >> 8) / 16777216.0);
      image.Set(x, y, b, g, r);
    }
  return image;
}

using TRgb = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>;

// A painted-looking background: smooth colour fields with a little grain, so
// that it compresses about as well as real artwork rather than to almost nothing.
TPixelImage PaintedPicture() {
  return GeneratedPicture(1, [](int x, int y, double grain) {
    auto channel = [&](double v) {
      return static_cast<std::uint8_t>(std::clamp(v + std::floor(grain * 8) - 4, 0.0, 255.0));
    };
    return TRgb{channel(128 + 100 * std::sin(x / 53.0 + y / 71.0)), channel(120 + 90 * std::cos(y / 37.0)),
                channel(110 + 80 * std::sin((x + y) / 91.0))};
  });
}

const Bytes& TileEntry(int which) {
  static const Bytes beach = samples::BuildTileEntry(samples::BeachPicture());
  static const Bytes painted = samples::BuildTileEntry(PaintedPicture());
  return which == 0 ? beach : painted;
}

const char* TileLabel(int which) { return which == 0 ? "beach (demo)" : "painted"; }

// The yardstick: one raw inflate of the deflate data into an uninitialised
// buffer of the trailer's size, as bare as zlib allows.
void BM_InflateTileEntryAlone(benchmark::State& state) {
  const Bytes& entry = TileEntry(static_cast<int>(state.range(0)));
  TInflateReport report;
  InflateGzipEntry(entry, &report);
  const std::size_t outSize = report.declaredLength;
  for (auto _ : state) {
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[outSize]);
    z_stream zs{};
    inflateInit2(&zs, -MAX_WBITS);
    zs.next_in = const_cast<Bytef*>(entry.data() + report.dataOffset);
    zs.avail_in = static_cast<uInt>(entry.size() - 4 - report.dataOffset);
    zs.next_out = out.get();
    zs.avail_out = static_cast<uInt>(outSize);
    if (inflate(&zs, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate failed");
    inflateEnd(&zs);
    benchmark::DoNotOptimize(out.get());
  }
  state.SetLabel(TileLabel(static_cast<int>(state.range(0))));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * outSize));
}
BENCHMARK(BM_InflateTileEntryAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#ifdef VLD_HAVE_LIBDEFLATE
// The same bare inflate with libdeflate, one decompressor kept across runs.
void BM_InflateTileEntryLibdeflate(benchmark::State& state) {
  const Bytes& entry = TileEntry(static_cast<int>(state.range(0)));
  TInflateReport report;
  InflateGzipEntry(entry, &report);
  const std::size_t outSize = report.declaredLength;
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[outSize]);
    if (libdeflate_deflate_decompress(d, entry.data() + report.dataOffset, entry.size() - 8 - report.dataOffset,
                                      out.get(), outSize, nullptr) != LIBDEFLATE_SUCCESS)
      state.SkipWithError("libdeflate failed");
    benchmark::DoNotOptimize(out.get());
  }
  libdeflate_free_decompressor(d);
  state.SetLabel(TileLabel(static_cast<int>(state.range(0))));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * outSize));
}
BENCHMARK(BM_InflateTileEntryLibdeflate)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#endif

// Second argument: 0 forces zlib (the decoder as it was), 1 the default inflater.
void BM_DecodeTileEntry(benchmark::State& state) {
  const Bytes& entry = TileEntry(static_cast<int>(state.range(0)));
  const bool fast = state.range(1) != 0;
  TInflateReport report;
  InflateGzipEntry(entry, &report);
  SetInflater(fast ? TInflater::Fast : TInflater::Zlib);
  for (auto _ : state) {
    TImageFile file = DecodeTileImage(entry);
    benchmark::DoNotOptimize(file.bmp.data());
  }
  SetInflater(TInflater::Fast);
  state.SetLabel(std::string(TileLabel(static_cast<int>(state.range(0)))) +
                 (fast && HaveLibdeflate() ? ", libdeflate" : ", zlib"));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * report.declaredLength));
}
BENCHMARK(BM_DecodeTileEntry)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

// A 1024 x 1024 texture: the demo sign tiled over it, flat areas and edges
// mixed, so that both run and raw packets occur.
TPixelImage TexturePicture() {
  const TPixelImage sign = samples::SignPicture();
  TPixelImage image(1024, 1024);
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x) std::memcpy(image.At(x, y), sign.At(x % sign.Width, y % sign.Height), 4);
  return image;
}

// Smooth colour fields with grain, cut down to six levels a channel: many
// short runs between short raw stretches, as a posterised photograph gives.
TPixelImage PosterisedPicture() {
  return GeneratedPicture(7, [](int x, int y, double grain) {
    auto level = [&](double v) {
      return static_cast<std::uint8_t>(51 * std::clamp(std::lround((v + grain * 32 - 16) / 51), 0L, 5L));
    };
    return TRgb{level(128 + 90 * std::sin(x / 29.0 + y / 43.0)), level(128 + 90 * std::cos(y / 31.0 - x / 67.0)),
                level(128 + 90 * std::sin((x - y) / 53.0))};
  });
}

// 0: the texture, plain; 1: the texture, run-length; 2: the posterised
// picture, run-length, rows stored bottom-up (descriptor bit 3, as
// ImageMagick's 32-bit files have it).
const Bytes& TgaEntry(int which) {
  auto build = [](const TPixelImage& picture, bool rle, bool flipped) {
    samples::TTgaOptions options;
    options.depth = 32;
    options.runLength = rle;
    options.flipped = flipped;
    return samples::BuildTGA(picture, options);
  };
  static const Bytes plain = build(TexturePicture(), false, false);
  static const Bytes rle = build(TexturePicture(), true, false);
  static const Bytes posterised = build(PosterisedPicture(), true, true);
  return which == 0 ? plain : which == 1 ? rle : posterised;
}

const char* TgaLabel(int which) {
  return which == 0   ? "plain, 32-bit, 1024 x 1024"
         : which == 1 ? "run-length, 32-bit, 1024 x 1024"
                      : "posterised, run-length, 32-bit, 640 x 480";
}

std::int64_t TgaPixelBytes(int which) { return which == 2 ? 640 * 480 * 4 : 1024 * 1024 * 4; }

void BM_DecodeTga(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const Bytes& entry = TgaEntry(which);
  for (auto _ : state) {
    TPixelImage image = DecodeTGA(entry);
    benchmark::DoNotOptimize(image.Pixels.data());
  }
  state.SetLabel(TgaLabel(which));
  // Throughput in decoded pixel bytes.
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * TgaPixelBytes(which));
  state.counters["input_bytes"] = static_cast<double>(entry.size());
}
BENCHMARK(BM_DecodeTga)->Arg(1)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

// The whole entry to its BMP file, as convert-all and the viewer decode it.
void BM_DecodeTgaToBmp(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const Bytes& entry = TgaEntry(which);
  for (auto _ : state) {
    TImageFile file = DecodeTGAImage(entry, false);
    benchmark::DoNotOptimize(file.bmp.data());
  }
  state.SetLabel(TgaLabel(which));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * TgaPixelBytes(which));
  state.counters["input_bytes"] = static_cast<double>(entry.size());
}
BENCHMARK(BM_DecodeTgaToBmp)->Arg(1)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

// The yardstick: allocating a zeroed pixel array and copying 4 MiB into it.
void BM_CopyPixelBytes(benchmark::State& state) {
  const Bytes& entry = TgaEntry(0);
  for (auto _ : state) {
    Bytes pixels(std::size_t{1024} * 1024 * 4);
    std::memcpy(pixels.data(), entry.data() + kTgaHeaderSize, pixels.size());
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1024 * 1024 * 4);
}
BENCHMARK(BM_CopyPixelBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
