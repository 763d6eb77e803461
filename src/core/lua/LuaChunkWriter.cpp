#include "core/lua/LuaChunkWriter.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/common/Errors.h"
#include "core/lua/LuaDump.h"

namespace vld {

namespace {

constexpr std::uint8_t kSignature[] = {0x1B, 'L', 'u', 'a'};
constexpr std::uint64_t kTestDouble = 0x3AF7E148BFFFFFFEull;
constexpr std::uint32_t kTestSingle = 0x17BF0A46u;

class TChunkOut {
 public:
  TChunkOut(int floatSize, bool msbFirst) : FFloatSize(floatSize), FMsbFirst(msbFirst) {}

  void Byte(std::uint8_t b) { FOut.push_back(b); }
  void Word(std::uint32_t w) { PutU16BE(FOut, w); }
  void Long(std::uint32_t v) { PutU32BE(FOut, v); }

  // Length with the terminating zero, then the bytes and the zero, masked.
  void String(const std::string& text) {
    if (text.size() + 1 > 0xFFFF)
      throw VldError("A string of " + std::to_string(text.size()) + " bytes is too long for a chunk (at most 65534).");
    Word(static_cast<std::uint32_t>(text.size() + 1));
    for (char c : text) Byte(static_cast<std::uint8_t>(c) ^ kLuaStringMask);
    Byte(kLuaStringMask);
  }

  void NumberBits(std::uint64_t bits) {
    std::uint8_t b[8];
    for (int i = 0; i < FFloatSize; ++i) b[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    for (int i = 0; i < FFloatSize; ++i) Byte(FMsbFirst ? b[FFloatSize - 1 - i] : b[i]);
  }

  void Number(double value) {
    if (FFloatSize == 4)
      NumberBits(std::bit_cast<std::uint32_t>(static_cast<float>(value)));
    else
      NumberBits(std::bit_cast<std::uint64_t>(value));
  }

  void Function(const TLuaProto& f) {
    Word(static_cast<std::uint32_t>(f.Line));
    String(f.Source);
    Long(static_cast<std::uint32_t>(f.Code.size()));
    FOut.insert(FOut.end(), f.Code.begin(), f.Code.end());
    Word(static_cast<std::uint32_t>(f.Consts.size()));
    for (const TLuaProto::TConst& c : f.Consts) {
      switch (c.Kind) {
        case TLuaProto::TConst::TKind::Number:
          Byte('N');
          Number(c.Number);
          break;
        case TLuaProto::TConst::TKind::String:
          Byte('S');
          String(c.Text);
          break;
        case TLuaProto::TConst::TKind::Function:
          Byte('F');
          break;
      }
    }
    Word(f.HasLocals ? static_cast<std::uint32_t>(f.Locals.size()) : 0);
    if (f.HasLocals) {
      for (const TLuaProto::TLocal& l : f.Locals) {
        Word(static_cast<std::uint32_t>(l.Line));
        if (l.Named)
          String(l.Name);
        else
          Word(0);
      }
    }
    for (std::size_t i = 0; i < f.Consts.size(); ++i) {
      if (f.Consts[i].Kind != TLuaProto::TConst::TKind::Function) continue;
      Byte('#');
      Word(static_cast<std::uint32_t>(i));
      Function(*f.Nested.at(static_cast<std::size_t>(f.Consts[i].Nested)));
    }
    Byte('$');
  }

  Bytes Take() { return std::move(FOut); }

 private:
  int FFloatSize;
  bool FMsbFirst;
  Bytes FOut;
};

}  // namespace

Bytes WriteLuaChunk(const TLuaProto& main, int floatSize, bool msbFirst) {
  TChunkOut out(floatSize, msbFirst);
  for (std::uint8_t b : kSignature) out.Byte(b);
  out.Byte(kLuaVersion);
  out.Byte(static_cast<std::uint8_t>(floatSize));
  out.NumberBits(floatSize == 4 ? kTestSingle : kTestDouble);
  out.Function(main);
  return out.Take();
}

}  // namespace vld
