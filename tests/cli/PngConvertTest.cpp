// `convert --format png` and `convert-all --format png`: the PNG files are
// read back with libpng's own reader and compared, pixel by pixel and alpha
// included, with the BMP files the same commands write by default.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifdef VLD_TEST_HAVE_LIBPNG
#include <png.h>
#endif

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "core/images/BMPTools.h"
#include "core/images/PixelImage.h"
#include "core/images/PngImage.h"
#include "samples/Demo.h"
#include "samples/ImageSamples.h"

using namespace vld;
namespace fs = std::filesystem;

TEST(PngConvert, AnUnknownFormatIsWrongUsage) {
  TTempDir dir;
  const std::string tile = Quote(dir.Write("sky.til", samples::BuildTileEntry(samples::BeachPicture())).string());
  samples::BuildDemoBundle().Write(dir.File("demo.lab"));
  const std::string bundle = Quote(dir.File("demo.lab").string());
  const std::string err = dir.File("err.txt").string();
  const std::string out = Quote(dir.File("out").string());
  const struct {
    std::string args;
    std::string message;
  } cases[] = {
      {"convert " + tile + " --format gif -o " + out, "--format: gif not in {bmp,png}"},
      {"convert-all " + bundle + " --format PNG8 -o " + out, "--format: PNG8 not in {bmp,png}"},
      {"convert " + tile + " --format 1 -o " + out, "--format: 1 not in {bmp,png}"},
      {"convert " + tile + " -o " + out + " --format", "--format"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(RunTool(c.args, err).exitCode, 2);
    const std::string text = AsString(ReadWholeFile(err));
    EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
    EXPECT_FALSE(fs::exists(dir.File("out")));
  }
}

TEST(PngConvert, WithoutAPngWriterPngIsRefusedAndNothingIsWritten) {
  if (HavePngWriter()) GTEST_SKIP() << "this build writes PNG files";
  TTempDir dir;
  dir.Write("sky.til", samples::BuildTileEntry(samples::BeachPicture()));
  samples::BuildDemoBundle().Write(dir.File("demo.lab"));
  const std::string err = dir.File("err.txt").string();
  const std::string cd = "cd " + Quote(dir.Path().string()) + " && ";
  EXPECT_NE(std::system((cd + VLDTOOL_PATH + " convert sky.til --format png 2>/dev/null").c_str()), 0);
  EXPECT_FALSE(fs::exists(dir.File("sky.png")));
  const TToolRun toStdout = RunTool("convert " + Quote(dir.File("sky.til").string()) + " --format png -o -", err);
  EXPECT_EQ(toStdout.exitCode, 1);
  EXPECT_EQ(toStdout.out, "");
  EXPECT_NE(AsString(ReadWholeFile(err)).find("PNG"), std::string::npos);
  const std::string bundle = Quote(dir.File("demo.lab").string());
  EXPECT_EQ(RunTool("convert-all " + bundle + " --format png -o " + Quote(dir.File("o").string()), err).exitCode, 1);
  EXPECT_FALSE(fs::exists(dir.File("o")));
  EXPECT_NE(AsString(ReadWholeFile(err)).find("PNG"), std::string::npos);
}

// The tests that read PNG files need libpng; without it this build writes none.
#ifdef VLD_TEST_HAVE_LIBPNG

namespace {

// A picture as rows of R, G, B, A bytes from the top row down.
struct TRgba {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  bool operator==(const TRgba&) const = default;
};

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The 32-bit BMP files this program writes: blue, green, red, alpha, rows
// from the bottom up unless the height is negative.
TRgba ReadBmp32(const Bytes& bmp) {
  TRgba out;
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M' || (bmp[28] | bmp[29] << 8) != 32) {
    ADD_FAILURE() << "not a 32-bit BMP file";
    return out;
  }
  const std::uint32_t data = Le32(bmp, 10);
  out.width = static_cast<int>(Le32(bmp, 18));
  const auto height = static_cast<std::int32_t>(Le32(bmp, 22));
  out.height = height < 0 ? -height : height;
  const std::size_t stride = static_cast<std::size_t>(out.width) * 4;
  if (bmp.size() < data + stride * out.height) {
    ADD_FAILURE() << "the BMP's pixels are cut short";
    return {};
  }
  for (int y = 0; y < out.height; ++y) {
    const std::size_t row = data + stride * static_cast<std::size_t>(height < 0 ? y : out.height - 1 - y);
    for (int x = 0; x < out.width; ++x) {
      const std::uint8_t* p = &bmp[row + static_cast<std::size_t>(x) * 4];
      out.pixels.insert(out.pixels.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  return out;
}

// libpng's reader, independent of the program's writer.
TRgba ReadPngFile(const fs::path& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) {
    ADD_FAILURE() << file << ": " << image.message;
    return {};
  }
  image.format = PNG_FORMAT_RGBA;
  TRgba out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    ADD_FAILURE() << file << ": " << image.message;
    return {};
  }
  return out;
}

std::map<std::string, Bytes> Tree(const fs::path& root) {
  std::map<std::string, Bytes> out;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[fs::relative(e.path(), root).generic_string()] = ReadWholeFile(e.path());
  return out;
}

std::string EndingIn(std::string name, const std::string& from, const std::string& to) {
  if (name.size() >= from.size() && name.compare(name.size() - from.size(), from.size(), from) == 0)
    name.replace(name.size() - from.size(), from.size(), to);
  return name;
}

}  // namespace

#define REQUIRE_PNG() \
  if (!HavePngWriter()) GTEST_SKIP() << "this build has no PNG writer"

TEST(PngConvert, EveryPictureOfTheDemoDecodesToTheBmpsPixels) {
  REQUIRE_PNG();
  TTempDir dir;
  const samples::DemoFiles demo = samples::WriteDemo(dir.File("in"));
  const std::string lab = Quote(demo.bundle.string());
  TLabReader reader;
  reader.Open(demo.bundle);
  std::map<std::string, int> kinds;  // pictures tried, by the type that decoded them
  int translucent = 0;               // pixels with an alpha other than 255, over all pictures
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name(reader.GetName(i));
    if (ConvertedExtension(name) != ".bmp") continue;
    SCOPED_TRACE(name);
    ASSERT_EQ(ConvertedExtension(name, ImageFormat::Png), ".png");
    const fs::path bmp = dir.File("out.bmp"), png = dir.File("out.png");
    ASSERT_EQ(RunTool("convert " + lab + " " + Quote(name) + " -o " + Quote(bmp.string())).exitCode, 0);
    ASSERT_EQ(RunTool("convert " + lab + " " + Quote(name) + " --format png -o " + Quote(png.string())).exitCode, 0);
    const Bytes pngBytes = ReadWholeFile(png);
    ASSERT_GT(pngBytes.size(), 8u);
    EXPECT_EQ(Bytes(pngBytes.begin(), pngBytes.begin() + 8), (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    const TRgba expected = ReadBmp32(ReadWholeFile(bmp));
    const TRgba actual = ReadPngFile(png);
    ASSERT_GT(expected.width * expected.height, 0);
    EXPECT_EQ(actual.width, expected.width);
    EXPECT_EQ(actual.height, expected.height);
    EXPECT_TRUE(actual.pixels == expected.pixels) << "the PNG's pixels differ from the BMP's";
    for (std::size_t p = 3; p < expected.pixels.size(); p += 4) translucent += expected.pixels[p] != 255;
    ++kinds[FormatForSaveBmp(name)->contains];
  }
  EXPECT_GE(kinds[".til"], 1);
  EXPECT_GE(kinds[".tga"], 1);
  EXPECT_GE(kinds[".kfn"], 1);
  EXPECT_GE(kinds[".bmp"], 1);
  // Otherwise a writer that dropped the alpha would pass.
  EXPECT_GT(translucent, 0);
}

TEST(PngConvert, OutputNamesStandardOutputAndEntriesThatAreNoPictures) {
  REQUIRE_PNG();
  TTempDir dir;
  const samples::DemoFiles demo = samples::WriteDemo(dir.File("in"));
  const std::string lab = Quote(demo.bundle.string());
  const std::string cd = "cd " + Quote(dir.Path().string()) + " && ";

  // Without -o the name is the viewer's suggestion with .png.
  const std::string title = cd + VLDTOOL_PATH + " convert " + lab + " 'gfx\\Title.BMP' --format png 2>/dev/null";
  ASSERT_EQ(std::system(title.c_str()), 0);
  EXPECT_FALSE(fs::exists(dir.File("Title.bmp")));
  ASSERT_TRUE(fs::exists(dir.File("Title.png")));
  // A loose file too, and the same bytes as when written to standard output.
  const fs::path tile = dir.Write("sky.til", samples::BuildTileEntry(samples::BeachPicture()));
  ASSERT_EQ(std::system((cd + VLDTOOL_PATH + " convert sky.til --format png 2>/dev/null").c_str()), 0);
  const TToolRun toStdout = RunTool("convert " + Quote(tile.string()) + " --format png -o -");
  EXPECT_EQ(toStdout.exitCode, 0);
  const Bytes png = ReadWholeFile(dir.File("sky.png"));
  EXPECT_EQ(toStdout.out, std::string(png.begin(), png.end()));
  ASSERT_EQ(RunTool("convert " + Quote(tile.string()) + " -o " + Quote(dir.File("sky.bmp").string())).exitCode, 0);
  EXPECT_EQ(ReadPngFile(dir.File("sky.png")), ReadBmp32(ReadWholeFile(dir.File("sky.bmp"))));

  // Sounds, scripts and text tables convert exactly as without the option.
  for (const char* entry : {"sound\\chord.aif", "voices\\line001.wvc", "scripts\\demo.lua", "text\\strings.tab"}) {
    const TToolRun plain = RunTool("convert " + lab + " " + Quote(entry) + " -o -");
    const TToolRun withPng = RunTool("convert " + lab + " " + Quote(entry) + " --format png -o -");
    EXPECT_EQ(plain.exitCode, 0) << entry;
    EXPECT_EQ(withPng.exitCode, 0) << entry;
    EXPECT_FALSE(plain.out.empty()) << entry;
    EXPECT_EQ(withPng.out, plain.out) << entry;
  }
  // Explicit bmp is the default.
  EXPECT_EQ(RunTool("convert " + lab + " 'fonts\\small.kfn' --format bmp -o -").out,
            RunTool("convert " + lab + " 'fonts\\small.kfn' -o -").out);
}

TEST(PngConvert, ConvertAllWritesTheBmpTreeWithPngFilesWhateverTheJobs) {
  REQUIRE_PNG();
  TTempDir dir;
  const samples::DemoFiles demo = samples::WriteDemo(dir.File("in"));
  const std::string lab = Quote(demo.bundle.string());
  auto convertAll = [&](const std::string& out, const std::string& options) {
    return RunTool("convert-all " + lab + " -o " + Quote(dir.File(out).string()) + options).exitCode;
  };
  ASSERT_EQ(convertAll("bmp", ""), 0);
  ASSERT_EQ(convertAll("one", " --format png -j 1"), 0);
  ASSERT_EQ(convertAll("two", " --format png --jobs 2"), 0);
  const std::map<std::string, Bytes> bmp = Tree(dir.File("bmp")), one = Tree(dir.File("one"));
  EXPECT_EQ(Tree(dir.File("two")), one);

  ASSERT_EQ(one.size(), bmp.size());
  int pictures = 0;
  for (const auto& [name, bytes] : bmp) {
    SCOPED_TRACE(name);
    const std::string pngName = EndingIn(name, ".bmp", ".png");
    ASSERT_EQ(one.count(pngName), 1u);
    if (pngName == name) {
      EXPECT_EQ(one.at(name), bytes);
      continue;
    }
    ++pictures;
    EXPECT_EQ(ReadPngFile(dir.File("one") / pngName), ReadBmp32(bytes));
  }
  EXPECT_GE(pictures, 5);
}

TEST(PngConvert, ConvertAllKeepsNamesApartWithThePngExtension) {
  REQUIRE_PNG();
  TTempDir dir;
  const TPixelImage small = samples::PatternPicture(3, 2, /*alphaFromPosition=*/true);
  const Bytes tga = samples::BuildTGA(small, {.depth = 32}), bmp = WriteBMP32(small);
  LabWriter w;
  w.Add("x.tga", tga);
  w.Add("x.bmp", bmp);
  w.Add("y.bmp", bmp);
  w.Add("y.tga", tga);
  w.Add(".\\y.tga", tga);
  w.Add("readme.txt", bmp);  // no conversion: not written at all
  w.Write(dir.File("n.lab"));
  std::string err = dir.File("err.txt").string();
  const std::string out = Quote(dir.File("o").string());
  const TToolRun run =
      RunTool("convert-all " + Quote(dir.File("n.lab").string()) + " -o " + out + " --format png", err);
  EXPECT_EQ(run.exitCode, 0);
  std::map<std::string, Bytes> tree = Tree(dir.File("o"));
  std::vector<std::string> names;
  for (const auto& [name, bytes] : tree) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"x.bmp.png", "x.png", "y.png", "y.tga.2.png", "y.tga.png"}));
  const TRgba expected = ReadBmp32(bmp);
  for (const std::string& name : names) EXPECT_EQ(ReadPngFile(dir.File("o") / name), expected) << name;
  EXPECT_EQ(AsString(ReadWholeFile(err)), "Converted 5 entries into " + dir.File("o").string() + "\n");
}

#endif  // VLD_TEST_HAVE_LIBPNG
