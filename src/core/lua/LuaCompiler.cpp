#include "core/lua/LuaCompiler.h"

#include <array>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "core/lua/LuaChunkWriter.h"
#include "core/lua/LuaLexer.h"
#include "core/lua/LuaOpcodes.h"

namespace vld {

namespace {

// Limits of the game's compiler; a script past them is refused as it refused it.
constexpr int kMaxLocals = 32;       // active locals of one function, parameters included
constexpr int kMaxUpvalues = 16;     // of one function
constexpr int kMaxTargets = 32;      // variables on the left of one assignment
constexpr int kMaxNesting = 5;       // function levels below the main chunk
constexpr int kMaxStack = 255;       // the maximum stack is stored in one byte
constexpr int kMaxWord = 65534;      // largest word operand
constexpr int kMaxCodeSize = 65536;  // the loader refuses longer code
// Parser recursion (nested expressions, blocks, constructors): far deeper than
// any script needs, and well inside the thread's stack.
constexpr int kMaxDepth = 200;

constexpr int kRecentNumbers = 20;  // a number constant is reused from the last 20 constants
constexpr int kListPerFlush = 64;
constexpr int kPairsPerFlush = 32;
constexpr int kMultRet = 255;    // a call that keeps all its results
constexpr int kVarargFlag = 64;  // added to the parameter byte for "..."
constexpr int kJumpSize = 2;     // a jump as first reserved: opcode and byte

// The encodings of one operation: short forms carry the operand in the opcode,
// then a byte form, and a word form where the format has one. Derived from the
// opcode table, so that no opcode value is written twice.
struct TOpForms {
  int Shorts = 0;       // number of short forms
  int ShortFirst = -1;  // opcode of the short form for 0
  int Word = -1;        // opcode of the word form; -1: none
};

TOpForms FormsOf(TLuaOpcode byteForm) {
  static const std::array<TOpForms, 256> table = [] {
    std::array<TOpForms, 256> t{};
    for (int op = 0; op <= kOpLastValid; ++op) {
      const TLuaOpGroup* self = LuaOpGroupOf(static_cast<std::uint8_t>(op));
      if (!self || self->First != op) continue;
      TOpForms& f = t[static_cast<std::size_t>(op)];
      int next = self->Last + 1;
      const TLuaOpGroup* g = next <= kOpLastValid ? LuaOpGroupOf(static_cast<std::uint8_t>(next)) : nullptr;
      if (g && g->Kind == self->Kind && g->Form != TLuaOperandForm::Word && g->Form != TLuaOperandForm::WordConst &&
          g->Form != TLuaOperandForm::JumpWord && g->Form != TLuaOperandForm::UpJumpWord &&
          g->Form != TLuaOperandForm::SetListW) {
        f.ShortFirst = g->First;
        f.Shorts = g->Last - g->First + 1;
        next = g->Last + 1;
        g = next <= kOpLastValid ? LuaOpGroupOf(static_cast<std::uint8_t>(next)) : nullptr;
      }
      if (g && g->Kind == self->Kind) f.Word = g->First;
    }
    return t;
  }();
  return table[byteForm];
}

struct TVar {
  enum class TKind { Global, Local, Indexed, Dotted };
  TKind Kind = TKind::Global;
  int Index = 0;  // Global, Dotted: name constant; Local: slot

  bool operator==(const TVar&) const = default;
};

// A call whose result count is decided by what follows it.
struct TOpenCall {
  int Pos = -1;  // code offset of the call; -1: no open call
  int Args = 0;
};

// What an expression list leaves: values before its last one, and the last
// one's open call.
struct TExpList {
  int Before = 0;
  TOpenCall Last;
  bool Empty = false;
};

// What a primary expression is once parsed: a variable not yet read, a value
// on the stack, or an open call.
struct TPrimary {
  enum class TKind { Var, Value, Call };
  TKind Kind = TKind::Value;
  TVar Var;
  TOpenCall Call;
};

struct TFuncState {
  std::unique_ptr<TLuaProto> Proto = std::make_unique<TLuaProto>();
  int Stack = 0;
  int MaxStack = 0;
  int NLocals = 0;
  std::array<std::string, kMaxLocals> LocalNames;
  int NUpvalues = 0;
  std::array<TVar, kMaxUpvalues> Upvalues;  // as the enclosing function sees them
  int LastSetLine = 0;
};

class TLuaParser {
 public:
  TLuaParser(std::string_view source, const TLuaCompileOptions& options)
      : FOptions(options), FLex(source, options.SourceName, options.DebugInfo, options.FloatSize == 4) {}

  std::unique_ptr<TLuaProto> Compile() {
    OpenFunction(0);
    Chunk();
    if (Peek().Kind != TLuaTok::Eos) SyntaxError("'<eof>' expected");
    return CloseFunction();
  }

 private:
  // ---- tokens ----

  // Reads the next token. Before each read the line of the previous token is
  // set in the code when it differs from the last one set: this is what places
  // the line information of the game's compiler, lookahead included.
  const TLuaToken& Peek() {
    if (!FHave) {
      if (FLex.Debug()) CodeLine(FPrevLine);
      FTok = FLex.Lex();
      FPrevLine = FTok.Line;
      FHave = true;
    }
    return FTok;
  }
  void Consume() {
    Peek();
    std::swap(FLastSource, FTok.Source);  // for messages; the token itself is done with
    FHave = false;
  }
  bool IsChar(int c) { return Peek().Kind == TLuaTok::Char && FTok.Ch == c; }
  void ExpectChar(int c) {
    if (!IsChar(c)) SyntaxError(std::string("'") + static_cast<char>(c) + "' expected");
    Consume();
  }
  void Expect(TLuaTok kind, const char* text) {
    if (Peek().Kind != kind) SyntaxError(std::string("'") + text + "' expected");
    Consume();
  }
  std::string ExpectName() {
    if (Peek().Kind != TLuaTok::Name) SyntaxError("name expected");
    std::string name = FTok.Text;
    Consume();
    return name;
  }

  [[noreturn]] void SyntaxError(const std::string& message) { FLex.Error(message, FHave ? FTok.Source : FLastSource); }
  [[noreturn]] void Error(const std::string& message) { SyntaxError(message); }

  struct TDepth {
    explicit TDepth(TLuaParser& p) : P(p) {
      if (++P.FDepth > kMaxDepth) P.Error("chunk has too many syntax levels");
    }
    ~TDepth() { --P.FDepth; }
    TLuaParser& P;
  };

  // ---- code ----

  TFuncState& Fs() { return *FStates.back(); }
  Bytes& Code() { return Fs().Proto->Code; }
  int Pc() { return static_cast<int>(Code().size()); }

  void Delta(int d) {
    TFuncState& fs = Fs();
    fs.Stack += d;
    if (fs.Stack > fs.MaxStack) {
      if (fs.Stack > kMaxStack) Error("function or expression too complex (more than 255 stack values)");
      fs.MaxStack = fs.Stack;
    }
  }

  void Byte(int b) { Code().push_back(static_cast<std::uint8_t>(b)); }

  // Writes an operation in its shortest form at pos (appending when pos is the
  // end); returns the number of bytes written.
  int PutOp(Bytes& code, int pos, TLuaOpcode op, int arg, const char* tooBig) {
    const TOpForms f = FormsOf(op);
    std::uint8_t bytes[3];
    int n;
    if (arg < f.Shorts) {
      bytes[0] = static_cast<std::uint8_t>(f.ShortFirst + arg);
      n = 1;
    } else if (arg <= 255) {
      bytes[0] = op;
      bytes[1] = static_cast<std::uint8_t>(arg);
      n = 2;
    } else if (arg <= kMaxWord && f.Word >= 0) {
      bytes[0] = static_cast<std::uint8_t>(f.Word);
      bytes[1] = static_cast<std::uint8_t>(arg);
      bytes[2] = static_cast<std::uint8_t>(arg >> 8);
      n = 3;
    } else {
      Error(tooBig);
    }
    code.insert(code.begin() + pos, bytes, bytes + n);
    return n;
  }

  void Op(TLuaOpcode op, int arg, int delta, const char* tooBig = "code size overflow") {
    Delta(delta);
    PutOp(Code(), Pc(), op, arg, tooBig);
  }

  // Rewrites the two bytes reserved at pos as op with arg, closing or opening
  // a byte when the shortest form is shorter or longer; returns the change in size.
  int FixOp(int pos, TLuaOpcode op, int arg, const char* tooBig) {
    Bytes& code = Code();
    code.erase(code.begin() + pos, code.begin() + pos + kJumpSize);
    return PutOp(code, pos, op, arg, tooBig) - kJumpSize;
  }

  int Reserve() {
    const int pos = Pc();
    Byte(0);
    Byte(0);
    return pos;
  }

  // A forward jump reserved at pos, to target (an offset in the code before the fix).
  int FixJump(int pos, TLuaOpcode op, int target) {
    return FixOp(pos, op, target - (pos + kJumpSize), "control structure too long");
  }

  // A backward jump appended here, to pos.
  void UpJump(TLuaOpcode op, int pos) {
    int delta = Pc() + kJumpSize - pos;
    if (delta > 255) ++delta;  // the word form is one byte longer
    Op(op, delta, 0, "control structure too long");
  }

  void CodeLine(int line) {
    TFuncState& fs = Fs();
    if (line == fs.LastSetLine) return;
    Op(kOpSetLine, line, 0, "line number too large for line information");
    fs.LastSetLine = line;
  }

  // ---- constants ----

  int NewConstant(TLuaProto::TConst c) { return NewConstant(Fs(), std::move(c)); }
  int NewConstant(TFuncState& fs, TLuaProto::TConst c) {
    auto& consts = fs.Proto->Consts;
    if (consts.size() > static_cast<std::size_t>(kMaxWord)) Error("too many constants in one function");
    consts.push_back(std::move(c));
    return static_cast<int>(consts.size()) - 1;
  }

  int NumberConstant(double value) {
    const auto& consts = Fs().Proto->Consts;
    const int n = static_cast<int>(consts.size());
    for (int c = n - 1; c >= 0 && c >= n - kRecentNumbers; --c)
      if (consts[c].Kind == TLuaProto::TConst::TKind::Number && consts[c].Number == value) return c;
    TLuaProto::TConst k;
    k.Number = value;
    return NewConstant(std::move(k));
  }

  // One reuse hint per string for the whole compilation: the index of its
  // last constant, in whichever function that was made.
  int StringConstant(const std::string& text) { return StringConstant(text, Fs()); }
  int StringConstant(const std::string& text, TFuncState& fs) {
    const auto& consts = fs.Proto->Consts;
    auto hint = FStringHints.find(text);
    if (hint != FStringHints.end()) {
      const auto c = static_cast<std::size_t>(hint->second);
      if (c < consts.size() && consts[c].Kind == TLuaProto::TConst::TKind::String && consts[c].Text == text)
        return hint->second;
    }
    TLuaProto::TConst k;
    k.Kind = TLuaProto::TConst::TKind::String;
    k.Text = text;
    const int c = NewConstant(fs, std::move(k));
    FStringHints[text] = c;
    return c;
  }

  void PushConstant(int k) { Op(kOpPushConstant, k, 1, "too many constants in one function"); }

  void CodeNumber(double f) {
    if (f >= 0 && f <= kMaxWord && static_cast<double>(static_cast<int>(f)) == f)
      Op(kOpPushNumber, static_cast<int>(f), 1);
    else
      PushConstant(NumberConstant(f));
  }

  // ---- variables ----

  static int LocalIndex(const TFuncState& fs, const std::string& name) {
    for (int i = fs.NLocals - 1; i >= 0; --i)
      if (fs.LocalNames[static_cast<std::size_t>(i)] == name) return i;
    return -1;
  }

  TVar SingleVar(const std::string& name, std::size_t level) {
    const int i = LocalIndex(*FStates[level], name);
    if (i >= 0) return {TVar::TKind::Local, i};
    for (std::size_t l = 0; l < level; ++l)
      if (LocalIndex(*FStates[l], name) >= 0)
        Error("cannot access a local of an enclosing function (use %" + name + ")");
    return {TVar::TKind::Global, StringConstant(name, *FStates[level])};
  }

  void PushVar(const TVar& v) {
    switch (v.Kind) {
      case TVar::TKind::Global:
        Op(kOpGetGlobal, v.Index, 1, "too many constants in one function");
        break;
      case TVar::TKind::Local:
        Op(kOpPushLocal, v.Index, 1);
        break;
      case TVar::TKind::Dotted:
        Op(kOpGetDotted, v.Index, 0, "too many constants in one function");
        break;
      case TVar::TKind::Indexed:
        Delta(-1);
        Byte(kOpGetTable);
        break;
    }
  }

  // A dotted target pushes its name; it is stored like any indexed one.
  TVar ToStore(const TVar& v) {
    if (v.Kind != TVar::TKind::Dotted) return v;
    PushConstant(v.Index);
    return {TVar::TKind::Indexed, 0};
  }

  void StoreVar(const TVar& v) {
    switch (v.Kind) {
      case TVar::TKind::Global:
        Op(kOpSetGlobal, v.Index, -1, "too many constants in one function");
        break;
      case TVar::TKind::Local:
        Op(kOpSetLocal, v.Index, -1);
        break;
      default:
        Delta(-3);
        Byte(kOpSetTable0);
        break;
    }
  }

  void PushUpvalue(const std::string& name) {
    if (FStates.size() < 2) Error("upvalues are not allowed in the main chunk");
    const TVar v = SingleVar(name, FStates.size() - 2);
    TFuncState& fs = Fs();
    int i = 0;
    while (i < fs.NUpvalues && !(fs.Upvalues[static_cast<std::size_t>(i)] == v)) ++i;
    if (i == fs.NUpvalues) {
      if (fs.NUpvalues == kMaxUpvalues) Error("too many upvalues in one function (at most 16)");
      fs.Upvalues[static_cast<std::size_t>(fs.NUpvalues++)] = v;
    }
    Op(kOpPushUpvalue, i, 1);
  }

  void RegisterLocal(const std::string& name, bool named, int line) {
    TLuaProto& p = *Fs().Proto;
    if (p.HasLocals) p.Locals.push_back({name, named, line});
  }

  void StoreLocal(const std::string& name, int n) {
    TFuncState& fs = Fs();
    if (fs.NLocals + n >= kMaxLocals) Error("too many local variables (at most 32)");
    fs.LocalNames[static_cast<std::size_t>(fs.NLocals + n)] = name;
    RegisterLocal(name, true, FLex.LineNumber());
  }

  void AddLocal(const std::string& name) {
    StoreLocal(name, 0);
    ++Fs().NLocals;
  }

  // Brings the stack to the locals plus n values.
  void AdjustStack(int n) {
    const int diff = Fs().NLocals + n - Fs().Stack;
    if (diff > 0)
      Op(kOpPushNil, diff - 1, diff);
    else if (diff < 0)
      Op(kOpPop, -diff - 1, diff);
  }

  // ---- calls ----

  // Decides how many results an open call keeps; returns the values it leaves.
  int FixCall(const TOpenCall& call, int results) {
    Bytes& code = Code();
    code.erase(code.begin() + call.Pos, code.begin() + call.Pos + 3);
    const int n = PutOp(code, call.Pos, kOpCallFunc, results, "code size overflow");
    code.insert(code.begin() + call.Pos + n, static_cast<std::uint8_t>(call.Args));
    if (results != kMultRet) Delta(results);
    Delta(-(call.Args + 1));
    return results;
  }

  void AdjustOne(const TOpenCall& call) {
    if (call.Pos >= 0) FixCall(call, 1);
  }

  // Returns the number of values the list leaves.
  int AdjustList(const TExpList& list, int results) {
    if (list.Empty) return 0;
    if (list.Last.Pos < 0) return list.Before + 1;
    return list.Before + FixCall(list.Last, results);
  }

  // Fits a value list to vars values; `target` is the stack wanted when the
  // list is too long or too short and no call can make up for it.
  void AdjustAssign(int vars, const TExpList& list, int target) {
    if (!list.Empty && list.Last.Pos >= 0) {
      const int diff = list.Before - vars;
      if (diff < 0) {
        FixCall(list.Last, -diff);
      } else {
        FixCall(list.Last, 0);
        AdjustStack(target - Fs().NLocals);
      }
    } else if (vars != (list.Empty ? 0 : list.Before + 1)) {
      AdjustStack(target - Fs().NLocals);
    }
  }

  TOpenCall FuncArgs(int selfArgs) {
    int args;
    const TLuaToken& t = Peek();
    if (t.Kind == TLuaTok::String) {
      const std::string text = t.Text;
      Consume();
      PushConstant(StringConstant(text));
      args = 1;
    } else if (IsChar('{')) {
      Table();
      args = 1;
    } else {
      ExpectChar('(');
      const TExpList list = IsChar(')') ? TExpList{0, {}, true} : ExprList();
      ExpectChar(')');
      args = AdjustList(list, 1);
    }
    TOpenCall call{Pc(), selfArgs + args};
    Byte(kOpCallFunc);
    Byte(0);
    Byte(call.Args);
    return call;
  }

  // ---- functions ----

  void OpenFunction(int line) {
    if (FStates.size() > kMaxNesting) Error("too many nested functions (at most 5 levels)");
    auto fs = std::make_unique<TFuncState>();
    fs->Proto->Source = FOptions.SourceName;
    fs->Proto->HasLocals = FLex.Debug();
    fs->Proto->Line = line;
    fs->Proto->Code = {0, 0};
    FStates.push_back(std::move(fs));
    if (line > 0 && FLex.Debug()) CodeLine(line);
  }

  std::unique_ptr<TLuaProto> CloseFunction() {
    Byte(kOpEndCode);
    TFuncState& fs = Fs();
    fs.Proto->Code[0] = static_cast<std::uint8_t>(fs.MaxStack);
    if (fs.Proto->Code.size() > static_cast<std::size_t>(kMaxCodeSize))
      Error("function too long (more than 64 KiB of code)");
    if (fs.Proto->Locals.size() > 0xFFFF) Error("too many local variables in one function");
    std::unique_ptr<TLuaProto> proto = std::move(fs.Proto);
    FClosedUpvalues.assign(fs.Upvalues.begin(), fs.Upvalues.begin() + fs.NUpvalues);
    FStates.pop_back();
    return proto;
  }

  // The function just closed, as a value of the enclosing function: its
  // constant, or its upvalues' values and a closure of them.
  void FunctionValue(std::unique_ptr<TLuaProto> proto) {
    const std::vector<TVar> upvalues = FClosedUpvalues;
    TLuaProto& p = *Fs().Proto;
    TLuaProto::TConst k;
    k.Kind = TLuaProto::TConst::TKind::Function;
    k.Nested = static_cast<int>(p.Nested.size());
    p.Nested.push_back(std::move(proto));
    const int c = NewConstant(std::move(k));
    if (upvalues.empty()) {
      PushConstant(c);
      return;
    }
    for (const TVar& v : upvalues) PushVar(v);
    const int n = static_cast<int>(upvalues.size());
    Delta(1);  // counted as if the function were pushed above its upvalues
    Delta(-n);
    if (c > 255) Error("too many constants before a function with upvalues (at most 256)");
    Op(kOpClosure, c, 0);
    Byte(n);
  }

  void ParList() {
    int n = 0;
    bool dots = false;
    if (Peek().Kind == TLuaTok::Dots) {
      Consume();
      dots = true;
    } else if (FTok.Kind == TLuaTok::Name) {
      for (;;) {
        StoreLocal(ExpectName(), n++);
        if (!IsChar(',')) break;
        Consume();
        if (Peek().Kind == TLuaTok::Dots) {
          Consume();
          dots = true;
          break;
        }
      }
    }
    TFuncState& fs = Fs();
    fs.NLocals += n;
    const int params = fs.NLocals;
    if (!dots) {
      fs.Proto->Code[1] = static_cast<std::uint8_t>(params);
      Delta(params);
    } else {
      fs.Proto->Code[1] = static_cast<std::uint8_t>(params + kVarargFlag);
      Delta(params + 1);
      AddLocal("arg");
    }
  }

  // '(' parameters ')' chunk 'end', in the function just opened.
  std::unique_ptr<TLuaProto> Body() {
    ExpectChar('(');
    ParList();
    ExpectChar(')');
    Chunk();
    Expect(TLuaTok::End, "end");
    return CloseFunction();
  }

  // ---- statements ----

  static bool BlockFollow(const TLuaToken& t) {
    switch (t.Kind) {
      case TLuaTok::Eos:
      case TLuaTok::End:
      case TLuaTok::Else:
      case TLuaTok::Elseif:
      case TLuaTok::Until:
        return true;
      default:
        return false;
    }
  }

  void Chunk() {
    TDepth depth(*this);
    for (;;) {
      const TLuaToken& t = Peek();
      if (t.Kind == TLuaTok::Return) {
        ReturnStat();
        return;
      }
      if (BlockFollow(t)) return;
      Statement();
      if (IsChar(';')) Consume();
    }
  }

  void Block() {
    const int base = Fs().NLocals;
    Chunk();
    TFuncState& fs = Fs();
    if (fs.NLocals != base) {
      for (; fs.NLocals > base; --fs.NLocals) RegisterLocal({}, false, FLex.LineNumber());
      AdjustStack(0);
    }
  }

  void ReturnStat() {
    Consume();
    TExpList list{0, {}, true};
    if (!BlockFollow(Peek()) && !IsChar(';')) list = ExprList();
    if (IsChar(';')) Consume();
    AdjustList(list, kMultRet);
    Op(kOpRetCode, Fs().NLocals, 0);
    Fs().Stack = Fs().NLocals;
    if (!BlockFollow(Peek())) SyntaxError("return must be the last statement of its block");
  }

  void Statement() {
    switch (Peek().Kind) {
      case TLuaTok::If:
        IfStat();
        return;
      case TLuaTok::While:
        WhileStat();
        return;
      case TLuaTok::Do:
        Consume();
        Block();
        Expect(TLuaTok::End, "end");
        return;
      case TLuaTok::Repeat: {
        Consume();
        const int start = Pc();
        Block();
        Expect(TLuaTok::Until, "until");
        Expr1();
        UpJump(kOpIfFUpJmp, start);
        Delta(-1);
        return;
      }
      case TLuaTok::Function:
        FunctionStat();
        return;
      case TLuaTok::Local:
        LocalStat();
        return;
      case TLuaTok::Name:
        ExprStat();
        return;
      default:
        if (IsChar('%')) {
          ExprStat();
          return;
        }
        SyntaxError("unexpected symbol");
    }
  }

  void CodeIf(int thenJump, int elseJump) {
    int elseStart = elseJump + kJumpSize;
    if (Pc() == elseStart) {  // no else part: the jump over it goes
      Code().resize(static_cast<std::size_t>(elseJump));
      elseStart = Pc();
    } else {
      elseStart += FixJump(elseJump, kOpJmp, Pc());
    }
    FixJump(thenJump, kOpIfFJmp, elseStart);
  }

  // An 'elseif' is an 'if' nested in the else part; its jumps are fixed
  // first, innermost first, when the whole chain has been read.
  void IfStat() {
    Consume();
    std::vector<std::pair<int, int>> jumps;  // then and else jump of each condition
    for (;;) {
      Expr1();
      Expect(TLuaTok::Then, "then");
      const int thenJump = Reserve();
      Delta(-1);
      Block();
      jumps.emplace_back(thenJump, Reserve());
      if (Peek().Kind == TLuaTok::Elseif) {
        Consume();
        continue;
      }
      if (FTok.Kind == TLuaTok::Else) {
        Consume();
        Block();
      }
      break;
    }
    for (auto j = jumps.rbegin(); j != jumps.rend(); ++j) CodeIf(j->first, j->second);
    Expect(TLuaTok::End, "end");
  }

  // The condition is compiled first and moved behind the body, which a jump
  // at the top skips to reach it.
  void WhileStat() {
    Consume();
    const int start = Pc();
    Expr1();
    Expect(TLuaTok::Do, "do");
    const int condEnd = Reserve();
    Delta(-1);
    Block();
    Expect(TLuaTok::End, "end");
    Bytes& code = Code();
    const Bytes cond(code.begin() + start, code.begin() + condEnd);
    code.erase(code.begin() + start, code.begin() + condEnd);
    code.insert(code.end(), cond.begin(), cond.end());
    int bodyStart = start + kJumpSize;
    bodyStart += FixJump(start, kOpJmp, Pc() - static_cast<int>(cond.size()));
    UpJump(kOpIfTUpJmp, bodyStart);
  }

  void FunctionStat() {
    Consume();
    TVar v = SingleVar(ExpectName(), FStates.size() - 1);
    bool method = false;
    for (;;) {
      if (IsChar('.')) {
        PushVar(v);
        Consume();
        v = {TVar::TKind::Dotted, StringConstant(ExpectName())};
      } else if (IsChar('[')) {
        PushVar(v);
        Consume();
        Expr1();
        ExpectChar(']');
        v = {TVar::TKind::Indexed, 0};
      } else if (IsChar(':')) {
        PushVar(v);
        Consume();
        PushConstant(StringConstant(ExpectName()));
        v = {TVar::TKind::Indexed, 0};
        method = true;
        break;
      } else {
        break;
      }
    }
    if (!method) {
      Peek();
      v = ToStore(v);
    }
    OpenFunction(FLex.LineNumber());
    if (method) AddLocal("self");
    FunctionValue(Body());
    StoreVar(v);
  }

  void LocalStat() {
    Consume();
    int n = 0;
    StoreLocal(ExpectName(), n++);
    while (IsChar(',')) {
      Consume();
      StoreLocal(ExpectName(), n++);
    }
    TExpList list{0, {}, true};
    if (IsChar('=')) {
      Consume();
      list = ExprList();
    }
    Fs().NLocals += n;
    AdjustAssign(n, list, Fs().NLocals);
  }

  // An assignment or a call.
  void ExprStat() {
    TPrimary p = Primary(true);
    if (p.Kind == TPrimary::TKind::Call) {
      FixCall(p.Call, 0);
      return;
    }
    const bool assigned = IsChar('=') || IsChar(',');
    if (p.Kind == TPrimary::TKind::Value) SyntaxError(assigned ? "cannot assign to an upvalue" : "syntax error");
    if (!assigned) SyntaxError("'=' expected");
    std::vector<TVar> targets{ToStore(p.Var)};
    while (IsChar(',')) {
      Consume();
      TPrimary q = Primary(true);
      if (q.Kind != TPrimary::TKind::Var)
        SyntaxError(q.Kind == TPrimary::TKind::Value ? "cannot assign to an upvalue" : "variable expected");
      if (targets.size() == kMaxTargets) SyntaxError("too many variables in one assignment (at most 32)");
      targets.push_back(ToStore(q.Var));
    }
    ExpectChar('=');
    const TExpList list = ExprList();
    const int vars = static_cast<int>(targets.size());
    int temps = 0;
    for (const TVar& v : targets) temps += v.Kind == TVar::TKind::Indexed ? 2 : 0;
    AdjustAssign(vars, list, Fs().NLocals + temps + vars);
    for (int i = vars - 1; i >= 0; --i) {
      const TVar& v = targets[static_cast<std::size_t>(i)];
      if (v.Kind != TVar::TKind::Indexed) {
        StoreVar(v);
        continue;
      }
      int upper = 0;
      for (int j = i + 1; j < vars; ++j) upper += targets[static_cast<std::size_t>(j)].Kind == TVar::TKind::Indexed;
      const int between = upper * 2 + i;
      if (between == 0)
        StoreVar(v);
      else
        Op(kOpSetTable, between, -1);
    }
    AdjustStack(0);
  }

  // ---- expressions ----

  // A name, an upvalue, and what follows them: indexing, fields, method
  // names and calls. In a statement a variable is read only once it is known
  // not to be assigned, that is after the next token; in an expression at once.
  TPrimary Primary(bool statement) {
    TPrimary p;
    if (!FPendingName.empty() || Peek().Kind == TLuaTok::Name) {
      std::string name;
      if (!FPendingName.empty()) {
        name = std::move(FPendingName);
        FPendingName.clear();
      } else {
        name = ExpectName();
      }
      p.Kind = TPrimary::TKind::Var;
      p.Var = SingleVar(name, FStates.size() - 1);
    } else {
      ExpectChar('%');
      PushUpvalue(ExpectName());
    }
    for (;;) {
      if (!statement && p.Kind == TPrimary::TKind::Var) {
        PushVar(p.Var);
        p.Kind = TPrimary::TKind::Value;
      }
      const TLuaToken& t = Peek();
      const bool call = t.Kind == TLuaTok::String || IsChar('(') || IsChar('{');
      if (!call && !IsChar('[') && !IsChar('.') && !IsChar(':')) return p;
      if (p.Kind == TPrimary::TKind::Var) PushVar(p.Var);
      if (p.Kind == TPrimary::TKind::Call) FixCall(p.Call, 1);
      if (call) {
        p = {TPrimary::TKind::Call, {}, FuncArgs(0)};
      } else if (IsChar('[')) {
        Consume();
        Expr1();
        ExpectChar(']');
        p = {TPrimary::TKind::Var, {TVar::TKind::Indexed, 0}, {}};
      } else if (IsChar('.')) {
        Consume();
        p = {TPrimary::TKind::Var, {TVar::TKind::Dotted, StringConstant(ExpectName())}, {}};
      } else {
        Consume();
        Op(kOpPushSelf, StringConstant(ExpectName()), 1, "too many constants in one function");
        p = {TPrimary::TKind::Call, {}, FuncArgs(1)};
      }
    }
  }

  TExpList ExprList() {
    TExpList list;
    list.Last = Expr();
    while (IsChar(',')) {
      Consume();
      AdjustOne(list.Last);
      ++list.Before;
      list.Last = Expr();
    }
    return list;
  }

  void Expr1() { AdjustOne(Expr()); }

  TOpenCall Expr() { return SubExpr(0); }

  enum class TBinary { None, And, Or, Eq, Ne, Lt, Le, Gt, Ge, Conc, Add, Sub, Mul, Div, Pow };

  static constexpr int kUnaryPriority = 6;

  TBinary BinaryOp() {
    const TLuaToken& t = Peek();
    switch (t.Kind) {
      case TLuaTok::And:
        return TBinary::And;
      case TLuaTok::Or:
        return TBinary::Or;
      case TLuaTok::Eq:
        return TBinary::Eq;
      case TLuaTok::Ne:
        return TBinary::Ne;
      case TLuaTok::Le:
        return TBinary::Le;
      case TLuaTok::Ge:
        return TBinary::Ge;
      case TLuaTok::Conc:
        return TBinary::Conc;
      case TLuaTok::Char:
        switch (t.Ch) {
          case '<':
            return TBinary::Lt;
          case '>':
            return TBinary::Gt;
          case '+':
            return TBinary::Add;
          case '-':
            return TBinary::Sub;
          case '*':
            return TBinary::Mul;
          case '/':
            return TBinary::Div;
          case '^':
            return TBinary::Pow;
          default:
            return TBinary::None;
        }
      default:
        return TBinary::None;
    }
  }

  static int Priority(TBinary op) {
    switch (op) {
      case TBinary::And:
      case TBinary::Or:
        return 1;
      case TBinary::Eq:
      case TBinary::Ne:
      case TBinary::Lt:
      case TBinary::Le:
      case TBinary::Gt:
      case TBinary::Ge:
        return 2;
      case TBinary::Conc:
        return 3;
      case TBinary::Add:
      case TBinary::Sub:
        return 4;
      case TBinary::Mul:
      case TBinary::Div:
        return 5;
      case TBinary::Pow:
        return 7;
      case TBinary::None:
        break;
    }
    return 0;
  }

  static TLuaOpcode OpcodeOf(TBinary op) {
    switch (op) {
      case TBinary::Eq:
        return kOpEqOp;
      case TBinary::Ne:
        return kOpNeqOp;
      case TBinary::Lt:
        return kOpLtOp;
      case TBinary::Le:
        return kOpLeOp;
      case TBinary::Gt:
        return kOpGtOp;
      case TBinary::Ge:
        return kOpGeOp;
      case TBinary::Conc:
        return kOpConcOp;
      case TBinary::Add:
        return kOpAddOp;
      case TBinary::Sub:
        return kOpSubOp;
      case TBinary::Mul:
        return kOpMulOp;
      case TBinary::Div:
        return kOpDivOp;
      default:
        return kOpPowOp;
    }
  }

  // Operators binding tighter than `limit`; all are left-associative but '^'.
  TOpenCall SubExpr(int limit) {
    TDepth depth(*this);
    TOpenCall e;
    if (FPendingName.empty() && (Peek().Kind == TLuaTok::Not || IsChar('-'))) {
      const TLuaOpcode op = FTok.Kind == TLuaTok::Not ? kOpNotOp : kOpMinusOp;
      Consume();
      AdjustOne(SubExpr(kUnaryPriority));
      Byte(op);
    } else {
      e = SimpleExp();
    }
    for (;;) {
      const TBinary op = BinaryOp();
      const int priority = Priority(op);
      if (op == TBinary::None || priority <= limit) return e;
      AdjustOne(e);
      e = {};
      Consume();
      if (op == TBinary::And || op == TBinary::Or) {
        const int jump = Reserve();
        Delta(-1);
        AdjustOne(SubExpr(priority));
        FixJump(jump, op == TBinary::And ? kOpOnFJmp : kOpOnTJmp, Pc());
      } else {
        AdjustOne(SubExpr(op == TBinary::Pow ? priority - 1 : priority));
        Delta(-1);
        Byte(OpcodeOf(op));
      }
    }
  }

  TOpenCall SimpleExp() {
    if (!FPendingName.empty()) return PrimaryValue();
    const TLuaToken& t = Peek();
    switch (t.Kind) {
      case TLuaTok::Number: {
        const double n = t.Number;
        Consume();
        CodeNumber(n);
        return {};
      }
      case TLuaTok::String: {
        const std::string text = t.Text;
        Consume();
        PushConstant(StringConstant(text));
        return {};
      }
      case TLuaTok::Nil:
        Consume();
        Op(kOpPushNil, 0, 1);
        return {};
      case TLuaTok::Function:
        Consume();
        OpenFunction(FLex.LineNumber());
        FunctionValue(Body());
        return {};
      case TLuaTok::Name:
        return PrimaryValue();
      default:
        break;
    }
    if (IsChar('{')) {
      Table();
      return {};
    }
    if (IsChar('(')) {
      Consume();
      const TOpenCall e = Expr();
      ExpectChar(')');
      return e;
    }
    if (IsChar('%')) return PrimaryValue();
    SyntaxError("unexpected symbol");
  }

  TOpenCall PrimaryValue() {
    const TPrimary p = Primary(false);
    return p.Kind == TPrimary::TKind::Call ? p.Call : TOpenCall{};
  }

  // ---- constructors ----

  void FlushList(int block, int n) {
    if (n == 0) return;
    Op(kOpSetList, block, -n, "table constructor too long");
    Byte(n);
  }

  void FlushRecord(int n) {
    if (n == 0) return;
    Op(kOpSetMap, n - 1, -2 * n);
  }

  bool PartEnds() { return IsChar('}') || IsChar(';'); }

  // A list part; returns its item count.
  int ListPart() {
    int n = 0;
    while (!FPendingName.empty() || !PartEnds()) {
      Expr1();
      ++n;
      if (n % kListPerFlush == 0) FlushList(n / kListPerFlush - 1, kListPerFlush);
      if (!IsChar(',')) break;
      Consume();
    }
    FlushList(n / kListPerFlush, n % kListPerFlush);
    return n;
  }

  void RecordKey() {
    if (IsChar('[')) {
      Consume();
      Expr1();
      ExpectChar(']');
    } else {
      PushConstant(StringConstant(ExpectName()));
    }
  }

  // A record part; `keyed` when its first key is already on the stack.
  int RecordPart(bool keyed) {
    int n = 0;
    while (keyed || !PartEnds()) {
      if (!keyed) RecordKey();
      keyed = false;
      ExpectChar('=');
      Expr1();
      ++n;
      if (n % kPairsPerFlush == 0) FlushRecord(kPairsPerFlush);
      if (!IsChar(',')) break;
      Consume();
    }
    FlushRecord(n % kPairsPerFlush);
    return n;
  }

  // One part of a constructor; returns its item count and tells its kind. A
  // name at its start is a key or an expression only once the next token is known.
  int Part(bool& record) {
    if (IsChar('[')) {
      record = true;
      return RecordPart(false);
    }
    if (Peek().Kind == TLuaTok::Name) {
      const std::string name = FTok.Text;
      Consume();
      if (IsChar('=')) {
        PushConstant(StringConstant(name));
        record = true;
        return RecordPart(true);
      }
      FPendingName = name;
    }
    record = false;
    return ListPart();
  }

  void Table() {
    TDepth depth(*this);
    ExpectChar('{');
    const int pos = Reserve();
    Delta(1);
    bool record = false;
    int total = Part(record);
    if (IsChar(';')) {
      Consume();
      const bool first = record;
      const int n = Part(record);
      if (n > 0 && total > 0 && record == first) SyntaxError("the two parts of a constructor must differ in kind");
      total += n;
    }
    ExpectChar('}');
    FixOp(pos, kOpCreateArray, total, "table constructor too long");
  }

  const TLuaCompileOptions& FOptions;
  TLuaLexer FLex;
  TLuaToken FTok;
  bool FHave = false;
  int FPrevLine = 0;
  std::string FLastSource;
  std::string FPendingName;  // a constructor item's name read before knowing it is an expression
  int FDepth = 0;
  std::vector<std::unique_ptr<TFuncState>> FStates;
  std::vector<TVar> FClosedUpvalues;
  std::unordered_map<std::string, int> FStringHints;
};

}  // namespace

std::string TLuaCompileError::Text() const {
  return File + ":" + std::to_string(Line) + ": " + Message + " near '" + Token + "'";
}

TLuaCompiled CompileLua(std::string_view source, const TLuaCompileOptions& options) {
  if (options.FloatSize != 4 && options.FloatSize != 8)
    throw std::invalid_argument("The float size must be 4 or 8, not " + std::to_string(options.FloatSize) + ".");
  TLuaCompiled result;
  try {
    TLuaParser parser(source, options);
    const std::unique_ptr<TLuaProto> main = parser.Compile();
    result.Chunk = WriteLuaChunk(*main, options.FloatSize, options.MsbFirst);
  } catch (const ELuaCompileError& e) {
    result.Failed = true;
    result.Error = {e.File(), e.Line(), e.Message(), e.Token()};
  } catch (const VldError& e) {
    result.Failed = true;
    result.Error = {options.SourceName, 0, e.what(), ""};
  }
  return result;
}

}  // namespace vld
