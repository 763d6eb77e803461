#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "TestFiles.h"
#include "core/browser/ConvertBatch.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/images/BMPTools.h"
#include "core/images/PixelImage.h"
#include "core/images/PngImage.h"
#include "samples/ImageSamples.h"

using namespace vld;

namespace {

std::vector<std::string> Plan(std::vector<std::string_view> names, ImageFormat images = ImageFormat::Bmp) {
  return PlanConvertedPaths(names, images);
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(ConvertedPaths, NamedAsTheViewerSuggestsInTheirFolders) {
  EXPECT_EQ(
      Plan({"sets\\Beach.TIL", "fonts\\small.kfn", "gfx\\a.b.tga", "sound\\chord.aif", "voices\\x.wvc",
            "scripts\\demo.lua", "text\\strings.tab", "..\\up.tab", "odd.tga.til"}),
      (std::vector<std::string>{"sets/Beach.bmp", "fonts/small.bmp", "gfx/a.bmp", "sound/chord.wav", "voices/x.wav",
                                "scripts/demo.lua.txt", "text/strings.tab.txt", "up.tab.txt", "odd.bmp"}));
  // Only pictures change with PNG.
  EXPECT_EQ(Plan({"sets\\Beach.TIL", "menu\\title.bmp", "sound\\chord.aif", "text\\strings.tab"}, ImageFormat::Png),
            (std::vector<std::string>{"sets/Beach.png", "menu/title.png", "sound/chord.wav", "text/strings.tab.txt"}));
}

TEST(ConvertedPaths, ATakenPathFallsBackToTheWholeNameThenANumber) {
  for (ImageFormat images : {ImageFormat::Bmp, ImageFormat::Png}) {
    const std::string ext = images == ImageFormat::Png ? ".png" : ".bmp";
    EXPECT_EQ(Plan({"x.tga", "x.bmp", "y.bmp", "y.tga", ".\\y.tga", "t\\a.tab", "t\\.\\a.tab"}, images),
              (std::vector<std::string>{"x" + ext, "x.bmp" + ext, "y" + ext, "y.tga" + ext, "y.tga.2" + ext,
                                        "t/a.tab.txt", "t/a.tab.2.txt"}));
  }
  // The same name given twice keeps its place in the list each time.
  EXPECT_EQ(Plan({"a.til", "a.til", "a.til"}), (std::vector<std::string>{"a.bmp", "a.til.bmp", "a.til.2.bmp"}));
}

TEST(ConvertedPaths, EntriesWithoutAConversionKeepTheirOwnPath) {
  // A raw entry holds its path: a picture that would land there moves aside.
  EXPECT_EQ(
      Plan({"gfx\\pic.png", "gfx\\pic.tga", "models\\hero.mesh", "surfaces\\pulse.sur", "..\\..\\x.dat"},
           ImageFormat::Png),
      (std::vector<std::string>{"gfx/pic.png", "gfx/pic.tga.png", "models/hero.mesh", "surfaces/pulse.sur", "x.dat"}));
  EXPECT_TRUE(Plan({}).empty());
}

TEST(ConvertedItems, PlanAndProduceAgreeForEveryEntry) {
  TTempDir dir;
  const TPixelImage picture = samples::PatternPicture(4, 3, /*alphaFromPosition=*/true);
  LabWriter w;
  w.Add("a\\pic.bmp", WriteBMP32(picture));
  w.Add("a\\notes.tab", Text("words\r\n"));
  w.Add("b\\hero.mesh", Text("raw mesh bytes"));
  w.Add("bad.tga", Text("no picture"));
  w.Write(dir.File("c.lab"));
  TLabReader reader;
  reader.Open(dir.File("c.lab"));
  const std::vector<int> indexes{3, 0, 1, 2};
  const std::vector<TBatchItem> items = ConvertedItems(reader, indexes, ImageFormat::Bmp);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].index, 3);
  EXPECT_EQ(items[0].relative, "bad.bmp");
  EXPECT_EQ(items[1].index, 0);
  EXPECT_EQ(items[1].relative, "a/pic.bmp");
  EXPECT_EQ(items[2].relative, "a/notes.tab.txt");
  EXPECT_EQ(items[3].relative, "b/hero.mesh");

  const TBatchProduce produce = ConvertedProduce(reader, ImageFormat::Bmp);
  EXPECT_EQ(produce(0, reader.ReadEntryBytes(0)), WriteBMP32(picture));
  EXPECT_EQ(produce(1, reader.ReadEntryBytes(1)), Text("words\r\n"));
  EXPECT_EQ(produce(2, reader.ReadEntryBytes(2)), Text("raw mesh bytes"));
  EXPECT_THROW(produce(3, reader.ReadEntryBytes(3)), VldError);

  const std::vector<TBatchItem> png = ConvertedItems(reader, indexes, ImageFormat::Png);
  EXPECT_EQ(png[1].relative, "a/pic.png");
  EXPECT_EQ(png[3].relative, "b/hero.mesh");
  if (HavePngWriter()) {
    const Bytes file = ConvertedProduce(reader, ImageFormat::Png)(0, reader.ReadEntryBytes(0));
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0x89, 'P', 'N', 'G'}));
  }
}
