#include <cmath>
#include <cstring>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LuaTestSupport.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDecompiler.h"
#include "core/lua/LuaExpr.h"
#include "samples/LuaChunk.h"

using namespace vld;
using namespace vld::samples;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using vld::test::BodyLines;
using vld::test::Code;
using vld::test::DecompileError;
using vld::test::Fn;
using vld::test::SourceLines;

namespace {

// The decompiled lines of a source compiled here, without the header comment.
std::vector<std::string> Decompiled(const std::string& source, bool debugInfo = true, int floatSize = 8) {
  TLuaCompileOptions options;
  options.DebugInfo = debugInfo;
  options.FloatSize = floatSize;
  options.SourceName = "t.lua";
  TLuaCompiled compiled = CompileLua(source, options);
  EXPECT_FALSE(compiled.Failed) << compiled.Error.Text();
  std::vector<std::string> lines = vld::test::SplitCrLf(DumpLuaChunk(compiled.Chunk, "t.lua"));
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

}  // namespace

TEST(LuaDecompiler, MainFunctionOfFourLines) {
  EXPECT_THAT(SourceLines(Fn(Code({0x05, 0x4B, 0x7B, 0x00, 0x00}), {"x"})),
              ElementsAre("-- main function, defined at t.lua:0, code 7, stack 1", "x=1", "return "));
}

TEST(LuaDecompiler, ParameterNamesWithAndWithoutMethodFlag) {
  // a local, then pushlocal0..2 stored into x, y, z
  TChunkFunction f = Fn(Code({0x05, 0x16, 0x4B, 0x17, 0x4C, 0x18, 0x4D, 0x00}, 2), {"x", "y", "z"});
  TLuaFile file(BuildChunk(f), "t.lua");
  TLuaDecompiler plain(file.Main());
  EXPECT_EQ(plain.VarName(1), "Arg1");
  EXPECT_EQ(plain.VarName(2), "Local0");
  plain.SetLevel(1);
  EXPECT_EQ(JoinLuaLines(plain.Decompile()),
            "  function(Arg0, Arg1) -- defined at t.lua:0, code 10, stack 1\r\n    local Local0=1\r\n    x=Arg0\r\n"
            "    y=Arg1\r\n    z=Local0\r\n  end\r\n");
  TLuaDecompiler method(file.Main());
  method.SetIsMethod(true);
  EXPECT_EQ(method.VarName(0), "self");
  EXPECT_EQ(JoinLuaLines(method.Decompile()),
            "function(self, Arg1) -- defined at t.lua:0, code 10, stack 1\r\n  local Local0=1\r\n  x=self\r\n"
            "  y=Arg1\r\n  z=Local0\r\nend\r\n");
}

TEST(LuaDecompiler, VariableArgumentsNameTheFixedOnesAndArg) {
  EXPECT_THAT(Decompiled("function f(a, ...) local n = arg.n return a, n end", false),
              ElementsAre(HasSubstr("function f(Arg0, ...) -- defined at t.lua:1"), "  local Local0=arg.n",
                          "  return Arg0,Local0", "end"));
  // With the chunk's names, only variable arguments.
  EXPECT_THAT(Decompiled("function f(...) return arg end"),
              ElementsAre(HasSubstr("function f(...)"), "  return arg", "end"));
}

TEST(LuaDecompiler, CallsAndMethodCalls) {
  EXPECT_THAT(Decompiled("obj:m(1) f(f) a = g(a, \"s\", 2) t.t(t)"),
              ElementsAre("obj:m(1)", "f(f)", "a=g(a,\"s\",2)", "t.t(t)"));
  // Calls of other calls and of indexes.
  EXPECT_THAT(Decompiled("x = f(1)(2) y = a.b[c](d):e()"), ElementsAre("x=f(1)(2)", "y=a.b[c](d):e()"));
}

TEST(LuaDecompiler, CallWithSeveralResultsFillsSeveralNames) {
  EXPECT_THAT(Decompiled("x, y = f() local a, b, c = g(1)"), ElementsAre("x,y=f()", "local a,b,c=g(1)"));
  // Parentheses keep all results here too: the same code.
  EXPECT_THAT(Decompiled("x, y = (f())"), ElementsAre("x,y=f()"));
  // A last nil goes unless a call before it would then keep more results.
  EXPECT_THAT(Decompiled("local a, b = f(), nil x, y = 1, nil"), ElementsAre("local a,b=f(),nil", "x,y=1"));
  // A call whose results are all dropped is the last value of the list.
  EXPECT_THAT(Decompiled("x = 1, f()"), ElementsAre("x=1,f()"));
}

TEST(LuaDecompiler, ReturnListsValuesInSourceOrder) {
  EXPECT_THAT(Decompiled("return x, y"), ElementsAre("return x,y"));
  // return 3, f() returns all of f's results: no temporaries.
  EXPECT_THAT(Decompiled("return 3, f()"), ElementsAre("return 3,f()"));
  EXPECT_THAT(Decompiled("return"), ElementsAre("return "));
}

TEST(LuaDecompiler, ReturnInTheMiddleOfABlockGetsABlockOfItsOwn) {
  // The compiler takes a do block without locals as no code at all.
  EXPECT_THAT(Decompiled("do return 1 end x = 2"), ElementsAre("do", "  return 1", "end", "x=2"));
}

TEST(LuaDecompiler, ListAndMapConstructorsInSourceOrder) {
  EXPECT_THAT(Decompiled("t = {1, 2} u = {a = 1, b = 2} v = {a = 1; 2} w = {2; a = 1} e = {}"),
              ElementsAre("t={1, 2}", "u={a=1, b=2}", "v={a=1; 2}", "w={2; a=1}", "e={}"));
  // Keys that are not names, or reserved words, are written in brackets.
  EXPECT_THAT(Decompiled("t = {[\"a key\"] = 1, [10] = \"ten\", [\"end\"] = 2, x_1 = 3}"),
              ElementsAre("t={[\"a key\"]=1, [10]=\"ten\", [\"end\"]=2, x_1=3}"));
}

TEST(LuaDecompiler, LongListsAreOneConstructor) {
  // Flushed every 64 items by the compiler; one list in the text.
  std::string items;
  for (int i = 0; i < 130; ++i) items += (i ? ", " : "") + std::to_string(i);
  EXPECT_THAT(Decompiled("t = {" + items + "}"), ElementsAre("t={" + [&] {
                std::string s;
                for (int i = 0; i < 130; ++i) s += (i ? ", " : "") + std::to_string(i);
                return s;
              }() + "}"));
}

TEST(LuaDecompiler, OperatorsAndParentheses) {
  EXPECT_THAT(Decompiled("x = a >= b x = (a + b) * c x = a - (b - c) x = a - b - c x = a ^ 2"),
              ElementsAre("x=a >= b", "x=(a + b) * c", "x=a - (b - c)", "x=a - b - c", "x=a^2"));
  EXPECT_THAT(Decompiled("x = (y or 0) + n x = -(a + b) x = not a x = -a ^ b x = (-a) ^ b x = a ^ (b ^ c)"),
              ElementsAre("x=(y or 0) + n", "x=-(a + b)", "x=not a", "x=-a^b", "x=(-a)^b", "x=a^b^c"));
  // .. and the comparisons are left-associative too; and/or share one level.
  EXPECT_THAT(Decompiled("x = a .. (b .. c) x = (a .. b) .. c x = a or (b and c) x = (a or b) and c"),
              ElementsAre("x=a .. (b .. c)", "x=a .. b .. c", "x=a or (b and c)", "x=a or b and c"));
  EXPECT_THAT(Decompiled("x = - -a x = not not a x = a == (b == c)"),
              ElementsAre("x=- -a", "x=not not a", "x=a == (b == c)"));
}

TEST(LuaDecompiler, TableAccessAndStores) {
  // A computed key stays computed: t[k.n], not t.k.n.
  EXPECT_THAT(Decompiled("x = t[k.n] x = t.name x = t[\"name\"] x = t[1] x = t[\"a b\"]"),
              ElementsAre("x=t[k.n]", "x=t.name", "x=t[\"name\"]", "x=t[1]", "x=t[\"a b\"]"));
  EXPECT_THAT(Decompiled("t.k = 1 t[2] = 1 t[k] = v"), ElementsAre("t.k=1", "t[2]=1", "t[k]=v"));
}

TEST(LuaDecompiler, MultipleAssignmentStaysOneStatement) {
  EXPECT_THAT(Decompiled("a, b = b, a"), ElementsAre("a,b=b,a"));
  EXPECT_THAT(Decompiled("t.x, t[1], m = 1, 2, 3"), ElementsAre("t.x,t[1],m=1,2,3"));
  // Values too many and too few.
  EXPECT_THAT(Decompiled("a, b = 1, 2, 3 a, b, c = 1"), ElementsAre("a,b=1,2,3", "a,b,c=1"));
}

TEST(LuaDecompiler, LocalsWithTheChunksNamesAndDoBlocks) {
  // A local is declared where it is first read: local a, b = 1 and local a = 1 local b give the same code.
  EXPECT_THAT(Decompiled("local a, b = 1 do local c = a + 1 x = c end y = b"),
              ElementsAre("local a=1", "local b", "do", "  local c=a + 1", "  x=c", "end", "y=b"));
  EXPECT_THAT(Decompiled("local a, b = 1, 2 x = b"), ElementsAre("local a,b=1,2", "x=b"));
  // Without a locals list the slots give the names.
  EXPECT_THAT(Decompiled("local a, b = 1 do local c = a + 1 x = c end y = b", false),
              ElementsAre("local Local0=1", "local Local1", "do", "  local Local2=Local0 + 1", "  x=Local2", "end",
                          "y=Local1"));
  // Values too many in a block's local statement, then the block's end: two pops, not one list.
  EXPECT_THAT(Decompiled("local a do local b, c = 1, 2, 3 end x = a"),
              ElementsAre("local a", "do", "  local b,c=1,2,3", "end", "x=a"));
  // A local declared right before a block starts stays outside it.
  EXPECT_THAT(Decompiled("local k = 1 do local k = 2 f(k) end f(k)"),
              ElementsAre("local k=1", "do", "  local k=2", "  f(k)", "end", "f(k)"));
}

TEST(LuaDecompiler, BlockEndRightAfterALocalIsNoAdjustment) {
  // A local not yet read when a block with locals of its own ends: the block's pop is not the
  // adjustment of one longer list (that would keep fewer results, or lose the block).
  EXPECT_THAT(Decompiled("local a = y do local b, c = f() end"),
              ElementsAre("local a=y", "do", "  local b,c=f()", "end"));
  EXPECT_THAT(Decompiled("local a = y do local b, c end"), ElementsAre("local a=y", "do", "  local b,c", "end"));
  // A call as a list's last value keeps only the results missing, so no pop drops it.
  EXPECT_THAT(Decompiled("local a = y do local b = f() end"), ElementsAre("local a=y", "do", "  local b=f()", "end"));
  // Inside other blocks, where the jumps around them measure the pops.
  EXPECT_THAT(Decompiled("while x do if y then local a = not z do local b, c = f() end end end"),
              ElementsAre("while x do", "  if y then", "    local a=not z", "    do", "      local b,c=f()", "    end",
                          "  end", "end"));
  // Values too many still go with the list they follow, a call among them too.
  EXPECT_THAT(Decompiled("local a = y x = 1, f(), g() x = a"), ElementsAre("local a=y", "x=1,f(),g()", "x=a"));
}

TEST(LuaDecompiler, NamesThatAGlobalUsesAreNotTaken) {
  // A damaged locals list names slot 0 like the global it reads: numbered names instead.
  TLuaCompiled compiled = CompileLua("local a = 1 x = a y = g");
  TLuaFile file(compiled.Chunk, "t.lua");
  TLuaFunction& main = const_cast<TLuaFunction&>(file.Main());
  main.Locals[0].Name = "g";
  TLuaDecompiler d(main);
  EXPECT_THAT(JoinLuaLines(d.Decompile()), HasSubstr("local Local0=1\r\nx=Local0\r\ny=g\r\n"));
}

TEST(LuaDecompiler, LiteralsReadBackToTheSameBits) {
  EXPECT_THAT(Decompiled("x = 1e-100 y = 0.3 z = 0.1 w = 65535 v = 1e999 u = 123.456"),
              ElementsAre("x=1e-100", "y=0.3", "z=0.1", "w=65535", "v=1e999", "u=123.456"));
  // Bytes 7, 8 and 12 are written raw: this Lua knows no \a \b \f.
  EXPECT_THAT(Decompiled("s = \"\a\b\f|\\n\\t\\r\\\\\\\"\\a\""), ElementsAre("s=\"\a\b\f|\\n\\t\\r\\\\\\\"a\""));
  // Single precision: the text reads back to the same float.
  EXPECT_THAT(Decompiled("x = 0.1 y = 3.14159", true, 4), ElementsAre("x=0.1", "y=3.14159"));
}

TEST(LuaDecompiler, NumberTextsOfTheDigitLoop) {
  // The compiler's reading is not correctly rounded: the text found is one it reads back exactly.
  for (const char* source : {"1e-100", "0.3", "1e-5", "0.00001", "123456789.123", "3.14159e-300",
                             "1.7976931348623157e308", "5.", ".5", "1E+2", "0.1"}) {
    for (int floatSize : {4, 8}) {
      double v = 0, back = 0;
      ASSERT_TRUE(ReadLuaNumber(source, floatSize, v)) << source;
      std::string text = LuaNumberText(v, floatSize);
      ASSERT_TRUE(ReadLuaNumber(text, floatSize, back)) << source << " -> " << text;
      EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << source << " -> " << text;
    }
  }
  // A number the loop reaches from no text has none.
  EXPECT_EQ(LuaNumberText(std::nan(""), 8), "");
  double a = 0, b = 0;
  ASSERT_TRUE(ReadLuaNumber("0.00001", 8, a));
  ASSERT_TRUE(ReadLuaNumber("1e-05", 8, b));
  EXPECT_NE(a, b);
  EXPECT_EQ(LuaNumberText(a, 8), "0.00001");
  EXPECT_EQ(LuaNumberText(b, 8), "1e-5");
  EXPECT_FALSE(ReadLuaNumber("1..2", 8, a));
  EXPECT_FALSE(ReadLuaNumber("1e", 8, a));
}

TEST(LuaDecompiler, ClosuresAndFunctionStatements) {
  EXPECT_THAT(
      Decompiled("function f(a) local b = a return function(x) return x + %b + %g end end"),
      ElementsAre(HasSubstr("function f(a) -- defined at t.lua:1"), "  local b=a",
                  HasSubstr("  return function(x) -- defined at t.lua:1"), "    return x + %b + %g", "  end", "end"));
  EXPECT_THAT(Decompiled("t = {} function t.f(x) end function t:m(y) return self end"),
              ElementsAre("t={}", HasSubstr("function t.f(x) -- defined at t.lua:1"), "end",
                          HasSubstr("function t:m(y) -- defined at t.lua:1"), "  return self", "end"));
}

TEST(LuaDecompiler, FunctionStoredIntoATableFieldIsAMethod) {
  // Without local names a field's function takes self first, as before.
  TChunkFunction inner = Fn(Code({0x16, 0x4B, 0x00}, 2), {"y"});
  TChunkFunction main = Fn(Code({0x1F, 0x0A, 0x0B, 0x54, 0x0B, 0x4C, 0x00}), {"obj", "m"});
  main.Function(std::move(inner));
  EXPECT_THAT(BodyLines(main),
              ElementsAre("function obj:m(Arg1) -- defined at t.lua:0, code 5, stack 1", "  y=self", "end",
                          // the same function stored elsewhere is not a method
                          "function m(Arg0, Arg1) -- defined at t.lua:0, code 5, stack 1", "  y=Arg0", "end"));
}

TEST(LuaDecompiler, DamagedReferencesShowTheListing) {
  // A constant index past the end: never wrong code, the function's listing instead.
  std::vector<std::string> lines = SourceLines(Fn(Code({0x08, 0x09, 0x4A, 0x00, 0x00}), {"x"}));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "-- This function could not be decompiled (no constant 9, at 0002); its code:");
  EXPECT_THAT(lines, ::testing::Contains("--  0002 08 | pushconstant <bad>(var9)"));
  // Unknown opcodes and a stack that runs dry.
  EXPECT_THAT(SourceLines(Fn(Code({0xC8, 0x00}), {"x"}))[1], HasSubstr("unknown opcode 200 at 0002"));
  EXPECT_THAT(SourceLines(Fn(Code({0x4A, 0x00, 0x00}), {"x"}))[1], HasSubstr("could not be decompiled"));
  // A nested function that fails shows its listing inside an otherwise decompiled script.
  TChunkFunction bad = Fn(Code({0x71, 0x10, 0x00}));
  TChunkFunction main = Fn(Code({0x09, 0x4B, 0x00}), {"f"});
  main.consts.clear();
  main.String("f");
  main.Function(std::move(bad));
  main.code = Code({0x0A, 0x4A, 0x00, 0x00});
  std::vector<std::string> text = BodyLines(main);
  ASSERT_GE(text.size(), 3u);
  EXPECT_THAT(text[0], HasSubstr("function f()"));
  EXPECT_THAT(text[1], HasSubstr("-- This function could not be decompiled"));
}

TEST(LuaDecompiler, NestedRenderingsAreBounded) {
  // Each function renders the next one twice: without a bound, 2^60 renderings.
  TChunkFunction f = Fn(Code({0x04, 0x4A, 0x00, 0x00}), {"x"});
  for (int i = 0; i < 60; ++i) {
    TChunkFunction outer = Fn(Code({0x09, 0x09, 0x66, 0x4A, 0x01, 0x00}));
    outer.Function(std::move(f));
    outer.String("x");
    f = std::move(outer);
  }
  EXPECT_THAT(DecompileError(f), HasSubstr("Decompiling stopped"));
}

TEST(LuaDecompiler, DoublingTextIsBounded) {
  // x = a .. a, then x = x .. x as an expression tree shared by reference: the text doubles each round.
  Bytes code = {1, 0, 0x1F};
  for (int i = 0; i < 40; ++i) {
    code.push_back(0x35);
    code.push_back(0x66);
  }
  code.push_back(0x4A);
  code.push_back(0x00);
  code.push_back(0x00);
  std::string error = DecompileError(Fn(code, {"obj", "m"}));
  // pushself leaves the object twice; the concatenations of methods are refused or bounded, never huge.
  EXPECT_TRUE(error == "decompiled" || error.find("Decompiling stopped") != std::string::npos) << error;
}

TEST(LuaDecompiler, RandomCodeEndsWithTextOrAnError) {
  std::mt19937 rng(20240611);
  int finished = 0;
  for (int round = 0; round < 3000; ++round) {
    std::size_t size = 2 + rng() % 200;
    Bytes code(size);
    for (auto& b : code) b = static_cast<std::uint8_t>(rng() % 130);  // mostly valid opcodes
    TChunkFunction f = Fn(code, {"a", "b", "c"});
    f.Number(2);
    f.Function(Fn(Code({0x1F, 0x7B, 0x00, 0x00}), {"z"}));
    try {
      std::string text = DumpLuaChunk(BuildChunk(f), "r.lua");
      EXPECT_EQ(text.rfind("-- main function", 0), 0u);
      ++finished;
    } catch (const VldError&) {
    }
  }
  EXPECT_GT(finished, 0);
}

TEST(LuaDecompiler, DemoScriptReadsLikeASource) {
  EXPECT_EQ(DumpLuaChunk(BuildDemoScript(), "scripts\\demo.lua"),
            "-- main function, defined at demo.lua:0, code 89, stack 6\r\n"
            "door={name=\"cellar door\", locked=1}\r\n"
            "keys={\"brass\", \"iron\"}\r\n"
            "function open(who, key) -- defined at demo.lua:3, code 40, stack 6\r\n"
            "  if key == \"iron\" then\r\n"
            "    door.locked=nil\r\n"
            "    who:say(\"It opens.\")\r\n"
            "  elseif key == \"brass\" then\r\n"
            "    who:say(\"Wrong key.\")\r\n"
            "  else\r\n"
            "    who:say(\"Nothing happens.\")\r\n"
            "  end\r\n"
            "  return door.locked\r\n"
            "end\r\n"
            "count=0\r\n"
            "while count < 3 do\r\n"
            "  count=count + 1\r\n"
            "end\r\n"
            "repeat\r\n"
            "  count=count - 1\r\n"
            "until count <= 0\r\n"
            "ready=door.locked and 0 or 1\r\n"
            "hero={name=\"Tamsin\"}\r\n"
            "function hero:say(text) -- defined at demo.lua:21, code 31, stack 7\r\n"
            "  local line=text\r\n"
            "  if self.name then\r\n"
            "    line=self.name .. \": \" .. text\r\n"
            "  end\r\n"
            "  self.said=(self.said or 0) + 1\r\n"
            "  print(line)\r\n"
            "  return \r\n"
            "end\r\n"
            "open(hero,keys[2])\r\n"
            "return \r\n");
}
