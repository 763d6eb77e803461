#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Bytes.h"
#include "core/lua/LuaDump.h"
#include "core/lua/LuaStack.h"

namespace vld {

// Limits on one decompilation (the main function with every nested function
// it renders). Real scripts stay far below them; hostile code hits them and
// the decompilation ends with an ELuaException saying which was exceeded.
inline constexpr int kMaxLuaBlockDepth = 200;                      // nested blocks, over all nested functions
inline constexpr std::int64_t kMaxLuaDecompileSteps = 64'000'000;  // instructions decoded plus lines scanned or moved
inline constexpr std::int64_t kMaxLuaDecompileText = 64 << 20;     // bytes of source text produced

enum class TLuaLineKind { Plain, Jump, IfHead, IfEnd };

// One source line with the code offset at which it was added (its tag).
struct TLuaLine {
  std::string Text;
  int Tag = 0;
  TLuaLineKind Kind = TLuaLineKind::Plain;
  int Target = 0;  // Jump: the code offset the jump goes to
  int IfId = 0;    // IfHead / IfEnd: which if statement
};

using TLuaLines = std::vector<TLuaLine>;

// The lines' texts, each followed by CR LF.
std::string JoinLuaLines(const TLuaLines& lines);

// Shared by a decompiler and every nested one it creates: the log and the budget.
struct TLuaDecompileContext {
  LogFn Log;
  std::int64_t Steps = 0;
  std::int64_t TextBytes = 0;
  int Depth = 0;
  int IfSerial = 0;

  void Step(std::int64_t n = 1);
  void Produced(std::size_t bytes);
};

// Turns one function back into source lines.
class TLuaDecompiler : private TLuaFunctionRenderer {
 public:
  explicit TLuaDecompiler(const TLuaFunction& f, LogFn debugLog = {});
  ~TLuaDecompiler() override;
  TLuaDecompiler(const TLuaDecompiler&) = delete;
  TLuaDecompiler& operator=(const TLuaDecompiler&) = delete;

  // Parameter 0 is named self.
  void SetIsMethod(bool isMethod) { FIsMethod = isMethod; }
  void SetLevel(int level) { FLevel = level; }

  TLuaLines Decompile();
  TLuaLines DecompileBlock(int start, int end);
  std::string VarName(int slot) const;

 private:
  TLuaDecompiler(const TLuaFunction& f, TLuaDecompileContext& context, int level, bool isMethod);

  void ReadCodeHeader();
  std::string RenderFunction(const TLuaFunction* f) override;
  std::uint8_t NextByte();
  std::uint16_t NextWord();
  std::uint8_t CodeAt(int offset) const;
  TLuaLine& AddLine(const std::string& text, TLuaLineKind kind = TLuaLineKind::Plain);
  void AppendLines(TLuaLines& lines);
  bool Logging() const { return static_cast<bool>(FContext.Log); }
  void Log(const std::string& line) const;
  void Indent(std::size_t from, std::size_t to);
  void Outdent(std::size_t from);

  std::string Text(const TLuaValue& v) { return ValueText(v, this); }
  std::string PopText() { return Text(FStack.Pop()); }
  bool HasConst(int k) const { return k >= 0 && static_cast<std::size_t>(k) < FFunc.Consts.size(); }
  std::string ConstText(int k);
  void PushText(std::string text);
  void PushConstant(int k);
  void PushGlobal(int k);

  void Handle(std::uint8_t op, int opOffset);
  // Pops the table below a constructor's items; returns the text to continue it with.
  std::string OpenConstructor(std::size_t depth, const char* store, std::string& table);
  void ListStore(int n);
  void MapStore(int n);
  void BinaryOp(std::uint8_t op);
  void Closure(int k, int n);
  void Call(std::uint8_t op, int results, int args);
  void Return(int base, int opOffset);
  void AndOr(bool isOr, bool word);
  void If(bool word);
  void BackJump(bool isWhile, bool word);

  std::unique_ptr<TLuaDecompileContext> FOwnContext;
  TLuaDecompileContext& FContext;
  const TLuaFunction& FFunc;
  int FCursor = 0;
  TLuaStack FStack;
  int FCodeSize = 0;
  int FNumParams = 0;    // stack slots the parameters take (the fixed ones, plus arg when variable)
  int FFixedParams = 0;  // named parameters
  bool FVarArg = false;
  int FMaxStack = 0;
  int FLevel = 0;
  bool FIsMethod = false;

  TLuaLines* FLines = nullptr;  // the current block's list
  bool FTableStore = false;     // the current block walk is forming a table-field store
  int FLastCallEnd = -1;        // offset after the last opcode-120 call, and its text
  std::string FLastCallText;
};

}  // namespace vld
