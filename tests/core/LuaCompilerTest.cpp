#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/common/FileIO.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"
#include "core/lua/LuaOpcodes.h"

using namespace vld;
namespace fs = std::filesystem;

namespace {

const fs::path kCalibration = VLD_LUA31_DIR;

// The chunks of the calibration set, by name ("flow_f4_nd"); one empty name
// when the set is not there, so that the test reports the skip.
std::vector<std::string> CalibrationChunks() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(kCalibration / "chunks", ec)) names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  if (names.empty()) names.emplace_back();
  return names;
}

// The options a chunk was made with, from the suffixes of its name.
TLuaCompileOptions OptionsOf(const std::string& chunk, std::string& source) {
  TLuaCompileOptions options;
  std::string base = chunk;
  auto strip = [&base](const std::string& suffix) {
    const auto at = base.find(suffix);
    if (at == std::string::npos) return false;
    base.erase(at, suffix.size());
    return true;
  };
  options.MsbFirst = strip("_msb");
  options.DebugInfo = !strip("_nd");
  options.FloatSize = strip("_f4") ? 4 : 8;
  source = base;
  options.SourceName = base + ".lua";
  return options;
}

class CalibrationTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CalibrationTest, CompilesToTheGameCompilersBytes) {
  if (GetParam().empty()) GTEST_SKIP() << "No calibration set at " << kCalibration.string();
  std::string base;
  const TLuaCompileOptions options = OptionsOf(GetParam(), base);
  const Bytes source = ReadWholeFile(kCalibration / "src" / (base + ".lua"));
  const Bytes expected = ReadWholeFile(kCalibration / "chunks" / (GetParam() + ".lua"));

  const TLuaCompiled compiled = CompileLua(AsString(source), options);
  ASSERT_FALSE(compiled.Failed) << compiled.Error.Text();
  const auto diff = std::mismatch(compiled.Chunk.begin(), compiled.Chunk.end(), expected.begin(), expected.end());
  EXPECT_TRUE(diff.first == compiled.Chunk.end() && diff.second == expected.end())
      << "first difference at byte " << (diff.first - compiled.Chunk.begin()) << " of " << expected.size();
}

INSTANTIATE_TEST_SUITE_P(Lua31, CalibrationTest, ::testing::ValuesIn(CalibrationChunks()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param.empty() ? std::string("absent") : info.param;
                         });

TLuaCompiled Compile(const std::string& source, int floatSize = 8) {
  TLuaCompileOptions options;
  options.SourceName = "test.lua";
  options.FloatSize = floatSize;
  return CompileLua(source, options);
}

TLuaCompileError Refusal(const std::string& source) {
  const TLuaCompiled compiled = Compile(source);
  EXPECT_TRUE(compiled.Failed) << source;
  EXPECT_TRUE(compiled.Chunk.empty());
  return compiled.Error;
}

// The code bytes of the main function after its two header bytes.
Bytes MainCode(const TLuaCompiled& compiled) {
  TLuaFile file(compiled.Chunk, "test.lua");
  const Bytes& code = file.Main().Code;
  return Bytes(code.begin() + 2, code.end());
}

std::string Names(const std::string& prefix, int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += (i > 1 ? ", " : "") + prefix + std::to_string(i);
  return s;
}

TEST(LuaCompilerTest, ErrorsNameFileLineAndToken) {
  struct TCase {
    const char* source;
    int line;
    const char* message;
    const char* token;
  } cases[] = {
      {"x = 1\ny = = 2\n", 2, "unexpected symbol", "="},
      {"if a then\n  b = 1\n", 3, "'end' expected", "<eof>"},
      {"s = \"abc\nt = 1\n", 1, "unfinished string", "\"abc"},
      {"x = 1..2\n", 1, "ambiguous syntax (decimal point x string concatenation)", "1.."},
      {"x = 1e+\n", 1, "invalid numeral format", "1e+"},
      {"local a = 1\nfunction f()\n  return a\nend\n", 3, "cannot access a local of an enclosing function (use %a)",
       "a"},
      {"function f()\n  %y = 1\nend\n", 2, "cannot assign to an upvalue", "="},
      {"print(%x)\n", 1, "upvalues are not allowed in the main chunk", "x"},
      {"return 1\nx = 2\n", 2, "return must be the last statement of its block", "x"},
      {"x.y\n", 2, "'=' expected", "<eof>"},
      {"t = {1, 2; 3}\n", 1, "the two parts of a constructor must differ in kind", "}"},
      {"x = @\n", 1, "unexpected symbol", "@"},
      {"x = \"a\x01\"\ny = \x02\n", 2, "invalid control char", "\\x02"},
      {"$foo\n", 1, "unknown pragma", "foo"},
      {"$if nil\nx = 1\n", 3, "input ends inside a $if", "<eof>"},
      {"$end\n", 1, "unmatched $end", "$end"},
  };
  for (const TCase& c : cases) {
    const TLuaCompileError e = Refusal(c.source);
    EXPECT_EQ(e.File, "test.lua");
    EXPECT_EQ(e.Line, c.line) << c.source;
    EXPECT_EQ(e.Message, c.message) << c.source;
    EXPECT_EQ(e.Token, c.token) << c.source;
  }
  EXPECT_EQ(Refusal("x = = 1").Text(), "test.lua:1: unexpected symbol near '='");
}

TEST(LuaCompilerTest, LimitsAreKeptAndRefusedPastThem) {
  // 32 locals, parameters included
  EXPECT_FALSE(Compile("local " + Names("a", 32) + "\n").Failed);
  EXPECT_EQ(Refusal("local " + Names("a", 33) + "\n").Message, "too many local variables (at most 32)");
  EXPECT_EQ(Refusal("function f(" + Names("p", 31) + ")\n  local x, y\nend\n").Line, 2);

  // 16 upvalues
  auto closure = [](int n) {
    std::string uses;
    for (int i = 1; i <= n; ++i) uses += " + %u" + std::to_string(i);
    return "function f(" + Names("u", n) + ")\n  return function() return 0" + uses + " end\nend\n";
  };
  EXPECT_FALSE(Compile(closure(16)).Failed);
  EXPECT_EQ(Refusal(closure(17)).Message, "too many upvalues in one function (at most 16)");

  // 255 stack values: the function and 254 arguments fit, one more does not
  auto call = [](int args) {
    std::string s = "f(1";
    for (int i = 1; i < args; ++i) s += ", 1";
    return s + ")\n";
  };
  const TLuaCompiled fits = Compile(call(254));
  ASSERT_FALSE(fits.Failed);
  EXPECT_EQ(TLuaFile(fits.Chunk, "test.lua").Main().Code[0], 255);
  const TLuaCompileError deep = Refusal(call(255));
  EXPECT_EQ(deep.Message, "function or expression too complex (more than 255 stack values)");
  EXPECT_EQ(deep.Line, 1);

  // 32 assignment targets
  EXPECT_FALSE(Compile(Names("v", 32) + " = 1\n").Failed);
  EXPECT_EQ(Refusal(Names("v", 33) + " = 1\n").Message, "too many variables in one assignment (at most 32)");

  // five levels of functions below the main chunk
  auto nested = [](int levels) {
    std::string s = "x = 1\n";
    for (int i = 0; i < levels; ++i) s = "f = function()\n" + s + "end\n";
    return s;
  };
  EXPECT_FALSE(Compile(nested(5)).Failed);
  EXPECT_EQ(Refusal(nested(6)).Message, "too many nested functions (at most 5 levels)");
}

// What the game's compiler would have written wrongly or could not store is refused.
TEST(LuaCompilerTest, RefusesWhatTheFormatCannotHold) {
  // A closure names its function constant in one byte: past 255 the
  // original wrote the opcode of a call instead.
  std::string many = "function f(u)\n  local t = {";
  for (int i = 0; i < 256; ++i) many += "\"s" + std::to_string(i) + "\", ";
  many += "}\n  return function() return %u end\nend\n";
  EXPECT_EQ(Refusal(many).Message, "too many constants before a function with upvalues (at most 256)");
  // Without upvalues the function is a plain constant, which may have any index.
  const std::string plain = many.substr(0, many.find("return function")) + "  return function() end\nend\n";
  EXPECT_FALSE(Compile(plain).Failed);

  // String lengths are 16 bits, their terminating zero included.
  EXPECT_FALSE(Compile("s = \"" + std::string(65534, 'a') + "\"\n").Failed);
  EXPECT_EQ(Refusal("s = \"" + std::string(65535, 'a') + "\"\n").Message, "string too long (at most 65534 bytes)");
  EXPECT_EQ(Refusal("s = [[" + std::string(65535, 'a') + "]]\n").Message, "string too long (at most 65534 bytes)");
  EXPECT_EQ(Refusal(std::string(65535, 'a') + " = 1\n").Message, "name too long (at most 65534 bytes)");

  // The loader takes at most 64 KiB of code per function.
  std::string big;
  for (int i = 0; i < 17000; ++i) big += "x = y\n";
  EXPECT_EQ(Refusal(big).Message, "function too long (more than 64 KiB of code)");

  // Nesting deep enough to exhaust the stack is an error, not a crash.
  EXPECT_EQ(Refusal("x = " + std::string(100000, '(') + "1").Message, "chunk has too many syntax levels");
  EXPECT_TRUE(Compile(std::string(100000, '{')).Failed);
}

TEST(LuaCompilerTest, ChunkLoadsWithTheOptionsAsked) {
  TLuaCompileOptions options;
  options.SourceName = "walk.lua";
  options.FloatSize = 4;
  options.MsbFirst = true;
  const TLuaCompiled compiled = CompileLua("speed = 0.5\nfunction walk(x) return x * %speed end\n", options);
  ASSERT_FALSE(compiled.Failed) << compiled.Error.Text();
  TLuaFile file(compiled.Chunk, "walk.lua");
  EXPECT_EQ(file.FloatSize(), 4);
  EXPECT_FALSE(file.LsbFirst());
  EXPECT_EQ(file.Main().Source, "walk.lua");
  ASSERT_EQ(file.Main().Consts.size(), 4u);  // "speed", 0.5, "walk", the function
  EXPECT_EQ(file.Main().Consts[1].Num, 0.5);
  EXPECT_EQ(file.Main().Nested.at(0)->Line, 2);
  EXPECT_EQ(file.Main().Nested.at(0)->Locals.at(0).Name, "x");

  EXPECT_THROW(CompileLua("", {"x.lua", 5}), std::invalid_argument);
}

// Main's code after its two header bytes, compiled without line information.
Bytes PlainCode(const std::string& source) {
  TLuaCompileOptions options;
  options.SourceName = "test.lua";
  options.DebugInfo = false;
  const TLuaCompiled compiled = CompileLua(source, options);
  EXPECT_FALSE(compiled.Failed) << compiled.Error.Text();
  return compiled.Failed ? Bytes{} : MainCode(compiled);
}

std::string Repeat(const std::string& text, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += text;
  return s;
}

TEST(LuaCompilerTest, OperandsTakeTheShortestForm) {
  EXPECT_EQ(PlainCode("x = 0 x = 2 x = 3 x = 255 x = 256 x = 65534 x = 65535"), (Bytes{kOpPushNumber0,
                                                                                       kOpSetGlobal0,
                                                                                       kOpPushNumber0 + 2,
                                                                                       kOpSetGlobal0,
                                                                                       kOpPushNumber,
                                                                                       3,
                                                                                       kOpSetGlobal0,
                                                                                       kOpPushNumber,
                                                                                       255,
                                                                                       kOpSetGlobal0,
                                                                                       kOpPushNumberW,
                                                                                       0x00,
                                                                                       0x01,
                                                                                       kOpSetGlobal0,
                                                                                       kOpPushNumberW,
                                                                                       0xFE,
                                                                                       0xFF,
                                                                                       kOpSetGlobal0,
                                                                                       kOpPushConstant0 + 1,
                                                                                       kOpSetGlobal0,
                                                                                       kOpEndCode}));
  // No folding: a negative number is its positive form and a minus.
  EXPECT_EQ(PlainCode("x = -1"), (Bytes{kOpPushNumber0 + 1, kOpMinusOp, kOpSetGlobal0, kOpEndCode}));
}

TEST(LuaCompilerTest, JumpsAreSizedForTheFinalCode) {
  // "y = 1" is two bytes, "y = 3" three: then parts of 255 and 256 bytes.
  const Bytes byteJump = PlainCode("if x then " + Repeat("y = 1 ", 126) + "y = 3 end");
  EXPECT_EQ(Bytes(byteJump.begin(), byteJump.begin() + 3), (Bytes{kOpGetGlobal0, kOpIfFJmp, 255}));
  const Bytes wordJump = PlainCode("if x then " + Repeat("y = 1 ", 128) + "end");
  EXPECT_EQ(Bytes(wordJump.begin(), wordJump.begin() + 4), (Bytes{kOpGetGlobal0, kOpIfFJmpW, 0x00, 0x01}));

  // Backward: counted from the end of a two-byte jump; the word form adds its extra byte.
  const Bytes byteUp = PlainCode("repeat " + Repeat("y = 1 ", 126) + "until x");
  EXPECT_EQ(Bytes(byteUp.end() - 4, byteUp.end()), (Bytes{kOpGetGlobal0 + 1, kOpIfFUpJmp, 255, kOpEndCode}));
  const Bytes wordUp = PlainCode("repeat " + Repeat("y = 1 ", 125) + "y = 3 until x");
  EXPECT_EQ(Bytes(wordUp.end() - 5, wordUp.end()), (Bytes{kOpGetGlobal0 + 1, kOpIfFUpJmpW, 0x01, 0x01, kOpEndCode}));
}

TEST(LuaCompilerTest, ControlStructuresHaveTheGameCompilersShape) {
  EXPECT_EQ(PlainCode("if x then y = 1 else y = 2 end"),
            (Bytes{kOpGetGlobal0, kOpIfFJmp, 4, kOpPushNumber0 + 1, kOpSetGlobal0 + 1, kOpJmp, 2, kOpPushNumber0 + 2,
                   kOpSetGlobal0 + 1, kOpEndCode}));
  // An else part without code drops the jump over it.
  EXPECT_EQ(PlainCode("if x then y = 1 else end"),
            (Bytes{kOpGetGlobal0, kOpIfFJmp, 2, kOpPushNumber0 + 1, kOpSetGlobal0 + 1, kOpEndCode}));
  // The condition of a while loop stands behind its body.
  EXPECT_EQ(PlainCode("while x do y = 1 end"),
            (Bytes{kOpJmp, 2, kOpPushNumber0 + 1, kOpSetGlobal0 + 1, kOpGetGlobal0, kOpIfTUpJmp, 5, kOpEndCode}));
  EXPECT_EQ(PlainCode("x = a and b or c"), (Bytes{kOpGetGlobal0 + 1, kOpOnFJmp, 1, kOpGetGlobal0 + 2, kOpOnTJmp, 1,
                                                  kOpGetGlobal0 + 3, kOpSetGlobal0, kOpEndCode}));
}

TEST(LuaCompilerTest, AssignmentsStoreRightToLeft) {
  // constants: t, x
  EXPECT_EQ(PlainCode("t.x = 1"),
            (Bytes{kOpGetGlobal0, kOpPushConstant0 + 1, kOpPushNumber0 + 1, kOpSetTable0, kOpEndCode}));
  // constants: a, t, x; the indexed target is not the first, so settable names the
  // value below it, and the table and key left over are popped at the end.
  EXPECT_EQ(PlainCode("a, t.x = 1, 2"),
            (Bytes{kOpGetGlobal0 + 1, kOpPushConstant0 + 2, kOpPushNumber0 + 1, kOpPushNumber0 + 2, kOpSetTable, 1,
                   kOpSetGlobal0, kOpPop0 + 1, kOpEndCode}));
  // A call fills the missing values; extra values are popped.
  EXPECT_EQ(PlainCode("a, b = f()"),
            (Bytes{kOpGetGlobal0 + 2, kOpCallFunc, 2, 0, kOpSetGlobal0 + 1, kOpSetGlobal0, kOpEndCode}));
  EXPECT_EQ(PlainCode("a = 1, 2"), (Bytes{kOpPushNumber0 + 1, kOpPushNumber0 + 2, kOpPop0, kOpSetGlobal0, kOpEndCode}));
}

TEST(LuaCompilerTest, ConstantsAreReusedAsTheGameCompilerDid) {
  auto consts = [](const std::string& source) {
    const TLuaCompiled compiled = Compile(source);
    EXPECT_FALSE(compiled.Failed) << compiled.Error.Text();
    return TLuaFile(compiled.Chunk, "test.lua").Main().Consts;
  };
  // A number is found again among the last 20 constants only.
  auto window = [&consts](int between) {
    std::string s = "a = 0.5\n";
    for (int i = 0; i < between; ++i) s += "n" + std::to_string(i) + " = 1\n";
    return consts(s + "z = 0.5\n").size() - static_cast<std::size_t>(between);
  };
  EXPECT_EQ(window(18), 3u);  // a, 0.5, z
  EXPECT_EQ(window(19), 4u);  // a, 0.5, z, 0.5

  // A string's one hint moved to the nested function, so main makes it again.
  const TLuaConsts k = consts("s = \"k\"\nfunction f() return \"k\" end\nu = \"k\"\n");
  ASSERT_EQ(k.size(), 6u);  // s, k, f, the function, u, k
  EXPECT_EQ(k[1].Text, "k");
  EXPECT_EQ(k[5].Text, "k");

  // Numbers are read digit by digit, not rounded to the nearest double.
  const TLuaConsts n = consts("a = 0.3\nb = 0.00001\nc = 1e-05\nd = 1e400\n");
  EXPECT_EQ(n[1].Num, 3 * 0.1);
  EXPECT_NE(n[1].Num, 0.3);
  EXPECT_NE(n[3].Num, n[5].Num);
  EXPECT_TRUE(std::isinf(n[7].Num));
  // In single precision 0.30000001 is 0.3.
  TLuaCompileOptions single;
  single.FloatSize = 4;
  const TLuaCompiled f4 = CompileLua("a = 0.3 b = 0.30000001", single);
  EXPECT_EQ(TLuaFile(f4.Chunk, "x").Main().Consts.size(), 3u);
}

TEST(LuaCompilerTest, ClosuresPushTheirUpvaluesInOrderOfUse) {
  const TLuaCompiled compiled = Compile("function f(a, b)\n  return function() return %b + %a + %print end\nend\n");
  ASSERT_FALSE(compiled.Failed);
  const TLuaFile file(compiled.Chunk, "test.lua");
  const TLuaFunction& f = *file.Main().Nested.at(0);
  // "print" (constant 0 of f) was made while the inner function was read; the function is constant 1.
  // After the header and the setlines of lines 1 (the definition) and 2:
  EXPECT_EQ(Bytes(f.Code.begin() + 6, f.Code.end()),
            (Bytes{kOpPushLocal0 + 1, kOpPushLocal0, kOpGetGlobal0, kOpClosure0 + 1, 3, kOpRetCode, 2, kOpEndCode}));
  EXPECT_EQ(f.Code[0], 6);  // two parameters, three upvalues and the function counted above them
  EXPECT_EQ(f.Code[1], 2);
}

TEST(LuaCompilerTest, LocalsListMarksTheEndOfEachBlock) {
  const TLuaCompiled compiled = Compile("function f(a, ...)\n  local b\n  do\n    local c\n  end\nend\nlocal m\n");
  ASSERT_FALSE(compiled.Failed);
  const TLuaFile file(compiled.Chunk, "test.lua");
  const TLuaLocals& locals = file.Main().Nested.at(0)->Locals;
  ASSERT_EQ(locals.size(), 5u);
  const std::pair<const char*, int> expected[] = {{"a", 1}, {"arg", 1}, {"b", 2}, {"c", 4}, {"", 5}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(locals[i].Name, expected[i].first);
    EXPECT_EQ(locals[i].Line, expected[i].second);
  }
  EXPECT_EQ(file.Main().Nested.at(0)->Code[1], 64 + 1);  // one fixed parameter and "..."
  ASSERT_EQ(file.Main().Locals.size(), 1u);              // no end mark at a function's top level
}

TEST(LuaCompilerTest, LexerReadsStringsAndPragmasAsTheGameCompilerDid) {
  auto text = [](const std::string& source) {
    const TLuaCompiled compiled = Compile(source);
    EXPECT_FALSE(compiled.Failed) << compiled.Error.Text();
    return compiled.Failed ? std::string("<failed>") : TLuaFile(compiled.Chunk, "test.lua").Main().Consts.at(1).Text;
  };
  EXPECT_EQ(text("s = \"a\\qb\\065\\n\\\"\""), "aqb065\n\"");
  EXPECT_EQ(text("s = 'a\\\nb'"), "a\nb");
  EXPECT_EQ(text(std::string("s = \"ab\0cd\"", 11)), "ab");
  EXPECT_EQ(text("s = [[\na [[b]] c]]"), "\na [[b]] c");
  // A line starting with '$' is a pragma even inside a long string.
  EXPECT_EQ(text("s = [[a\n$if nil\nskipped\n$end\nb]]"), "a\nb");
  EXPECT_EQ(text("$ifnot nil\ns = 'yes'\n$else\ns = 'no'\n$end\n"), "yes");
  EXPECT_EQ(text("s = 'x'\n$endinput\nthis is not ( Lua"), "x");
}

// The line information follows the token requests of the original's parser.
TEST(LuaCompilerTest, LineInformationFollowsTheTokens) {
  // A statement split over two lines gets a setline inside it; a function's
  // closing line is set in the enclosing function after the store.
  const TLuaCompiled split = Compile("x =\n  y\nfunction f()\nend\n");
  ASSERT_FALSE(split.Failed);
  EXPECT_EQ(MainCode(split), (Bytes{kOpSetLine, 1, kOpGetGlobal0 + 1, kOpSetLine, 2, kOpSetGlobal0, kOpSetLine, 3,
                                    kOpPushConstant0 + 3, kOpSetGlobal0 + 2, kOpSetLine, 4, kOpEndCode}));

  TLuaCompileOptions off;
  off.DebugInfo = false;
  const TLuaCompiled plain = CompileLua("x = 1\n$debug\ny = 2\n", off);
  ASSERT_FALSE(plain.Failed);
  // Info comes on with the token after the pragma: the request that read it
  // past the pragma was checked before it took effect.
  EXPECT_EQ(MainCode(plain), (Bytes{kOpPushNumber0 + 1, kOpSetGlobal0, kOpSetLine, 3, kOpPushNumber0 + 2,
                                    kOpSetGlobal0 + 1, kOpEndCode}));
}

}  // namespace
