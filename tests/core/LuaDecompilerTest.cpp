#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LuaTestSupport.h"
#include "core/lua/LuaDecompiler.h"
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

TEST(LuaDecompiler, MainFunctionOfFourLines) {
  EXPECT_THAT(SourceLines(Fn(Code({0x05, 0x4B, 0x7B, 0x00, 0x00}), {"x"})),
              ElementsAre("function() -- defined at t.lua:0, code 7, stack 1", "  x=1", "  return ", " end"));
}

TEST(LuaDecompiler, ParameterNamesWithAndWithoutMethodFlag) {
  // pushlocal0..2 stored into x, y, z
  TChunkFunction f = Fn(Code({0x16, 0x4B, 0x17, 0x4C, 0x18, 0x4D, 0x00}, 2), {"x", "y", "z"});
  TLuaFile file(BuildChunk(f), "t.lua");
  TLuaDecompiler plain(file.Main());
  EXPECT_EQ(plain.VarName(1), "Arg1");
  EXPECT_EQ(plain.VarName(2), "Local0");
  EXPECT_EQ(
      JoinLuaLines(plain.Decompile()),
      "function(Arg0, Arg1) -- defined at t.lua:0, code 9, stack 1\r\n  x=Arg0\r\n  y=Arg1\r\n  z=Local0\r\n end\r\n");
  TLuaDecompiler method(file.Main());
  method.SetIsMethod(true);
  EXPECT_EQ(method.VarName(0), "self");
  EXPECT_EQ(
      JoinLuaLines(method.Decompile()),
      "function(self, Arg1) -- defined at t.lua:0, code 9, stack 1\r\n  x=self\r\n  y=Arg1\r\n  z=Local0\r\n end\r\n");
}

TEST(LuaDecompiler, VariableArgumentsNameTheFixedOnesAndArg) {
  // parameter byte 64 + 1: one fixed parameter, then the table arg
  TChunkFunction f = Fn(Code({0x16, 0x4B, 0x17, 0x4B, 0x18, 0x4B, 0x19, 0x7B, 0x02, 0x00}, 65), {"x"});
  std::vector<std::string> lines = SourceLines(f);
  EXPECT_THAT(lines, ElementsAre("function(Arg0, ...) -- defined at t.lua:0, code 12, stack 1", "  x=Arg0", "  x=arg",
                                 "  x=Local0", "  return Local1", " end"));
  // Only variable arguments: no fixed parameter.
  EXPECT_EQ(SourceLines(Fn(Code({0x16, 0x4B, 0x00}, 64), {"x"}))[1], "  x=arg");
}

TEST(LuaDecompiler, CallsAndMethodCalls) {
  // obj:m(1)
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x35, 0x05, 0x79, 0x02, 0x00}), {"obj", "m"})), ElementsAre("  obj:m(1)"));
  // f(f) keeps its argument: the function text is not longer than the argument
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x1F, 0x79, 0x01, 0x00}), {"f"})), ElementsAre("  f(f)"));
  // g(a, "s", 2) in source order, and a call kept as a value
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, 0x0B, 0x06, 0x7A, 0x03, 0x4C, 0x00}), {"g", "a", "s"})),
              ElementsAre("  a=g(a,\"s\",2)"));
  // The first argument only goes when the function text is object:name.
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x2A, 0x1F, 0x79, 0x01, 0x00}), {"t", "t"})), ElementsAre("  t.t(t)"));
}

TEST(LuaDecompiler, CallWithSeveralResultsUsesTemporaries) {
  // Temp_1,Temp_2 = f(); y=Temp_2; x=Temp_1
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x78, 0x02, 0x00, 0x4D, 0x4C, 0x00}), {"f", "x", "y"})),
              ElementsAre("  Temp_1,Temp_2 = f()", "  y=Temp_2", "  x=Temp_1"));
  // No result kept: the line still names Temp_1, nothing is pushed, and a
  // following return of nothing does not take the call for its value.
  EXPECT_THAT(SourceLines(Fn(Code({0x1F, 0x78, 0x00, 0x00, 0x7B, 0x00, 0x00}), {"f"})),
              ElementsAre(HasSubstr("function()"), "  Temp_1 = f()", "  return ", " end"));
}

TEST(LuaDecompiler, ReturnListsValuesInSourceOrder) {
  EXPECT_EQ(SourceLines(Fn(Code({0x1F, 0x20, 0x7B, 0x00, 0x00}), {"x", "y"}))[1], "  return x,y");
  // More values asked for than the stack holds: no trailing comma.
  EXPECT_EQ(SourceLines(Fn(Code({0x1F, 0x20, 0x7B, 0x00, 0x00}, 2), {"x", "y"}))[1], "  return x,y");
  // The base skips the parameters and locals below it.
  EXPECT_EQ(SourceLines(Fn(Code({0x1F, 0x20, 0x21, 0x7B, 0x02, 0x00}, 1), {"x", "y", "z"}))[1], "  return y,z");
  EXPECT_EQ(SourceLines(Fn(Code({0x1F, 0x7B, 0x05, 0x00}), {"x"}))[1], "  return ");
}

TEST(LuaDecompiler, ReturnOfAllResultsOfACall) {
  // f(x) keeping 2 results, returned at once: one return line instead of the Temp line.
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, 0x78, 0x02, 0x01, 0x7B, 0x00, 0x00}), {"f", "x"})),
              ElementsAre("  return f(x)"));
  // A result count that differs from the values returned keeps the Temp line.
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x78, 0x02, 0x00, 0x7F, 0x7B, 0x00, 0x00}), {"f"})),
              ElementsAre("  Temp_1,Temp_2 = f()", "  return Temp_1"));
  // The byte pattern alone is not enough: here 120 is an operand, not a call.
  EXPECT_THAT(BodyLines(Fn(Code({0x05, 0x4B, 0x05, 0x3D, 0x78, 0x03, 0x07, 0x7B, 0x00, 0x00}), {"x"})),
              ElementsAre("  x=1", "  return 1,{},7"));
}

TEST(LuaDecompiler, ListAndMapConstructorsInSourceOrder) {
  // t={1, 2}
  EXPECT_THAT(BodyLines(Fn(Code({0x3D, 0x02, 0x05, 0x06, 0x57, 0x02, 0x4B, 0x00}), {"t"})), ElementsAre("  t={1, 2}"));
  // t={a=1, b=2}
  EXPECT_THAT(BodyLines(Fn(Code({0x3D, 0x02, 0x0A, 0x05, 0x0B, 0x06, 0x59, 0x01, 0x4B, 0x00}), {"t", "a", "b"})),
              ElementsAre("  t={a=1, b=2}"));
  // A repeated key keeps its order, so the last value still wins.
  EXPECT_THAT(BodyLines(Fn(Code({0x3E, 0x0A, 0x05, 0x0A, 0x06, 0x59, 0x01, 0x4B, 0x00}), {"t", "a"})),
              ElementsAre("  t={a=1, a=2}"));
  // Keys lose their quotes, string values keep them.
  EXPECT_THAT(BodyLines(Fn(Code({0x3E, 0x0A, 0x0B, 0x5A, 0x4B, 0x00}), {"t", "only", "one"})),
              ElementsAre("  t={only=\"one\"}"));
  // Map pairs first, then list items after a semicolon.
  EXPECT_THAT(BodyLines(Fn(Code({0x3E, 0x0A, 0x05, 0x5A, 0x06, 0x57, 0x01, 0x4B, 0x00}), {"t", "a"})),
              ElementsAre("  t={a=1; 2}"));
  // A store of no items leaves the table as it is.
  EXPECT_THAT(BodyLines(Fn(Code({0x3E, 0x57, 0x00, 0x4B, 0x00}), {"t"})), ElementsAre("  t={}"));
  // Setlist with a start block: the start is not part of the text.
  EXPECT_THAT(BodyLines(Fn(Code({0x3E, 0x05, 0x56, 0x03, 0x01, 0x4B, 0x00}), {"t"})), ElementsAre("  t={1}"));
}

TEST(LuaDecompiler, ConstructorOnSomethingElseIsLoggedAndStillRendered) {
  std::vector<std::string> log;
  TLuaFile file(BuildChunk(Fn(Code({0x1F, 0x05, 0x57, 0x01, 0x4C, 0x00}), {"t", "x"})), "t.lua");
  TLuaDecompiler d(file.Main(), [&log](const std::string& l) { log.push_back(l); });
  EXPECT_EQ(JoinLuaLines(d.Decompile()), "function() -- defined at t.lua:0, code 8, stack 1\r\n  x=; 1}\r\n end\r\n");
  EXPECT_THAT(log, ::testing::Contains("Error! in setlist s=\"t\""));
}

TEST(LuaDecompiler, OperatorsAndParentheses) {
  // a >= b
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, 0x60, 0x4D, 0x00}), {"a", "b", "x"})), ElementsAre("  x=a >= b"));
  // (a + b) * c
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, 0x61, 0x21, 0x63, 0x4E, 0x00}), {"a", "b", "c", "x"})),
              ElementsAre("  x=(a + b) * c"));
  // a - (b - c) keeps no parentheses for subtraction; power binds without spaces
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, 0x21, 0x62, 0x62, 0x4E, 0x00}), {"a", "b", "c", "x"})),
              ElementsAre("  x=a - b - c"));
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x06, 0x65, 0x4E, 0x00}), {"a", "b", "c", "x"})), ElementsAre("  x=a^2"));
  // unary minus and not
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, 0x61, 0x67, 0x4E, 0x1F, 0x68, 0x4E, 0x00}), {"a", "b", "c", "x"})),
              ElementsAre("  x=-(a + b)", "  x=not a"));
  // comparisons and concatenation
  const std::vector<std::pair<std::uint8_t, std::string>> ops = {{0x5B, "a == b"}, {0x5C, "a ~= b"}, {0x5D, "a < b"},
                                                                 {0x5E, "a <= b"}, {0x5F, "a > b"},  {0x64, "a / b"},
                                                                 {0x66, "a .. b"}};
  for (const auto& [op, text] : ops)
    EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x20, op, 0x4D, 0x00}), {"a", "b", "x"})), ElementsAre("  x=" + text));
}

TEST(LuaDecompiler, TableAccessAndStores) {
  // t.name, t[1], t[Local0] and t["a b"]
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x0A, 0x28, 0x4B, 0x1F, 0x05, 0x28, 0x4B, 0x1F, 0x16, 0x28, 0x4B, 0x1F, 0x0B,
                                 0x28, 0x4B, 0x00}),
                           {"t", "name", "a b"})),
              ElementsAre("  t=t.name", "  t=t[1]", "  t=t[Local0]", "  t=t[\"\"a b\"\"]"));
  // getdotted and upvalues
  EXPECT_THAT(BodyLines(Fn(Code({0x13, 0x2B, 0x4A, 0x00, 0x12, 0x05, 0x4A, 0x00, 0x00}), {"x", "field"})),
              ElementsAre("  x=Upvalue0.field", "  x=Upvalue5"));
  // settable0: t.k=v, everything popped
  EXPECT_THAT(SourceLines(Fn(Code({0x1F, 0x0A, 0x05, 0x54, 0x7B, 0x00, 0x00}), {"t", "k"})),
              ElementsAre(HasSubstr("function()"), "  t.k=1", "  return ", " end"));
  // settable 0: only the value goes; table and key stay for a return to see
  EXPECT_THAT(SourceLines(Fn(Code({0x1F, 0x0A, 0x05, 0x55, 0x00, 0x7B, 0x00, 0x00}), {"t", "k"})),
              ElementsAre(HasSubstr("function()"), "  t.k=1", "  return t,\"k\"", " end"));
  // settable with a number key
  EXPECT_THAT(BodyLines(Fn(Code({0x1F, 0x06, 0x05, 0x54, 0x00}), {"t"})), ElementsAre("  t[2]=1"));
}

TEST(LuaDecompiler, ClosuresRenderTheNestedFunctionOneLevelDeeper) {
  TChunkFunction inner = Fn(Code({0x05, 0x4B, 0x7B, 0x00, 0x00}), {"y"});
  inner.line = 4;
  TChunkFunction main = Fn(Code({0x1F, 0x20, 0x75, 0x02, 0x02, 0x4E, 0x00}), {"a", "b"});
  main.Function(std::move(inner));
  main.String("f");
  // closure of constant 2 with two upvalues a and b, listed in the order they were pushed
  EXPECT_THAT(SourceLines(main), ElementsAre("function() -- defined at t.lua:0, code 9, stack 1",
                                             "  f=closure(function() -- defined at t.lua:4, code 7, stack 1",
                                             "      y=1", "      return ", "    end", ",a,b)", " end"));
}

TEST(LuaDecompiler, FunctionStoredIntoATableFieldIsAMethod) {
  TChunkFunction inner = Fn(Code({0x16, 0x4B, 0x00}, 2), {"y"});
  TChunkFunction main = Fn(Code({0x1F, 0x0A, 0x0B, 0x54, 0x0B, 0x4C, 0x00}), {"obj", "m"});
  main.Function(std::move(inner));
  EXPECT_THAT(
      BodyLines(main),
      ElementsAre("  obj.m=function(self, Arg1) -- defined at t.lua:0, code 5, stack 1", "      y=self", "    end", "",
                  // the same function stored elsewhere is not a method
                  "  m=function(Arg0, Arg1) -- defined at t.lua:0, code 5, stack 1", "      y=Arg0", "    end", ""));
}

TEST(LuaDecompiler, DamagedReferencesStillGiveText) {
  // A constant index past the end, an unfilled function constant, a stack that runs dry.
  TChunkFunction f = Fn(Code({0x08, 0x09, 0x4A, 0x00, 0x75, 0x01, 0x00, 0x4A, 0x00, 0x4A, 0x00, 0x00}), {"x"});
  f.RawConst('F');
  EXPECT_THAT(BodyLines(f), ElementsAre("  x=<bad>(var9)", "  x=closure(<missing function>)", "  x=nil"));
  // Unknown opcodes, source lines and an early end keep the walk going.
  EXPECT_THAT(SourceLines(Fn(Code({0xC8, 0x7C, 0x05, 0x7D, 0x00, 0x01, 0x00, 0x05, 0x4A, 0x00}), {"x"})),
              ElementsAre(HasSubstr("function()"), "  <bad>", "  LINE=5", "  LINE=256", " end", " x=1"));
  // Pops never fail, and an unknown constant renders as nothing.
  TChunkFunction g = Fn(Code({0x05, 0x7E, 0x05, 0x80, 0x7F, 0x09, 0x4C, 0x00}), {"x"});
  g.consts.insert(g.consts.begin(), TChunkConst{'?', 0, {}});
  EXPECT_THAT(BodyLines(g), ElementsAre("  x="));
}

TEST(LuaDecompiler, PeekingPastTheStackEndsTheDecompilation) {
  // settable 0 needs three entries; a method test peeks past the bottom.
  EXPECT_EQ(DecompileError(Fn(Code({0x05, 0x55, 0x00, 0x00}))), "TLuaStack underflow!");
  EXPECT_EQ(DecompileError(Fn(Code({0x1F, 0x79, 0x01, 0x00}), {"f"})), "TLuaStack underflow!");
  // settable0 on an empty stack: the supplied nil is not enough for depth 1.
  EXPECT_THAT(DecompileError(Fn(Code({0x54, 0x00}))), HasSubstr("TLuaStack index out of range"));
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
  // obj:m .. obj doubles the text each round.
  Bytes code = {1, 0, 0x1F};
  for (int i = 0; i < 40; ++i) {
    code.push_back(0x35);
    code.push_back(0x66);
  }
  code.push_back(0x4A);
  code.push_back(0x00);
  EXPECT_THAT(DecompileError(Fn(code, {"obj", "m"})), HasSubstr("source text would exceed"));
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
      EXPECT_EQ(text.rfind("function(", 0), 0u);
      ++finished;
    } catch (const VldError&) {
    }
  }
  EXPECT_GT(finished, 0);
}

TEST(LuaDecompiler, DemoScriptReadsLikeASource) {
  EXPECT_EQ(DumpLuaChunk(BuildDemoScript(), "scripts\\demo.lua"),
            "function() -- defined at demo.lua:0, code 89, stack 6\r\n"
            "  door={name=\"cellar door\", locked=1}\r\n"
            "  keys={\"brass\", \"iron\"}\r\n"
            "  open=closure(function(Arg0, Arg1) -- defined at demo.lua:3, code 40, stack 6\r\n"
            "      if Arg1 == \"iron\" then\r\n"
            "        door.locked=nil\r\n"
            "        Arg0:say(\"It opens.\")\r\n"
            "      elseif Arg1 == \"brass\" then\r\n"
            "        Arg0:say(\"Wrong key.\")\r\n"
            "      else\r\n"
            "        Arg0:say(\"Nothing happens.\")\r\n"
            "      end\r\n"
            "      return door.locked\r\n"
            "    end\r\n"
            ")\r\n"
            "  count=0\r\n"
            "  while count < 3 do\r\n"
            "    count=count + 1\r\n"
            "  end\r\n"
            "  repeat\r\n"
            "    count=count - 1\r\n"
            "  until count <= 0\r\n"
            "  ready=door.locked and 0 or 1\r\n"
            "  hero={name=\"Tamsin\"}\r\n"
            "  hero.say=function(self, Arg1) -- defined at demo.lua:21, code 21, stack 5\r\n"
            "      if self.name then\r\n"
            "        Local0=self.name .. \": \" .. Arg1\r\n"
            "      end\r\n"
            "      print(Local0)\r\n"
            "      return \r\n"
            "    end\r\n"
            "\r\n"
            "  open(hero,keys[2])\r\n"
            "  return \r\n"
            " end\r\n");
}
