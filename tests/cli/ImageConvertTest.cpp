#include <gtest/gtest.h>

#include <filesystem>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "core/images/BMPTools.h"
#include "core/images/KFNFont.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "samples/ImageSamples.h"

using namespace vld;

namespace {

struct TImageEntries {
  Bytes tile = samples::BuildTileEntry(samples::BeachPicture());
  Bytes tga = samples::BuildTGA(samples::BrickPicture());
  Bytes gzipTga = samples::GzipMember(samples::BuildTGA(samples::WaterPicture()));
  Bytes font = samples::BuildDemoFont();
  Bytes bmp = WriteBMP32(samples::TitlePicture());
};

std::filesystem::path WriteBundle(const TTempDir& dir, const TImageEntries& e) {
  LabWriter lab;
  lab.Add("sets\\Beach.TIL", e.tile);
  lab.Add("textures\\wall.tga", e.tga);
  lab.Add("textures\\water.tga", e.gzipTga);
  lab.Add("fonts\\small.kfn", e.font);
  lab.Add("menu\\title.bmp", e.bmp);
  lab.Add("odd.tga.til", e.tile);
  lab.Add("empty.tga", Bytes{});
  lab.Write(dir.File("images.lab"));
  return dir.File("images.lab");
}

}  // namespace

TEST(ImageConvert, BundleEntriesBecomeTheViewersBmpFiles) {
  TTempDir dir;
  TImageEntries e;
  const std::string bundle = Quote(WriteBundle(dir, e).string());
  const Bytes tileBmp = DecodeTileImage(e.tile).bmp;
  const struct {
    const char* entry;
    Bytes expected;
  } cases[] = {
      {"sets\\beach.til", tileBmp},
      {"TEXTURES\\WALL.TGA", DecodeTGAImage(e.tga).bmp},
      {"textures\\water.tga", DecodeTGAImage(samples::BuildTGA(samples::WaterPicture())).bmp},
      {"fonts\\small.kfn", RenderKFNImage(e.font).bmp},
      {"menu\\title.bmp", e.bmp},
      {"odd.tga.til", tileBmp},
  };
  for (const auto& c : cases) {
    const std::filesystem::path out = dir.File("out.bmp");
    std::filesystem::remove(out);
    TToolRun run = RunTool("convert " + bundle + " " + Quote(c.entry) + " -o " + Quote(out.string()));
    EXPECT_EQ(run.exitCode, 0) << c.entry;
    EXPECT_EQ(ReadWholeFile(out), c.expected) << c.entry;
  }
}

TEST(ImageConvert, LooseFilesAndStandardOutput) {
  TTempDir dir;
  TImageEntries e;
  dir.Write("sky.til", e.tile);
  dir.Write("water.tga", e.gzipTga);
  // Without -o the file is named as the viewer suggests, in the working folder.
  std::string cd = "cd " + Quote(dir.Path().string()) + " && ";
  ASSERT_EQ(std::system((cd + VLDTOOL_PATH + " convert sky.til 2>/dev/null").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir.File("sky.bmp")), DecodeTileImage(e.tile).bmp);

  TToolRun run = RunTool("convert " + Quote(dir.File("water.tga").string()) + " -o -");
  EXPECT_EQ(run.exitCode, 0);
  const Bytes expected = DecodeTGAImage(e.gzipTga).bmp;
  EXPECT_EQ(run.out, std::string(expected.begin(), expected.end()));
}

TEST(ImageConvert, RefusedEntriesWriteNoFile) {
  TTempDir dir;
  TImageEntries e;
  const std::string bundle = Quote(WriteBundle(dir, e).string());
  const std::filesystem::path out = dir.File("none.bmp");
  EXPECT_EQ(RunTool("convert " + bundle + " empty.tga -o " + Quote(out.string()), dir.File("err").string()).exitCode,
            1);
  EXPECT_FALSE(std::filesystem::exists(out));
  const Bytes err = ReadWholeFile(dir.File("err"));
  EXPECT_NE(std::string(err.begin(), err.end()).find("less than or equal to 0"), std::string::npos);

  Bytes huge = samples::TgaHeader(2, 65535, 65535, 32, 0);
  dir.Write("huge.tga", huge);
  EXPECT_EQ(RunTool("convert " + Quote(dir.File("huge.tga").string()) + " -o " + Quote(out.string())).exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(out));
}
