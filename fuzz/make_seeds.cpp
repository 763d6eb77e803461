// Writes the seed inputs of every fuzz target, made with the sample builders:
// make_seeds DIR writes DIR/<target>/<n>.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "core/images/BMPTools.h"
#include "samples/AifBuilder.h"
#include "samples/ExtractSamples.h"
#include "samples/ImageSamples.h"
#include "samples/LuaChunk.h"
#include "samples/WvcEncoder.h"

namespace fs = std::filesystem;
using vld::Bytes;
namespace smp = vld::samples;

namespace {

void Put(const fs::path& dir, const std::string& target, const std::vector<Bytes>& seeds) {
  fs::create_directories(dir / target);
  for (std::size_t i = 0; i < seeds.size(); ++i) vld::WriteFileAtomic(dir / target / std::to_string(i), seeds[i]);
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Tiles of 4 x 4 pixels keep the inputs small; the decoder places them as it
// places full tiles.
Bytes SmallTileData(int count, std::uint8_t countByte) {
  std::vector<smp::TTile> tiles;
  for (int k = 0; k < count; ++k) {
    smp::TTile t;
    t.width = 4;
    t.height = 4;
    t.rgba.assign(64, static_cast<std::uint8_t>(40 * k));
    tiles.push_back(t);
  }
  return smp::BuildTileData(tiles, countByte);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];

  vld::LabWriter lab;
  lab.Add("gfx\\a.til", Text("tile"));
  lab.Add("..\\up\\b.lua", Text("x"));
  lab.Add("C:\\x\\c.tga", {});
  Put(dir, "fuzz_bundle", {lab.Build(), smp::TextBundle({{"a.tab", "alpha"}, {"dir\\b.aif", "beta"}}).Build()});

  Put(dir, "fuzz_gzip",
      {smp::GzipMember(Text("hello hello hello")),
       smp::GzipMember(Text("named"),
                       {.fileName = "x.tga", .comment = "", .extra = {}, .headerCrc = false, .level = 9}),
       smp::GzipMember(Bytes(300, 7),
                       {.fileName = "a", .comment = "c", .extra = Bytes{1, 2}, .headerCrc = true, .level = 9})});

  Put(dir, "fuzz_tile",
      {SmallTileData(5, 5), SmallTileData(6, 0), SmallTileData(2, 7), smp::GzipMember(SmallTileData(5, 5))});

  vld::TPixelImage pic = smp::PatternPicture(8, 6, true);
  Put(dir, "fuzz_tga",
      {smp::BuildTGA(pic), smp::BuildTGA(pic, {.depth = 32, .runLength = true, .flipped = true}),
       smp::BuildTGA(pic, {.depth = 24, .runLength = true, .flipped = false}),
       smp::GzipMember(smp::BuildTGA(pic, {.depth = 32, .runLength = false, .flipped = false}))});

  std::vector<smp::TFontGlyph> glyphs(3);
  for (int g = 0; g < 3; ++g) {
    glyphs[g].width = 3 + g;
    glyphs[g].height = 5;
    glyphs[g].pixels.assign(static_cast<std::size_t>(glyphs[g].width) * 5, static_cast<std::uint8_t>(0x40 * (g + 1)));
  }
  Put(dir, "fuzz_kfn", {smp::BuildKFNFont(4, 6, glyphs), vld::MakeImageFile(pic).bmp});

  smp::TPcm16 chord = smp::ChordSound(8000, 2, 0.01, {440, 550});
  smp::TAifSpec marked = smp::AifSpecFor(chord);
  marked.beforeSsnd.push_back(smp::MarkerChunk(3, "m"));
  marked.beforeComm.push_back(smp::TextChunk("ANNO", "odd"));
  Put(dir, "fuzz_aif", {smp::BuildAif(chord), smp::BuildAif(marked)});

  Put(dir, "fuzz_wvc", {smp::EncodeWvc(smp::VoiceSound(8000, 0.02)), smp::EncodeWvc(chord, {.framesPerBlock = 32})});

  Put(dir, "fuzz_smush",
      {smp::BuildSmushFile(512, smp::BuildBinkFile(64)), smp::BuildSmushFile(1536, smp::BuildBinkFile(32)),
       smp::BuildBinkFile(40)});

  Put(dir, "fuzz_surface",
      {Text("SURFACE x\r\nVERSION 1\r\nTEX:   textures/a.tga\r\nCOLOR 1\r\nEND_OF_SECTION\r\nTEX:   b\r\n"),
       Text("a\nb\nTEX:12\ntex:   lower\n")});

  smp::TChunkFunction small;
  small.code = {1, 0, 5, 0x4B, 0x7B, 0, 0};
  small.String("x");
  Put(dir, "fuzz_lua",
      {smp::BuildDemoScript(), smp::BuildChunk(small),
       smp::BuildChunk(small, {.floatSize = 8, .msbFirst = true, .version = 0x31})});

  Put(dir, "fuzz_lua_compile",
      {Text("-- every statement\nlocal a, b = 1, \"two\"\nt = {1, 2; x = 3, [\"y\"] = 0.5}\n"
            "function t:m(p, ...) return p .. arg.n, self end\n"
            "if a < 2 and not b then a = -a ^ 2 elseif b then b = nil else a = t[1] end\n"
            "while a do repeat a = a - 1 until a <= 0 end\n"
            "do local c = function(x) return x * %a end end\nprint(t:m(1, 2))\nreturn a, b\n"),
       Text("$debug\n$if nil\nskipped (\n$else\nx = [[long [[nested]] ]]\n$end\n$nodebug\ny = 'q\\n'\n"
            "$endinput\nz = @\n"),
       Text("x = 1e400 + .5 + 5. + 0x1 + 1E-3\n")});
  return 0;
}
