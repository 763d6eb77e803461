#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/lua/LuaDump.h"

namespace vld {

// Expression trees of the decompiler, and the printing of literals so that
// they read back to the same code.

struct TLuaExpr;
using TLuaExprPtr = std::shared_ptr<const TLuaExpr>;

enum class TLuaExprKind {
  Nil,
  Number,
  String,
  Global,    // Name
  Local,     // Name (the local's name at the time it was read)
  Upvalue,   // Name without the %
  Index,     // Sub[0][Sub[1]]; Dotted: written .name
  Method,    // Sub[0]:Name, only as the function of a call
  Call,      // Sub[0](Sub[1..]); Results: kept results, -1 for all
  Binary,    // Sub[0] Op Sub[1]
  Unary,     // Op Sub[0]
  Function,  // Func, Sub: the upvalues' values
  Table,     // Sub: list items; Pairs: record part; RecordsFirst
};

// Binary and unary operators; and/or are binary too.
enum class TLuaOperator { Eq, Ne, Lt, Le, Gt, Ge, Add, Sub, Mul, Div, Pow, Concat, And, Or, Minus, Not };

struct TLuaExpr {
  TLuaExprKind Kind = TLuaExprKind::Nil;
  TLuaOperator Op = TLuaOperator::Add;
  std::string Name;  // Global, Local, Upvalue, Method; String: the bytes
  double Num = 0;
  int FloatSize = 8;  // Number: the chunk's number size, which decides the text that reads back
  bool Dotted = false;
  int Results = 1;
  const TLuaFunction* Func = nullptr;
  std::vector<TLuaExprPtr> Sub;
  std::vector<std::pair<TLuaExprPtr, TLuaExprPtr>> Pairs;
  bool RecordsFirst = false;
};

TLuaExprPtr MakeLuaExpr(TLuaExpr e);

// The expression as source text. Functions are rendered by the callback,
// which gets the function node and the indentation level of the line that
// holds it.
class TLuaExprPrinter {
 public:
  virtual ~TLuaExprPrinter() = default;
  std::string Print(const TLuaExpr& e, int level);

 protected:
  virtual std::string PrintFunction(const TLuaExpr& e, int level) = 0;

 private:
  std::string Operand(const TLuaExpr& e, int level, int parentPrecedence, bool needEqual);
  std::string Prefix(const TLuaExpr& e, int level);
};

int LuaPrecedence(TLuaOperator op);
const char* LuaOperatorText(TLuaOperator op);

// A string literal with only the escapes the compiler reads (\n \t \r \\ \");
// every other byte is written as it is.
std::string LuaQuote(const std::string& bytes);
// A name usable after "." or before "=" in a constructor: a letter or _, then
// letters, digits or _, and not a reserved word.
bool IsLuaName(const std::string& text);
// The number as the compiler reads it: its digit loop, rounded to single
// precision for floatSize 4. Returns false for text that is not a number.
bool ReadLuaNumber(const std::string& text, int floatSize, double& value);
// A text that reads back to the number's bits; empty when the digit loop
// reaches the number from no text.
std::string LuaNumberText(double value, int floatSize);

}  // namespace vld
