#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/Extractor.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::string FileText(const fs::path& p) {
  Bytes b = ReadWholeFile(p);
  return std::string(b.begin(), b.end());
}

// Every path below `root`, relative to it, folders marked with a trailing '/'.
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string rel = fs::relative(it->path(), root).generic_string();
    out.insert(it->is_directory() ? rel + "/" : rel);
  }
  return out;
}

// A path as text with the platform's own separators.
std::string Native(fs::path p) { return p.make_preferred().string(); }

struct Progress {
  std::vector<int> done;
  std::vector<std::string> targets;
  ExtractProgressFn Fn(int expectedCount) {
    return [this, expectedCount](int d, int count, const fs::path& target) {
      EXPECT_EQ(count, expectedCount);
      done.push_back(d);
      targets.push_back(Native(target));
    };
  }
};

}  // namespace

TEST(Extractor, WritesTheTreeBelowTheBundleStemInDirectoryOrder) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file names ignore case: GFX\\A.til and gfx\\a.til are one file there.";
#endif
  TTempDir dir;
  samples::TextBundle(
      {{"gfx\\a.til", "tile a"}, {"b.til", "tile b"}, {"gfx\\deep\\er\\c.lua", "script"}, {"GFX\\A.til", "again"}})
      .Write(dir.File("data001.lab"));
  TLabReader r;
  r.Open(dir.File("data001.lab"));

  fs::path dest = ExtractDestination(dir.File("out"), r.FileName());
  Progress progress;
  TExtractResult res = ExtractAllEntries(r, dest, progress.Fn(4));

  fs::path root = dir.File("out") / "data001";
  EXPECT_EQ(dest, root);
  EXPECT_EQ(FileText(root / "gfx" / "a.til"), "tile a");
  EXPECT_EQ(FileText(root / "b.til"), "tile b");
  EXPECT_EQ(FileText(root / "gfx" / "deep" / "er" / "c.lua"), "script");
  EXPECT_EQ(FileText(root / "GFX" / "A.til"), "again");
  EXPECT_EQ(res.files, 4);
  EXPECT_EQ(res.bytes, 6 + 6 + 6 + 5);
  EXPECT_EQ(res.CutShort(), 0);
  EXPECT_EQ(progress.done, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(progress.targets,
            (std::vector<std::string>{Native(root / "gfx/a.til"), Native(root / "b.til"),
                                      Native(root / "gfx/deep/er/c.lua"), Native(root / "GFX/A.til")}));
  // No temporary files are left behind.
  EXPECT_EQ(Tree(root), (std::set<std::string>{"gfx/", "gfx/a.til", "b.til", "gfx/deep/", "gfx/deep/er/",
                                               "gfx/deep/er/c.lua", "GFX/", "GFX/A.til"}));
}

TEST(Extractor, RepeatedNamesAreNumberedAndOldFilesAreReplaced) {
  TTempDir dir;
  samples::TextBundle({{"x.dat", "first"}, {"\\.\\x.dat", "second"}}).Write(dir.File("b.lab"));
  fs::create_directories(dir.File("out/b"));
  WriteFileAtomic(dir.File("out/b/x.dat"), Text("an old file that is much longer"));
  TLabReader r;
  r.Open(dir.File("b.lab"));
  TExtractResult res = ExtractAllEntries(r, dir.File("out/b"));
  EXPECT_EQ(FileText(dir.File("out/b/x.dat")), "first");
  EXPECT_EQ(FileText(dir.File("out/b/x~2.dat")), "second");
  ASSERT_EQ(res.renamed.size(), 1u);
  EXPECT_EQ(res.renamed[0].to, "x~2.dat");
}

TEST(Extractor, SelectedEntriesOnlyInTheGivenOrder) {
  TTempDir dir;
  samples::TextBundle({{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}).Write(dir.File("s.lab"));
  TLabReader r;
  r.Open(dir.File("s.lab"));
  Progress progress;
  std::vector<int> pick{2, 0};
  TExtractResult res = ExtractEntries(r, dir.File("out"), pick, progress.Fn(2));
  EXPECT_EQ(res.files, 2);
  EXPECT_EQ(Tree(dir.File("out")), (std::set<std::string>{"a.txt", "c.txt"}));
  EXPECT_EQ(progress.targets, (std::vector<std::string>{Native(dir.File("out/c.txt")), Native(dir.File("out/a.txt"))}));
}

TEST(Extractor, EmptyBundleWritesNothing) {
  TTempDir dir;
  LabWriter().Write(dir.File("none.lab"));
  TLabReader r;
  r.Open(dir.File("none.lab"));
  Progress progress;
  TExtractResult res = ExtractAllEntries(r, dir.File("out/none"), progress.Fn(0));
  EXPECT_EQ(res.files, 0);
  EXPECT_TRUE(progress.done.empty());
  EXPECT_FALSE(fs::exists(dir.File("out")));
}

TEST(Extractor, EmptyAndNegativeSizesGiveEmptyFiles) {
  TTempDir dir;
  Bytes lab = samples::TextBundle({{"empty.dat", ""}, {"negative.dat", "xyz"}, {"after.dat", "kept"}}).Build();
  samples::SetEntryRecord(lab, 1, 20, -5);
  dir.Write("e.lab", lab);
  TLabReader r;
  r.Open(dir.File("e.lab"));
  TExtractResult res = ExtractAllEntries(r, dir.File("out"));
  EXPECT_EQ(res.files, 3);
  EXPECT_EQ(res.CutShort(), 0);
  EXPECT_EQ(fs::file_size(dir.File("out/empty.dat")), 0u);
  EXPECT_EQ(fs::file_size(dir.File("out/negative.dat")), 0u);
  EXPECT_EQ(FileText(dir.File("out/after.dat")), "kept");
}

TEST(Extractor, EntriesCutShortAreWrittenAsFarAsTheyExistAndCounted) {
  TTempDir dir;
  LabWriter w = samples::TextBundle({{"whole.dat", "0123456789"}, {"beyond.dat", "abc"}, {"middle.dat", "middle"}});
  w.Add("tail.dat", Bytes(200000, 0x5A));
  Bytes lab = w.Build();
  samples::SetEntryRecord(lab, 1, static_cast<std::int32_t>(lab.size() + 10), 3);  // wholly past the end
  lab.resize(lab.size() - 1000);                                                   // tail.dat loses 1000 bytes
  dir.Write("cut.lab", lab);
  TLabReader r;
  r.Open(dir.File("cut.lab"));
  TExtractResult res = ExtractAllEntries(r, dir.File("out"));
  EXPECT_EQ(res.files, 4);
  EXPECT_EQ(res.cutShortIndexes, (std::vector<int>{1, 3}));
  EXPECT_EQ(FileText(dir.File("out/whole.dat")), "0123456789");
  EXPECT_EQ(fs::file_size(dir.File("out/beyond.dat")), 0u);
  EXPECT_EQ(FileText(dir.File("out/middle.dat")), "middle");
  EXPECT_EQ(ReadWholeFile(dir.File("out/tail.dat")), Bytes(199000, 0x5A));
}

TEST(Extractor, LargeEntriesAreCopiedExactly) {
  TTempDir dir;
  LabWriter w;
  Bytes big = samples::BuildBinkFile(3 * 65535 + 17, 5);
  w.Add("movies\\big.bin", big);
  w.Write(dir.File("big.lab"));
  TLabReader r;
  r.Open(dir.File("big.lab"));
  ExtractAllEntries(r, dir.File("out"));
  EXPECT_EQ(ReadWholeFile(dir.File("out/movies/big.bin")), big);
}

TEST(Extractor, HostileNamesStayInsideTheDestination) {
  TTempDir dir;
  LabWriter w;
  std::vector<std::string> names = samples::HostileEntryNames();
  for (const std::string& n : names) w.Add(n, Text("x"));
  w.Write(dir.File("evil.lab"));
  TLabReader r;
  r.Open(dir.File("evil.lab"));
  fs::path dest = dir.File("out/deeper/evil");
  TExtractResult res = ExtractAllEntries(r, dest);
  EXPECT_EQ(res.files, static_cast<int>(names.size()));

  // Only the bundle and the destination's tree exist in the whole scratch folder.
  for (const std::string& p : Tree(dir.Path())) {
    if (p == "evil.lab" || p == "out/" || p == "out/deeper/") continue;
    EXPECT_EQ(p.rfind("out/deeper/evil/", 0), 0u) << p;
  }
  // Each name landed where the mapping says.
  for (const std::string& n : names) EXPECT_TRUE(fs::is_regular_file(dest / MapEntryName(n).Relative())) << n;
  EXPECT_TRUE(fs::is_regular_file(dest / "escaped.txt"));
  EXPECT_TRUE(fs::is_regular_file(dest / "windows/drive.txt"));
  EXPECT_TRUE(fs::is_regular_file(dest / "unnamed"));
}

TEST(Extractor, AnErrorPartWayStopsAndKeepsEarlierFiles) {
  TTempDir dir;
  samples::TextBundle({{"a.txt", "a"}, {"b.txt", "b"}, {"blocker\\inside.txt", "cannot be written"}, {"z.txt", "z"}})
      .Write(dir.File("err.lab"));
  // Left by something else before the run.
  fs::create_directories(dir.File("out"));
  dir.Write("out/blocker", AsSpan(std::string("a file where a folder must go")));
  TLabReader r;
  r.Open(dir.File("err.lab"));
  Progress progress;
  try {
    ExtractAllEntries(r, dir.File("out"), progress.Fn(4));
    FAIL() << "no error";
  } catch (const VldError& e) {
    std::string msg = e.what();
    EXPECT_NE(msg.find("blocker"), std::string::npos) << msg;
    EXPECT_NE(msg.find("entry 3 of 4"), std::string::npos) << msg;
  }
  EXPECT_EQ(progress.done, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Tree(dir.File("out")), (std::set<std::string>{"a.txt", "b.txt", "blocker"}));
  EXPECT_EQ(FileText(dir.File("out/blocker")), "a file where a folder must go");
}

TEST(Extractor, AnEntryMayNotReplaceTheBundleItself) {
  TTempDir dir;
  fs::create_directories(dir.File("out/self"));
  fs::path bundle = dir.File("out/self/self.lab");
  samples::TextBundle({{"first.txt", "1"}, {"self.lab", "would overwrite the bundle"}}).Write(bundle);
  Bytes before = ReadWholeFile(bundle);
  TLabReader r;
  r.Open(bundle);
  EXPECT_THROW(ExtractAllEntries(r, ExtractDestination(dir.File("out"), bundle)), VldError);
  EXPECT_EQ(ReadWholeFile(bundle), before);
  EXPECT_TRUE(fs::exists(dir.File("out/self/first.txt")));
}

TEST(Extractor, AFileInThePlaceOfTheDestinationIsRefused) {
  TTempDir dir;
  samples::TextBundle({{"a.txt", "a"}}).Write(dir.File("f.lab"));
  WriteFileAtomic(dir.File("f"), Text("not a folder"));
  TLabReader r;
  r.Open(dir.File("f.lab"));
  EXPECT_THROW(ExtractAllEntries(r, dir.File("f")), VldError);
  EXPECT_EQ(FileText(dir.File("f")), "not a folder");
}

TEST(Extractor, AProgressCallbackThatThrowsCancelsWithoutAHalfFile) {
  TTempDir dir;
  LabWriter w = samples::TextBundle({{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
  w.Write(dir.File("t.lab"));
  TLabReader r;
  r.Open(dir.File("t.lab"));
  EXPECT_THROW(ExtractAllEntries(r, dir.File("out"),
                                 [](int done, int, const fs::path&) {
                                   if (done == 2) throw std::runtime_error("stop");
                                 }),
               VldError);
  EXPECT_EQ(Tree(dir.File("out")), (std::set<std::string>{"a.txt", "b.txt"}));
}
