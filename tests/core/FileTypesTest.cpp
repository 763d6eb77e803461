#include <gtest/gtest.h>

#include "core/browser/FileTypes.h"
#include "core/bundle/LabReader.h"

using namespace vld;

TEST(FileTypes, TypeRowsAreFoundAnywhereInTheFoldedName) {
  EXPECT_STREQ(ClassifyName("A.BMP").typeText, "Bitmap image");
  EXPECT_STREQ(ClassifyName("x.tab.lua").typeText, "Text table");  // ".tab" comes first here
  EXPECT_STREQ(ClassifyName("sets\\beach.til").caption, "View image");
  EXPECT_STREQ(ClassifyName("a.tga.bak").typeText, "TGA image");  // not only at the end
  EXPECT_STREQ(ClassifyName("font.KFN").typeText, "Thrapwick font");
  EXPECT_STREQ(ClassifyName("readme").typeText, "unknown");
  EXPECT_EQ(ClassifyName("readme").caption, nullptr);
  EXPECT_EQ(ClassifyName("x.lua").caption, nullptr);
  EXPECT_FALSE(ClassifyName("x.lua").action);
  EXPECT_TRUE(ClassifyName("x.lua").saveFile);
  const FileTypeRow& aif = ClassifyName("s.aif");
  EXPECT_TRUE(aif.action && !aif.saveBmp && aif.saveWav && aif.saveFile);
  EXPECT_STREQ(ClassifyName("m.mesh").typeText, "Model mesh");
  EXPECT_STREQ(ClassifyName("w.anim").typeText, "Model animation");
}

TEST(FileTypes, BinkTypeTextDependsOnTheMode) {
  EXPECT_EQ(TypeText("intro.bik", true, false), "Bink animation");
  EXPECT_EQ(TypeText("intro.bik", false, true), "Smush wrapped Bink animation");
  EXPECT_EQ(TypeText("intro.bik", false, false), "[BUG ALERT - Should never be displayed!]");
  EXPECT_EQ(TypeText("x.til", true, false), "Tile");
}

TEST(FileTypes, DispatchOrderDiffersFromTheTypeTable) {
  EXPECT_EQ(DispatchAction("x.tab.lua"), EntryAction::ShowLua);
  EXPECT_EQ(DispatchAction("x.tga.til"), EntryAction::ViewTil);
  EXPECT_EQ(DispatchAction("x.bmp.wvc"), EntryAction::PlayWvc);  // type text says bitmap, action plays
  EXPECT_STREQ(ClassifyName("x.bmp.wvc").typeText, "Bitmap image");
  EXPECT_EQ(DispatchAction("SCRIPT.LUA"), EntryAction::ShowLua);
  EXPECT_EQ(DispatchAction("a.mesh"), EntryAction::None);
  EXPECT_EQ(DispatchAction("m.bik"), EntryAction::PlayAnim);
  EXPECT_EQ(DispatchAction("s.sur"), EntryAction::PlaySurface);
}

TEST(FileTypes, FoldingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(FoldLower("AbC\xC9Z["), "abc\xC9z[");
  EXPECT_TRUE(NameContains("DATA.TIL", ".til"));
  EXPECT_FALSE(NameContains("data.t\xC9l", ".t\xE9l"));
}

TEST(FileTypes, GroupMarksAreAlwaysPoints) {
  EXPECT_EQ(FormatThousands(0), "0");
  EXPECT_EQ(FormatThousands(1), "1");
  EXPECT_EQ(FormatThousands(999), "999");
  EXPECT_EQ(FormatThousands(1000), "1.000");
  EXPECT_EQ(FormatThousands(65535), "65.535");
  EXPECT_EQ(FormatThousands(1048576), "1.048.576");
  EXPECT_EQ(FormatThousands(2147483647), "2.147.483.647");
  EXPECT_EQ(FormatThousands(-1000), "-1.000");
  EXPECT_EQ(FormatThousands(-100), "-100");  // no mark right after the sign
  EXPECT_EQ(FormatThousands(INT32_MIN), "-2.147.483.648");
  // Sizes past 4 GiB (a whole file in the hex view).
  EXPECT_EQ(FormatThousands(6442450944ll), "6.442.450.944");
  EXPECT_EQ(FormatThousands(INT64_MIN), "-9.223.372.036.854.775.808");
  EXPECT_EQ(FormatSize(1), "1 bytes");
}

TEST(FileTypes, OffsetsAreEightUpperCaseHexDigits) {
  EXPECT_EQ(FormatOffset(255), "0x000000FF");
  EXPECT_EQ(FormatOffset(0), "0x00000000");
  EXPECT_EQ(FormatOffset(-1), "0xFFFFFFFF");
  EXPECT_EQ(FormatOffset(0x7ABCDEF0), "0x7ABCDEF0");
}

TEST(FileTypes, NameAfterLastBackslash) {
  EXPECT_EQ(NameAfterLastBackslash("menu\\title.bmp"), "title.bmp");
  EXPECT_EQ(NameAfterLastBackslash("a\\b\\"), "");
  EXPECT_EQ(NameAfterLastBackslash("plain"), "plain");
}

// Suggested names keep nothing but the file part up to its first '.'; the
// output stem keeps a name without a dot whole, and either separator ends a folder.
TEST(FileTypes, SuggestedAndOutputNames) {
  EXPECT_EQ(SaveSuggestion("menu\\title.bmp", ".png"), "title.png");
  EXPECT_EQ(SaveSuggestion("a.b.til", ".bmp"), "a.bmp");
  EXPECT_EQ(SaveSuggestion("noext", ".bmp"), ".bmp");
  EXPECT_EQ(OutputStem("sets\\beach.til"), "beach");
  EXPECT_EQ(OutputStem("a/b.c.til"), "b");
  EXPECT_EQ(OutputStem("noext"), "noext");
  EXPECT_EQ(OutputStem("dir\\"), "");
}
