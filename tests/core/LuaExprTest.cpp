#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/lua/LuaExpr.h"

using namespace vld;

namespace {

TLuaExprPtr Name(const std::string& name) {
  TLuaExpr e;
  e.Kind = TLuaExprKind::Global;
  e.Name = name;
  return MakeLuaExpr(std::move(e));
}

TLuaExprPtr Str(const std::string& bytes) {
  TLuaExpr e;
  e.Kind = TLuaExprKind::String;
  e.Name = bytes;
  return MakeLuaExpr(std::move(e));
}

TLuaExprPtr Num(double v) {
  TLuaExpr e;
  e.Kind = TLuaExprKind::Number;
  e.Num = v;
  return MakeLuaExpr(std::move(e));
}

TLuaExprPtr Node(TLuaExprKind kind, std::vector<TLuaExprPtr> sub, TLuaOperator op = TLuaOperator::Add,
                 bool dotted = false) {
  TLuaExpr e;
  e.Kind = kind;
  e.Op = op;
  e.Dotted = dotted;
  e.Sub = std::move(sub);
  return MakeLuaExpr(std::move(e));
}

TLuaExprPtr Bin(TLuaOperator op, TLuaExprPtr a, TLuaExprPtr b) { return Node(TLuaExprKind::Binary, {a, b}, op); }
TLuaExprPtr Un(TLuaOperator op, TLuaExprPtr a) { return Node(TLuaExprKind::Unary, {a}, op); }
TLuaExprPtr Index(TLuaExprPtr t, TLuaExprPtr k, bool dotted) {
  return Node(TLuaExprKind::Index, {t, k}, TLuaOperator::Add, dotted);
}

struct TPrinter : TLuaExprPrinter {
  const TLuaFunction* seen = nullptr;
  int seenLevel = -1;
  std::string PrintFunction(const TLuaExpr& e, int level) override {
    seen = e.Func;
    seenLevel = level;
    return "function() end";
  }
  std::string operator()(const TLuaExprPtr& e) { return Print(*e, 0); }
};

}  // namespace

TEST(LuaExpr, ValueTextByKind) {
  TPrinter p;
  EXPECT_EQ(p(Num(0.5)), "0.5");
  EXPECT_EQ(p(Str("a")), "\"a\"");
  EXPECT_EQ(p(MakeLuaExpr(TLuaExpr{})), "nil");
  TLuaFunction fn;
  TLuaExpr f;
  f.Kind = TLuaExprKind::Function;
  f.Func = &fn;
  EXPECT_EQ(p.Print(f, 3), "function() end");
  EXPECT_EQ(p.seen, &fn);
  EXPECT_EQ(p.seenLevel, 3);
}

TEST(LuaExpr, QuoteEscapesOnlyWhatTheCompilerReads) {
  EXPECT_EQ(LuaQuote("a\nb\"c"), "\"a\\nb\\\"c\"");
  EXPECT_EQ(LuaQuote(std::string("\a\b\t\f\r\\", 6)), std::string("\"\a\b\\t\f\\r\\\\\""));
  EXPECT_EQ(LuaQuote(""), "\"\"");
  EXPECT_EQ(LuaQuote("\x01\xE9$"), "\"\x01\xE9$\"");  // everything else unchanged
}

TEST(LuaExpr, ParenthesesByPrecedenceAndAssociativity) {
  TPrinter p;
  auto a = Name("a"), b = Name("b"), c = Name("c");
  using O = TLuaOperator;
  EXPECT_EQ(p(Bin(O::Sub, a, Bin(O::Sub, b, c))), "a - (b - c)");
  EXPECT_EQ(p(Bin(O::Sub, Bin(O::Sub, a, b), c)), "a - b - c");
  EXPECT_EQ(p(Bin(O::Add, Bin(O::Or, a, Num(0)), c)), "(a or 0) + c");
  EXPECT_EQ(p(Bin(O::Mul, Bin(O::Add, a, b), c)), "(a + b) * c");
  EXPECT_EQ(p(Bin(O::Pow, a, Bin(O::Pow, b, c))), "a^b^c");
  EXPECT_EQ(p(Bin(O::Pow, Bin(O::Pow, a, b), c)), "(a^b)^c");
  EXPECT_EQ(p(Bin(O::Concat, a, Bin(O::Concat, b, c))), "a .. (b .. c)");
  EXPECT_EQ(p(Un(O::Minus, Bin(O::Pow, a, b))), "-a^b");
  EXPECT_EQ(p(Bin(O::Pow, Un(O::Minus, a), b)), "(-a)^b");
  EXPECT_EQ(p(Un(O::Not, Bin(O::Eq, a, b))), "not (a == b)");
  EXPECT_EQ(p(Un(O::Minus, Un(O::Minus, a))), "- -a");  // never a comment
  EXPECT_EQ(p(Bin(O::Ge, a, b)), "a >= b");
}

TEST(LuaExpr, KeysAsNamesOnlyWhenTheyAreNames) {
  EXPECT_TRUE(IsLuaName("name"));
  EXPECT_TRUE(IsLuaName("_x1"));
  EXPECT_FALSE(IsLuaName("1a"));
  EXPECT_FALSE(IsLuaName("end"));
  EXPECT_FALSE(IsLuaName("a b"));
  EXPECT_FALSE(IsLuaName(""));
  TPrinter p;
  auto t = Name("t");
  EXPECT_EQ(p(Index(t, Str("name"), true)), "t.name");
  EXPECT_EQ(p(Index(t, Str("name"), false)), "t[\"name\"]");  // a gettable stays one
  EXPECT_EQ(p(Index(t, Str("while"), true)), "t[\"while\"]");
  EXPECT_EQ(p(Index(t, Num(10), false)), "t[10]");
  TLuaExpr table;
  table.Kind = TLuaExprKind::Table;
  table.Sub = {Num(1)};
  table.Pairs = {{Str("a key"), Num(1)}, {Str("x"), Num(2)}, {Num(10), Str("ten")}};
  EXPECT_EQ(p.Print(table, 0), "{1; [\"a key\"]=1, x=2, [10]=\"ten\"}");
  table.RecordsFirst = true;
  EXPECT_EQ(p.Print(table, 0), "{[\"a key\"]=1, x=2, [10]=\"ten\"; 1}");
}
