#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Bytes.h"
#include "core/common/Errors.h"
#include "core/common/MemoryStream.h"

namespace vld {

// printf-style text for integers and strings (never for floats, which go
// through FormatG, so the locale cannot reach the output).
#ifdef _WIN32
// The C99 printf of MinGW (__USE_MINGW_ANSI_STDIO), not the Microsoft one.
#define VLD_PRINTF_FORMAT gnu_printf
#else
#define VLD_PRINTF_FORMAT printf
#endif
std::string LuaFormat(const char* format, ...) __attribute__((format(VLD_PRINTF_FORMAT, 1, 2)));

// Every refusal of the compiled-script loader.
class ELuaException : public VldError {
 public:
  using VldError::VldError;
};

// Limits that keep hostile chunks from exhausting the stack.
inline constexpr int kMaxLuaFunctionDepth = 64;  // nested function records below the main function
inline constexpr std::int32_t kMaxLuaCodeSize = 65536;
inline constexpr std::uint8_t kLuaStringMask = 0x3B;
inline constexpr std::uint8_t kLuaVersion = 0x31;

enum TLuaKind : std::int32_t {
  kLuaUnknown = 0,
  kLuaNumber = -1,
  kLuaText = -2,
  kLuaFunction = -4,
  kLuaNil = -7,
};

struct TLuaFunction;

// One value: a constant of a function, or an entry of the decompiler's stack.
struct TLuaValue {
  std::int32_t Kind = kLuaUnknown;
  std::string Text;                    // kLuaText
  const TLuaFunction* Func = nullptr;  // kLuaFunction; owned by the function whose constant it is
  double Num = 0;                      // kLuaNumber
};

using TLuaConsts = std::vector<TLuaValue>;

struct TLuaLocal {
  std::string Name;
  int Line = 0;
};

using TLuaLocals = std::vector<TLuaLocal>;

struct TLuaFunction {
  std::uint16_t Line = 0;
  std::string Source;
  std::int32_t CodeSize = 0;
  Bytes Code;                    // CodeSize bytes
  std::uint32_t FileOffset = 0;  // where the function's record (its line field) begins
  TLuaConsts Consts;
  TLuaLocals Locals;
  // The nested functions; constants of the function kind point into these.
  std::vector<std::unique_ptr<TLuaFunction>> Nested;
};

// A loaded compiled chunk.
class TLuaFile {
 public:
  // Loads the chunk; throws ELuaException naming fileName on any format fault.
  TLuaFile(Bytes data, std::string fileName);

  const std::string& FileName() const { return FFileName; }
  bool LsbFirst() const { return FLsbFirst; }
  int FloatSize() const { return FFloatSize; }
  std::uint8_t Version() const { return FVersion; }
  const TLuaFunction& Main() const { return *FMain; }

  // Sends the four header lines and the bytecode listing, line by line, to debugLog.
  void DumpListing(const LogFn& debugLog) const;
  // The listing, then the decompiled source written to out (CR LF after each line).
  // The decompiler's trace and warning lines go to debugLog as well.
  void Dump(TByteSink& out, const LogFn& debugLog) const;

 private:
  std::uint8_t ReadByte(const char* what);
  std::uint16_t ReadWord(const char* what);
  std::int32_t ReadLong(const char* what);
  std::string ReadString(const char* what);
  double ReadNumber(const char* what);
  void Need(std::size_t n, const char* what) const;
  void ReadHeader();
  void LoadFunction(TLuaFunction& f, int depth);
  void LoadConsts(TLuaFunction& f);
  void LoadLocals(TLuaFunction& f);
  void LoadSubFunctions(TLuaFunction& f, int depth);

  std::string FFileName;
  Bytes FData;
  std::size_t FPos = 0;
  bool FLsbFirst = true;
  int FFloatSize = 4;
  std::uint8_t FVersion = 0;
  std::unique_ptr<TLuaFunction> FMain;
};

// Loads an entry's chunk and returns its decompiled source text (CR LF after
// each line); the header, listing and decompiler trace go to debugLog, which
// may be empty.
std::string DumpLuaChunk(ByteSpan entry, const std::string& fileName, const LogFn& debugLog = {});

}  // namespace vld
