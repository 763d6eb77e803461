#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/lua/LuaStack.h"

using namespace vld;

namespace {

TLuaValue Text(const std::string& t) {
  TLuaValue v;
  v.Kind = kLuaText;
  v.Text = t;
  return v;
}

}  // namespace

TEST(LuaStack, PushPeekAndPopByDepth) {
  TLuaStack s;
  EXPECT_TRUE(s.IsEmpty());
  s.PushText("bottom");
  s.PushNumber(2);
  s.PushNil();
  s.Push(Text("top"));
  EXPECT_EQ(s.Count(), 4u);
  EXPECT_EQ(s.Peek().Text, "top");
  EXPECT_EQ(s.PeekAt(1).Kind, kLuaNil);
  EXPECT_EQ(s.PeekAt(2).Num, 2);
  EXPECT_EQ(s.PeekAt(3).Text, "bottom");  // count - 1 is the bottom entry
  EXPECT_EQ(s.Count(), 4u);               // peeking changes nothing

  TLuaValue two = s.PopAt(2);
  EXPECT_EQ(two.Kind, kLuaNumber);
  EXPECT_EQ(s.Count(), 3u);
  EXPECT_EQ(s.PeekAt(1).Kind, kLuaNil);
  EXPECT_EQ(s.Pop().Text, "top");
  EXPECT_EQ(s.Pop().Kind, kLuaNil);
  EXPECT_EQ(s.Pop().Text, "bottom");
  EXPECT_TRUE(s.IsEmpty());
}

TEST(LuaStack, PeekPastTheBottomFails) {
  TLuaStack s;
  try {
    s.Peek();
    FAIL() << "no underflow";
  } catch (const VldError& e) {
    EXPECT_STREQ(e.what(), "TLuaStack underflow!");
  }
  s.PushText("only");
  EXPECT_EQ(s.PeekAt(0).Text, "only");
  EXPECT_THROW(s.PeekAt(1), VldError);
}

TEST(LuaStack, PopPastTheBottomSuppliesNilWithAWarning) {
  std::vector<std::string> log;
  TLuaStack s([&log](const std::string& l) { log.push_back(l); });
  TLuaValue v = s.Pop();
  EXPECT_EQ(v.Kind, kLuaNil);
  EXPECT_EQ(ValueText(v, nullptr), "nil");
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_THAT(log, ::testing::ElementsAre("warning: TLuaStack underflow!"));

  // One entry: PopAt(1) returns it and leaves the supplied nil in its place.
  s.PushText("x");
  EXPECT_EQ(s.PopAt(1).Text, "x");
  ASSERT_EQ(s.Count(), 1u);
  EXPECT_EQ(s.Peek().Kind, kLuaNil);

  // Deeper than even the nil reaches: an error, not a read outside the list.
  TLuaStack empty;
  EXPECT_THROW(empty.PopAt(1), VldError);
  EXPECT_THROW(empty.PopAt(5), VldError);
}

TEST(LuaStack, ValueTextByKind) {
  TLuaValue n;
  n.Kind = kLuaNumber;
  n.Num = 0.5;
  EXPECT_EQ(ValueText(n, nullptr), "0.5");
  EXPECT_EQ(ValueText(Text("\"a\""), nullptr), "\"a\"");
  TLuaValue unknown;
  EXPECT_EQ(ValueText(unknown, nullptr), "");

  struct TRenderer : TLuaFunctionRenderer {
    const TLuaFunction* seen = nullptr;
    std::string RenderFunction(const TLuaFunction* f) override {
      seen = f;
      return "function() end";
    }
  } renderer;
  TLuaFunction fn;
  TLuaValue f;
  f.Kind = kLuaFunction;
  f.Func = &fn;
  EXPECT_EQ(ValueText(f, &renderer), "function() end");
  EXPECT_EQ(renderer.seen, &fn);
}

TEST(LuaStackHelpers, QuoteStringEscapes) {
  EXPECT_EQ(QuoteString("a\nb\"c"), "\"a\\nb\\\"c\"");
  EXPECT_EQ(QuoteString(std::string("\a\b\t\f\r\\", 6)), "\"\\a\\b\\t\\f\\r\\\\\"");
  EXPECT_EQ(QuoteString(""), "\"\"");
  EXPECT_EQ(QuoteString(std::string("ab\0cd", 5)), "\"ab\"");  // ends at the first zero
  EXPECT_EQ(QuoteString("\x01\xE9"), "\"\x01\xE9\"");          // everything else unchanged
}

TEST(LuaStackHelpers, ParenOnlyAroundSpacesAndSigns) {
  EXPECT_EQ(Paren("Arg0.x"), "Arg0.x");
  EXPECT_EQ(Paren("f(a,b)"), "f(a,b)");
  EXPECT_EQ(Paren("-1"), "(-1)");
  EXPECT_EQ(Paren("a + b"), "(a + b)");
  EXPECT_EQ(Paren("1E+5"), "(1E+5)");
  EXPECT_EQ(Paren(""), "");
}

TEST(LuaStackHelpers, UnquoteOnlyWholeQuotedWords) {
  EXPECT_EQ(Unquote("\"name\""), "name");
  EXPECT_EQ(Unquote("\"two words\""), "\"two words\"");
  EXPECT_EQ(Unquote("\"open"), "\"open");
  EXPECT_EQ(Unquote("\""), "");
  EXPECT_EQ(Unquote(""), "");
  EXPECT_EQ(Unquote("\"\""), "");
  EXPECT_EQ(Unquote("plain"), "plain");
}

TEST(LuaStackHelpers, KeySuffixForms) {
  EXPECT_EQ(KeySuffix("10"), "[10]");
  EXPECT_EQ(KeySuffix("1.5"), "[1.5]");
  EXPECT_EQ(KeySuffix("Local3"), "[Local3]");
  EXPECT_EQ(KeySuffix("name"), ".name");
  EXPECT_EQ(KeySuffix("Arg0"), ".Arg0");
  EXPECT_EQ(KeySuffix("_x"), "._x");
  EXPECT_EQ(KeySuffix("x + 1"), ".x + 1");  // decided on the first character alone
  EXPECT_EQ(KeySuffix("-1"), "[\"-1\"]");
  EXPECT_EQ(KeySuffix("\"a b\""), "[\"\"a b\"\"]");
  EXPECT_EQ(KeySuffix(""), "[\"\"]");

  EXPECT_TRUE(IsLocalName("Local"));
  EXPECT_FALSE(IsLocalName("Loca"));
  EXPECT_FALSE(IsLocalName("local1"));
  EXPECT_TRUE(IsDigits("9x"));
  EXPECT_FALSE(IsDigits(""));
  EXPECT_FALSE(IsIdentifier("1a"));
  EXPECT_TRUE(IsIdentifier("Z"));
}
