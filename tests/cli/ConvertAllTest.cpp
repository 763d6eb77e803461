#include <gtest/gtest.h>

#include <map>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "core/images/PixelImage.h"
#include "samples/Demo.h"
#include "samples/ImageSamples.h"

using namespace vld;

namespace {

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(ConvertAll, WritesEveryConvertibleEntryKeepingTheFolderTree) {
  TTempDir dir;
  LabWriter w;
  w.Add("text\\a.tab", Text("alpha\r\n"));
  w.Add("text\\a.b.tab", Text("beta\r\n"));
  w.Add("model.mesh", Text("not convertible"));
  w.Add("..\\escape.tab", Text("kept inside\r\n"));
  w.Write(dir.File("t.lab"));
  std::string out = dir.File("out").string();
  TToolRun run = RunTool("convert-all " + Quote(dir.File("t.lab").string()) + " -o " + Quote(out));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadWholeFile(dir.File("out/text/a.tab.txt")), Text("alpha\r\n"));
  EXPECT_EQ(ReadWholeFile(dir.File("out/text/a.b.tab.txt")), Text("beta\r\n"));
  EXPECT_EQ(ReadWholeFile(dir.File("out/escape.tab.txt")), Text("kept inside\r\n"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("escape.tab.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/model.mesh")));
}

TEST(ConvertAll, GoesOnAfterARefusedEntryAndFailsAtTheEnd) {
  TTempDir dir;
  LabWriter w;
  w.Add("bad.til", Text("not a gzip member at all"));
  w.Add("good.tab", Text("fine"));
  w.Write(dir.File("m.lab"));
  TToolRun run = RunTool("convert-all " + Quote(dir.File("m.lab").string()) + " -o " + Quote(dir.File("o").string()));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadWholeFile(dir.File("o/good.tab.txt")), Text("fine"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("o/bad.bmp")));
}

TEST(ConvertAll, RefusesALooseFile) {
  TTempDir dir;
  dir.Write("x.tab", Text("hi"));
  EXPECT_EQ(
      RunTool("convert-all " + Quote(dir.File("x.tab").string()) + " -o " + Quote(dir.File("o").string())).exitCode, 1);
  EXPECT_EQ(RunTool("convert-all").exitCode, 2);
}

namespace {

std::map<std::string, Bytes> Tree(const std::filesystem::path& root) {
  std::map<std::string, Bytes> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[std::filesystem::relative(e.path(), root).string()] = ReadWholeFile(e.path());
  return out;
}

}  // namespace

TEST(ConvertAll, ConvertedNamesNeverOverwriteEachOther) {
  TTempDir dir;
  LabWriter w;
  Bytes tga = samples::BuildTGA(TPixelImage(2, 2));
  w.Add("x.tga", tga);
  w.Add("x.bmp", Text("BM raw bitmap"));
  w.Add("y.bmp", Text("BM first"));
  w.Add("y.tga", tga);
  w.Add("t\\a.tab", Text("one"));
  w.Add("t\\.\\a.tab", Text("two"));
  w.Write(dir.File("n.lab"));
  std::string err = dir.File("err.txt").string();
  TToolRun run =
      RunTool("convert-all " + Quote(dir.File("n.lab").string()) + " -o " + Quote(dir.File("o").string()), err);
  EXPECT_EQ(run.exitCode, 0);
  std::map<std::string, Bytes> tree = Tree(dir.File("o"));
  EXPECT_EQ(tree.size(), 6u);
  EXPECT_EQ(tree["x.bmp.bmp"], Text("BM raw bitmap"));
  EXPECT_EQ(tree["y.bmp"], Text("BM first"));
  EXPECT_EQ(tree["x.bmp"], tree["y.tga.bmp"]);
  EXPECT_EQ(tree["t/a.tab.txt"], Text("one"));
  EXPECT_EQ(tree["t/a.tab.2.txt"], Text("two"));
  EXPECT_EQ(AsString(ReadWholeFile(err)), "Converted 6 entries into " + dir.File("o").string() + "\n");
}

TEST(ConvertAll, AnyNumberOfJobsGivesTheSameFiles) {
  TTempDir dir;
  samples::BuildDemoBundle().Write(dir.File("demo.lab"));
  std::string bundle = Quote(dir.File("demo.lab").string());
  EXPECT_EQ(RunTool("convert-all " + bundle + " -o " + Quote(dir.File("one").string()) + " -j 1").exitCode, 0);
  EXPECT_EQ(RunTool("convert-all " + bundle + " -o " + Quote(dir.File("two").string()) + " --jobs 2").exitCode, 0);
  std::map<std::string, Bytes> one = Tree(dir.File("one"));
  EXPECT_GT(one.size(), 10u);
  EXPECT_EQ(Tree(dir.File("two")), one);
}

TEST(ConvertAll, ALinkInTheOutputFolderIsRefusedAndTheRestIsWritten) {
  TTempDir dir;
  LabWriter w;
  w.Add("text\\a.tab", Text("through the link"));
  w.Add("b.tab", Text("fine"));
  w.Write(dir.File("k.lab"));
  std::filesystem::create_directories(dir.File("outside"));
  std::filesystem::create_directories(dir.File("o"));
  std::filesystem::create_directory_symlink(dir.File("outside"), dir.File("o/text"));
  std::string err = dir.File("err.txt").string();
  TToolRun run =
      RunTool("convert-all " + Quote(dir.File("k.lab").string()) + " -o " + Quote(dir.File("o").string()), err);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("outside")));
  EXPECT_EQ(ReadWholeFile(dir.File("o/b.tab.txt")), Text("fine"));
  std::string text = AsString(ReadWholeFile(err));
  EXPECT_NE(text.find("entry text\\a.tab was not written: " + dir.File("o/text").string() + " is a symbolic link"),
            std::string::npos)
      << text;
}
