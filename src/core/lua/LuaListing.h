#pragma once

#include <cstdint>
#include <string>

#include "core/common/Bytes.h"
#include "core/lua/LuaDump.h"

namespace vld {

// Opcodes that the decompiler names; the full numbering is in the listing table.
enum TLuaOpcode : std::uint8_t {
  kOpEndCode = 0,
  kOpSetTable0 = 84,
  kOpSetTable = 85,
  kOpOnTJmp = 105,
  kOpOnTJmpW = 106,
  kOpOnFJmp = 107,
  kOpOnFJmpW = 108,
  kOpJmp = 109,
  kOpJmpW = 110,
  kOpIfFJmp = 111,
  kOpIfFJmpW = 112,
  kOpIfTUpJmp = 113,
  kOpIfTUpJmpW = 114,
  kOpIfFUpJmp = 115,
  kOpIfFUpJmpW = 116,
  kOpCallFunc = 120,
  kOpRetCode = 123,
  kOpLastValid = 128,
};

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
  const LogFn& FLog;
  int FDepth = 0;
};

}  // namespace vld
