#include <gtest/gtest.h>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"

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
  EXPECT_EQ(RunTool("convert-all " + Quote(dir.File("x.tab").string()) + " -o " + Quote(dir.File("o").string())).exitCode, 1);
  EXPECT_EQ(RunTool("convert-all").exitCode, 2);
}
