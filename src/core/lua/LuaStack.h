#pragma once

#include <string>
#include <vector>

#include "core/common/Bytes.h"
#include "core/lua/LuaDump.h"

namespace vld {

// The decompiler's symbolic stack: raw constants, or the source text of the
// expression that computes a value. Depth 0 is the top.
class TLuaStack {
 public:
  explicit TLuaStack(LogFn debugLog = {}) : FLog(std::move(debugLog)) {}

  void Push(const TLuaValue& value) { FItems.push_back(value); }
  void PushNil();
  void PushNumber(double n);
  void PushText(std::string text);
  bool IsEmpty() const { return FItems.empty(); }
  std::size_t Count() const { return FItems.size(); }

  // Throws VldError "TLuaStack underflow!" when depth >= Count().
  TLuaValue PeekAt(std::size_t depth) const;
  TLuaValue Peek() const { return PeekAt(0); }
  // Past the bottom, logs a warning and supplies one nil entry; a depth that
  // even that nil cannot reach is an error.
  TLuaValue PopAt(std::size_t depth);
  TLuaValue Pop() { return PopAt(0); }

 private:
  LogFn FLog;
  std::vector<TLuaValue> FItems;  // bottom first
};

// Renders function entries; the decompiler supplies one.
class TLuaFunctionRenderer {
 public:
  virtual ~TLuaFunctionRenderer() = default;
  virtual std::string RenderFunction(const TLuaFunction* f) = 0;
};

// An entry as source text. Function entries go to the renderer (none: empty text).
std::string ValueText(const TLuaValue& value, TLuaFunctionRenderer* renderer);
// A Lua string literal of the text (ending at its first zero character).
std::string QuoteString(const std::string& text);
// The text in parentheses when it holds a space, '-' or '+'.
std::string Paren(const std::string& text);
// A quoted text without spaces loses its quotes.
std::string Unquote(const std::string& text);
bool IsDigits(const std::string& text);
bool IsLocalName(const std::string& text);
bool IsIdentifier(const std::string& text);
// "[key]", ".key" or "[\"key\"]" for indexing a table with the key.
std::string KeySuffix(const std::string& key);

}  // namespace vld
