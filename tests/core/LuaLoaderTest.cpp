#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LuaTestSupport.h"
#include "core/lua/LuaDump.h"
#include "samples/LuaChunk.h"

using namespace vld;
using namespace vld::samples;
using ::testing::HasSubstr;
using vld::test::Code;
using vld::test::Fn;

namespace {

// A chunk with every kind of field: numbers, strings, an unknown tag, locals
// and a nested function with constants of its own.
TChunkFunction RichMain() {
  TChunkFunction inner = Fn(Code({0x7B, 0x00, 0x00}), {"inner"});
  inner.line = 7;
  inner.Number(-2.5);
  TChunkFunction main = Fn(Code({0x7B, 0x00, 0x00}));
  main.line = 1;
  main.Number(0.1);
  main.String("hello");
  main.RawConst('?');
  main.Number(1e20);
  main.Function(std::move(inner));
  main.Local("x", 3).Local("longer_name", 4);
  return main;
}

std::string LoadError(const Bytes& chunk, const std::string& name = "x.lua") {
  try {
    TLuaFile file(chunk, name);
  } catch (const ELuaException& e) {
    return e.what();
  }
  return "loaded";
}

}  // namespace

TEST(LuaLoader, BothByteOrdersAndFloatSizesGiveTheSameNumbers) {
  for (int floatSize : {4, 8}) {
    Bytes lsb = BuildChunk(RichMain(), {floatSize, false});
    Bytes msb = BuildChunk(RichMain(), {floatSize, true});
    EXPECT_NE(lsb, msb);
    TLuaFile a(lsb, "a.lua");
    TLuaFile b(msb, "b.lua");
    EXPECT_TRUE(a.LsbFirst());
    EXPECT_FALSE(b.LsbFirst());
    EXPECT_EQ(a.FloatSize(), floatSize);
    EXPECT_EQ(b.FloatSize(), floatSize);
    for (const TLuaFile* f : {&a, &b}) {
      const TLuaFunction& m = f->Main();
      ASSERT_EQ(m.Consts.size(), 5u);
      // Header words and counts are most significant byte first in both orders.
      EXPECT_EQ(m.Line, 1);
      EXPECT_EQ(m.CodeSize, 5);
      EXPECT_EQ(m.Locals.size(), 2u);
      double expected = floatSize == 4 ? double(0.1f) : 0.1;
      EXPECT_EQ(m.Consts[0].Num, expected);
      EXPECT_EQ(m.Consts[3].Num, floatSize == 4 ? double(1e20f) : 1e20);
      EXPECT_EQ(m.Consts[4].Func->Consts[1].Num, -2.5);
    }
  }
}

TEST(LuaLoader, ReadsTheTreeOfFunctions) {
  TLuaFile file(BuildChunk(RichMain()), "x.lua");
  const TLuaFunction& m = file.Main();
  EXPECT_EQ(file.Version(), 0x31);
  EXPECT_EQ(m.Source, "t.lua");
  EXPECT_EQ(m.Code, Code({0x7B, 0x00, 0x00}));
  EXPECT_EQ(m.Consts[0].Kind, kLuaNumber);
  EXPECT_EQ(m.Consts[1].Kind, kLuaText);
  EXPECT_EQ(m.Consts[1].Text, "hello");
  EXPECT_EQ(m.Consts[2].Kind, kLuaUnknown);  // only its tag byte was consumed: the next constant reads right
  EXPECT_EQ(m.Consts[3].Kind, kLuaNumber);
  ASSERT_EQ(m.Consts[4].Kind, kLuaFunction);
  const TLuaFunction* inner = m.Consts[4].Func;
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Line, 7);
  EXPECT_EQ(inner->Consts[0].Text, "inner");
  ASSERT_EQ(m.Locals.size(), 2u);
  EXPECT_EQ(m.Locals[1].Name, "longer_name");
  EXPECT_EQ(m.Locals[1].Line, 4);
}

TEST(LuaLoader, FileOffsetIsWhereTheRecordBegins) {
  EXPECT_EQ(TLuaFile(BuildChunk(RichMain(), {4, false}), "a").Main().FileOffset, 10u);
  EXPECT_EQ(TLuaFile(BuildChunk(RichMain(), {8, true}), "a").Main().FileOffset, 14u);

  TChunkFunction main = Fn(Code({0}));
  main.Function(Fn(Code({0})));
  TLuaFile file(BuildChunk(main), "a");
  // line 2, source "t.lua" 2+6, code size 4, code 3, one constant 2+1, no locals 2, '#' and index 3
  EXPECT_EQ(file.Main().Consts[0].Func->FileOffset, 10u + 2 + 8 + 4 + 3 + 3 + 2 + 3);
}

TEST(LuaLoader, HeaderChecksComeInOrderWithTheirMessages) {
  Bytes good = BuildChunk(Fn(Code({0})));
  Bytes bad = good;
  bad[1] = 'X';
  bad[4] = 0x32;  // the signature is looked at first
  EXPECT_EQ(LoadError(bad, "s.lua"), "Bad signature in file s.lua");
  bad = good;
  bad[4] = 0x32;
  bad[5] = 3;
  EXPECT_EQ(LoadError(bad, "v.lua"), "Bad lua version in file v.lua: found 50, expected 49");
  bad = good;
  bad[5] = 5;
  EXPECT_EQ(LoadError(bad, "f.lua"), "Bad floats size in file f.lua: found 5, expected 4 or 8");
  bad = good;
  bad[7] ^= 1;
  EXPECT_EQ(LoadError(bad, "n.lua"), "Unknown floats representation in file n.lua");
  // A size-8 test number under a size-4 header is no known representation either.
  Bytes eight = BuildChunk(Fn(Code({0})), {8, false});
  eight[5] = 4;
  EXPECT_EQ(LoadError(eight, "n.lua"), "Unknown floats representation in file n.lua");
  EXPECT_EQ(LoadError(Bytes{'L', 'u', 'a'}), "Bad signature in file x.lua");
}

TEST(LuaLoader, CodeSizeLimits) {
  TChunkFunction big = Fn(Bytes(65536, 0));
  TLuaFile file(BuildChunk(big), "big.lua");
  EXPECT_EQ(file.Main().CodeSize, 65536);
  big.code.push_back(0);
  EXPECT_EQ(LoadError(BuildChunk(big)), "Code size too big: 65537");

  Bytes negative = BuildChunk(Fn(Code({0})));
  std::size_t sizeField = 10 + 2 + 8;
  for (int i = 0; i < 4; ++i) negative[sizeField + i] = 0xFF;
  EXPECT_EQ(LoadError(negative), "Code size negative: -1");

  // Code shorter than its two header bytes loads; readers of the code treat missing bytes as zero.
  EXPECT_EQ(TLuaFile(BuildChunk(Fn(Bytes{})), "a").Main().CodeSize, 0);
}

TEST(LuaLoader, StringsAreMaskedAndEndAtTheirFirstZero) {
  TChunkFunction f = Fn(Code({0}), {"plain"});
  f.String("");
  Bytes chunk = BuildChunk(f);
  TLuaFile file(chunk, "a");
  EXPECT_EQ(file.Main().Consts[0].Text, "plain");
  EXPECT_EQ(file.Main().Consts[1].Text, "");  // stored length 1, its byte decodes to zero

  // Stored length 0, and a string whose bytes hold no zero: all its bytes, no more.
  Bytes raw = {0x1B, 'L', 'u', 'a', 0x31, 4, 0x46, 0x0A, 0xBF, 0x17, 0x00, 0x01, 0x00, 0x00};
  PutU32BE(raw, 3);
  PutText(raw, std::string{1, 0, 0});
  PutU16BE(raw, 2);
  PutText(raw, "S");
  raw.push_back(0);
  raw.push_back(2);
  raw.push_back('a' ^ 0x3B);
  raw.push_back('b' ^ 0x3B);
  PutText(raw, "S");
  raw.push_back(0);
  raw.push_back(3);
  raw.push_back('c' ^ 0x3B);
  raw.push_back(0x3B);
  raw.push_back('d' ^ 0x3B);
  PutU16BE(raw, 0);
  raw.push_back(0);
  TLuaFile rawFile(raw, "raw");
  EXPECT_EQ(rawFile.Main().Source, "");
  EXPECT_EQ(rawFile.Main().Consts[0].Text, "ab");
  EXPECT_EQ(rawFile.Main().Consts[1].Text, "c");
}

TEST(LuaLoader, NestedFunctionItemsMustNameFunctionConstants) {
  TChunkFunction f = Fn(Code({0}), {"a", "b"});
  f.Number(3);
  f.Nest(3, Fn(Code({0})));
  EXPECT_EQ(LoadError(BuildChunk(f)), "Bad function no: 3, must be in 0..2");

  TChunkFunction g = Fn(Code({0}));
  g.Number(1);
  g.Nest(0, Fn(Code({0})));
  EXPECT_EQ(LoadError(BuildChunk(g)), "Const no 0 is not a function!");

  TChunkFunction none = Fn(Code({0}));
  none.Nest(0, Fn(Code({0})));
  EXPECT_EQ(LoadError(BuildChunk(none)), "Bad function no: 0, must be in 0..-1");

  // A function constant that no item fills stays empty.
  TChunkFunction empty = Fn(Code({0}));
  empty.RawConst('F');
  TLuaFile file(BuildChunk(empty), "a");
  EXPECT_EQ(file.Main().Consts[0].Kind, kLuaFunction);
  EXPECT_EQ(file.Main().Consts[0].Func, nullptr);
}

TEST(LuaLoader, EveryTruncationIsReportedAsTruncated) {
  Bytes chunk = BuildChunk(RichMain(), {8, true});
  ASSERT_EQ(LoadError(chunk), "loaded");
  for (std::size_t n = 0; n < chunk.size(); ++n) {
    Bytes cut(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    std::string error = LoadError(cut, "cut.lua");
    EXPECT_THAT(error, HasSubstr("Lua file cut.lua is truncated")) << "at length " << n;
  }
}

TEST(LuaLoader, TruncationInsideALongStringOrCodeIsCaughtBeforeReading) {
  Bytes chunk = BuildChunk(Fn(Code({0})));
  // Claim a 64 KiB code block that is not there.
  std::size_t sizeField = 10 + 2 + 8;
  chunk[sizeField + 1] = 0x00;
  chunk[sizeField + 2] = 0xFF;
  chunk[sizeField + 3] = 0xFF;
  EXPECT_THAT(LoadError(chunk), HasSubstr("the code of a function at offset 24 runs past its end"));
}

TEST(LuaLoader, DeepNestingIsRefusedAtTheLimit) {
  auto chain = [](int depth) {
    TChunkFunction f = Fn(Code({0}));
    for (int i = 0; i < depth; ++i) {
      TChunkFunction outer = Fn(Code({0}));
      outer.Function(std::move(f));
      f = std::move(outer);
    }
    return BuildChunk(f);
  };
  TLuaFile ok(chain(kMaxLuaFunctionDepth), "deep.lua");
  const TLuaFunction* f = &ok.Main();
  int depth = 0;
  while (!f->Consts.empty()) {
    f = f->Consts[0].Func;
    ++depth;
  }
  EXPECT_EQ(depth, kMaxLuaFunctionDepth);
  EXPECT_EQ(LoadError(chain(kMaxLuaFunctionDepth + 1), "deep.lua"),
            "Functions nested too deeply in file deep.lua: more than 64 levels");
}

TEST(LuaLoader, DumpWritesTheSourceWithCrLf) {
  Bytes chunk = BuildChunk(Fn(Code({0x05, 0x4B, 0x7B, 0x00, 0x00}), {"x"}));
  TLuaFile file(chunk, "x.lua");
  TMemoryStream out;
  std::vector<std::string> log;
  file.Dump(out, [&log](const std::string& l) { log.push_back(l); });
  EXPECT_EQ(AsString(out.Data()), "-- main function, defined at t.lua:0, code 7, stack 1\r\nx=1\r\nreturn \r\n");
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "Dump of file: x.lua");
  EXPECT_EQ(log[1], "Lua version: 3.1");
  EXPECT_EQ(log[2], "Floats size: 4");
  EXPECT_EQ(log[3], "Intel byte ordering (LSB first)");
  EXPECT_EQ(vld::test::LogLines(BuildChunk(Fn(Code({0})), {8, true}))[3], "Motorola byte ordering (MSB first)");
  // The decompiler's trace follows the listing in the same log.
  EXPECT_THAT(log, ::testing::Contains("DecompileBlock(2,7)"));
  EXPECT_EQ(DumpLuaChunk(chunk, "x.lua"), AsString(out.Data()));
}
