#include <gtest/gtest.h>

#include <algorithm>
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
