#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/audio/BinkData.h"
#include "core/common/FileIO.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs vldtool in `cwd` with stdout and stderr captured in files (so neither is a terminal).
ToolRun Tool(const TTempDir& dir, const fs::path& cwd, const std::vector<std::string>& args) {
  std::string cmd = "cd " + Quote(cwd.string()) + " && " + Quote(VLDTOOL_PATH);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " >" + Quote(dir.File("run.out").string()) + " 2>" + Quote(dir.File("run.err").string()) + " </dev/null";
  int status = std::system(cmd.c_str());
  ToolRun r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = AsString(ReadWholeFile(dir.File("run.out")));
  r.err = AsString(ReadWholeFile(dir.File("run.err")));
  fs::remove(dir.File("run.out"));
  fs::remove(dir.File("run.err"));
  return r;
}

std::set<std::string> Files(const fs::path& root) {
  std::set<std::string> out;
  if (!fs::exists(root)) return out;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.insert(fs::relative(e.path(), root).string());
  return out;
}

fs::path SmallBundle(const TTempDir& dir) {
  samples::TextBundle({{"gfx\\a.til", "tile a"},
                       {"b.til", "tile b"},
                       {"models\\actors\\hero\\hero.cos", "costume"},
                       {"..\\..\\outside.txt", "kept inside"}})
      .Write(dir.File("data001.lab"));
  return dir.File("data001.lab");
}

}  // namespace

TEST(CliExtract, AllEntriesGoBelowTheBundleStem) {
  TTempDir dir;
  fs::path bundle = SmallBundle(dir);
  ToolRun r = Tool(dir, dir.Path(), {"extract", bundle.string(), "-o", dir.File("OUT").string()});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Files(dir.File("OUT")),
            (std::set<std::string>{"data001/gfx/a.til", "data001/b.til", "data001/models/actors/hero/hero.cos",
                                   "data001/outside.txt"}));
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("OUT/data001/gfx/a.til"))), "tile a");
  EXPECT_NE(r.err.find("Extracted 4 entries"), std::string::npos) << r.err;
  // stderr is no terminal here: no progress lines.
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  EXPECT_EQ(r.err.find("[1/4]"), std::string::npos);
}

TEST(CliExtract, WithoutOutputFolderTheCurrentFolderIsUsed) {
  TTempDir dir;
  fs::path bundle = SmallBundle(dir);
  fs::create_directories(dir.File("work"));
  ToolRun r = Tool(dir, dir.File("work"), {"extract", bundle.string()});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(fs::is_regular_file(dir.File("work/data001/b.til")));
}

TEST(CliExtract, NamedEntriesOnly) {
  TTempDir dir;
  fs::path bundle = SmallBundle(dir);
  ToolRun r = Tool(dir, dir.Path(), {"extract", bundle.string(), "-o", "OUT", "GFX\\A.TIL", "b.til"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Files(dir.File("OUT")), (std::set<std::string>{"data001/gfx/a.til", "data001/b.til"}));

  ToolRun missing = Tool(dir, dir.Path(), {"extract", bundle.string(), "-o", "OUT2", "b.til", "nothere.til"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("nothere.til"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(dir.File("OUT2")));
}

TEST(CliExtract, CutShortEntriesAreWrittenAndReportedWithExitOne) {
  TTempDir dir;
  Bytes lab = samples::TextBundle({{"first.dat", "first"}, {"broken.dat", "broken"}, {"last.dat", "last"}}).Build();
  samples::SetEntryRecord(lab, 1, static_cast<std::int32_t>(lab.size() - 2), 100);
  dir.Write("damaged.lab", lab);
  ToolRun r = Tool(dir, dir.Path(), {"extract", "damaged.lab", "-o", "OUT"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("1 entry was cut short"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("broken.dat"), std::string::npos) << r.err;
  EXPECT_EQ(Files(dir.File("OUT/damaged")), (std::set<std::string>{"first.dat", "broken.dat", "last.dat"}));
  EXPECT_EQ(fs::file_size(dir.File("OUT/damaged/broken.dat")), 2u);
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("OUT/damaged/last.dat"))), "last");
}

TEST(CliExtract, RefusalsAndUsage) {
  TTempDir dir;
  dir.Write("loose.txt", AsSpan(std::string("not a bundle")));
  ToolRun notBundle = Tool(dir, dir.Path(), {"extract", "loose.txt", "-o", "OUT"});
  EXPECT_EQ(notBundle.code, 1);
  EXPECT_NE(notBundle.err.find("not a LAB bundle"), std::string::npos) << notBundle.err;
  EXPECT_FALSE(fs::exists(dir.File("OUT")));
  EXPECT_EQ(Tool(dir, dir.Path(), {"extract", "missing.lab"}).code, 1);
  EXPECT_EQ(Tool(dir, dir.Path(), {"extract"}).code, 2);
}

TEST(CliConvert, StandaloneBinkAndSmushGiveTheBinkData) {
  TTempDir dir;
  Bytes bink = samples::BuildBinkFile(150000, 2);
  dir.Write("intro.bik", bink);
  dir.Write("outro.smush", samples::BuildSmushFile(15872, bink));
  fs::create_directories(dir.File("out"));

  ToolRun r1 = Tool(dir, dir.File("out"), {"convert", dir.File("intro.bik").string()});
  EXPECT_EQ(r1.code, 0) << r1.err;
  EXPECT_EQ(ReadWholeFile(dir.File("out/intro.bik")), bink);

  ToolRun r2 = Tool(dir, dir.File("out"), {"convert", dir.File("outro.smush").string()});
  EXPECT_EQ(r2.code, 0) << r2.err;
  EXPECT_EQ(ReadWholeFile(dir.File("out/outro.bik")), bink);

  ToolRun r3 = Tool(dir, dir.Path(), {"convert", "outro.smush", "-o", "-"});
  EXPECT_EQ(r3.code, 0) << r3.err;
  EXPECT_EQ(r3.out, AsString(bink));
}

TEST(CliConvert, NonStandardSmushAndSelfOverwriteAreRefused) {
  TTempDir dir;
  Bytes bink = samples::BuildBinkFile(1000, 2);
  dir.Write("odd.smush", samples::BuildSmushFile(16384, bink));
  ToolRun miss = Tool(dir, dir.Path(), {"convert", "odd.smush", "-o", "odd.bik"});
  EXPECT_EQ(miss.code, 1);
  EXPECT_NE(miss.err.find(kNonStandardSmushText), std::string::npos) << miss.err;
  EXPECT_FALSE(fs::exists(dir.File("odd.bik")));

  // A Smush file named like its own output must not be replaced by its contents.
  Bytes wrapped = samples::BuildSmushFile(512, bink);
  dir.Write("scene.bik", wrapped);
  ToolRun self = Tool(dir, dir.Path(), {"convert", "scene.bik"});
  EXPECT_EQ(self.code, 1);
  EXPECT_EQ(ReadWholeFile(dir.File("scene.bik")), wrapped);
}
