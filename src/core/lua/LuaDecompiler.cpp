#include "core/lua/LuaDecompiler.h"

#include <algorithm>
#include <map>

#include "core/lua/LuaExpr.h"
#include "core/lua/LuaFlow.h"
#include "core/lua/LuaListing.h"

namespace vld {

namespace {

constexpr int kVarArgFlag = 64;  // parameter byte 64 + n: n fixed parameters, then `arg`
constexpr int kAllResults = 255;

// The code does not have the shape the compiler gives it: the function is
// shown as its listing instead.
class EUnstructured : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Unstructured(const std::string& why) { throw EUnstructured(why); }

// Counts one block level for as long as the block is being decompiled.
class TDepthGuard {
 public:
  explicit TDepthGuard(int& depth) : FDepth(depth) {
    if (++FDepth > kMaxLuaBlockDepth) {
      --FDepth;
      throw ELuaException(
          LuaFormat("Decompiling stopped: code blocks are nested more than %d deep.", kMaxLuaBlockDepth));
    }
  }
  ~TDepthGuard() { --FDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;

 private:
  int& FDepth;
};

std::string Indent(int level) { return std::string(2 * static_cast<std::size_t>(std::max(level, 0)), ' '); }

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += separator;
    out += parts[i];
  }
  return out;
}

TLuaExprPtr Leaf(TLuaExprKind kind, std::string name = {}) {
  TLuaExpr e;
  e.Kind = kind;
  e.Name = std::move(name);
  return MakeLuaExpr(std::move(e));
}

TLuaExprPtr Node(TLuaExprKind kind, std::vector<TLuaExprPtr> sub, TLuaOperator op = TLuaOperator::Add) {
  TLuaExpr e;
  e.Kind = kind;
  e.Op = op;
  e.Sub = std::move(sub);
  return MakeLuaExpr(std::move(e));
}

// An indexed assignment target: t["x"] = v stores as t.x = v does.
TLuaExprPtr Target(TLuaExprPtr table, TLuaExprPtr key) {
  TLuaExpr e;
  e.Kind = TLuaExprKind::Index;
  e.Dotted = key->Kind == TLuaExprKind::String;
  e.Sub = {std::move(table), std::move(key)};
  return MakeLuaExpr(std::move(e));
}

// A last nil of a list may go (the adjustment pushes the same nil) unless a
// call before it would then keep more results.
bool DropsLastNil(const std::vector<TLuaExprPtr>& values) {
  if (values.empty() || values.back()->Kind != TLuaExprKind::Nil) return false;
  return values.size() < 2 || values[values.size() - 2]->Kind != TLuaExprKind::Call;
}

// ---- Statements ----

struct TStmt;
using TBlock = std::vector<TStmt>;

enum class TStmtKind { Assign, Local, Call, Return, If, While, Repeat, Do, Comment };

struct TStmt {
  TStmtKind Kind = TStmtKind::Comment;
  int Tag = 0;
  std::vector<TLuaExprPtr> Targets;                    // Assign
  std::vector<std::string> Names;                      // Local
  std::vector<std::vector<TLuaExprPtr>> ValuesByName;  // Local: what each name's entry was written as
  std::size_t FirstSlot = 0;                           // Local
  std::vector<TLuaExprPtr> Values;  // Assign, Local, Return; Call: the call; If/While/Repeat: conditions
  std::vector<TBlock> Blocks;       // If: one per condition, then the else part if any; loops and Do: the body
  std::vector<std::string> Lines;   // Comment
};

// One entry of the symbolic stack.
struct TEntry {
  explicit TEntry(TLuaExprPtr e = {}) : E(std::move(e)) {}
  TLuaExprPtr E;
  std::shared_ptr<TLuaExpr> Table;  // a constructor still being filled
  bool Continues = false;           // a further result of the call (or nil of the pushnil) below
  bool EndsList = false;            // nothing may follow it in a list of values
  bool AdjustNil = false;           // a nil that adjusts a list of values, not one that was written
  bool SelfArg = false;             // the object a pushself pushed again
  bool Target = false;              // table or key of an assignment target, waiting for its pop
  bool Adjusted = false;            // the values after it were popped as too many
  std::vector<TLuaExprPtr> Extra;   // values written after it that left nothing on the stack
};

struct TLocalInfo {
  TBlock* Block = nullptr;
  std::size_t Stmt = 0;
};

// Rendered text of a function: the parameter list, the header comment and the body lines.
struct TFunctionText {
  std::vector<std::string> Params;
  std::string Comment;
  TLuaLines Body;
  bool SelfFirst = false;
};

class TFunctionDecompiler;

// Prints expressions, rendering functions through nested decompilers.
class TPrinter : public TLuaExprPrinter {
 public:
  explicit TPrinter(TLuaDecompileContext& context) : FContext(context) {}
  TFunctionText RenderFunction(const TLuaExpr& e, int level, bool method);
  static std::string FunctionText(const TFunctionText& f, const std::string& head, int level);

 protected:
  std::string PrintFunction(const TLuaExpr& e, int level) override {
    return FunctionText(RenderFunction(e, level, false), "function", level);
  }

 private:
  TLuaDecompileContext& FContext;
};

// Decompiles one function.
class TFunctionDecompiler {
 public:
  TFunctionDecompiler(const TLuaFunction& f, TLuaDecompileContext& context, std::vector<std::string> upvalues,
                      bool isMethod, bool useNames = true);

  // The statements of the whole function, or of the code from start to end.
  TBlock Statements(int start, int end);
  std::vector<std::string> ParamNames() const;
  bool SelfFirst() const { return FSelfFirst; }
  // A global is read or written under the name of a local in scope.
  bool NameClash() const { return FNameClash; }
  std::string GeneratedName(int slot) const;
  TLuaLines Print(const TBlock& block, int level);
  TLuaLines Listing(const std::string& why, int level);
  int MaxStack() const { return LuaCodeByte(FFunc.Code, FFunc.CodeSize, 0); }

 private:
  const TLuaInstruction& At(int i) const { return FFlow.Code[static_cast<std::size_t>(i)]; }
  int IndexOf(int offset) const;
  bool IsStore(int i, int last) const;
  void Log(const std::string& line) const {
    if (FContext.Log) FContext.Log(line);
  }

  void Walk(int first, int last, TBlock& out);
  TBlock Block(int first, int last);
  TLuaExprPtr Expression(int first, int last, TBlock& out);
  int Repeat(int first, int jump, TBlock& out);
  int If(int i, int last, TBlock& out);
  int While(int i, int last, TBlock& out);
  int Stores(int i, int last, TBlock& out);
  void Call(const TLuaInstruction& in, int i, int last, TBlock& out);
  void Pop(int count, bool atBlockEnd, TBlock& out);
  void DeclareUpTo(std::size_t n, TBlock& out);

  void Push(TLuaExprPtr e) { FStack.push_back(TEntry(std::move(e))); }
  TEntry PopEntry();
  TLuaExprPtr PopExpr();
  std::vector<TLuaExprPtr> Values(const std::vector<TEntry>& entries) const;
  TLuaExprPtr Constant(int k) const;
  std::string ConstName(int k) const;
  std::string GlobalName(int k);

  void PrintBlock(const TBlock& block, int level, TLuaLines& out);
  void PrintStmt(const TStmt& s, int level, TLuaLines& out);
  void AddLines(const std::string& text, int level, int tag, TLuaLines& out);
  std::string List(const std::vector<TLuaExprPtr>& values, int level);

  const TLuaFunction& FFunc;
  TLuaDecompileContext& FContext;
  std::vector<std::string> FUpvalues;
  bool FIsMethod = false;
  TLuaFlow FFlow;
  int FFixedParams = 0;
  int FNumParams = 0;
  bool FVarArg = false;
  std::vector<std::string> FNames;  // the chunk's local names in declaration order
  std::size_t FNextName = 0;
  bool FSelfFirst = false;
  bool FNameClash = false;
  int FOffset = 0;                   // the instruction being decompiled
  std::multimap<int, int> FUpJumps;  // target index -> index of the backward jump

  std::vector<TEntry> FStack;
  std::size_t FDeclared = 0;
  std::vector<std::string> FSlotNames;
  std::vector<TLocalInfo> FLocalInfo;
  std::vector<std::size_t> FScopeBase;
  TPrinter FPrinter;
};

TFunctionDecompiler::TFunctionDecompiler(const TLuaFunction& f, TLuaDecompileContext& context,
                                         std::vector<std::string> upvalues, bool isMethod, bool useNames)
    : FFunc(f),
      FContext(context),
      FUpvalues(std::move(upvalues)),
      FIsMethod(isMethod),
      FFlow(BuildLuaFlow(f)),
      FPrinter(context) {
  FContext.Step(static_cast<std::int64_t>(FFlow.Code.size()));
  int params = LuaCodeByte(f.Code, f.CodeSize, 1);
  FVarArg = params >= kVarArgFlag;
  FFixedParams = FVarArg ? params - kVarArgFlag : params;
  FNumParams = FVarArg ? FFixedParams + 1 : params;
  if (useNames)
    for (const TLuaLocal& local : f.Locals)
      if (!local.Name.empty()) FNames.push_back(local.Name);
  for (int slot = 0; slot < FNumParams; ++slot) {
    FSlotNames.push_back(FNextName < FNames.size() ? FNames[FNextName++] : GeneratedName(slot));
    FStack.push_back(TEntry(Leaf(TLuaExprKind::Local, FSlotNames.back())));
    FLocalInfo.push_back({});
  }
  FDeclared = static_cast<std::size_t>(FNumParams);
  FSelfFirst = FFixedParams > 0 && FSlotNames[0] == "self";
  for (std::size_t i = 0; i < FFlow.Code.size(); ++i) {
    const TLuaInstruction& in = FFlow.Code[i];
    if (in.Group && in.Group->Kind == TLuaOpKind::IfFUpJmp)
      FUpJumps.emplace(FFlow.IndexAt(in.Target), static_cast<int>(i));
  }
}

std::string TFunctionDecompiler::GeneratedName(int slot) const {
  if (slot < FFixedParams) return FIsMethod && slot == 0 ? "self" : LuaFormat("Arg%d", slot);
  if (FVarArg && slot == FFixedParams) return "arg";
  return LuaFormat("Local%d", slot - FNumParams);
}

std::vector<std::string> TFunctionDecompiler::ParamNames() const {
  std::vector<std::string> names(FSlotNames.begin(), FSlotNames.begin() + FFixedParams);
  if (FVarArg) names.push_back("...");
  return names;
}

int TFunctionDecompiler::IndexOf(int offset) const {
  int i = FFlow.IndexAt(offset);
  if (i < 0) Unstructured(LuaFormat("no instruction starts at %.4x", offset));
  return i;
}

bool TFunctionDecompiler::IsStore(int i, int last) const {
  if (i >= last) return false;
  switch (At(i).Group->Kind) {
    case TLuaOpKind::SetLocal:
    case TLuaOpKind::SetGlobal:
    case TLuaOpKind::SetTable0:
    case TLuaOpKind::SetTable:
      return true;
    default:
      return false;
  }
}

TLuaExprPtr TFunctionDecompiler::PopExpr() {
  TLuaExprPtr e = PopEntry().E;
  if (e->Kind == TLuaExprKind::Method) Unstructured("a method is taken but not called");
  return e;
}

TEntry TFunctionDecompiler::PopEntry() {
  if (FStack.size() <= FDeclared) Unstructured("a value is taken from a local's slot");
  TEntry e = std::move(FStack.back());
  FStack.pop_back();
  return e;
}

std::string TFunctionDecompiler::ConstName(int k) const {
  if (k < 0 || static_cast<std::size_t>(k) >= FFunc.Consts.size() || FFunc.Consts[k].Kind != kLuaText)
    Unstructured(LuaFormat("constant %d is not a name", k));
  return FFunc.Consts[k].Text;
}

std::string TFunctionDecompiler::GlobalName(int k) {
  std::string name = ConstName(k);
  if (!IsLuaName(name)) Unstructured(LuaFormat("global %s is no name", LuaQuote(name).c_str()));
  for (std::size_t slot = 0; slot < FDeclared; ++slot)
    if (FSlotNames[slot] == name) FNameClash = true;
  return name;
}

TLuaExprPtr TFunctionDecompiler::Constant(int k) const {
  if (k < 0 || static_cast<std::size_t>(k) >= FFunc.Consts.size()) Unstructured(LuaFormat("no constant %d", k));
  const TLuaValue& v = FFunc.Consts[k];
  TLuaExpr e;
  switch (v.Kind) {
    case kLuaText:
      e.Kind = TLuaExprKind::String;
      e.Name = v.Text;
      break;
    case kLuaNumber:
      // A number no text reads back to cannot be written.
      if (LuaNumberText(v.Num, FContext.FloatSize).empty()) Unstructured(LuaFormat("constant %d has no text", k));
      e.Kind = TLuaExprKind::Number;
      e.Num = v.Num;
      e.FloatSize = FContext.FloatSize;
      break;
    case kLuaFunction:
      if (!v.Func) Unstructured(LuaFormat("function constant %d has no function", k));
      e.Kind = TLuaExprKind::Function;
      e.Func = v.Func;
      break;
    default:
      Unstructured(LuaFormat("constant %d has an unknown kind", k));
  }
  return MakeLuaExpr(std::move(e));
}

// The values of a list as written: one call for all its results, no
// adjusting nils, and the values that left nothing on the stack.
std::vector<TLuaExprPtr> TFunctionDecompiler::Values(const std::vector<TEntry>& entries) const {
  std::vector<TLuaExprPtr> out;
  for (const TEntry& e : entries) {
    if (e.E->Kind == TLuaExprKind::Method) Unstructured("a method is taken but not called");
    if (!e.Continues && !e.AdjustNil) out.push_back(e.E);
    out.insert(out.end(), e.Extra.begin(), e.Extra.end());
  }
  return out;
}

// Entries above the declared locals that a statement does not take are
// locals declared before it: `local` only pushes.
void TFunctionDecompiler::DeclareUpTo(std::size_t n, TBlock& out) {
  n = std::min(n, FStack.size());
  while (n < FStack.size() && FStack[n].Continues) ++n;
  while (FDeclared < n) {
    TStmt s;
    s.Kind = TStmtKind::Local;
    s.FirstSlot = FDeclared;
    std::vector<TEntry> entries;
    // One statement per list: a list ends after a value nothing may follow.
    while (FDeclared < n) {
      TEntry& e = FStack[FDeclared];
      // Nils after a call kept to one result adjust a list of their own: local a = f() local b, c.
      if (e.AdjustNil && !e.Continues && !entries.empty() && entries.back().E->Kind == TLuaExprKind::Call &&
          entries.back().E->Results == 1)
        break;
      if (e.Target) Unstructured("an assignment target is left as a local");
      std::string name = FNextName < FNames.size() ? FNames[FNextName++] : GeneratedName(static_cast<int>(FDeclared));
      s.Names.push_back(name);
      FSlotNames.resize(FDeclared + 1);
      FSlotNames[FDeclared] = name;
      FLocalInfo.resize(FDeclared + 1);
      FLocalInfo[FDeclared] = {&out, out.size()};
      entries.push_back(e);
      s.ValuesByName.push_back(Values({e}));
      e = TEntry(Leaf(TLuaExprKind::Local, name));
      ++FDeclared;
      if (entries.back().EndsList || !entries.back().Extra.empty()) break;
    }
    out.push_back(std::move(s));
  }
}

void TFunctionDecompiler::Pop(int count, bool atBlockEnd, TBlock& out) {
  if (count > static_cast<int>(FStack.size()) - FNumParams) Unstructured("a pop takes more than the stack holds");
  std::size_t newSize = FStack.size() - static_cast<std::size_t>(count);
  // A list is adjusted once: a pop after its end, or of an adjusted list, closes a block instead. So
  // does a pop of further results of a call or nils of one pushnil (a list keeps those only to fill
  // its names), and one of a call as the last value (that call keeps only the results missing).
  bool adjusts = newSize > FDeclared && !FStack[newSize - 1].EndsList;
  for (std::size_t i = newSize; adjusts && i < FStack.size(); ++i)
    adjusts = !FStack[i].Adjusted && !FStack[i].Continues;
  if (FStack.back().E->Kind == TLuaExprKind::Call && FStack.back().Extra.empty()) adjusts = false;
  if (adjusts) {
    // Values beyond a list's targets: they go with the value below them.
    std::vector<TLuaExprPtr> dropped;
    for (std::size_t i = newSize; i < FStack.size(); ++i) {
      std::vector<TEntry> one{FStack[i]};
      for (TLuaExprPtr& v : Values(one)) dropped.push_back(std::move(v));
    }
    FStack.resize(newSize);
    TEntry& below = FStack.back();
    below.Extra.insert(below.Extra.end(), dropped.begin(), dropped.end());
    below.EndsList = below.Adjusted = true;
    return;
  }
  // The end of a block: its locals go out of scope.
  DeclareUpTo(FStack.size(), out);
  std::size_t base = FScopeBase.empty() ? static_cast<std::size_t>(FNumParams) : FScopeBase.back();
  if (newSize < base) Unstructured("a pop ends locals of an enclosing block");
  if (!(atBlockEnd && newSize == base)) {
    const TLocalInfo& first = FLocalInfo[newSize];
    if (first.Block != &out) Unstructured("a block's locals end outside it");
    TStmt& decl = out[first.Stmt];
    std::size_t from = first.Stmt;
    if (decl.FirstSlot < newSize) {
      // One local statement declared locals on both sides of the block's start.
      std::size_t k = newSize - decl.FirstSlot;
      TStmt inner;
      inner.Kind = TStmtKind::Local;
      inner.Tag = decl.Tag;
      inner.FirstSlot = newSize;
      inner.Names.assign(decl.Names.begin() + static_cast<std::ptrdiff_t>(k), decl.Names.end());
      inner.ValuesByName.assign(decl.ValuesByName.begin() + static_cast<std::ptrdiff_t>(k), decl.ValuesByName.end());
      decl.Names.resize(k);
      decl.ValuesByName.resize(k);
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(++from), std::move(inner));
    }
    TStmt d;
    d.Kind = TStmtKind::Do;
    d.Blocks.emplace_back(std::make_move_iterator(out.begin() + static_cast<std::ptrdiff_t>(from)),
                          std::make_move_iterator(out.end()));
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(from), out.end());
    out.push_back(std::move(d));
  }
  FStack.resize(newSize);
  FDeclared = newSize;
}

TBlock TFunctionDecompiler::Block(int first, int last) {
  std::size_t base = FStack.size();
  FScopeBase.push_back(base);
  TBlock block;
  Walk(first, last, block);
  FScopeBase.pop_back();
  if (FStack.size() != base) Unstructured(LuaFormat("a block at %.4x leaves values on the stack", At(first).Offset));
  return block;
}

TLuaExprPtr TFunctionDecompiler::Expression(int first, int last, TBlock& out) {
  std::size_t base = FStack.size();
  std::size_t statements = out.size();
  Walk(first, last, out);
  // Reading a local may declare it (and the ones below it) first; nothing else may happen.
  for (std::size_t i = statements; i < out.size(); ++i)
    if (out[i].Kind != TStmtKind::Local)
      Unstructured(LuaFormat("the code at %.4x is not one expression", At(first).Offset));
  if (FStack.size() != base + 1) Unstructured(LuaFormat("the code at %.4x is not one expression", At(first).Offset));
  return PopExpr();
}

int TFunctionDecompiler::Repeat(int first, int jump, TBlock& out) {
  DeclareUpTo(FStack.size(), out);
  std::size_t base = FStack.size();
  FScopeBase.push_back(base);
  TStmt s;
  s.Kind = TStmtKind::Repeat;
  s.Tag = At(first).Offset;
  s.Blocks.emplace_back();
  Walk(first, jump, s.Blocks[0]);
  FScopeBase.pop_back();
  if (FStack.size() != base + 1 || FDeclared != base) Unstructured("a repeat loop without its condition");
  s.Values.push_back(PopExpr());
  out.push_back(std::move(s));
  return jump + 1;
}

int TFunctionDecompiler::If(int i, int last, TBlock& out) {
  const TLuaInstruction& in = At(i);
  TLuaExprPtr cond = PopExpr();
  DeclareUpTo(FStack.size(), out);
  int target = IndexOf(in.Target);
  if (target <= i || target > last) Unstructured(LuaFormat("the if at %.4x jumps out of its block", in.Offset));
  int thenEnd = target;
  int elseEnd = target;
  const TLuaInstruction& before = At(target - 1);
  if (target - 1 > i && before.Group->Kind == TLuaOpKind::Jmp && before.Target > in.Target) {
    elseEnd = IndexOf(before.Target);
    if (elseEnd > last) Unstructured(LuaFormat("the else at %.4x jumps out of its block", before.Offset));
    thenEnd = target - 1;
  }
  TStmt s;
  s.Kind = TStmtKind::If;
  s.Tag = in.Offset;
  s.Values.push_back(cond);
  s.Blocks.push_back(Block(i + 1, thenEnd));
  if (elseEnd > target) {
    TBlock otherwise = Block(target, elseEnd);
    if (otherwise.size() == 1 && otherwise[0].Kind == TStmtKind::If) {
      // else if ... end end: one elseif
      TStmt& nested = otherwise[0];
      for (auto& c : nested.Values) s.Values.push_back(std::move(c));
      for (auto& b : nested.Blocks) s.Blocks.push_back(std::move(b));
    } else {
      s.Blocks.push_back(std::move(otherwise));
    }
  }
  out.push_back(std::move(s));
  return elseEnd;
}

int TFunctionDecompiler::While(int i, int last, TBlock& out) {
  const TLuaInstruction& in = At(i);
  int test = IndexOf(in.Target);
  int jump = -1;
  for (int q = std::max(test, i + 1); q < last; ++q) {
    const TLuaInstruction& up = At(q);
    if (up.Group->Kind == TLuaOpKind::IfTUpJmp && FFlow.IndexAt(up.Target) == i + 1) {
      jump = q;
      break;
    }
  }
  if (test <= i || jump < 0) Unstructured(LuaFormat("the jump at %.4x is no loop's", in.Offset));
  DeclareUpTo(FStack.size(), out);
  TStmt s;
  s.Kind = TStmtKind::While;
  s.Tag = in.Offset;
  s.Blocks.push_back(Block(i + 1, test));
  s.Values.push_back(Expression(test, jump, s.Blocks[0]));
  out.push_back(std::move(s));
  return jump + 1;
}

int TFunctionDecompiler::Stores(int i, int last, TBlock& out) {
  int end = i;
  while (IsStore(end, last)) ++end;
  // The lowest slot the stores reach: everything pending below it is a local.
  std::ptrdiff_t top = static_cast<std::ptrdiff_t>(FStack.size());
  std::ptrdiff_t lowest = top;
  for (int j = i; j < end; ++j) {
    const TLuaInstruction& in = At(j);
    switch (in.Group->Kind) {
      case TLuaOpKind::SetTable0:
        top -= 3;
        lowest = std::min(lowest, top);
        break;
      case TLuaOpKind::SetTable:
        lowest = std::min(lowest, top - 1 - (in.A + 2));
        --top;
        break;
      default:
        --top;
        lowest = std::min(lowest, top);
    }
  }
  if (lowest < static_cast<std::ptrdiff_t>(FDeclared)) {
    if (lowest < 0) Unstructured("an assignment takes more than the stack holds");
  }
  DeclareUpTo(static_cast<std::size_t>(std::max<std::ptrdiff_t>(lowest, 0)), out);
  if (lowest < static_cast<std::ptrdiff_t>(FDeclared)) Unstructured("an assignment takes a local's slot");

  TStmt s;
  s.Kind = TStmtKind::Assign;
  s.Tag = At(i).Offset;
  std::vector<TEntry> values;
  for (int j = i; j < end; ++j) {
    const TLuaInstruction& in = At(j);
    values.push_back(PopEntry());
    switch (in.Group->Kind) {
      case TLuaOpKind::SetGlobal:
        s.Targets.push_back(Leaf(TLuaExprKind::Global, GlobalName(in.A)));
        break;
      case TLuaOpKind::SetLocal:
        if (static_cast<std::size_t>(in.A) >= FDeclared) Unstructured("a store to a slot that is no local");
        s.Targets.push_back(Leaf(TLuaExprKind::Local, FSlotNames[static_cast<std::size_t>(in.A)]));
        break;
      case TLuaOpKind::SetTable0: {
        TLuaExprPtr key = PopExpr();
        TLuaExprPtr table = PopExpr();
        s.Targets.push_back(Target(table, key));
        break;
      }
      default: {
        std::size_t keyAt = FStack.size() - 1 - static_cast<std::size_t>(in.A);
        TEntry& key = FStack[keyAt];
        TEntry& table = FStack[keyAt - 1];
        key.Target = table.Target = true;
        s.Targets.push_back(Target(table.E, key.E));
      }
    }
  }
  // The tables and keys of indexed targets go last.
  if (!FStack.empty() && FStack.back().Target && end < last && At(end).Group->Kind == TLuaOpKind::Pop) {
    int count = At(end).A + 1;
    for (int k = 0; k < count; ++k)
      if (!FStack.empty() && FStack.back().Target) FStack.pop_back();
    ++end;
  }
  for (const TEntry& e : FStack)
    if (e.Target) Unstructured("an assignment leaves its targets on the stack");
  std::reverse(s.Targets.begin(), s.Targets.end());
  std::reverse(values.begin(), values.end());
  s.Values = Values(values);
  out.push_back(std::move(s));
  return end;
}

void TFunctionDecompiler::Call(const TLuaInstruction& in, int i, int last, TBlock& out) {
  int results = in.A;
  int args = in.B;
  if (static_cast<std::size_t>(args) + 1 > FStack.size() - FDeclared) Unstructured("a call without its function");
  std::vector<TEntry> argEntries(FStack.end() - args, FStack.end());
  FStack.resize(FStack.size() - static_cast<std::size_t>(args));
  TLuaExprPtr fn = PopEntry().E;
  if (fn->Kind == TLuaExprKind::Method) {
    if (argEntries.empty() || !argEntries[0].SelfArg) Unstructured("a method call without its object");
    argEntries.erase(argEntries.begin());
  }
  std::vector<TLuaExprPtr> sub{fn};
  for (TLuaExprPtr& a : Values(argEntries)) sub.push_back(std::move(a));
  TLuaExpr call;
  call.Kind = TLuaExprKind::Call;
  call.Sub = std::move(sub);
  call.Results = results == kAllResults ? -1 : results;
  TLuaExprPtr e = MakeLuaExpr(std::move(call));
  if (results == 0) {
    // (after any pop of the values too many)
    bool stores =
        IsStore(i + 1, last) || (i + 1 < last && At(i + 1).Group->Kind == TLuaOpKind::Pop && IsStore(i + 2, last));
    if (stores && FStack.size() > FDeclared) {
      // The last value of an assignment with no result kept.
      FStack.back().Extra.push_back(e);
      FStack.back().EndsList = true;
      return;
    }
    DeclareUpTo(FStack.size(), out);
    TStmt s;
    s.Kind = TStmtKind::Call;
    s.Tag = in.Offset;
    s.Values.push_back(e);
    out.push_back(std::move(s));
    return;
  }
  int count = results == kAllResults ? 1 : results;
  for (int r = 0; r < count; ++r) {
    TEntry entry(e);
    entry.Continues = r > 0;
    entry.EndsList = results != 1 && r == count - 1;
    FStack.push_back(std::move(entry));
  }
}

void TFunctionDecompiler::Walk(int first, int last, TBlock& out) {
  TDepthGuard depth(FContext.Depth);
  if (FContext.Log)
    Log(LuaFormat("DecompileBlock(%X,%X)", At(first).Offset, first < last ? At(last - 1).End() : At(first).Offset));
  int i = first;
  while (i < last) {
    FContext.Step();
    // A repeat loop whose body starts here (the outermost first).
    int loop = -1;
    auto range = FUpJumps.equal_range(i);
    for (auto it = range.first; it != range.second; ++it)
      if (it->second < last && it->second > loop) loop = it->second;
    if (loop >= 0) {
      i = Repeat(i, loop, out);
      continue;
    }
    const TLuaInstruction& in = At(i);
    FOffset = in.Offset;
    if (FContext.Log) Log(LuaFormat("position %X opcode %02X", in.Offset, in.Opcode));
    switch (in.Group->Kind) {
      case TLuaOpKind::EndCode:
        if (i + 1 != static_cast<int>(FFlow.Code.size())) Unstructured("endcode before the end");
        DeclareUpTo(FStack.size(), out);
        ++i;
        continue;
      case TLuaOpKind::PushNil: {
        int count = in.Opcode == kOpPushNil0 ? 1 : in.A + 1;
        for (int k = 0; k < count; ++k) {
          TEntry e(Leaf(TLuaExprKind::Nil));
          e.AdjustNil = count > 1;
          e.Continues = k > 0;
          e.EndsList = count > 1 && k == count - 1;
          FStack.push_back(std::move(e));
        }
        break;
      }
      case TLuaOpKind::PushNumber: {
        TLuaExpr e;
        e.Kind = TLuaExprKind::Number;
        e.Num = in.A;
        Push(MakeLuaExpr(std::move(e)));
        break;
      }
      case TLuaOpKind::PushConstant:
        Push(Constant(in.A));
        break;
      case TLuaOpKind::PushUpvalue:
        if (static_cast<std::size_t>(in.A) >= FUpvalues.size()) Unstructured(LuaFormat("no upvalue %d", in.A));
        Push(Leaf(TLuaExprKind::Upvalue, FUpvalues[static_cast<std::size_t>(in.A)]));
        break;
      case TLuaOpKind::PushLocal:
        if (static_cast<std::size_t>(in.A) >= FStack.size()) Unstructured(LuaFormat("no local in slot %d", in.A));
        DeclareUpTo(static_cast<std::size_t>(in.A) + 1, out);
        if (static_cast<std::size_t>(in.A) >= FDeclared) Unstructured(LuaFormat("slot %d is no local", in.A));
        Push(Leaf(TLuaExprKind::Local, FSlotNames[static_cast<std::size_t>(in.A)]));
        break;
      case TLuaOpKind::GetGlobal:
        Push(Leaf(TLuaExprKind::Global, GlobalName(in.A)));
        break;
      case TLuaOpKind::GetTable: {
        TLuaExprPtr key = PopExpr();
        TLuaExprPtr table = PopExpr();
        Push(Node(TLuaExprKind::Index, {table, key}));
        break;
      }
      case TLuaOpKind::GetDotted: {
        TLuaExpr e;
        e.Kind = TLuaExprKind::Index;
        e.Dotted = true;
        std::string name = ConstName(in.A);
        // t["not a name"] would read with gettable.
        if (!IsLuaName(name)) Unstructured(LuaFormat("field %s is no name", LuaQuote(name).c_str()));
        e.Sub = {PopExpr(), Leaf(TLuaExprKind::String, name)};
        Push(MakeLuaExpr(std::move(e)));
        break;
      }
      case TLuaOpKind::PushSelf: {
        TEntry object = PopEntry();
        TLuaExpr m;
        m.Kind = TLuaExprKind::Method;
        m.Name = ConstName(in.A);
        if (!IsLuaName(m.Name)) Unstructured(LuaFormat("method %s is no name", LuaQuote(m.Name).c_str()));
        m.Sub = {object.E};
        Push(MakeLuaExpr(std::move(m)));
        TEntry self(object.E);
        self.SelfArg = true;
        FStack.push_back(std::move(self));
        break;
      }
      case TLuaOpKind::CreateArray: {
        TEntry e;
        e.Table = std::make_shared<TLuaExpr>();
        e.Table->Kind = TLuaExprKind::Table;
        e.E = e.Table;
        FStack.push_back(std::move(e));
        break;
      }
      case TLuaOpKind::SetList:
      case TLuaOpKind::SetMap: {
        bool list = in.Group->Kind == TLuaOpKind::SetList;
        std::size_t n = list ? static_cast<std::size_t>(in.B)
                             : 2 * static_cast<std::size_t>(in.Opcode == kOpSetMap0 ? 1 : in.A + 1);
        if (n + 1 > FStack.size() - FDeclared) Unstructured("a constructor store without its table");
        TEntry& table = FStack[FStack.size() - n - 1];
        if (!table.Table) Unstructured(LuaFormat("the store at %.4x is into no constructor", in.Offset));
        std::vector<TEntry> items(FStack.end() - static_cast<std::ptrdiff_t>(n), FStack.end());
        FStack.resize(FStack.size() - n);
        TLuaExpr& t = *table.Table;
        if (list) {
          if (t.Sub.empty() && !t.Pairs.empty()) t.RecordsFirst = true;
          for (TLuaExprPtr& v : Values(items)) t.Sub.push_back(std::move(v));
        } else {
          for (std::size_t k = 0; k + 1 < items.size(); k += 2) t.Pairs.emplace_back(items[k].E, items[k + 1].E);
        }
        break;
      }
      case TLuaOpKind::Binary: {
        static const TLuaOperator kOps[] = {TLuaOperator::Eq,  TLuaOperator::Ne,  TLuaOperator::Lt,
                                            TLuaOperator::Le,  TLuaOperator::Gt,  TLuaOperator::Ge,
                                            TLuaOperator::Add, TLuaOperator::Sub, TLuaOperator::Mul,
                                            TLuaOperator::Div, TLuaOperator::Pow, TLuaOperator::Concat};
        TLuaExprPtr right = PopExpr();
        TLuaExprPtr left = PopExpr();
        Push(Node(TLuaExprKind::Binary, {left, right}, kOps[in.Opcode - kOpEqOp]));
        break;
      }
      case TLuaOpKind::Minus:
      case TLuaOpKind::Not:
        Push(Node(TLuaExprKind::Unary, {PopExpr()},
                  in.Group->Kind == TLuaOpKind::Not ? TLuaOperator::Not : TLuaOperator::Minus));
        break;
      case TLuaOpKind::OnTJmp:
      case TLuaOpKind::OnFJmp: {
        TLuaExprPtr left = PopExpr();
        int end = IndexOf(in.Target);
        if (end <= i || end > last) Unstructured(LuaFormat("the and/or at %.4x jumps out of its block", in.Offset));
        TLuaExprPtr right = Expression(i + 1, end, out);
        Push(Node(TLuaExprKind::Binary, {left, right},
                  in.Group->Kind == TLuaOpKind::OnTJmp ? TLuaOperator::Or : TLuaOperator::And));
        i = end;
        continue;
      }
      case TLuaOpKind::IfFJmp:
        i = If(i, last, out);
        continue;
      case TLuaOpKind::Jmp:
        i = While(i, last, out);
        continue;
      case TLuaOpKind::IfTUpJmp:
      case TLuaOpKind::IfFUpJmp:
        Unstructured(LuaFormat("the backward jump at %.4x closes no loop", in.Offset));
      case TLuaOpKind::Closure: {
        const std::size_t n = static_cast<std::size_t>(in.B);
        if (n > FStack.size() - FDeclared) Unstructured("a closure without its upvalues");
        TLuaExprPtr fn = Constant(in.A);
        if (fn->Kind != TLuaExprKind::Function) Unstructured(LuaFormat("closure of constant %d, no function", in.A));
        TLuaExpr e = *fn;
        for (std::size_t k = FStack.size() - n; k < FStack.size(); ++k) {
          TLuaExprKind kind = FStack[k].E->Kind;
          if (kind != TLuaExprKind::Local && kind != TLuaExprKind::Global) Unstructured("an upvalue that is no name");
          e.Sub.push_back(FStack[k].E);
        }
        FStack.resize(FStack.size() - n);
        Push(MakeLuaExpr(std::move(e)));
        break;
      }
      case TLuaOpKind::CallFunc:
        Call(in, i, last, out);
        break;
      case TLuaOpKind::RetCode: {
        const std::size_t base = static_cast<std::size_t>(in.A);
        if (base > FStack.size()) Unstructured("a return below its locals");
        DeclareUpTo(base, out);
        if (FDeclared != base) Unstructured("a return whose locals do not match");
        TStmt s;
        s.Kind = TStmtKind::Return;
        s.Tag = in.Offset;
        s.Values = Values(std::vector<TEntry>(FStack.begin() + static_cast<std::ptrdiff_t>(base), FStack.end()));
        FStack.resize(base);
        out.push_back(std::move(s));
        break;
      }
      case TLuaOpKind::SetLine:
        break;
      case TLuaOpKind::Pop:
        Pop(in.A + 1, i + 1 == last, out);
        break;
      case TLuaOpKind::SetLocal:
      case TLuaOpKind::SetGlobal:
      case TLuaOpKind::SetTable0:
      case TLuaOpKind::SetTable:
        i = Stores(i, last, out);
        continue;
    }
    ++i;
  }
}

TBlock TFunctionDecompiler::Statements(int start, int end) {
  if (!FFlow.Fault.empty()) Unstructured(FFlow.Fault);
  int first = IndexOf(std::max(start, 2));
  int last = end >= FFlow.CodeEnd() ? static_cast<int>(FFlow.Code.size()) : IndexOf(end);
  TBlock block;
  if (first < last) Walk(first, last, block);
  return block;
}

// ---- Printing ----

void TFunctionDecompiler::AddLines(const std::string& text, int level, int tag, TLuaLines& out) {
  std::size_t from = 0;
  bool firstLine = true;
  while (from <= text.size()) {
    std::size_t at = text.find('\n', from);
    if (at == std::string::npos) at = text.size();
    TLuaLine line;
    // Lines of a nested function come indented already.
    line.Text = (firstLine ? Indent(level) : std::string()) + text.substr(from, at - from);
    line.Tag = tag;
    FContext.Produced(line.Text.size() + 2);
    out.push_back(std::move(line));
    firstLine = false;
    from = at + 1;
  }
}

std::string TFunctionDecompiler::List(const std::vector<TLuaExprPtr>& values, int level) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) text += ",";
    text += FPrinter.Print(*values[i], level);
  }
  return text;
}

void TFunctionDecompiler::PrintBlock(const TBlock& block, int level, TLuaLines& out) {
  FContext.Step(static_cast<std::int64_t>(block.size()));
  for (std::size_t i = 0; i < block.size(); ++i) {
    // A return ends its block: one with statements after it gets a block of its own.
    if (block[i].Kind == TStmtKind::Return && i + 1 < block.size()) {
      AddLines("do", level, block[i].Tag, out);
      PrintStmt(block[i], level + 1, out);
      AddLines("end", level, block[i].Tag, out);
      continue;
    }
    PrintStmt(block[i], level, out);
  }
}

void TFunctionDecompiler::PrintStmt(const TStmt& s, int level, TLuaLines& out) {
  switch (s.Kind) {
    case TStmtKind::Assign: {
      // function a.b(...), function a:b(...), function f(...)
      if (s.Targets.size() == 1 && s.Values.size() == 1 && s.Values[0]->Kind == TLuaExprKind::Function) {
        const TLuaExpr& target = *s.Targets[0];
        const TLuaExpr& fn = *s.Values[0];
        if (target.Kind == TLuaExprKind::Global) {
          AddLines(TPrinter::FunctionText(FPrinter.RenderFunction(fn, level, false), "function " + target.Name, level),
                   level, s.Tag, out);
          return;
        }
        if (target.Kind == TLuaExprKind::Index && target.Sub[0]->Kind == TLuaExprKind::Global &&
            target.Sub[1]->Kind == TLuaExprKind::String && IsLuaName(target.Sub[1]->Name)) {
          TFunctionText text = FPrinter.RenderFunction(fn, level, true);
          std::string head = "function " + target.Sub[0]->Name;
          if (text.SelfFirst) {
            text.Params.erase(text.Params.begin());
            head += ":" + target.Sub[1]->Name;
          } else {
            head += "." + target.Sub[1]->Name;
          }
          AddLines(TPrinter::FunctionText(text, head, level), level, s.Tag, out);
          return;
        }
      }
      std::vector<TLuaExprPtr> values = s.Values;
      if (values.size() == s.Targets.size() && values.size() > 1 && DropsLastNil(values)) values.pop_back();
      AddLines(List(s.Targets, level) + "=" + List(values, level), level, s.Tag, out);
      return;
    }
    case TStmtKind::Local: {
      std::vector<TLuaExprPtr> values;
      for (const auto& v : s.ValuesByName) values.insert(values.end(), v.begin(), v.end());
      // local a, b = 1, nil reads as local a, b = 1: the adjusting nil is the same single pushnil.
      if (values.size() == s.Names.size() && DropsLastNil(values)) values.pop_back();
      std::string text = "local " + Join(s.Names, ",");
      if (!values.empty()) text += "=" + List(values, level);
      AddLines(text, level, s.Tag, out);
      return;
    }
    case TStmtKind::Call:
      AddLines(FPrinter.Print(*s.Values[0], level), level, s.Tag, out);
      return;
    case TStmtKind::Return:
      AddLines("return " + List(s.Values, level), level, s.Tag, out);
      return;
    case TStmtKind::If:
      for (std::size_t b = 0; b < s.Blocks.size(); ++b) {
        if (b < s.Values.size()) {
          AddLines((b ? "elseif " : "if ") + FPrinter.Print(*s.Values[b], level) + " then", level, s.Tag, out);
        } else {
          AddLines("else", level, s.Tag, out);
        }
        PrintBlock(s.Blocks[b], level + 1, out);
      }
      AddLines("end", level, s.Tag, out);
      return;
    case TStmtKind::While:
      AddLines("while " + FPrinter.Print(*s.Values[0], level) + " do", level, s.Tag, out);
      PrintBlock(s.Blocks[0], level + 1, out);
      AddLines("end", level, s.Tag, out);
      return;
    case TStmtKind::Repeat:
      AddLines("repeat", level, s.Tag, out);
      PrintBlock(s.Blocks[0], level + 1, out);
      AddLines("until " + FPrinter.Print(*s.Values[0], level), level, s.Tag, out);
      return;
    case TStmtKind::Do:
      AddLines("do", level, s.Tag, out);
      PrintBlock(s.Blocks[0], level + 1, out);
      AddLines("end", level, s.Tag, out);
      return;
    case TStmtKind::Comment:
      for (const std::string& line : s.Lines) AddLines("-- " + line, level, s.Tag, out);
      return;
  }
}

TLuaLines TFunctionDecompiler::Print(const TBlock& block, int level) {
  TLuaLines out;
  PrintBlock(block, level, out);
  return out;
}

TLuaLines TFunctionDecompiler::Listing(const std::string& why, int level) {
  TStmt s;
  s.Lines.push_back(LuaFormat("This function could not be decompiled (%s, at %.4x); its code:", why.c_str(), FOffset));
  TLuaListing listing([&s](const std::string& line) {
    // Constants may hold line breaks: the comment must stay one line.
    std::string text = line;
    for (char& c : text)
      if (static_cast<unsigned char>(c) < ' ') c = ' ';
    s.Lines.push_back(text);
  });
  listing.ListCode(FFunc);
  TLuaLines out;
  PrintStmt(s, level, out);
  return out;
}

// ---- Functions ----

// The body of f printed at a level, with the chunk's local names unless a
// global is used under one of them; its listing when it cannot be structured.
TLuaLines FunctionBody(const TLuaFunction& f, TLuaDecompileContext& context, const std::vector<std::string>& upvalues,
                       bool method, int level, std::vector<std::string>& params, bool& selfFirst, int& maxStack) {
  for (bool useNames : {true, false}) {
    TFunctionDecompiler d(f, context, upvalues, method, useNames);
    params = d.ParamNames();
    selfFirst = d.SelfFirst();
    maxStack = d.MaxStack();
    try {
      TBlock body = d.Statements(2, f.CodeSize);
      if (useNames && d.NameClash()) continue;
      return d.Print(body, level);
    } catch (const EUnstructured& fault) {
      return d.Listing(fault.what(), level);
    }
  }
  return {};
}

TFunctionText TPrinter::RenderFunction(const TLuaExpr& e, int level, bool method) {
  // A function nests as deep as the line that holds it: its blocks count from there.
  struct TRestore {
    int& Depth;
    int Saved;
    ~TRestore() { Depth = Saved; }
  } restore{FContext.Depth, FContext.Depth};
  FContext.Depth = level;
  TDepthGuard depth(FContext.Depth);
  std::vector<std::string> upvalues;
  for (const TLuaExprPtr& u : e.Sub) {
    if (u->Kind != TLuaExprKind::Local && u->Kind != TLuaExprKind::Global)
      upvalues.push_back("?");
    else
      upvalues.push_back(u->Name);
  }
  TFunctionText text;
  int maxStack = 0;
  text.Body = FunctionBody(*e.Func, FContext, upvalues, method, level + 1, text.Params, text.SelfFirst, maxStack);
  text.SelfFirst =
      text.SelfFirst || (method && e.Func->Locals.empty() && !text.Params.empty() && text.Params[0] == "self");
  text.Comment = LuaFormat(" -- defined at %s:%d, code %d, stack %d", e.Func->Source.c_str(), e.Func->Line,
                           e.Func->CodeSize, maxStack);
  return text;
}

std::string TPrinter::FunctionText(const TFunctionText& f, const std::string& head, int level) {
  std::string text = head + "(" + Join(f.Params, ", ") + ")" + f.Comment;
  for (const TLuaLine& line : f.Body) text += "\n" + line.Text;
  return text + "\n" + Indent(level) + "end";
}

}  // namespace

std::string JoinLuaLines(const TLuaLines& lines) {
  std::size_t size = 0;
  for (const TLuaLine& line : lines) size += line.Text.size() + 2;
  std::string out;
  out.reserve(size);
  for (const TLuaLine& line : lines) {
    out += line.Text;
    out += "\r\n";
  }
  return out;
}

void TLuaDecompileContext::Step(std::int64_t n) {
  Steps += n;
  if (Steps > kMaxLuaDecompileSteps)
    throw ELuaException(LuaFormat("Decompiling stopped: the script needs more than %lld decoding steps.",
                                  static_cast<long long>(kMaxLuaDecompileSteps)));
}

void TLuaDecompileContext::Produced(std::size_t bytes) {
  TextBytes += static_cast<std::int64_t>(bytes);
  if (TextBytes > kMaxLuaDecompileText)
    throw ELuaException(LuaFormat("Decompiling stopped: the source text would exceed %lld bytes.",
                                  static_cast<long long>(kMaxLuaDecompileText)));
}

TLuaDecompiler::TLuaDecompiler(const TLuaFunction& f, LogFn debugLog)
    : FOwnContext(std::make_unique<TLuaDecompileContext>(TLuaDecompileContext{std::move(debugLog)})),
      FContext(*FOwnContext),
      FFunc(f) {}

TLuaDecompiler::~TLuaDecompiler() = default;

std::string TLuaDecompiler::VarName(int slot) const {
  TFunctionDecompiler d(FFunc, FContext, {}, FIsMethod);
  return d.GeneratedName(slot);
}

TLuaLines TLuaDecompiler::Decompile() {
  TLuaLines out;
  if (FLevel > 0 || FIsMethod) {
    TLuaExpr e;
    e.Kind = TLuaExprKind::Function;
    e.Func = &FFunc;
    TPrinter printer(FContext);
    TFunctionText text = printer.RenderFunction(e, FLevel, FIsMethod);
    TLuaLine head;
    head.Text = Indent(FLevel) + "function(" + Join(text.Params, ", ") + ")" + text.Comment;
    out.push_back(std::move(head));
    for (TLuaLine& line : text.Body) out.push_back(std::move(line));
    out.push_back({Indent(FLevel) + "end", 0});
    return out;
  }
  std::vector<std::string> params;
  bool selfFirst = false;
  int maxStack = 0;
  TLuaLines body = FunctionBody(FFunc, FContext, {}, false, 0, params, selfFirst, maxStack);
  TLuaLine head;
  head.Text = LuaFormat("-- main function, defined at %s:%d, code %d, stack %d", FFunc.Source.c_str(), FFunc.Line,
                        FFunc.CodeSize, maxStack);
  out.push_back(std::move(head));
  for (TLuaLine& line : body) out.push_back(std::move(line));
  return out;
}

TLuaLines TLuaDecompiler::DecompileBlock(int start, int end) {
  TFunctionDecompiler main(FFunc, FContext, {}, FIsMethod);
  try {
    return main.Print(main.Statements(start, end), FLevel);
  } catch (const EUnstructured& fault) {
    return main.Listing(fault.what(), FLevel);
  }
}

}  // namespace vld
