#include <gtest/gtest.h>

#include "core/audio/SurfaceDescription.h"

using namespace vld;

namespace {

std::vector<std::string> Items(std::string_view text) {
  return ParseSurfaceDescription(AsSpan(std::string(text))).items;
}

}  // namespace

TEST(SurfaceDescription, ListsLinesFromTheThirdUpToTheSectionEnd) {
  EXPECT_EQ(Items("SURFACE\nversion 1\nTEX:   textures/wall/a.tga\nTEX:   b.tga\nEND_OF_SECTION\nTEX:   c.tga\n"),
            (std::vector<std::string>{"textures\\wall\\a.tga", "b.tga"}));
  // No end marker: every line to the end, a last line without a line break included.
  EXPECT_EQ(Items("h1\r\nh2\r\nalpha\r\nbeta"), (std::vector<std::string>{"alpha", "beta"}));
  // The marker must be the whole line.
  EXPECT_EQ(Items("h1\nh2\n END_OF_SECTION\nEND_OF_SECTION2\nEND_OF_SECTION\nx"),
            (std::vector<std::string>{" END_OF_SECTION", "END_OF_SECTION2"}));
}

TEST(SurfaceDescription, FewerThanThreeLinesListNothing) {
  EXPECT_TRUE(Items("").empty());
  EXPECT_TRUE(Items("one\ntwo\n").empty());
  EXPECT_TRUE(Items("one\rtwo").empty());
}

TEST(SurfaceDescription, TextureLinesLoseSevenCharactersAndUseBackslashes) {
  EXPECT_EQ(Items("a\nb\nTEX:abcname\nTEX:\nTEX:12\ntex:   lower/case.tga\nCOLOR: 1 2 3\n"),
            (std::vector<std::string>{"name", "", "", "tex:   lower/case.tga", "COLOR: 1 2 3"}));
}

TEST(SurfaceDescription, AllLineEndsSplitTheSameWay) {
  EXPECT_EQ(SplitLines(AsSpan(std::string("a\rb\nc\r\nd\n\re"))),
            (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(SplitLines(AsSpan(std::string("a\r\n"))), std::vector<std::string>{"a"});
  EXPECT_EQ(SplitLines(AsSpan(std::string("\n"))), std::vector<std::string>{""});
}

TEST(SurfaceDescription, HugeListsAreCut) {
  std::string text = "h\nh\n";
  for (std::size_t i = 0; i < kMaxSurfaceItems + 10; ++i) text += "TEX:   f.tga\n";
  TSurfaceFrames frames = ParseSurfaceDescription(AsSpan(text));
  EXPECT_EQ(frames.items.size(), kMaxSurfaceItems);
  EXPECT_TRUE(frames.cut);
}
