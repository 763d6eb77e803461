#pragma once

#include <cstdint>
#include <string>

#include "core/common/Bytes.h"
#include "core/lua/LuaDump.h"
#include "core/lua/LuaOpcodes.h"

namespace vld {

// General number format of the listing and the source text: up to 15
// significant digits; fixed notation from 0.00001 up to 15 digits before the
// point, else mantissa, "E" and the exponent without leading zeros or plus
// sign ("1E20", "1.5E-7"); no trailing zeros or needless point; always a '.'
// whatever the locale. Negative zero gives "0"; "NAN", "INF" and "-INF".
std::string FormatG(double value);

// The indentation of a line at a level: two spaces per level, and one space at
// level 0 (and below, for damaged code that closes more blocks than it opens).
std::string LuaIndent(int level);

// The bytecode listing of a loaded chunk's functions, line by line to a log.
class TLuaListing {
 public:
  explicit TLuaListing(const LogFn& debugLog) : FLog(debugLog) {}

  void DumpFunction(const TLuaFunction& f, int depth);
  void ListCode(const TLuaFunction& f);
  void ListLine(const std::string& text);
  void InstrLine(int offset, std::uint8_t opcode, const std::string& mnemonic);
  // "%s(const%d)" and its kin for constant k of f.
  static std::string ConstName(const TLuaFunction& f, int k);

 private:
  LogFn FLog;  // a copy: callers may pass a lambda made on the spot
  int FDepth = 0;
};

}  // namespace vld
