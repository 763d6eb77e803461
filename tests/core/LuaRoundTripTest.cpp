// compile -> decompile -> compile gives the same code: the calibration
// chunks and scripts, the demo's script, and seeded random programs.
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "core/common/FileIO.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"
#include "core/lua/LuaOpcodes.h"
#include "samples/LuaChunk.h"

using namespace vld;

namespace {

std::string Decompiled(const Bytes& chunk) {
  std::string text = DumpLuaChunk(chunk, "rt.lua");
  std::string lf;
  lf.reserve(text.size());
  for (char c : text)
    if (c != '\r') lf += c;
  return lf;
}

// One instruction with what it means, not how it is encoded: constants by
// value, jumps by the index of the instruction they reach.
struct TNormal {
  TLuaOpKind Kind;
  int Op = 0;  // binary operators: which one
  int A = 0;
  int B = 0;
  std::string Const;
  const TLuaFunction* Func = nullptr;
};

std::string ConstKey(const TLuaFunction& f, int k) {
  if (k < 0 || static_cast<std::size_t>(k) >= f.Consts.size()) return "<none>";
  const TLuaValue& v = f.Consts[k];
  if (v.Kind == kLuaText) return "s" + v.Text;
  if (v.Kind == kLuaNumber) {
    std::uint64_t bits;
    std::memcpy(&bits, &v.Num, sizeof bits);
    return "n" + std::to_string(bits);
  }
  return "f";
}

std::vector<TNormal> Normalize(const TLuaFunction& f) {
  std::vector<TLuaInstruction> code;
  for (int pc = 2; pc < f.CodeSize;) {
    TLuaInstruction in = DecodeLuaInstruction(f.Code, f.CodeSize, pc);
    if (!in.Group) break;
    pc = in.End();
    if (in.Group->Kind != TLuaOpKind::SetLine) code.push_back(in);
  }
  auto indexOf = [&](int offset) {
    for (std::size_t i = 0; i < code.size(); ++i)
      if (code[i].Offset >= offset) return static_cast<int>(i);
    return static_cast<int>(code.size());
  };
  std::vector<TNormal> out;
  for (const TLuaInstruction& in : code) {
    TNormal n;
    n.Kind = in.Group->Kind;
    n.A = in.A;
    n.B = in.B;
    switch (in.Group->Kind) {
      case TLuaOpKind::PushConstant:
      case TLuaOpKind::GetGlobal:
      case TLuaOpKind::GetDotted:
      case TLuaOpKind::PushSelf:
      case TLuaOpKind::SetGlobal:
        n.Const = ConstKey(f, in.A);
        n.A = 0;
        if (n.Const == "f") n.Func = f.Consts[in.A].Func;
        break;
      case TLuaOpKind::Closure:
        n.Const = ConstKey(f, in.A);
        n.A = 0;
        if (n.Const == "f") n.Func = f.Consts[in.A].Func;
        // A closure of no upvalues pushes the function as its constant does.
        if (in.B == 0) n.Kind = TLuaOpKind::PushConstant;
        break;
      case TLuaOpKind::PushNil:
      case TLuaOpKind::Pop:
        n.A = in.Opcode == kOpPushNil0 ? 0 : in.A;
        break;
      case TLuaOpKind::SetMap:
        n.A = in.Opcode == kOpSetMap0 ? 0 : in.A;
        break;
      case TLuaOpKind::Binary:
        n.Op = in.Opcode;
        break;
      default:
        if (in.IsJump()) n.A = indexOf(in.Target);
    }
    out.push_back(n);
  }
  return out;
}

// Empty when both functions have the same code; else where they part.
std::string Difference(const TLuaFunction& a, const TLuaFunction& b, const std::string& where) {
  if (a.Code.size() < 2 || b.Code.size() < 2) return where + ": no code";
  if (a.Code[0] != b.Code[0])
    return where + ": max stack " + std::to_string(a.Code[0]) + " vs " + std::to_string(b.Code[0]);
  if (a.Code[1] != b.Code[1]) return where + ": parameters differ";
  std::vector<TNormal> x = Normalize(a), y = Normalize(b);
  for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
    const TNormal &p = x[i], &q = y[i];
    if (p.Kind != q.Kind || p.Op != q.Op || p.A != q.A || p.B != q.B || p.Const != q.Const)
      return where + ": instruction " + std::to_string(i) + " differs (kind " + std::to_string(int(p.Kind)) + "/" +
             std::to_string(int(q.Kind)) + ", operands " + std::to_string(p.A) + "," + std::to_string(p.B) + " vs " +
             std::to_string(q.A) + "," + std::to_string(q.B) + ", " + p.Const + " vs " + q.Const + ")";
    if (p.Func && q.Func) {
      std::string d = Difference(*p.Func, *q.Func, where + "/" + std::to_string(i));
      if (!d.empty()) return d;
    }
  }
  if (x.size() != y.size()) return where + ": lengths differ";
  return {};
}

// The original chunk against the one compiled from its decompiled text.
std::string RoundTrip(const Bytes& chunk, std::string* text = nullptr) {
  TLuaFile original(chunk, "rt.lua");
  std::string source = Decompiled(chunk);
  if (text) *text = source;
  TLuaCompileOptions options;
  options.SourceName = "rt.lua";
  options.FloatSize = original.FloatSize();
  options.MsbFirst = !original.LsbFirst();
  TLuaCompiled again = CompileLua(source, options);
  if (again.Failed) return "the decompiled text does not compile: " + again.Error.Text();
  TLuaFile back(again.Chunk, "rt.lua");
  return Difference(original.Main(), back.Main(), "main");
}

const std::filesystem::path kCalibration = VLD_LUA31_DIR;

TEST(LuaRoundTrip, CalibrationChunksDecompileToTheirCode) {
  if (!std::filesystem::is_directory(kCalibration / "chunks"))
    GTEST_SKIP() << "no calibration set at " << kCalibration.string();
  int chunks = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCalibration / "chunks")) {
    std::string text;
    std::string d = RoundTrip(ReadWholeFile(entry.path()), &text);
    EXPECT_EQ(d, "") << entry.path().filename().string();
    EXPECT_EQ(text.find("could not be decompiled"), std::string::npos) << entry.path().filename().string();
    ++chunks;
  }
  EXPECT_GT(chunks, 60);
}

TEST(LuaRoundTrip, CalibrationScriptsCompiledHereRoundTrip) {
  if (!std::filesystem::is_directory(kCalibration / "src"))
    GTEST_SKIP() << "no calibration set at " << kCalibration.string();
  for (const auto& entry : std::filesystem::directory_iterator(kCalibration / "src")) {
    Bytes source = ReadWholeFile(entry.path());
    for (int floatSize : {4, 8}) {
      TLuaCompileOptions options;
      options.FloatSize = floatSize;
      TLuaCompiled compiled = CompileLua(std::string(source.begin(), source.end()), options);
      ASSERT_FALSE(compiled.Failed) << compiled.Error.Text();
      EXPECT_EQ(RoundTrip(compiled.Chunk), "") << entry.path().filename().string() << " float size " << floatSize;
    }
  }
}

TEST(LuaRoundTrip, DemoScriptRoundTrips) {
  // The demo's code is written by hand: a closure of no upvalues and a
  // maximum stack one above the compiler's count. Its text compiles to the
  // same instructions, and that chunk round-trips exactly.
  const Bytes demo = samples::BuildDemoScript();
  TLuaCompiled again = CompileLua(Decompiled(demo));
  ASSERT_FALSE(again.Failed) << again.Error.Text();
  TLuaFile original(demo, "demo.lua"), back(again.Chunk, "demo.lua");
  EXPECT_EQ(Difference(original.Main(), back.Main(), "main"), "main: max stack 6 vs 5");
  EXPECT_EQ(RoundTrip(again.Chunk), "");
}

// ---- Random programs ----

// Source text of a random valid program: every operator, nested control
// flow, constructors, calls, locals, closures with upvalues.
class TProgramGenerator {
 public:
  explicit TProgramGenerator(unsigned seed) : FRng(seed) {}

  std::string Program() {
    FOut.clear();
    FScopes.assign(1, {});
    FFunctionLocals.assign(1, 0);
    FEnclosing.assign(1, {});
    FDepth = 0;
    Block(0, 3 + Pick(6));
    return FOut;
  }

 private:
  int Pick(int n) { return static_cast<int>(FRng() % static_cast<unsigned>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  void Line(int level, const std::string& text) { FOut += std::string(2 * level, ' ') + text + "\n"; }

  std::vector<std::string> Visible() const {
    std::vector<std::string> names;
    for (const auto& scope : FScopes.back().Blocks)
      for (const std::string& n : scope) names.push_back(n);
    return names;
  }

  std::string Global() {
    static const char* const kNames[] = {"g", "h", "tab", "obj", "count", "name", "f", "k"};
    return kNames[Pick(8)];
  }

  std::string Number() {
    switch (Pick(7)) {
      case 0:
        return std::to_string(Pick(3));
      case 1:
        return std::to_string(Pick(300));
      case 2:
        return std::to_string(Pick(100000));
      case 3:
        return std::to_string(Pick(1000)) + "." + std::to_string(Pick(1000));
      case 4:
        return std::to_string(1 + Pick(9)) + "e" + (Chance(50) ? "-" : "") + std::to_string(Pick(120));
      case 5:
        return "0." + std::string(static_cast<std::size_t>(Pick(6)), '0') + std::to_string(1 + Pick(99));
      default:
        return std::to_string(Pick(70000));
    }
  }

  std::string String() {
    static const char* const kPieces[] = {"a",     "key",  " ",    "\\n",  "\\t",  "\\r", "\\\\", "\\\"", "\\a",
                                          "\\065", "\x07", "\x08", "\x0c", "\xe9", "$",   "end",  "x y"};
    std::string s = "\"";
    for (int i = Pick(4); i > 0; --i) s += kPieces[Pick(17)];
    return s + "\"";
  }

  // A local, a global, or (in a value) an upvalue of the enclosing function.
  std::string Var(bool upvalue = false) {
    std::vector<std::string> locals = Visible();
    if (!locals.empty() && Chance(50)) return locals[static_cast<std::size_t>(Pick(static_cast<int>(locals.size())))];
    if (upvalue && FEnclosing.back().size() && Chance(20))
      return "%" + FEnclosing.back()[static_cast<std::size_t>(Pick(static_cast<int>(FEnclosing.back().size())))];
    return Global();
  }

  std::string Prefix(int depth) {
    std::string v = Var();
    for (int i = Pick(3); i > 0 && depth > 0; --i) {
      switch (Pick(3)) {
        case 0:
          v += "." + Global();
          break;
        case 1:
          v += "[" + Expr(depth - 1) + "]";
          break;
        default:
          v += "(" + Args(depth - 1) + ")";
      }
    }
    return v;
  }

  std::string Args(int depth) {
    std::string a;
    for (int i = Pick(4); i > 0; --i) a += (a.empty() ? "" : ", ") + Expr(depth);
    return a;
  }

  std::string Constructor(int depth) {
    std::string list, records;
    // Now and then enough items for a flush: 64 list items, 32 pairs.
    int items = Chance(3) ? 60 + Pick(80) : Pick(4);
    for (int i = 0; i < items; ++i) list += (i ? ", " : "") + (depth > 0 && items < 5 ? Expr(depth - 1) : Number());
    int pairs = Chance(3) ? 30 + Pick(10) : Pick(3);
    for (int i = 0; i < pairs; ++i) {
      std::string key = Chance(50) ? Global() + std::to_string(i) : "[" + (Chance(50) ? String() : Number()) + "]";
      records += (i ? ", " : "") + key + " = " + (depth > 0 && pairs < 5 ? Expr(depth - 1) : String());
    }
    if (list.empty() || records.empty()) return "{" + list + records + "}";
    return Chance(50) ? "{" + list + "; " + records + "}" : "{" + records + "; " + list + "}";
  }

  std::string Expr(int depth) {
    static const char* const kBinary[] = {"==", "~=", "<", "<=", ">", ">=", "+", "-", "*", "/", "^", "..", "and", "or"};
    if (depth <= 0) {
      switch (Pick(5)) {
        case 0:
          return Number();
        case 1:
          return String();
        case 2:
          return "nil";
        default:
          return Var(true);
      }
    }
    switch (Pick(10)) {
      case 0:
      case 1:
      case 2:
        return Expr(depth - 1) + " " + kBinary[Pick(14)] + " " + Expr(depth - 1);
      case 3:
        return "(" + Expr(depth - 1) + ")";
      case 4:
        return (Chance(50) ? "- " : "not ") + Expr(depth - 1);
      case 5:
        return Prefix(depth - 1) + "(" + Args(depth - 1) + ")";
      case 6:
        return Constructor(depth - 1);
      case 7:
        return Chance(30) && FDepth < 4 ? Function(depth) : Prefix(depth - 1);
      case 8:
        return Var() + ":" + Global() + "(" + Args(depth - 1) + ")";
      default:
        return Expr(0);
    }
  }

  std::string Function(int level) {
    std::vector<std::string> params;
    for (int i = Pick(4); i > 0; --i) params.push_back("p" + std::to_string(FDepth) + "_" + std::to_string(i));
    bool varargs = Chance(20);
    std::string head = "function(";
    for (std::size_t i = 0; i < params.size(); ++i) head += (i ? ", " : "") + params[i];
    if (varargs) head += params.empty() ? "..." : ", ...";
    head += ")\n";
    // Upvalues: the enclosing function's visible locals and a few globals.
    std::vector<std::string> upvalues = Visible();
    if (upvalues.size() > 6) upvalues.resize(6);
    upvalues.push_back(Global());
    std::string saved = std::move(FOut);
    FOut.clear();
    ++FDepth;
    FScopes.push_back({});
    FScopes.back().Blocks.push_back(params);
    if (varargs) FScopes.back().Blocks.back().push_back("arg");
    FFunctionLocals.push_back(static_cast<int>(FScopes.back().Blocks.back().size()));
    FEnclosing.push_back(upvalues);
    Block(level + 1, 1 + Pick(4));
    FEnclosing.pop_back();
    FFunctionLocals.pop_back();
    FScopes.pop_back();
    --FDepth;
    std::string body = std::move(FOut);
    FOut = std::move(saved);
    return head + body + std::string(2 * level, ' ') + "end";
  }

  void Block(int level, int statements) {
    FScopes.back().Blocks.emplace_back();
    for (int i = 0; i < statements; ++i) Statement(level);
    if (Chance(15)) Line(level, "return " + Args(2));
    int declared = static_cast<int>(FScopes.back().Blocks.back().size());
    FScopes.back().Blocks.pop_back();
    FFunctionLocals.back() -= declared;
  }

  void Statement(int level) {
    const int depth = 2;
    int nesting = level < 5 ? 8 : 4;
    switch (Pick(nesting + 6)) {
      case 0:
      case 1: {
        int targets = 1 + (Chance(30) ? Pick(3) : 0);
        std::string lhs, rhs;
        for (int t = 0; t < targets; ++t) {
          std::string v = Var();
          if (Chance(30)) v = Prefix(1) + (Chance(50) ? "." + Global() : "[" + Expr(1) + "]");
          if (v.back() == ')') v = Global();
          lhs += (t ? ", " : "") + v;
        }
        for (int e = 1 + Pick(targets + 1); e > 0; --e) rhs += (rhs.empty() ? "" : ", ") + Expr(depth);
        Line(level, lhs + " = " + rhs);
        break;
      }
      case 2: {
        if (FFunctionLocals.back() > 24) break;
        std::vector<std::string>& scope = FScopes.back().Blocks.back();
        int names = 1 + Pick(3);
        std::string decl = "local ";
        std::vector<std::string> added;
        for (int n = 0; n < names; ++n) {
          added.push_back("l" + std::to_string(FDepth) + "_" + std::to_string(FSerial++));
          decl += (n ? ", " : "") + added.back();
        }
        if (Chance(80)) {
          decl += " = ";
          for (int e = 1 + Pick(names + 1); e > 0; --e) decl += Expr(depth) + (e > 1 ? ", " : "");
        }
        Line(level, decl);
        for (auto& n : added) scope.push_back(n);
        FFunctionLocals.back() += names;
        break;
      }
      case 3:
        Line(level, Prefix(1) + "(" + Args(depth) + ")");
        break;
      case 4:
        Line(level, Var() + ":" + Global() + "(" + Args(depth) + ")");
        break;
      case 5:
        if (FDepth < 4) {
          std::string name = Global();
          switch (Pick(3)) {
            case 0:
              Line(level, "function " + name + Function(level).substr(8));
              break;
            case 1:
              Line(level, "function " + name + "." + Global() + Function(level).substr(8));
              break;
            default:
              Line(level, "function " + name + ":" + Global() + Function(level).substr(8));
          }
        }
        break;
      case 6:
      case 7: {
        Line(level, "if " + Expr(depth) + " then");
        Block(level + 1, Pick(3));
        for (int e = Pick(3); e > 0; --e) {
          Line(level, "elseif " + Expr(depth) + " then");
          Block(level + 1, Pick(3));
        }
        if (Chance(50)) {
          Line(level, "else");
          Block(level + 1, Pick(3));
        }
        Line(level, "end");
        break;
      }
      case 8:
        Line(level, "while " + Expr(depth) + " do");
        Block(level + 1, Pick(3));
        Line(level, "end");
        break;
      case 9:
        Line(level, "repeat");
        Block(level + 1, Pick(3));
        Line(level, "until " + Expr(depth));
        break;
      case 10:
        Line(level, "do");
        Block(level + 1, 1 + Pick(3));
        Line(level, "end");
        break;
      default:
        Line(level, Global() + " = " + Expr(depth + 1));
    }
  }

  struct TFunctionScope {
    std::vector<std::vector<std::string>> Blocks;
  };

  std::mt19937 FRng;
  std::string FOut;
  std::vector<TFunctionScope> FScopes;
  std::vector<int> FFunctionLocals;
  std::vector<std::vector<std::string>> FEnclosing;
  int FDepth = 0;
  int FSerial = 0;
};

// Compiles the programs of seeds first..last and round-trips each.
void RoundTripsSeeds(int first, int last) {
  int compiled = 0, failures = 0;
  for (int seed = first; seed <= last; ++seed) {
    TProgramGenerator generator(static_cast<unsigned>(seed));
    std::string source = generator.Program();
    TLuaCompileOptions options;
    options.FloatSize = seed % 4 == 0 ? 4 : 8;
    options.DebugInfo = seed % 3 != 0;
    TLuaCompiled once = CompileLua(source, options);
    if (once.Failed) continue;  // a limit of the format: too deep, too many values
    ++compiled;
    std::string text;
    std::string d = RoundTrip(once.Chunk, &text);
    if (!d.empty() && ++failures <= 5)
      ADD_FAILURE() << "seed " << seed << ": " << d << "\n" << source << "\n---\n" << text;
  }
  EXPECT_EQ(failures, 0);
  // The generator writes valid programs: nearly all compile.
  EXPECT_GT(compiled, (last - first + 1) * 9 / 10);
}

#if defined(__SANITIZE_ADDRESS__)
// A sanitizer build runs these some 30 times slower: it looks for memory
// faults, which a few hundred programs of each test reach as well.
constexpr int kSeedsLast = 500;
constexpr int kMoreSeedsLast = 2300;
#else
constexpr int kSeedsLast = 2000;
constexpr int kMoreSeedsLast = 8000;
#endif

TEST(LuaRoundTrip, RandomProgramsRoundTrip) { RoundTripsSeeds(1, kSeedsLast); }

// Rarer shapes turn up once in a few thousand programs (a local not yet read
// when a block with locals of its own ends showed first at seed 4105). A test
// of its own, so that the two run side by side.
TEST(LuaRoundTrip, MoreRandomProgramsRoundTrip) { RoundTripsSeeds(2001, kMoreSeedsLast); }

}  // namespace
