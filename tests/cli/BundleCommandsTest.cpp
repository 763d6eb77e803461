#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "samples/LabSamples.h"

using namespace vld;

namespace {

std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

TEST(BundleCommands, ListPrintsOffsetsAsTheViewerShowsThem) {
  TTempDir dir;
  LabWriter w;
  w.Add("gfx\\Sky.TIL", Bytes(1000, 1));
  w.Add("x.tab.lua", Bytes(3, 2));
  w.Write(dir.File("a.lab"));
  TToolRun run = RunTool("list " + Quote(dir.File("a.lab").string()));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("0x0000004A"), std::string::npos) << run.out;  // 20 + 32 + 22 bytes of names
  EXPECT_NE(run.out.find("1000"), std::string::npos);
  EXPECT_NE(run.out.find("Tile"), std::string::npos);
  EXPECT_NE(run.out.find("gfx\\Sky.TIL"), std::string::npos);
  EXPECT_NE(run.out.find("Text table"), std::string::npos);
}

TEST(BundleCommands, ListJsonKeepsSignedNumbersAndLatin1Names) {
  TTempDir dir;
  samples::TRawLab lab;
  lab.count = 1;
  lab.namesPosition = kNamesOffsetConstant + 36;
  lab.records.push_back({0, -16, -2});
  lab.tail = samples::MaskedName("caf\xE9\\\"q\".til");
  dir.Write("j.lab", lab.Build());
  TToolRun run = RunTool("list --json " + Quote(dir.File("j.lab").string()));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "[\n {\"index\": 0, \"name\": \"caf\xC3\xA9\\\\\\\"q\\\".til\", \"offset\": -16, \"size\": -2, "
            "\"type\": \"Tile\"}\n]\n");
}

TEST(BundleCommands, ListRefusesOtherFilesAndReportsDamage) {
  TTempDir dir;
  dir.Write("not.lab", Bytes{'P', 'K', 3, 4});
  EXPECT_EQ(RunTool("list " + Quote(dir.File("not.lab").string())).exitCode, 1);
  EXPECT_EQ(RunTool("list " + Quote(dir.File("missing.lab").string())).exitCode, 1);
  EXPECT_EQ(RunTool("list").exitCode, 2);

  samples::TRawLab lab;
  lab.count = 1000;  // the file holds one record
  lab.records.push_back({0, 0, 0});
  dir.Write("cut.lab", lab.Build());
  std::string err = dir.File("err.txt").string();
  TToolRun run = RunTool("list " + Quote(dir.File("cut.lab").string()), err);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(ReadText(err).find("damaged"), std::string::npos);
}

TEST(BundleCommands, PackThenListRoundTrips) {
  TTempDir dir;
  std::filesystem::create_directories(dir.File("tree/sets"));
  dir.Write("tree/sets/beach.til", Bytes{1, 2, 3});
  dir.Write("tree/readme.txt", Bytes{4});
  std::string out = dir.File("packed.lab").string();
  ASSERT_EQ(RunTool("pack " + Quote(dir.File("tree").string()) + " -o " + Quote(out)).exitCode, 0);
  TLabReader r;
  r.Open(out);
  ASSERT_EQ(r.Count(), 2);
  EXPECT_EQ(r.GetName(1), "sets\\beach.til");
  EXPECT_EQ(r.ReadEntryBytes(1), (Bytes{1, 2, 3}));
}

TEST(BundleCommands, PackingIntoTheFolderBeingPackedLeavesTheBundleOut) {
  TTempDir dir;
  std::filesystem::create_directories(dir.File("tree"));
  dir.Write("tree/a.txt", Bytes{1});
  const std::string out = dir.File("tree/tree.lab").string();
  // Twice: the second pack finds the first one's bundle in the folder.
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(RunTool("pack " + Quote(dir.File("tree").string()) + " -o " + Quote(out)).exitCode, 0);
    TLabReader r;
    r.Open(out);
    ASSERT_EQ(r.Count(), 1) << "run " << run;
    EXPECT_EQ(r.GetName(0), "a.txt");
  }
}

TEST(BundleCommands, DemoWritesABundleWithEveryTypeRow) {
  TTempDir dir;
  ASSERT_EQ(RunTool("demo -o " + Quote(dir.File("demo").string())).exitCode, 0);
  TLabReader r;
  r.Open(dir.File("demo/demo.lab"));
  std::set<std::string> types;
  for (int i = 0; i < r.Count(); ++i) types.insert(TypeText(r.GetName(i), false, false));
  for (const char* t : {"Bitmap image", "Tile", "Text table", "Audio file", "TGA image", "Thrapwick font",
                        "Model surface description", "Wave (voice compressed)", "Model animation", "Lua script",
                        "Model costume", "Model mesh", "Sprite", "Model skeleton", "Lip sync file", "unknown"})
    EXPECT_TRUE(types.count(t)) << t;
  EXPECT_EQ(static_cast<std::uint32_t>(ReadMagic(dir.File("demo/intro.bik"))), kMagicBIKi);
  EXPECT_EQ(static_cast<std::uint32_t>(ReadMagic(dir.File("demo/outro.smush.bik"))), kMagicSMUS);
}

TEST(BundleCommands, HelpOnEveryCommand) {
  for (const char* cmd : {"", "list ", "pack ", "demo ", "convert "}) {
    TToolRun run = RunTool(std::string(cmd) + "--help");
    EXPECT_EQ(run.exitCode, 0) << cmd;
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << cmd;
  }
}

// Output that cannot be written (here a full disk behind standard output) is
// a failure with a message, whether the command wrote a little or a lot.
TEST(BundleCommands, AFullStandardOutputFailsTheRun) {
  TTempDir dir;
  ASSERT_EQ(RunTool("demo -o " + Quote(dir.File("demo").string())).exitCode, 0);
  const std::string bundle = Quote(dir.File("demo/demo.lab").string());
  const std::string err = dir.File("err.txt").string();
  for (const std::string& args :
       {"list " + bundle, "list " + bundle + " --json", "convert " + bundle + " 'scripts\\demo.lua' -o -",
        "convert " + bundle + " 'gfx\\Title.BMP' -o -", "listing " + bundle + " 'scripts\\demo.lua'",
        "convert " + Quote(dir.File("demo/intro.bik").string()) + " -o -"}) {
    TToolRun run = RunTool(args + " >/dev/full", err);
    EXPECT_EQ(run.exitCode, 1) << args;
    EXPECT_NE(ReadText(err).find("Write error on standard output."), std::string::npos) << args;
  }
  EXPECT_EQ(RunTool("list " + bundle + " >/dev/null").exitCode, 0);
}
