#include <functional>

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
using vld::test::LogLines;
using vld::test::SourceLines;

namespace {

constexpr std::uint8_t kJmp = 109, kJmpW = 110, kIfFJmp = 111, kIfFJmpW = 112, kIfTUpJmp = 113, kIfFUpJmp = 115;

// Constants 0 to 3 are the strings a, b, c and x; code ends with return, end.
TChunkFunction Abcx(std::initializer_list<std::uint8_t> body) {
  Bytes code = Code(body);
  code.insert(code.end(), {0x7B, 0x00, 0x00});
  return Fn(code, {"a", "b", "c", "x"});
}

// <global>() with the assembler.
void CallStatement(TLuaAsm& a, int global) { a.GetGlobal(global).Call(0, 0); }

// if a then b() else <else part> end; the else part may jump to `done`, the end.
std::vector<std::string> IfAElse(const std::function<void(TLuaAsm&, TAsmLabel done)>& elsePart,
                                 std::initializer_list<const char*> names = {"a", "b", "c", "x"}) {
  TChunkFunction f = Fn({}, names);
  TLuaAsm a(2, 0);
  TAsmLabel notA = a.Label(), done = a.Label();
  a.GetGlobal(0).Jump(kIfFJmp, notA);
  CallStatement(a, 1);
  a.Jump(kJmp, done);
  a.Bind(notA);
  elsePart(a, done);
  a.Bind(done);
  a.Return(0).End();
  f.code = a.Code();
  return BodyLines(f);
}

}  // namespace

TEST(LuaControl, IfElse) {
  TChunkFunction f = Abcx({0x1F, 0x6F, 0x05, 0x20, 0x79, 0x00, 0x6D, 0x03, 0x21, 0x79, 0x00});
  EXPECT_THAT(BodyLines(f), ElementsAre("if a then", "  b()", "else", "  c()", "end"));
  // The else part runs from the if's target to the then part's jump target.
  EXPECT_THAT(LogLines(BuildChunk(f), false), ::testing::Contains("DecompileBlock(A,D)"));
}

TEST(LuaControl, IfWithoutElse) {
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6F, 0x03, 0x20, 0x79, 0x00})), ElementsAre("if a then", "  b()", "end"));
  // An empty then part.
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6F, 0x00})), ElementsAre("if a then", "end"));
}

TEST(LuaControl, WhileLoop) {
  EXPECT_THAT(BodyLines(Abcx({0x6D, 0x03, 0x20, 0x79, 0x00, 0x1F, 0x71, 0x06})),
              ElementsAre("while a do", "  b()", "end"));
}

TEST(LuaControl, RepeatLoop) {
  EXPECT_THAT(BodyLines(Abcx({0x05, 0x4E, 0x20, 0x79, 0x00, 0x1F, 0x73, 0x06})),
              ElementsAre("x=1", "repeat", "  b()", "until a"));
}

TEST(LuaControl, AndOr) {
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6B, 0x01, 0x20, 0x4E})), ElementsAre("x=a and b"));
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x69, 0x01, 0x20, 0x4E})), ElementsAre("x=a or b"));
  // Arithmetic binds tighter than and/or: no parentheses; word displacements work alike.
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x20, 0x61, 0x6C, 0x03, 0x00, 0x21, 0x05, 0x62, 0x4E})),
              ElementsAre("x=a + b and c - 1"));
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x20, 0x61, 0x6A, 0x01, 0x00, 0x21, 0x4E})), ElementsAre("x=a + b or c"));
  // a and b or c is (a and b) or c; a and (b or c) keeps its parentheses.
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6B, 0x01, 0x20, 0x69, 0x01, 0x21, 0x4E})), ElementsAre("x=a and b or c"));
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6B, 0x04, 0x20, 0x69, 0x01, 0x21, 0x4E})), ElementsAre("x=a and (b or c)"));
}

TEST(LuaControl, ElseIfChainsMerge) {
  EXPECT_THAT(IfAElse([](TLuaAsm& a, TAsmLabel done) {
                TAsmLabel notC = a.Label();
                a.GetGlobal(2).Jump(kIfFJmp, notC);
                CallStatement(a, 3);
                a.Jump(kJmp, done);
                a.Bind(notC);
                CallStatement(a, 1);
                CallStatement(a, 2);
              }),
              ElementsAre("if a then", "  b()", "elseif c then", "  x()", "else", "  b()", "  c()", "end"));
}

TEST(LuaControl, ElseIfWithoutFinalElse) {
  EXPECT_THAT(IfAElse([](TLuaAsm& a, TAsmLabel done) {
                a.GetGlobal(2).Jump(kIfFJmp, done);
                CallStatement(a, 3);
              }),
              ElementsAre("if a then", "  b()", "elseif c then", "  x()", "end"));
}

TEST(LuaControl, ElsePartWithMoreThanOneIfIsNotMerged) {
  // else  if c then x() end  b()  end: the trailing statement stays inside the else part.
  EXPECT_THAT(IfAElse([](TLuaAsm& a, TAsmLabel) {
                TAsmLabel notC = a.Label();
                a.GetGlobal(2).Jump(kIfFJmp, notC);
                CallStatement(a, 3);
                a.Bind(notC);
                CallStatement(a, 1);
              }),
              ElementsAre("if a then", "  b()", "else", "  if c then", "    x()", "  end", "  b()", "end"));
  // else  b()  if c then x() end  end: the if is not the first line either.
  EXPECT_THAT(IfAElse([](TLuaAsm& a, TAsmLabel) {
                CallStatement(a, 1);
                TAsmLabel notC = a.Label();
                a.GetGlobal(2).Jump(kIfFJmp, notC);
                CallStatement(a, 3);
                a.Bind(notC);
              }),
              ElementsAre("if a then", "  b()", "else", "  b()", "  if c then", "    x()", "  end", "end"));
  // An else part whose statement merely begins with "if".
  EXPECT_THAT(IfAElse([](TLuaAsm& a, TAsmLabel) { a.PushNumber(1).SetGlobal(2); }, {"a", "b", "iffy"}),
              ElementsAre("if a then", "  b()", "else", "  iffy=1", "end"));
}

TEST(LuaControl, ElsePartRunsToTheWordJumpsRealTarget) {
  // then ends with jmpw +2; x=1 is two one-byte instructions and belongs to the else part.
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6F, 0x06, 0x20, 0x79, 0x00, 0x6E, 0x02, 0x00, 0x05, 0x4E})),
              ElementsAre("if a then", "  b()", "else", "  x=1", "end"));
}

TEST(LuaControl, ElsePartWithAFiveDigitTarget) {
  // The then part's word jump goes past offset 0xFFFF, past the code: the listing, not a guess.
  Bytes code = Code({0x1F, 0x6F, 0x06, 0x20, 0x79, 0x00, 0x6E, 0xFA, 0xFF, 0x05, 0x4E});
  while (code.size() + 2 <= 65536) code.insert(code.end(), {0x7E, 0x00});  // pops on an empty stack: no lines
  while (code.size() < 65536) code.push_back(0x02);
  code.back() = 0x00;
  TChunkFunction f = Fn(code, {"a", "b", "c", "x"});
  std::vector<std::string> lines = SourceLines(f);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_THAT(lines[1], HasSubstr("jump at 0008 goes to 10005, not to an instruction"));
  EXPECT_THAT(lines, ::testing::Contains("--  0008 6e | jmpw 10005"));
}

TEST(LuaControl, StatementBeginningWithJmpIsNoJumpLine) {
  TChunkFunction f = Fn(Code({0x20, 0x6F, 0x02, 0x05, 0x4B, 0x7B, 0x00, 0x00}), {"jmpx", "a"});
  EXPECT_THAT(BodyLines(f), ElementsAre("if a then", "  jmpx=1", "end"));
}

TEST(LuaControl, JumpThatNoStructureExplainsShowsTheListing) {
  EXPECT_THAT(BodyLines(Abcx({0x6D, 0x00, 0x05, 0x4E}))[0],
              HasSubstr("could not be decompiled (the jump at 0002 is no loop's, at 0002)"));
  // Inside an if's then part but not its last instruction.
  EXPECT_THAT(BodyLines(Abcx({0x1F, 0x6F, 0x04, 0x6D, 0x00, 0x05, 0x4E}))[0],
              HasSubstr("could not be decompiled (the jump at 0005 is no loop's, at 0005)"));
}

TEST(LuaControl, ElsePartEndingInABlockAfterALocal) {
  // if a then b() else local x = c do local y, z end end: two pops end the else part, the inner
  // block's and the local's. Taking the first for values too many of x's list lost the block, and
  // the text's jump over the else part fell short of the code's.
  EXPECT_THAT(
      IfAElse([](TLuaAsm& a, TAsmLabel) { a.GetGlobal(2).PushNil(2).Pop(2).Pop(1); }),
      ElementsAre("if a then", "  b()", "else", "  local Local0=c", "  do", "    local Local1,Local2", "  end", "end"));
}

TEST(LuaControl, RepeatRightAfterALocalDeclaration) {
  // local x = 1; repeat b() until a; return: the local is declared before the loop.
  TChunkFunction f = Fn(Code({0x05, 0x20, 0x79, 0x00, 0x1F, 0x73, 0x06, 0x7B, 0x01, 0x00}), {"a", "b"});
  EXPECT_THAT(BodyLines(f), ElementsAre("local Local0=1", "repeat", "  b()", "until a"));
}

TEST(LuaControl, LoopAtTheStartOfANestedBlock) {
  // if c then repeat b() until a end
  TChunkFunction f = Abcx({0x21, 0x6F, 0x06, 0x20, 0x79, 0x00, 0x1F, 0x73, 0x06});
  EXPECT_THAT(BodyLines(f), ElementsAre("if c then", "  repeat", "    b()", "  until a", "end"));
  // if c then while a do b() end end, entry jump included
  TChunkFunction g = Abcx({0x21, 0x6F, 0x08, 0x6D, 0x03, 0x20, 0x79, 0x00, 0x1F, 0x71, 0x06});
  EXPECT_THAT(BodyLines(g), ElementsAre("if c then", "  while a do", "    b()", "  end", "end"));
}

TEST(LuaControl, LoopWithoutEntryJumpShowsTheListing) {
  // x=1, then b() looped while a, with no jump to the test first: no source compiles to that.
  EXPECT_THAT(BodyLines(Abcx({0x05, 0x4E, 0x20, 0x79, 0x00, 0x1F, 0x71, 0x06}))[0],
              HasSubstr("(the backward jump at 0008 closes no loop, at 0008)"));
}

TEST(LuaControl, RepeatAfterAnEmptyElse) {
  // if a then b() else end, then repeat c() until a: the compiler drops the jump over an empty
  // else part, so no source gives this code and the listing is shown.
  TChunkFunction f = Abcx({0x1F, 0x6F, 0x05, 0x20, 0x79, 0x00, 0x6D, 0x00, 0x21, 0x79, 0x00, 0x1F, 0x73, 0x06});
  EXPECT_THAT(BodyLines(f)[0], HasSubstr("could not be decompiled"));
  // With the jump dropped: if, then the loop.
  TChunkFunction g = Abcx({0x1F, 0x6F, 0x03, 0x20, 0x79, 0x00, 0x21, 0x79, 0x00, 0x1F, 0x73, 0x06});
  EXPECT_THAT(BodyLines(g), ElementsAre("if a then", "  b()", "end", "repeat", "  c()", "until a"));
}

TEST(LuaControl, NestedLoopsAndConditions) {
  // while a do if b then repeat c() until x end end
  TChunkFunction f = Fn({}, {"a", "b", "c", "x"});
  TLuaAsm a(2, 0);
  TAsmLabel test = a.Label(), body = a.Label(), skip = a.Label();
  a.Jump(kJmp, test);
  a.Bind(body);
  a.GetGlobal(1).Jump(kIfFJmp, skip);
  TAsmLabel loop = a.Here();
  CallStatement(a, 2);
  a.GetGlobal(3).Jump(kIfFUpJmp, loop);
  a.Bind(skip);
  a.Bind(test);
  a.GetGlobal(0).Jump(kIfTUpJmp, body);
  a.Return(0).End();
  f.code = a.Code();
  EXPECT_THAT(BodyLines(f),
              ElementsAre("while a do", "  if b then", "    repeat", "      c()", "    until x", "  end", "end"));
}

TEST(LuaControl, EndBeforeTheCodesEndShowsTheListing) {
  EXPECT_THAT(SourceLines(Fn(Code({0x00, 0x00, 0x05, 0x4B}), {"x"}))[1],
              HasSubstr("(the code does not end with endcode, at 0000)"));
}

TEST(LuaControl, BlockNestingHasALimit) {
  auto nestedIfs = [](int depth) {
    TChunkFunction f = Fn({}, {"a", "b"});
    TLuaAsm a(2, 0);
    std::vector<TAsmLabel> ends;
    for (int i = 0; i < depth; ++i) {
      ends.push_back(a.Label());
      a.GetGlobal(0).Jump(kIfFJmpW, ends.back());
    }
    CallStatement(a, 1);
    for (auto it = ends.rbegin(); it != ends.rend(); ++it) a.Bind(*it);
    a.Return(0).End();
    f.code = a.Code();
    return f;
  };
  std::vector<std::string> lines = SourceLines(nestedIfs(150));
  ASSERT_EQ(lines.size(), 1u + 150 + 1 + 150 + 1);
  EXPECT_EQ(lines[151], std::string(2 * 150, ' ') + "b()");
  EXPECT_EQ(DecompileError(nestedIfs(400)), "Decompiling stopped: code blocks are nested more than 200 deep.");
}

TEST(LuaControl, WordJumpsRebuildTheSameStructures) {
  TChunkFunction f = Fn({}, {"a", "b", "c", "x"});
  TLuaAsm a(2, 0);
  TAsmLabel notA = a.Label(), done = a.Label(), test = a.Label();
  a.GetGlobal(0).Jump(kIfFJmpW, notA);
  CallStatement(a, 1);
  a.Jump(kJmpW, done);
  a.Bind(notA);
  CallStatement(a, 2);
  a.Bind(done);
  a.Jump(kJmpW, test);
  TAsmLabel body = a.Here();
  CallStatement(a, 3);
  a.Bind(test);
  a.GetGlobal(0).Jump(kIfTUpJmp + 1, body);
  TAsmLabel again = a.Here();
  CallStatement(a, 1);
  a.GetGlobal(0).Jump(kIfFUpJmp + 1, again);
  a.Return(0).End();
  f.code = a.Code();
  EXPECT_THAT(BodyLines(f), ElementsAre("if a then", "  b()", "else", "  c()", "end", "while a do", "  x()", "end",
                                        "repeat", "  b()", "until a"));
}

TEST(LuaControl, NestingLimitCountsAcrossNestedFunctions) {
  // 60 functions, each opening `ifs` blocks around the closure of the next.
  auto chain = [](int ifs) {
    TChunkFunction f = Fn(Code({0x00}));
    for (int level = 0; level < 60; ++level) {
      TChunkFunction outer = Fn({}, {"a"});
      TLuaAsm a(2, 0);
      std::vector<TAsmLabel> ends;
      for (int i = 0; i < ifs; ++i) {
        ends.push_back(a.Label());
        a.GetGlobal(0).Jump(kIfFJmp, ends.back());
      }
      a.Closure(outer.Function(std::move(f)), 0).SetGlobal(0);
      for (auto it = ends.rbegin(); it != ends.rend(); ++it) a.Bind(*it);
      a.End();
      outer.code = a.Code();
      f = std::move(outer);
    }
    return f;
  };
  std::vector<std::string> lines = SourceLines(chain(2));  // 60 * (1 + 2) blocks
  EXPECT_EQ(lines.back(), "end");
  EXPECT_EQ(DecompileError(chain(3)), "Decompiling stopped: code blocks are nested more than 200 deep.");
}
