#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/audio/BinkData.h"
#include "core/bundle/LabReader.h"
#include "core/common/FileIO.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

using ToolRun = TToolResult;

// Runs vldtool in `cwd` with stdout and stderr captured in files (so neither is a terminal).
ToolRun Tool(const TTempDir& dir, const fs::path& cwd, const std::vector<std::string>& args) {
  return RunToolIn(dir.Path(), cwd, args);
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

namespace {

std::map<std::string, std::string> Contents(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const std::string& f : Files(root)) out[f] = AsString(ReadWholeFile(root / f));
  return out;
}

}  // namespace

TEST(CliExtract, LinksInTheDestinationAreRefusedAndReported) {
  TTempDir dir;
  samples::TextBundle({{"sub\\big1.bin", "1"}, {"sub\\big2.bin", "2"}, {"sub\\small.txt", "3"}, {"top.txt", "4"}})
      .Write(dir.File("x.lab"));
  fs::create_directories(dir.File("outside"));
  fs::create_directories(dir.File("dest/x"));
  fs::create_directory_symlink("../../outside", dir.File("dest/x/sub"));
  fs::create_symlink("../../outside/top.txt", dir.File("dest/x/top.txt"));
  dir.Write("outside/top.txt", AsSpan(std::string("outside")));

  ToolRun r = Tool(dir, dir.Path(), {"extract", "x.lab", "-o", "dest"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Contents(dir.File("outside")), (std::map<std::string, std::string>{{"top.txt", "outside"}}));
  EXPECT_EQ(AsString(ReadWholeFile(dir.File("dest/x/top.txt"))), "4");
  const std::string link = "dest/x/sub";  // as the user named the destination
  for (const char* entry : {"sub\\big1.bin", "sub\\big2.bin", "sub\\small.txt"})
    EXPECT_NE(r.err.find(std::string("vldtool: entry ") + entry + " was not written: " + link + " is a symbolic link"),
              std::string::npos)
        << r.err;
  EXPECT_NE(r.err.find("Extracted 1 entries"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("top.txt was a symbolic link; it was replaced"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("vldtool: 3 entries were not written because a symbolic link stands in the destination."),
            std::string::npos)
      << r.err;
}

// The folder named after the bundle is the tool's, not the user's choice: a
// link there is refused before anything is written.
TEST(CliExtract, ALinkWhereTheBundlesFolderGoesIsRefused) {
  TTempDir dir;
  samples::TextBundle({{"a.txt", "1"}, {"sub\\b.txt", "2"}}).Write(dir.File("x.lab"));
  fs::create_directories(dir.File("outside"));
  fs::create_directories(dir.File("dest"));
  fs::create_directory_symlink("../outside", dir.File("dest/x"));
  ToolRun r = Tool(dir, dir.Path(), {"extract", "x.lab", "-o", "dest", "-j", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(fs::is_empty(dir.File("outside")));
  EXPECT_NE(r.err.find("dest/x is a symbolic link; nothing is written through it."), std::string::npos) << r.err;
  // The folder the user names may be a link.
  fs::remove(dir.File("dest/x"));
  fs::create_directory_symlink("outside", dir.File("chosen"));
  r = Tool(dir, dir.Path(), {"extract", "x.lab", "-o", "chosen"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Contents(dir.File("outside/x")), (std::map<std::string, std::string>{{"a.txt", "1"}, {"sub/b.txt", "2"}}));
}

TEST(CliExtract, CollidingNamesAreNumberedWithANotice) {
  TTempDir dir;
  samples::TextBundle({{"a\\b.txt", "1"}, {"a\\b.txt", "2"}, {"a\\.\\b.txt", "3"}}).Write(dir.File("c.lab"));
  ToolRun r = Tool(dir, dir.Path(), {"extract", "c.lab", "-o", "OUT"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Contents(dir.File("OUT/c")),
            (std::map<std::string, std::string>{{"a/b.txt", "1"}, {"a/b~2.txt", "2"}, {"a/b~3.txt", "3"}}));
  EXPECT_EQ(r.err,
            "Extracted 3 entries (3 bytes) into OUT/c\n"
            "vldtool: 2 entries had a name already written in this run and went to another name:\n"
            "  a\\b.txt -> a/b~2.txt\n"
            "  a\\.\\b.txt -> a/b~3.txt\n");
}

TEST(CliExtract, AnyNumberOfJobsWritesTheSameFilesAndSaysTheSame) {
  TTempDir dir;
  samples::TGeneratedBundle layout;
  layout.entries = 2000;
  layout.folders = 20;
  layout.minSize = 1;
  layout.maxSize = 70000;
  samples::WriteGeneratedBundle(dir.File("gen.lab"), layout);
  ToolRun one = Tool(dir, dir.Path(), {"extract", "gen.lab", "-o", "one", "--jobs", "1"});
  ToolRun three = Tool(dir, dir.Path(), {"extract", "gen.lab", "-o", "three", "-j", "3"});
  ToolRun all = Tool(dir, dir.Path(), {"extract", "gen.lab", "-o", "all"});
  EXPECT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(three.code, 0) << three.err;
  EXPECT_EQ(all.code, 0) << all.err;
  std::map<std::string, std::string> tree = Contents(dir.File("one/gen"));
  EXPECT_EQ(tree.size(), 2000u);
  EXPECT_EQ(Contents(dir.File("three/gen")), tree);
  EXPECT_EQ(Contents(dir.File("all/gen")), tree);
  auto withoutFolder = [](std::string text, const std::string& folder) {
    return text.replace(text.find(folder), folder.size(), "*");
  };
  EXPECT_EQ(withoutFolder(three.err, "three"), withoutFolder(one.err, "one"));
  EXPECT_EQ(Tool(dir, dir.Path(), {"extract", "gen.lab", "-o", "bad", "--jobs", "-1"}).code, 2);
}

namespace {

// Writes a bundle of `entries` generated entries into `dir` and starts
// `vldtool extract` of it into OUT there on one worker, stderr into `err`;
// SIGINT ignored from the start when `ignoreInterrupt`.
pid_t StartExtraction(const TTempDir& dir, const std::string& bundle, int entries, int maxSize, const fs::path& err,
                      bool ignoreInterrupt = false) {
  samples::TGeneratedBundle layout;
  layout.entries = entries;
  layout.folders = 10;
  layout.minSize = maxSize / 4;
  layout.maxSize = maxSize;
  samples::WriteGeneratedBundle(dir.File(bundle), layout);
  pid_t child = ::fork();
  if (child == 0) {
    if (ignoreInterrupt) std::signal(SIGINT, SIG_IGN);
    std::FILE* e = std::freopen(err.c_str(), "w", stderr);
    if (!e || ::chdir(dir.Path().c_str()) != 0) ::_exit(99);
    ::execl(VLDTOOL_PATH, VLDTOOL_PATH, "extract", bundle.c_str(), "-o", "OUT", "--jobs", "1",
            static_cast<char*>(nullptr));
    ::_exit(98);
  }
  return child;
}

}  // namespace

// Stops an extraction with `signal` once the first files are in place and
// checks it stopped cleanly: exit code `code`, the files written whole, no
// temporary file left, the count said.
static void StopsCleanly(int signal, int code) {
  TTempDir dir;
  fs::path err = dir.File("run.err");
  pid_t child = StartExtraction(dir, "big.lab", 3000, 256 * 1024, err);
  ASSERT_GE(child, 0);
  // Interrupt once the first files are in place.
  int status = 0;
  // The child renames files while this counts them: count without failing on that.
  auto countWhileWriting = [](const fs::path& root) {
    std::size_t n = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
      if (it->path().filename().string().rfind(".vld-", 0) != 0) ++n;
    return n;
  };
  while (countWhileWriting(dir.File("OUT/big")) < 3 + 10) {
    ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << AsString(ReadWholeFile(err));
    ::usleep(1000);
  }
  ::kill(child, signal);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), code);

  std::string text = AsString(ReadWholeFile(err));
  EXPECT_EQ(text.rfind("Interrupted: ", 0), 0u) << text;
  EXPECT_NE(text.find(" of 3000 files were written into OUT/big; none is left half-written."), std::string::npos)
      << text;
  // Every file there is whole, and no temporary file is left.
  TLabReader reader;
  reader.Open(dir.File("big.lab"));
  std::size_t whole = 0;
  for (auto& e : fs::recursive_directory_iterator(dir.File("OUT/big"))) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), dir.File("OUT/big")).string();
    int index = reader.FindEntry(std::string(rel).replace(rel.find('/'), 1, "\\"));
    ASSERT_GE(index, 0) << rel;
    EXPECT_EQ(ReadWholeFile(e.path()), reader.ReadEntryBytes(index)) << rel;
    ++whole;
  }
  EXPECT_GE(whole, 3u);
  EXPECT_LT(whole, 3000u);
  EXPECT_NE(text.find("Interrupted: " + std::to_string(whole) + " of"), std::string::npos) << text;
}

TEST(CliExtract, CtrlCStopsCleanlyWithExitCode130) { StopsCleanly(SIGINT, 130); }

// SIGTERM, as `timeout` and `kill` send it, stops a run as Ctrl+C does.
TEST(CliExtract, SigtermStopsCleanlyWithExitCode143) { StopsCleanly(SIGTERM, 143); }

// A run started with SIGINT ignored (a background job of a script) is not
// stopped by one: that Ctrl+C was meant for the job in the foreground.
TEST(CliExtract, AnIgnoredCtrlCStaysIgnored) {
  TTempDir dir;
  pid_t child = StartExtraction(dir, "bg.lab", 1500, 64 * 1024, dir.File("run.err"), true);
  ASSERT_GE(child, 0);
  int status = 0;
  std::error_code ec;
  while (!fs::exists(dir.File("OUT/bg"), ec) && ::waitpid(child, &status, WNOHANG) == 0) ::usleep(500);
  ::kill(child, SIGINT);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Files(dir.File("OUT/bg")).size(), 1500u);
}

// Where the system grants fewer threads than asked for (here a user allowed
// three tasks in all), the threads that started, and the calling one, do the
// work; the run neither aborts nor leaves a temporary file. Needs root, to run
// the tool as another user whose limit counts.
TEST(CliExtract, FewerThreadsThanAskedForStillDoTheWork) {
  if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root and setpriv";
  const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  TTempDir dir;
  fs::permissions(dir.Path(), fs::perms::all);
  // The build folder may lie where that user cannot go (a checkout in a
  // folder only its owner may enter): the user runs a copy of the tool.
  const fs::path tool = dir.File("vldtool");
  fs::copy_file(VLDTOOL_PATH, tool);
  fs::permissions(tool, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  if (std::system((asNobody + ShellQuote(tool.string()) + " --version >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "another user cannot run " << tool;
  std::map<std::string, std::string> entries;
  LabWriter w;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "f\\" + std::to_string(i) + ".txt";
    entries[name] = std::string(static_cast<std::size_t>(1000 + i), static_cast<char>('a' + i % 26));
    w.Add(name, Bytes(entries[name].begin(), entries[name].end()));
  }
  w.Write(dir.File("t.lab"));
  fs::permissions(dir.File("t.lab"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string cmd =
      asNobody + "bash -c " + ShellQuote("ulimit -u 3; exec ./vldtool extract t.lab -o out -j 8 2>err") + " </dev/null";
  int status = std::system(("cd " + ShellQuote(dir.Path().string()) + " && " + cmd).c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "the tool was killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << AsString(ReadWholeFile(dir.File("err")));
  std::map<std::string, std::string> expected;
  for (const auto& [name, text] : entries) expected["f/" + name.substr(2)] = text;
  EXPECT_EQ(Contents(dir.File("out/t")), expected);
}
