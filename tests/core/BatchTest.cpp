#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/browser/Batch.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "samples/Demo.h"
#include "samples/ExtractSamples.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

std::string FileText(const fs::path& p) { return AsString(ReadWholeFile(p)); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Every path below `root` with what it is: file contents, "<dir>", or "-> target" for links.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string rel = fs::relative(it->path(), root).generic_string();
    if (it->is_symlink())
      out[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      out[rel] = "<dir>";
    else
      out[rel] = FileText(it->path());
  }
  return out;
}

bool HasTemporaryFile(const fs::path& root) {
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.path().filename().string().rfind(".vld-", 0) == 0) return true;
  return false;
}

// Whether the scratch folder's file system finds a name in another case.
bool FoldsHere(const TTempDir& dir) {
  dir.Write("Case", AsSpan(std::string("c")));
  bool folds = fs::exists(dir.File("CASE"));
  fs::remove(dir.File("Case"));
  return folds;
}

std::vector<TBatchItem> AllItems(const TLabReader& r) {
  std::vector<int> all;
  for (int i = 0; i < r.Count(); ++i) all.push_back(i);
  return EntryItems(r, all);
}

TBatchOptions Jobs(int jobs, bool folds = false) {
  TBatchOptions o;
  o.jobs = jobs;
  o.foldsCase = [folds](const fs::path&) { return folds; };
  return o;
}

}  // namespace

TEST(Batch, LinksInTheDestinationAreNeverFollowed) {
  TTempDir dir;
  fs::path outside = dir.File("outside");
  fs::create_directories(outside / "folder");
  dir.Write("outside/target.txt", AsSpan(std::string("outside file")));
  dir.Write("outside/hard.txt", AsSpan(std::string("outside hard")));
  const std::map<std::string, std::string> outsideBefore = Snapshot(outside);
  samples::TextBundle({{"sub\\big1.bin", "1"},
                       {"sub\\small.txt", "2"},
                       {"x\\mid\\deep\\c.txt", "3"},
                       {"p\\q\\last\\d.txt", "4"},
                       {"final.txt", "5"},
                       {"dirlink", "6"},
                       {"hard.txt", "7"},
                       {"ok\\fine.txt", "8"}})
      .Write(dir.File("l.lab"));
  TLabReader r;
  r.Open(dir.File("l.lab"));

  for (int jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    fs::path dest = dir.File("dest" + std::to_string(jobs));
    fs::create_directories(dest / "x");
    fs::create_directories(dest / "p/q");
    try {
      fs::create_directory_symlink(outside / "folder", dest / "sub");       // first level
      fs::create_directory_symlink(outside / "folder", dest / "x/mid");     // middle level
      fs::create_directory_symlink(outside / "folder", dest / "p/q/last");  // last folder level
      fs::create_symlink(outside / "target.txt", dest / "final.txt");       // at the file's own name
      fs::create_directory_symlink(outside / "folder", dest / "dirlink");   // a folder link at a file's name
      fs::create_hard_link(outside / "hard.txt", dest / "hard.txt");        // another name of an outside file
    } catch (const fs::filesystem_error& e) {
      GTEST_SKIP() << "links cannot be made here: " << e.what();
    }

    TBatchResult res = RunBatch(r, dest, AllItems(r), {}, Jobs(jobs));

    EXPECT_EQ(Snapshot(outside), outsideBefore);
    EXPECT_EQ(res.files, 4);
    EXPECT_FALSE(res.stopped);
    ASSERT_EQ(res.refused.size(), 4u);
    const std::vector<std::pair<int, fs::path>> links{
        {0, dest / "sub"}, {1, dest / "sub"}, {2, dest / "x/mid"}, {3, dest / "p/q/last"}};
    for (std::size_t i = 0; i < links.size(); ++i) {
      EXPECT_EQ(res.refused[i].index, links[i].first);
      EXPECT_EQ(res.refused[i].path, links[i].second.string());
      EXPECT_NE(res.refused[i].message.find(links[i].second.string()), std::string::npos) << res.refused[i].message;
      EXPECT_NE(res.refused[i].message.find("symbolic link"), std::string::npos);
    }
    // Links at a file's place are replaced by the file, and said so.
    ASSERT_EQ(res.replacedLinks.size(), 2u);
    EXPECT_EQ(res.replacedLinks[0].path, "final.txt");
    EXPECT_EQ(res.replacedLinks[1].path, "dirlink");
    EXPECT_EQ(FileText(dest / "final.txt"), "5");
    EXPECT_EQ(FileText(dest / "dirlink"), "6");
    EXPECT_EQ(FileText(dest / "hard.txt"), "7");
    EXPECT_EQ(FileText(dest / "ok/fine.txt"), "8");
    EXPECT_TRUE(fs::is_symlink(dest / "sub"));
    EXPECT_FALSE(HasTemporaryFile(dest));
  }
}

TEST(Batch, CollidingNamesGetNumberedNamesInEntryOrder) {
  TTempDir dir;
  samples::TextBundle({{"a\\b.txt", "first"},
                       {"a\\b.txt", "again"},
                       {"a\\.\\b.txt", "dot part"},
                       {"A\\B.TXT", "capitals"},
                       {"a\\b~2.txt", "carries the name"},
                       {"noext", "plain"},
                       {"NOEXT", "plain capitals"}})
      .Write(dir.File("c.lab"));
  TLabReader r;
  r.Open(dir.File("c.lab"));

  // A folding file system (emulated): names differing in case collide too.
  TBatchResult folded = RunBatch(r, dir.File("folded"), AllItems(r), {}, Jobs(2, true));
  EXPECT_TRUE(folded.foldsCase);
  EXPECT_EQ(folded.files, 7);
  std::vector<std::pair<std::string, std::string>> moves;
  for (const TBatchRename& m : folded.renamed) moves.push_back({m.from, m.to});
  EXPECT_EQ(moves,
            (std::vector<std::pair<std::string, std::string>>{
                {"a/b.txt", "a/b~3.txt"}, {"a/b.txt", "a/b~4.txt"}, {"A/B.TXT", "a/B~5.TXT"}, {"NOEXT", "NOEXT~2"}}));
  EXPECT_EQ(FileText(dir.File("folded/a/B~5.TXT")), "capitals");
  EXPECT_EQ(FileText(dir.File("folded/NOEXT~2")), "plain capitals");
  EXPECT_EQ(Snapshot(dir.File("folded")).count("A"), 0u);  // one folder, spelt as the first entry has it

  // Case-sensitive: only the exact repeats move, past the name an entry carries itself.
  if (FoldsHere(dir)) GTEST_SKIP() << "this file system ignores case, so names differing in case cannot be kept apart";
  TBatchResult exact = RunBatch(r, dir.File("exact"), AllItems(r), {}, Jobs(1, false));
  EXPECT_EQ(Snapshot(dir.File("exact")), (std::map<std::string, std::string>{{"a", "<dir>"},
                                                                             {"a/b.txt", "first"},
                                                                             {"a/b~3.txt", "again"},
                                                                             {"a/b~4.txt", "dot part"},
                                                                             {"a/b~2.txt", "carries the name"},
                                                                             {"A", "<dir>"},
                                                                             {"A/B.TXT", "capitals"},
                                                                             {"noext", "plain"},
                                                                             {"NOEXT", "plain capitals"}}));
  EXPECT_EQ(exact.files, 7);
  ASSERT_EQ(exact.renamed.size(), 2u);
  EXPECT_EQ(exact.renamed[0].index, 1);
  EXPECT_EQ(exact.renamed[0].from, "a/b.txt");
  EXPECT_EQ(exact.renamed[0].to, "a/b~3.txt");
  EXPECT_EQ(exact.renamed[1].to, "a/b~4.txt");
}

TEST(Batch, TheProbeFindsThisFileSystemsCaseRule) {
  TTempDir dir;
  samples::TextBundle({{"x.txt", "1"}, {"X.txt", "2"}}).Write(dir.File("p.lab"));
  const bool folds = FoldsHere(dir);
  TLabReader r;
  r.Open(dir.File("p.lab"));
  TBatchResult res = RunBatch(r, dir.File("out"), AllItems(r));
  EXPECT_EQ(res.foldsCase, folds);
  EXPECT_EQ(res.renamed.size(), folds ? 1u : 0u);
  EXPECT_EQ(Snapshot(dir.File("out")).size(), 2u);  // the probe file is gone
}

TEST(Batch, ThreadedRunsWriteTheSameTreeAsOneThread) {
  TTempDir dir;
  samples::BuildDemoBundle().Write(dir.File("demo.lab"));
  samples::TGeneratedBundle layout;
  layout.entries = 2000;
  layout.folders = 37;
  layout.minSize = 1;
  layout.maxSize = 70000;  // some entries take more than one copy chunk
  samples::WriteGeneratedBundle(dir.File("gen.lab"), layout);

  for (std::string name : {"demo.lab", "gen.lab"}) {
    SCOPED_TRACE(name);
    TLabReader r;
    r.Open(dir.File(name));
    std::vector<TBatchItem> items = AllItems(r);
    // A few repeats, so that the numbering is part of the comparison.
    for (int i = 0; i < 5; ++i) items.push_back(items[static_cast<std::size_t>(i)]);
    TBatchResult one = RunBatch(r, dir.File(name + ".1"), items, {}, Jobs(1));
    TBatchResult four = RunBatch(r, dir.File(name + ".4"), items, {}, Jobs(4));
    EXPECT_EQ(one.files, static_cast<int>(items.size()));
    EXPECT_EQ(four.files, one.files);
    EXPECT_EQ(four.bytes, one.bytes);
    EXPECT_EQ(Snapshot(dir.File(name + ".4")), Snapshot(dir.File(name + ".1")));
  }

  // Converted output too.
  TLabReader demo;
  demo.Open(dir.File("demo.lab"));
  std::vector<TBatchItem> items;
  for (const TBatchItem& item : AllItems(demo))
    if (IsConvertible(demo.GetName(item.index))) items.push_back({item.index, item.relative + ".out"});
  TBatchProduce convert = [&demo](int index, ByteSpan bytes) {
    return ConvertEntryBytes(demo.GetName(index), bytes).data;
  };
  TBatchResult one = RunBatch(demo, dir.File("conv.1"), items, convert, Jobs(1));
  RunBatch(demo, dir.File("conv.2"), items, convert, Jobs(2));
  EXPECT_GT(one.files, 5);
  EXPECT_EQ(Snapshot(dir.File("conv.2")), Snapshot(dir.File("conv.1")));
}

TEST(Batch, CancelLeavesOnlyWholeFilesAndNoTemporaryFile) {
  TTempDir dir;
  LabWriter w = samples::TextBundle({{"a.txt", "a"}, {"b.txt", "b"}});
  Bytes big = samples::BuildBinkFile(4 * 65535, 3);
  w.Add("big.bin", big);
  w.Add("c.txt", Text("c"));
  w.Write(dir.File("k.lab"));
  TLabReader r;
  r.Open(dir.File("k.lab"));

  // Cancelled in the middle of the big entry's copy.
  std::atomic<bool> cancel{false};
  TBatchOptions o = Jobs(1);
  o.cancel = &cancel;
  int calls = 0;
  o.progress = [&](const TBatchProgress& p) {
    ++calls;
    if (p.current == "big.bin" && !p.started) cancel = true;
  };
  TBatchResult res = RunBatch(r, dir.File("out"), AllItems(r), {}, o);
  EXPECT_TRUE(res.cancelled);
  EXPECT_EQ(res.files, 2);
  EXPECT_EQ(Snapshot(dir.File("out")), (std::map<std::string, std::string>{{"a.txt", "a"}, {"b.txt", "b"}}));
  EXPECT_GT(calls, 3);

  // Threads and a producer: whatever was finished is whole, nothing else is there.
  std::atomic<bool> cancel2{false};
  TBatchOptions t = Jobs(2);
  t.cancel = &cancel2;
  t.progress = [&](const TBatchProgress& p) {
    if (p.done >= 1) cancel2 = true;
  };
  TBatchProduce twice = [](int, ByteSpan bytes) {
    Bytes out(bytes.begin(), bytes.end());
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
  };
  TBatchResult res2 = RunBatch(r, dir.File("out2"), AllItems(r), twice, t);
  EXPECT_TRUE(res2.cancelled);
  std::map<std::string, std::string> tree = Snapshot(dir.File("out2"));
  EXPECT_EQ(static_cast<int>(tree.size()), res2.files);
  EXPECT_LT(res2.files, 4);
  for (const auto& [name, text] : tree) {
    std::string once = AsString(r.ReadEntryBytes(r.FindEntry(name)));
    EXPECT_EQ(text, once + once) << name;
  }
}

TEST(Batch, RefusedEntriesAreListedAndTheRunGoesOn) {
  TTempDir dir;
  samples::TextBundle({{"one.txt", "1"}, {"bad.txt", "2"}, {"three.txt", "3"}, {"worse.txt", "4"}})
      .Write(dir.File("f.lab"));
  TLabReader r;
  r.Open(dir.File("f.lab"));
  TBatchProduce produce = [&r](int index, ByteSpan bytes) {
    if (r.GetName(index).find("bad") != std::string::npos || r.GetName(index).find("worse") != std::string::npos)
      throw VldError("refused " + std::string(r.GetName(index)));
    return Bytes(bytes.begin(), bytes.end());
  };
  TBatchResult res = RunBatch(r, dir.File("out"), AllItems(r), produce, Jobs(2));
  EXPECT_EQ(res.files, 2);
  ASSERT_EQ(res.failed.size(), 2u);
  EXPECT_EQ(res.failed[0].index, 1);
  EXPECT_EQ(res.failed[0].message, "refused bad.txt");
  EXPECT_EQ(res.failed[1].path, "worse.txt");
  EXPECT_EQ(Snapshot(dir.File("out")), (std::map<std::string, std::string>{{"one.txt", "1"}, {"three.txt", "3"}}));
}

TEST(Batch, AnIoErrorStopsNewEntriesWithThreadsToo) {
  TTempDir dir;
  // A file from before the run stands where a folder must go.
  fs::create_directories(dir.File("out"));
  dir.Write("out/blocker", AsSpan(std::string("file")));
  std::vector<std::pair<std::string, std::string>> entries{{"first.txt", "z"}, {"blocker\\in.txt", "x"}};
  LabWriter w;
  for (const auto& [n, t] : entries) w.Add(n, Text(t));
  for (int i = 0; i < 50; ++i) w.Add("after" + std::to_string(i) + ".txt", Text("z"));
  w.Write(dir.File("s.lab"));
  TLabReader r;
  r.Open(dir.File("s.lab"));
  TBatchResult res = RunBatch(r, dir.File("out"), AllItems(r), {}, Jobs(2));
  ASSERT_TRUE(res.stopped);
  EXPECT_EQ(res.stoppedAt, 1);
  EXPECT_EQ(res.stopped->index, 1);
  EXPECT_NE(res.stopped->message.find("blocker"), std::string::npos);
  // Which later entries had started when the error came depends on the
  // threads; each one written is whole and counted.
  std::map<std::string, std::string> tree = Snapshot(dir.File("out"));
  EXPECT_EQ(tree["blocker"], "file");
  tree.erase("blocker");
  EXPECT_EQ(static_cast<int>(tree.size()), res.files);
  for (const auto& [name, text] : tree) EXPECT_EQ(text, "z") << name;
  EXPECT_FALSE(HasTemporaryFile(dir.File("out")));
  // The count before the stop is of the entries before it; those after it
  // that another worker had begun are counted apart.
  EXPECT_EQ(res.filesBeforeStop, 1);
  const std::string text = BatchStopText(res, r.Count(), "Extraction");
  EXPECT_NE(text.find("Extraction stopped at entry 2 of 52; the 1 files written before it are in place"),
            std::string::npos)
      << text;
  if (res.files > 1)
    EXPECT_NE(text.find(", and the " + std::to_string(res.files - 1) + " after it that had begun."), std::string::npos)
        << text;
  else
    EXPECT_EQ(text.back(), '.');
}

TEST(Batch, PathsThatCouldLeaveTheDestinationAreRefusedBeforeWriting) {
  TTempDir dir;
  samples::TextBundle({{"a.txt", "a"}}).Write(dir.File("r.lab"));
  TLabReader r;
  r.Open(dir.File("r.lab"));
  for (std::string bad : {"../a.txt", "x/../../a.txt", "/a.txt", "x//a.txt", "x/.", ""}) {
    std::vector<TBatchItem> items{{0, "fine.txt"}, {0, bad}};
    EXPECT_THROW(RunBatch(r, dir.File("out"), items), VldError) << bad;
  }
  EXPECT_FALSE(fs::exists(dir.File("out")));
  EXPECT_FALSE(fs::exists(dir.File("a.txt")));
}

TEST(Batch, AFileAndAFolderOfTheSameNameBothGetAPlace) {
  TTempDir dir;
  samples::TextBundle({{"blocker", "file first"},
                       {"blocker\\in.txt", "in a folder"},
                       {"blocker\\more.txt", "same folder"},
                       {"dir\\x.txt", "folder first"},
                       {"dir", "file later"}})
      .Write(dir.File("b.lab"));
  TLabReader r;
  r.Open(dir.File("b.lab"));
  const std::map<std::string, std::string> expected{{"blocker", "file first"},
                                                    {"blocker~2", "<dir>"},
                                                    {"blocker~2/in.txt", "in a folder"},
                                                    {"blocker~2/more.txt", "same folder"},
                                                    {"dir", "<dir>"},
                                                    {"dir/x.txt", "folder first"},
                                                    {"dir~2", "file later"}};
  for (int jobs : {1, 2, 5}) {
    SCOPED_TRACE(jobs);
    fs::path out = dir.File("out" + std::to_string(jobs));
    TBatchResult res = RunBatch(r, out, AllItems(r), {}, Jobs(jobs));
    EXPECT_FALSE(res.stopped);
    EXPECT_EQ(res.files, 5);
    EXPECT_EQ(res.renamed.size(), 3u);
    EXPECT_EQ(Snapshot(out), expected);
  }
}

TEST(Batch, NumberedNamesStayWithinTheLengthOfAFileNamePart) {
  std::string longName(250, 'n');
  std::vector<TBatchItem> items{{0, "d/" + longName + ".txt"}, {1, "d/" + longName + ".txt"}};
  std::vector<std::string> names = PlanBatchNames(items, false);
  ASSERT_EQ(names.size(), 2u);
  std::string file = names[1].substr(2);
  EXPECT_LE(file.size(), 255u);
  EXPECT_EQ(file.substr(file.size() - 6), "~2.txt");
  EXPECT_NE(names[0], names[1]);
}

// A name shortened with "~" and a hash keeps the hash when it is numbered:
// the hash is what keeps long names that share their start apart.
TEST(Batch, NumberingAShortenedNameKeepsItsHash) {
  const std::string shared(300, 's');
  std::vector<TBatchItem> items;
  for (int i = 0; i < 3; ++i) items.push_back({i, MapEntryName("d\\" + shared + "a.txt").Joined()});
  items.push_back({3, MapEntryName("d\\" + shared + "b.txt").Joined()});
  const std::vector<std::string> names = PlanBatchNames(items, false);
  const std::string first = names[0].substr(2);
  ASSERT_EQ(first.size(), 255u);
  const std::string hash = first.substr(first.size() - 4 - 9, 9);  // "~xxxxxxxx" before ".txt"
  ASSERT_EQ(hash[0], '~');
  for (int i = 1; i < 3; ++i) {
    const std::string file = names[static_cast<std::size_t>(i)].substr(2);
    EXPECT_LE(file.size(), 255u);
    EXPECT_EQ(file.substr(file.size() - 6 - 9), hash + "~" + std::to_string(i + 1) + ".txt") << file;
  }
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 4u);
}

// Many copies of one name take the numbers in turn, around the numbered
// names that entries carry themselves and in any case the file system folds.
TEST(Batch, ManyCopiesOfOneNameTakeEveryFreeNumberOnce) {
  std::vector<TBatchItem> items;
  for (int i = 0; i < 2000; ++i) items.push_back({i, i % 2 ? "A.txt" : "a.txt"});
  items.push_back({2000, "a~5.txt"});
  const std::vector<std::string> names = PlanBatchNames(items, true);
  std::set<std::string> folded;
  for (std::string name : names) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    folded.insert(name);
  }
  EXPECT_EQ(folded.size(), items.size());
  EXPECT_EQ(names[1], "A~2.txt");
  EXPECT_EQ(names[3], "A~4.txt");
  EXPECT_EQ(names[4], "a~6.txt");  // a~5.txt is an entry's own name
  EXPECT_EQ(names[1999], "A~2001.txt");
  EXPECT_EQ(names[2000], "a~5.txt");
}

#ifndef _WIN32  // fork and symbolic links
// Temporary files that a killed run of this program left (their name carries
// the ended process's id) go when a run writes into their folder again;
// another process's, and anything that is not a regular file, stay.
TEST(Batch, LeftoversOfAKilledRunAreRemoved) {
  TTempDir dir;
  samples::TextBundle({{"sub\\a.txt", "a"}, {"b.txt", "b"}}).Write(dir.File("f.lab"));
  TLabReader r;
  r.Open(dir.File("f.lab"));
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ::waitpid(ended, nullptr, 0);
  const std::string stale = ".vld-" + std::to_string(ended) + "-0123456789ab.part";
  const std::string live = ".vld-" + std::to_string(::getppid()) + "-0123456789ab.part";
  fs::create_directories(dir.File("out/sub"));
  for (const char* folder : {"out", "out/sub"}) {
    dir.Write(std::string(folder) + "/" + stale, AsSpan(std::string("half")));
    dir.Write(std::string(folder) + "/" + live, AsSpan(std::string("busy")));
  }
  fs::create_symlink(dir.File("f.lab"), dir.File("out/.vld-" + std::to_string(ended) + "-ba9876543210.part"));
  TBatchResult res = RunBatch(r, dir.File("out"), AllItems(r));
  EXPECT_EQ(res.files, 2);
  EXPECT_FALSE(fs::exists(dir.File("out/" + stale)));
  EXPECT_FALSE(fs::exists(dir.File("out/sub/" + stale)));
  EXPECT_TRUE(fs::exists(dir.File("out/" + live)));
  EXPECT_TRUE(fs::exists(dir.File("out/sub/" + live)));
  EXPECT_TRUE(fs::is_symlink(dir.File("out/.vld-" + std::to_string(ended) + "-ba9876543210.part")));
  EXPECT_EQ(FileText(dir.File("f.lab")).empty(), false);
}

#endif

// A run that writes nothing leaves no folder behind: neither the ones made
// for the destination nor those made for entries that were then refused.
TEST(Batch, FoldersOfARunThatWroteNothingAreRemoved) {
  TTempDir dir;
  samples::TextBundle({{"x\\y\\a.txt", "a"}, {"b.txt", "b"}}).Write(dir.File("f.lab"));
  TLabReader r;
  r.Open(dir.File("f.lab"));
  TBatchProduce refuseAll = [](int, ByteSpan) -> Bytes { throw VldError("no"); };
  TBatchResult res = RunBatch(r, dir.File("new/deeper/out"), AllItems(r), refuseAll);
  EXPECT_EQ(res.failed.size(), 2u);
  EXPECT_FALSE(fs::exists(dir.File("new")));

  TBatchOptions ours;
  ours.lastFolderIsOurs = true;
  res = RunBatch(r, dir.File("chosen/f"), AllItems(r), refuseAll, ours);
  EXPECT_FALSE(fs::exists(dir.File("chosen")));

  // A folder that was there before stays; so do the ones a written file needs.
  fs::create_directory(dir.File("there"));
  TBatchProduce onlyA = [&r](int index, ByteSpan bytes) {
    if (r.GetName(index) != "x\\y\\a.txt") throw VldError("no");
    return Bytes(bytes.begin(), bytes.end());
  };
  res = RunBatch(r, dir.File("there"), AllItems(r), refuseAll);
  EXPECT_TRUE(fs::is_empty(dir.File("there")));
  res = RunBatch(r, dir.File("there"), AllItems(r), onlyA);
  EXPECT_EQ(Snapshot(dir.File("there")),
            (std::map<std::string, std::string>{{"x", "<dir>"}, {"x/y", "<dir>"}, {"x/y/a.txt", "a"}}));
}
