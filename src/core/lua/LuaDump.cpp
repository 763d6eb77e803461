#include "core/lua/LuaDump.h"

#include <algorithm>
#include <cstring>

#include "core/lua/LuaDecompiler.h"
#include "core/lua/LuaListing.h"

namespace vld {

namespace {

constexpr std::uint8_t kSignature[4] = {0x1B, 'L', 'u', 'a'};
constexpr std::uint32_t kTestFloatBits = 0x17BF0A46u;
constexpr std::uint64_t kTestDoubleBits = 0x3AF7E148BFFFFFFEull;
constexpr std::uint8_t kTagNumber = 'N';
constexpr std::uint8_t kTagString = 'S';
constexpr std::uint8_t kTagFunction = 'F';
constexpr std::uint8_t kNestedItem = '#';

// The value of float-size bytes taken least significant byte first.
std::uint64_t BitsLsbFirst(const std::uint8_t* p, int size) {
  std::uint64_t bits = 0;
  for (int i = size - 1; i >= 0; --i) bits = (bits << 8) | p[i];
  return bits;
}

double NumberFromBits(std::uint64_t bits, int size) {
  if (size == 4) {
    float f;
    std::uint32_t b = static_cast<std::uint32_t>(bits);
    std::memcpy(&f, &b, sizeof f);
    return f;
  }
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

}  // namespace

TLuaFile::TLuaFile(Bytes data, std::string fileName) : FFileName(std::move(fileName)), FData(std::move(data)) {
  ReadHeader();
  FMain = std::make_unique<TLuaFunction>();
  LoadFunction(*FMain, 0);
}

void TLuaFile::Need(std::size_t n, const char* what) const {
  if (FPos > FData.size() || n > FData.size() - FPos)
    throw ELuaException(LuaFormat("Lua file %s is truncated: %s at offset %zu runs past its end (%zu bytes).",
                                  FFileName.c_str(), what, FPos, FData.size()));
}

std::uint8_t TLuaFile::ReadByte(const char* what) {
  Need(1, what);
  return FData[FPos++];
}

std::uint16_t TLuaFile::ReadWord(const char* what) {
  Need(2, what);
  std::uint16_t v = static_cast<std::uint16_t>((FData[FPos] << 8) | FData[FPos + 1]);
  FPos += 2;
  return v;
}

std::int32_t TLuaFile::ReadLong(const char* what) {
  Need(4, what);
  const std::uint8_t* p = FData.data() + FPos;
  std::uint32_t v = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
  FPos += 4;
  return static_cast<std::int32_t>(v);
}

std::string TLuaFile::ReadString(const char* what) {
  std::uint16_t length = ReadWord(what);
  Need(length, what);
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char c = static_cast<char>(FData[FPos + i] ^ kLuaStringMask);
    if (c == '\0') break;  // a string without a zero byte keeps all its bytes
    text.push_back(c);
  }
  FPos += length;
  return text;
}

double TLuaFile::ReadNumber(const char* what) {
  Need(FFloatSize, what);
  const std::uint8_t* p = FData.data() + FPos;
  FPos += FFloatSize;
  std::uint64_t bits = BitsLsbFirst(p, FFloatSize);
  if (!FLsbFirst) {
    std::uint8_t reversed[8];
    std::reverse_copy(p, p + FFloatSize, reversed);
    bits = BitsLsbFirst(reversed, FFloatSize);
  }
  return NumberFromBits(bits, FFloatSize);
}

void TLuaFile::ReadHeader() {
  const char* name = FFileName.c_str();
  // A short file whose first bytes already differ is not a chunk at all.
  std::size_t have = std::min<std::size_t>(FData.size(), 4);
  if (have > 0 && std::memcmp(FData.data(), kSignature, have) != 0)
    throw ELuaException(LuaFormat("Bad signature in file %s", name));
  Need(6, "the header");
  FPos = 6;
  FVersion = FData[4];
  if (FVersion != kLuaVersion)
    throw ELuaException(LuaFormat("Bad lua version in file %s: found %d, expected %d", name, FVersion, kLuaVersion));
  FFloatSize = FData[5];
  if (FFloatSize != 4 && FFloatSize != 8)
    throw ELuaException(LuaFormat("Bad floats size in file %s: found %d, expected 4 or 8", name, FFloatSize));
  Need(FFloatSize, "the test number");
  const std::uint8_t* p = FData.data() + FPos;
  std::uint64_t expected = FFloatSize == 4 ? kTestFloatBits : kTestDoubleBits;
  std::uint8_t reversed[8];
  std::reverse_copy(p, p + FFloatSize, reversed);
  if (BitsLsbFirst(p, FFloatSize) == expected)
    FLsbFirst = true;
  else if (BitsLsbFirst(reversed, FFloatSize) == expected)
    FLsbFirst = false;
  else
    throw ELuaException(LuaFormat("Unknown floats representation in file %s", name));
  FPos += FFloatSize;
}

void TLuaFile::LoadFunction(TLuaFunction& f, int depth) {
  if (depth > kMaxLuaFunctionDepth)
    throw ELuaException(LuaFormat("Functions nested too deeply in file %s: more than %d levels", FFileName.c_str(),
                                  kMaxLuaFunctionDepth));
  f.FileOffset = static_cast<std::uint32_t>(FPos);
  f.Line = ReadWord("the line of a function");
  f.Source = ReadString("the source name of a function");
  f.CodeSize = ReadLong("the code size of a function");
  if (f.CodeSize > kMaxLuaCodeSize) throw ELuaException(LuaFormat("Code size too big: %d", f.CodeSize));
  if (f.CodeSize < 0) throw ELuaException(LuaFormat("Code size negative: %d", f.CodeSize));
  Need(static_cast<std::size_t>(f.CodeSize), "the code of a function");
  f.Code.assign(FData.begin() + FPos, FData.begin() + FPos + f.CodeSize);
  FPos += f.CodeSize;
  LoadConsts(f);
  LoadLocals(f);
  LoadSubFunctions(f, depth);
}

void TLuaFile::LoadConsts(TLuaFunction& f) {
  std::uint16_t count = ReadWord("the constant count");
  // Each constant takes at least its tag byte, so the count cannot outgrow the data.
  Need(count, "the constants");
  f.Consts.reserve(count);
  for (int i = 0; i < count; ++i) {
    TLuaValue v;
    switch (ReadByte("a constant tag")) {
      case kTagNumber:
        v.Kind = kLuaNumber;
        v.Num = ReadNumber("a number constant");
        break;
      case kTagString:
        v.Kind = kLuaText;
        v.Text = ReadString("a string constant");
        break;
      case kTagFunction:
        v.Kind = kLuaFunction;
        break;
      default:
        v.Kind = kLuaUnknown;
        break;
    }
    f.Consts.push_back(std::move(v));
  }
}

void TLuaFile::LoadLocals(TLuaFunction& f) {
  std::uint16_t count = ReadWord("the local count");
  Need(std::size_t(count) * 4, "the locals");  // line and string length at least
  f.Locals.reserve(count);
  for (int i = 0; i < count; ++i) {
    TLuaLocal local;
    local.Line = ReadWord("the line of a local");
    local.Name = ReadString("the name of a local");
    f.Locals.push_back(std::move(local));
  }
}

void TLuaFile::LoadSubFunctions(TLuaFunction& f, int depth) {
  const int count = static_cast<int>(f.Consts.size());
  while (ReadByte("the end of a function") == kNestedItem) {
    int index = ReadWord("a nested function's constant index");
    if (index >= count) throw ELuaException(LuaFormat("Bad function no: %d, must be in 0..%d", index, count - 1));
    if (f.Consts[index].Kind != kLuaFunction) throw ELuaException(LuaFormat("Const no %d is not a function!", index));
    auto nested = std::make_unique<TLuaFunction>();
    LoadFunction(*nested, depth + 1);
    f.Consts[index].Func = nested.get();
    f.Nested.push_back(std::move(nested));
  }
}

void TLuaFile::DumpListing(const LogFn& debugLog) const {
  if (!debugLog) return;
  debugLog(LuaFormat("Dump of file: %s", FFileName.c_str()));
  debugLog(LuaFormat("Lua version: %d.%d", FVersion >> 4, FVersion & 0x0F));
  debugLog(LuaFormat("Floats size: %d", FFloatSize));
  debugLog(FLsbFirst ? "Intel byte ordering (LSB first)" : "Motorola byte ordering (MSB first)");
  TLuaListing listing(debugLog);
  listing.DumpFunction(*FMain, 0);
}

void TLuaFile::Dump(TByteSink& out, const LogFn& debugLog) const {
  DumpListing(debugLog);
  TLuaDecompiler decompiler(*FMain, debugLog);
  decompiler.SetFloatSize(FFloatSize);
  std::string text = JoinLuaLines(decompiler.Decompile());
  out.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string DumpLuaChunk(ByteSpan entry, const std::string& fileName, const LogFn& debugLog) {
  TLuaFile file(Bytes(entry.begin(), entry.end()), fileName);
  TMemoryStream out;
  file.Dump(out, debugLog);
  return AsString(out.Data());
}

}  // namespace vld
