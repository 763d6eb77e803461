#include "samples/LuaChunk.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vld::samples {

namespace {

constexpr std::uint8_t kMask = 0x3B;

void PutNumber(Bytes& out, double value, const TChunkOptions& o) {
  std::uint8_t bytes[8];
  if (o.floatSize == 4) {
    float f = static_cast<float>(value);
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  } else {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  if (o.msbFirst) std::reverse(bytes, bytes + o.floatSize);
  out.insert(out.end(), bytes, bytes + o.floatSize);
}

void PutFunction(Bytes& out, const TChunkFunction& f, const TChunkOptions& o) {
  PutU16BE(out, static_cast<std::uint32_t>(f.line));
  Bytes source = ChunkString(f.source);
  out.insert(out.end(), source.begin(), source.end());
  PutU32BE(out, static_cast<std::uint32_t>(f.code.size()));
  out.insert(out.end(), f.code.begin(), f.code.end());
  PutU16BE(out, static_cast<std::uint32_t>(f.consts.size()));
  for (const TChunkConst& c : f.consts) {
    out.push_back(c.tag);
    if (c.tag == 'N') PutNumber(out, c.number, o);
    if (c.tag == 'S') {
      Bytes s = ChunkString(c.text);
      out.insert(out.end(), s.begin(), s.end());
    }
  }
  PutU16BE(out, static_cast<std::uint32_t>(f.locals.size()));
  for (const auto& [name, line] : f.locals) {
    PutU16BE(out, static_cast<std::uint32_t>(line));
    Bytes s = ChunkString(name);
    out.insert(out.end(), s.begin(), s.end());
  }
  for (std::size_t i = 0; i < f.nested.size(); ++i) {
    out.push_back('#');
    PutU16BE(out, static_cast<std::uint32_t>(f.nestedIndex[i]));
    PutFunction(out, f.nested[i], o);
  }
  out.push_back(f.endByte);
}

}  // namespace

int TChunkFunction::Number(double value) {
  consts.push_back({'N', value, {}});
  return static_cast<int>(consts.size()) - 1;
}

int TChunkFunction::String(const std::string& text) {
  for (std::size_t i = 0; i < consts.size(); ++i)
    if (consts[i].tag == 'S' && consts[i].text == text) return static_cast<int>(i);
  consts.push_back({'S', 0, text});
  return static_cast<int>(consts.size()) - 1;
}

int TChunkFunction::RawConst(std::uint8_t tag) {
  consts.push_back({tag, 0, {}});
  return static_cast<int>(consts.size()) - 1;
}

int TChunkFunction::Function(TChunkFunction f) {
  int k = RawConst('F');
  Nest(k, std::move(f));
  return k;
}

void TChunkFunction::Nest(int index, TChunkFunction f) {
  nestedIndex.push_back(index);
  nested.push_back(std::move(f));
}

TChunkFunction& TChunkFunction::Local(const std::string& name, int atLine) {
  locals.emplace_back(name, atLine);
  return *this;
}

Bytes ChunkString(const std::string& text) {
  Bytes out;
  PutU16BE(out, static_cast<std::uint32_t>(text.size() + 1));
  for (char c : text) out.push_back(static_cast<std::uint8_t>(c) ^ kMask);
  out.push_back(kMask);  // the terminating zero, masked
  return out;
}

Bytes BuildChunk(const TChunkFunction& main, const TChunkOptions& o) {
  Bytes out = {0x1B, 'L', 'u', 'a', o.version, static_cast<std::uint8_t>(o.floatSize)};
  if (o.floatSize == 4) {
    std::uint32_t bits = 0x17BF0A46u;
    float f;
    std::memcpy(&f, &bits, 4);
    PutNumber(out, f, o);
  } else {
    std::uint64_t bits = 0x3AF7E148BFFFFFFEull;
    double d;
    std::memcpy(&d, &bits, 8);
    PutNumber(out, d, o);
  }
  PutFunction(out, main, o);
  return out;
}

TLuaAsm::TLuaAsm(int maxStack, int params) {
  FCode.push_back(static_cast<std::uint8_t>(maxStack));
  FCode.push_back(static_cast<std::uint8_t>(params));
}

Bytes TLuaAsm::Code() const {
  for (const TPatch& p : FPatches)
    if (FLabels[p.label] < 0) throw std::logic_error("TLuaAsm: a jump goes to a label that was never bound");
  return FCode;
}

TLuaAsm& TLuaAsm::Raw(std::initializer_list<std::uint8_t> bytes) {
  FCode.insert(FCode.end(), bytes.begin(), bytes.end());
  return *this;
}

TLuaAsm& TLuaAsm::Byte(int b) {
  if (b < 0 || b > 255) throw std::logic_error("TLuaAsm: byte operand out of range");
  FCode.push_back(static_cast<std::uint8_t>(b));
  return *this;
}

TLuaAsm& TLuaAsm::Word(int w) {
  if (w < 0 || w > 65535) throw std::logic_error("TLuaAsm: word operand out of range");
  PutU16LE(FCode, static_cast<std::uint32_t>(w));
  return *this;
}

TLuaAsm& TLuaAsm::ByKind(int value, int shortFirst, int shortCount, int byteOp, int wordOp) {
  if (shortFirst >= 0 && value < shortCount) return Byte(shortFirst + value);
  if (value <= 255 || wordOp < 0) return Byte(byteOp).Byte(value);
  return Byte(wordOp).Word(value);
}

TLuaAsm& TLuaAsm::PushNil(int count) { return count == 1 ? Byte(2) : Byte(1).Byte(count - 1); }
TLuaAsm& TLuaAsm::PushNumber(int n) { return ByKind(n, 4, 3, 3, 7); }
TLuaAsm& TLuaAsm::PushConst(int k) { return ByKind(k, 9, 8, 8, 17); }
TLuaAsm& TLuaAsm::PushUpvalue(int n) { return ByKind(n, 19, 2, 18, -1); }
TLuaAsm& TLuaAsm::PushLocal(int slot) { return ByKind(slot, 22, 8, 21, -1); }
TLuaAsm& TLuaAsm::GetGlobal(int k) { return ByKind(k, 31, 8, 30, 39); }
TLuaAsm& TLuaAsm::GetTable() { return Byte(40); }
TLuaAsm& TLuaAsm::GetDotted(int k) { return ByKind(k, 42, 8, 41, 50); }
TLuaAsm& TLuaAsm::PushSelf(int k) { return ByKind(k, 52, 8, 51, 60); }
TLuaAsm& TLuaAsm::CreateArray(int size) { return ByKind(size, 62, 2, 61, 64); }
TLuaAsm& TLuaAsm::SetLocal(int slot) { return ByKind(slot, 66, 8, 65, -1); }
TLuaAsm& TLuaAsm::SetGlobal(int k) { return ByKind(k, 75, 8, 74, 83); }
TLuaAsm& TLuaAsm::SetTable0() { return Byte(84); }
TLuaAsm& TLuaAsm::SetTable(int n) { return Byte(85).Byte(n); }

TLuaAsm& TLuaAsm::SetList(int count, int startBlock) {
  if (startBlock == 0) return Byte(87).Byte(count);
  if (startBlock <= 255) return Byte(86).Byte(startBlock).Byte(count);
  return Byte(88).Word(startBlock).Byte(count);
}

TLuaAsm& TLuaAsm::SetMap(int pairs) { return pairs == 1 ? Byte(90) : Byte(89).Byte(pairs - 1); }
TLuaAsm& TLuaAsm::Op(std::uint8_t opcode) { return Byte(opcode); }

TLuaAsm& TLuaAsm::Closure(int k, int upvalues) {
  if (k < 2) return Byte(118 + k).Byte(upvalues);
  return Byte(117).Byte(k).Byte(upvalues);
}

TLuaAsm& TLuaAsm::Call(int args, int results) {
  if (results == 0) return Byte(121).Byte(args);
  if (results == 1) return Byte(122).Byte(args);
  return Byte(120).Byte(results).Byte(args);
}

TLuaAsm& TLuaAsm::Return(int base) { return Byte(123).Byte(base); }
TLuaAsm& TLuaAsm::SetLine(int line) { return line <= 255 ? Byte(124).Byte(line) : Byte(125).Word(line); }

TLuaAsm& TLuaAsm::Pop(int count) {
  if (count == 1) return Byte(127);
  if (count == 2) return Byte(128);
  return Byte(126).Byte(count - 1);
}

TLuaAsm& TLuaAsm::End() { return Byte(0); }

TAsmLabel TLuaAsm::Label() {
  FLabels.push_back(-1);
  return {static_cast<int>(FLabels.size()) - 1};
}

TAsmLabel TLuaAsm::Here() {
  TAsmLabel l = Label();
  Bind(l);
  return l;
}

void TLuaAsm::Patch(const TPatch& p, int target) {
  int after = p.operand + (p.word ? 2 : 1);
  int d = target - after;
  if (d < 0 || d > (p.word ? 65535 : 255)) throw std::logic_error("TLuaAsm: jump displacement out of range");
  FCode[p.operand] = static_cast<std::uint8_t>(d);
  if (p.word) FCode[p.operand + 1] = static_cast<std::uint8_t>(d >> 8);
}

void TLuaAsm::Bind(TAsmLabel label) {
  FLabels.at(label.id) = Pos();
  for (const TPatch& p : FPatches)
    if (p.label == label.id) Patch(p, Pos());
}

TLuaAsm& TLuaAsm::Jump(std::uint8_t opcode, TAsmLabel label) {
  if (opcode < 105 || opcode > 116) throw std::logic_error("TLuaAsm: not a jump opcode");
  bool word = opcode % 2 == 0;
  Byte(opcode);
  int operand = Pos();
  if (word)
    Word(0);
  else
    Byte(0);
  if (opcode >= 113) {
    int target = FLabels.at(label.id);
    if (target < 0) throw std::logic_error("TLuaAsm: a backward jump needs a bound label");
    int d = Pos() - target;
    if (d < 0 || d > (word ? 65535 : 255)) throw std::logic_error("TLuaAsm: jump displacement out of range");
    FCode[operand] = static_cast<std::uint8_t>(d);
    if (word) FCode[operand + 1] = static_cast<std::uint8_t>(d >> 8);
  } else {
    TPatch p{label.id, operand, word};
    if (FLabels.at(label.id) >= 0)
      Patch(p, FLabels[label.id]);
    else
      FPatches.push_back(p);
  }
  return *this;
}

}  // namespace vld::samples
