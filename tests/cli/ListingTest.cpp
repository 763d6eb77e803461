#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/lua/LuaDump.h"
#include "samples/Demo.h"
#include "samples/LuaChunk.h"

using namespace vld;

namespace {

std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The listing of the demo script, worked out by hand from its code bytes.
std::filesystem::path GoldenListing() {
  return std::filesystem::path(VLD_SOURCE_DIR) / "tests" / "cli" / "data" / "demo_listing.txt";
}

}  // namespace

TEST(ListingCommand, DemoScriptMatchesTheHandWrittenListing) {
  TTempDir dir;
  samples::DemoFiles demo = samples::WriteDemo(dir.Path());
  std::string golden = ReadText(GoldenListing());
  ASSERT_FALSE(golden.empty());
  TToolRun run = RunTool("listing " + Quote(demo.bundle.string()) + " 'SCRIPTS\\DEMO.LUA'");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, golden);

  // A loose chunk names itself in the header.
  dir.Write("demo.lua", samples::BuildDemoScript());
  TToolRun loose = RunTool("listing " + Quote(dir.File("demo.lua").string()));
  EXPECT_EQ(loose.exitCode, 0);
  EXPECT_EQ(loose.out.substr(0, loose.out.find('\n')), "Dump of file: demo.lua");
  EXPECT_EQ(loose.out.substr(loose.out.find('\n')), golden.substr(golden.find('\n')));
}

TEST(ListingCommand, RefusedChunksPrintTheLoaderMessage) {
  TTempDir dir;
  dir.Write("x.lua", Bytes{0x1B, 'L', 'u', 'a', 0x32, 4});
  std::string err = dir.File("err.txt").string();
  TToolRun run = RunTool("listing " + Quote(dir.File("x.lua").string()), err);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadText(err), "vldtool: Bad lua version in file x.lua: found 50, expected 49\n");

  samples::DemoFiles demo = samples::WriteDemo(dir.Path());
  run = RunTool("listing " + Quote(demo.bundle.string()) + " 'text\\strings.tab'", err);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadText(err), "vldtool: Bad signature in file text\\strings.tab\n");
  EXPECT_EQ(RunTool("listing").exitCode, 2);
}

TEST(ListingCommand, ConvertWritesTheDecompiledSource) {
  TTempDir dir;
  samples::DemoFiles demo = samples::WriteDemo(dir.Path());
  std::string expected = DumpLuaChunk(samples::BuildDemoScript(), "scripts\\demo.lua");
  TToolRun run = RunTool("convert " + Quote(demo.bundle.string()) + " 'scripts\\demo.lua' -o -");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.out.substr(0, 58), "-- main function, defined at demo.lua:0, code 89, stack 6\r");

  std::filesystem::path out = dir.File("demo.txt");
  EXPECT_EQ(
      RunTool("convert " + Quote(demo.bundle.string()) + " 'scripts\\demo.lua' -o " + Quote(out.string())).exitCode, 0);
  EXPECT_EQ(ReadText(out), expected);

  // A text table converts to its own bytes.
  TToolRun table = RunTool("convert " + Quote(demo.bundle.string()) + " 'text\\strings.tab' -o -");
  EXPECT_EQ(table.exitCode, 0);
  Bytes bytes = samples::BuildDemoTextTable();
  EXPECT_EQ(table.out, std::string(bytes.begin(), bytes.end()));
}
