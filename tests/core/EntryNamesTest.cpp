#include <gtest/gtest.h>

#include "core/browser/Formats.h"
#include "core/common/EntryNames.h"

using namespace vld;

namespace {
// The extension of the type whose action runs; empty when none does.
std::string ActionOf(std::string_view name) {
  const TFormat* f = FormatForAction(name);
  return f ? f->contains : "";
}
}  // namespace

TEST(TypeTable, TypeRowsAreFoundAnywhereInTheFoldedName) {
  EXPECT_STREQ(FormatForType("A.BMP").typeText, "Bitmap image");
  EXPECT_STREQ(FormatForType("x.tab.lua").typeText, "Text table");  // ".tab" comes first here
  EXPECT_STREQ(FormatForType("sets\\beach.til").caption, "View image");
  EXPECT_STREQ(FormatForType("a.tga.bak").typeText, "TGA image");  // not only at the end
  EXPECT_STREQ(FormatForType("font.KFN").typeText, "Thrapwick font");
  EXPECT_STREQ(FormatForType("readme").typeText, "unknown");
  EXPECT_EQ(FormatForType("readme").caption, nullptr);
  EXPECT_EQ(FormatForType("x.lua").caption, nullptr);
  EXPECT_FALSE(FormatForType("x.lua").action);
  EXPECT_TRUE(FormatForType("x.lua").saveFile);
  const TFormat& aif = FormatForType("s.aif");
  EXPECT_TRUE(aif.action && !aif.saveBmp && aif.saveWav && aif.saveFile);
  EXPECT_STREQ(FormatForType("m.mesh").typeText, "Model mesh");
  EXPECT_STREQ(FormatForType("w.anim").typeText, "Model animation");
}

TEST(TypeTable, BinkTypeTextDependsOnTheMode) {
  EXPECT_EQ(TypeText("intro.bik", true, false), "Bink animation");
  EXPECT_EQ(TypeText("intro.bik", false, true), "Smush wrapped Bink animation");
  EXPECT_EQ(TypeText("intro.bik", false, false), "[BUG ALERT - Should never be displayed!]");
  EXPECT_EQ(TypeText("x.til", true, false), "Tile");
}

TEST(TypeTable, DispatchOrderDiffersFromTheTypeTable) {
  EXPECT_EQ(ActionOf("x.tab.lua"), ".lua");
  EXPECT_EQ(ActionOf("x.tga.til"), ".til");
  EXPECT_EQ(ActionOf("x.bmp.wvc"), ".wvc");  // type text says bitmap, action plays
  EXPECT_STREQ(FormatForType("x.bmp.wvc").typeText, "Bitmap image");
  EXPECT_EQ(ActionOf("SCRIPT.LUA"), ".lua");
  EXPECT_EQ(ActionOf("a.mesh"), "");
  EXPECT_EQ(ActionOf("m.bik"), ".bik");
  EXPECT_EQ(ActionOf("s.sur"), ".sur");
}

TEST(EntryNames, FoldingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(FoldLower("AbC\xC9Z["), "abc\xC9z[");
  EXPECT_TRUE(NameContains("DATA.TIL", ".til"));
  EXPECT_FALSE(NameContains("data.t\xC9l", ".t\xE9l"));
}

TEST(EntryNames, GroupMarksAreAlwaysPoints) {
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

TEST(EntryNames, OffsetsAreEightUpperCaseHexDigits) {
  EXPECT_EQ(FormatOffset(255), "0x000000FF");
  EXPECT_EQ(FormatOffset(0), "0x00000000");
  EXPECT_EQ(FormatOffset(-1), "0xFFFFFFFF");
  EXPECT_EQ(FormatOffset(0x7ABCDEF0), "0x7ABCDEF0");
}

TEST(EntryNames, NameAfterLastBackslash) {
  EXPECT_EQ(NameAfterLastBackslash("menu\\title.bmp"), "title.bmp");
  EXPECT_EQ(NameAfterLastBackslash("a\\b\\"), "");
  EXPECT_EQ(NameAfterLastBackslash("plain"), "plain");
}

// Suggested names keep nothing but the file part up to its first '.'; the
// output stem keeps a name without a dot whole, and either separator ends a folder.
TEST(EntryNames, SuggestedAndOutputNames) {
  EXPECT_EQ(SaveSuggestion("menu\\title.bmp", ".png"), "title.png");
  EXPECT_EQ(SaveSuggestion("a.b.til", ".bmp"), "a.bmp");
  EXPECT_EQ(SaveSuggestion("noext", ".bmp"), ".bmp");
  EXPECT_EQ(OutputStem("sets\\beach.til"), "beach");
  EXPECT_EQ(OutputStem("a/b.c.til"), "b");
  EXPECT_EQ(OutputStem("noext"), "noext");
  EXPECT_EQ(OutputStem("dir\\"), "");
}
