#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Bytes.h"
#include "core/lua/LuaDump.h"

namespace vld {

// Limits on one decompilation (the main function with every nested function
// it renders). Real scripts stay far below them; hostile code hits them and
// the decompilation ends with an ELuaException saying which was exceeded.
inline constexpr int kMaxLuaBlockDepth = 200;                      // nested blocks, over all nested functions
inline constexpr std::int64_t kMaxLuaDecompileSteps = 64'000'000;  // instructions decoded plus lines scanned or moved
inline constexpr std::int64_t kMaxLuaDecompileText = 64 << 20;     // bytes of source text produced

// One source line with the code offset of the statement it starts (its tag).
struct TLuaLine {
  std::string Text;
  int Tag = 0;
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
  int FloatSize = 8;  // how the chunk stores numbers: decides the texts that read back to them

  void Step(std::int64_t n = 1);
  void Produced(std::size_t bytes);
};

// Turns one function back into Lua source that compiles to the same code:
// decoding and basic blocks (LuaFlow), structuring and statement recovery
// (here), expression printing (LuaExpr). A function whose code does not fit
// the compiler's patterns is shown as a comment with its listing instead.
class TLuaDecompiler {
 public:
  explicit TLuaDecompiler(const TLuaFunction& f, LogFn debugLog = {});
  ~TLuaDecompiler();
  TLuaDecompiler(const TLuaDecompiler&) = delete;
  TLuaDecompiler& operator=(const TLuaDecompiler&) = delete;

  // Parameter 0 is named self (when the chunk has no local names).
  void SetIsMethod(bool isMethod) { FIsMethod = isMethod; }
  // The indentation level of the line that holds the function.
  void SetLevel(int level) { FLevel = level; }
  // 4 or 8: the chunk's number size.
  void SetFloatSize(int floatSize) { FContext.FloatSize = floatSize; }

  // The main function: a comment header and the statements. Any other
  // function (SetLevel above 0 or a nested one): "function(...)" ... "end".
  TLuaLines Decompile();
  // The statements of the code from offset start up to end, as the main function's.
  TLuaLines DecompileBlock(int start, int end);
  // The name of a stack slot when the chunk has no local names: Arg0.., self, arg, Local0..
  std::string VarName(int slot) const;

 private:
  std::unique_ptr<TLuaDecompileContext> FOwnContext;
  TLuaDecompileContext& FContext;
  const TLuaFunction& FFunc;
  int FLevel = 0;
  bool FIsMethod = false;
};

}  // namespace vld
