#include <gtest/gtest.h>

#include "TestFiles.h"
#include "core/browser/EntryFilter.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"

using namespace vld;

namespace {

TEntryFilter Pattern(std::string p) {
  TEntryFilter f;
  f.pattern = std::move(p);
  return f;
}

}  // namespace

TEST(EntryFilter, SubstringsAndWildcardsIgnoreCase) {
  EXPECT_TRUE(MatchesFilter("gfx\\Beach.TIL", Pattern("beach")));
  EXPECT_TRUE(MatchesFilter("gfx\\Beach.TIL", Pattern("X\\B")));  // any part of the name
  EXPECT_FALSE(MatchesFilter("gfx\\Beach.TIL", Pattern("beaches")));
  EXPECT_TRUE(MatchesFilter("anything", Pattern("")));

  // With wildcards the whole name must match.
  EXPECT_TRUE(MatchesFilter("gfx\\Beach.TIL", Pattern("*.til")));
  EXPECT_FALSE(MatchesFilter("gfx\\Beach.TIL.bak", Pattern("*.til")));
  EXPECT_TRUE(MatchesFilter("voices\\line001.wvc", Pattern("voices\\line00?.WVC")));
  EXPECT_FALSE(MatchesFilter("voices\\line0010.wvc", Pattern("voices\\line00?.wvc")));
  EXPECT_TRUE(MatchesFilter("a\\b\\c.tga", Pattern("*\\*\\*")));
  EXPECT_TRUE(MatchesFilter("aaaaaaaaab", Pattern("*a*a*b")));
  EXPECT_FALSE(MatchesFilter("aaaaaaaaaa", Pattern("*a*a*b")));
  // Latin-1 letters are compared as they are.
  EXPECT_FALSE(MatchesFilter("\xC9t\xE9.tab", Pattern("\xE9T\xE9")));
}

TEST(EntryFilter, KindsFollowTheTypeRow) {
  EXPECT_EQ(KindOfName("a.til"), EntryKind::Images);
  EXPECT_EQ(KindOfName("A.BMP"), EntryKind::Images);
  EXPECT_EQ(KindOfName("v.wvc"), EntryKind::Sounds);
  EXPECT_EQ(KindOfName("s.lua"), EntryKind::Scripts);
  EXPECT_EQ(KindOfName("x.tab.lua"), EntryKind::Text);  // typed as a text table, as its label says
  EXPECT_EQ(KindOfName("p.sur"), EntryKind::Animations);
  EXPECT_EQ(KindOfName("m.bik"), EntryKind::Animations);
  EXPECT_EQ(KindOfName("h.cos"), EntryKind::Other);
  EXPECT_EQ(KindOfName("readme"), EntryKind::Other);
}

TEST(EntryFilter, BundlesFilterByPatternKindAndFolder) {
  TTempDir dir;
  LabWriter w;
  for (const char* name : {"gfx\\a.til", "GFX\\sub\\b.tga", "gfxtra\\c.til", "sound\\d.aif", "top.til", "gfx\\e.lua"})
    w.Add(name, Bytes{1});
  w.Write(dir.File("f.lab"));
  TLabReader reader;
  reader.Open(dir.File("f.lab"));

  TEntryFilter f;
  EXPECT_FALSE(f.Active());
  EXPECT_EQ(FilterEntries(reader, f).size(), 6u);
  f.folder = "gfx";  // not "gfxtra", whatever the case of the stored names
  EXPECT_TRUE(f.Active());
  EXPECT_EQ(FilterEntries(reader, f), (std::vector<int>{0, 1, 5}));
  f.kind = EntryKind::Images;
  EXPECT_EQ(FilterEntries(reader, f), (std::vector<int>{0, 1}));
  f.pattern = "*.tga";
  EXPECT_EQ(FilterEntries(reader, f), (std::vector<int>{1}));
  f = TEntryFilter{};
  f.pattern = "TIL";
  EXPECT_EQ(FilterEntries(reader, f), (std::vector<int>{0, 2, 4}));

  std::vector<TFolderNode> tree = FolderTree(reader);
  ASSERT_EQ(tree.size(), 4u);
  EXPECT_EQ(tree[0].path, "gfx");  // the first spelling met names the folder
  EXPECT_EQ(tree[0].entries, 3);
  EXPECT_EQ(tree[1].path, "GFX\\sub");
  EXPECT_EQ(tree[1].name, "sub");
  EXPECT_EQ(tree[1].depth, 1);
  EXPECT_EQ(tree[1].entries, 1);
  EXPECT_EQ(tree[2].path, "gfxtra");
  EXPECT_EQ(tree[3].path, "sound");
}
