#include "core/lua/LuaListing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace vld {

namespace {

constexpr int kSignificantDigits = 15;
constexpr int kSmallestFixedExponent = -5;  // 0.00001

// How an opcode's operands are read and listed.
enum class TForm {
  None,        // "name"
  Byte,        // "name %d"
  Word,        // "name %d"
  ByteConst,   // "name %s"
  WordConst,   // "name %s"
  Short,       // "name%d", the value carried in the opcode
  ShortConst,  // "name%d %s"
  JumpByte,    // "name %.4x", forward
  JumpWord,
  UpJumpByte,  // backward
  UpJumpWord,
  SetList,    // byte start, byte count
  SetListW,   // word start, byte count
  SetList0,   // byte count
  SetMap,     // byte n, listed n + 1
  TwoBytes,   // "name %d %d": closure k n, callfunc results arguments
  ShortByte,  // "name%d %d": the value carried in the opcode, then a byte
};

struct TOpGroup {
  std::uint8_t first;
  std::uint8_t last;
  const char* name;
  TForm form;
};

constexpr TOpGroup kOpGroups[] = {
    {0, 0, "endcode", TForm::None},
    {1, 1, "pushnil", TForm::Byte},
    {2, 2, "pushnil0", TForm::None},
    {3, 3, "pushnumber", TForm::Byte},
    {4, 6, "pushnumber", TForm::Short},
    {7, 7, "pushnumberw", TForm::Word},
    {8, 8, "pushconstant", TForm::ByteConst},
    {9, 16, "pushconstant", TForm::ShortConst},
    {17, 17, "pushconstantw", TForm::WordConst},
    {18, 18, "pushupvalue", TForm::Byte},
    {19, 20, "pushupvalue", TForm::Short},
    {21, 21, "pushlocal", TForm::Byte},
    {22, 29, "pushlocal", TForm::Short},
    {30, 30, "getglobal", TForm::ByteConst},
    {31, 38, "getglobal", TForm::ShortConst},
    {39, 39, "getglobalw", TForm::WordConst},
    {40, 40, "gettable", TForm::None},
    {41, 41, "getdotted", TForm::ByteConst},
    {42, 49, "getdotted", TForm::ShortConst},
    {50, 50, "getdottedw", TForm::WordConst},
    {51, 51, "pushself", TForm::ByteConst},
    {52, 59, "pushself", TForm::ShortConst},
    {60, 60, "pushselfw", TForm::WordConst},
    {61, 61, "createarray", TForm::Byte},
    {62, 63, "createarray", TForm::Short},
    {64, 64, "createarrayw", TForm::Word},
    {65, 65, "setlocal", TForm::Byte},
    {66, 73, "setlocal", TForm::Short},
    {74, 74, "setglobal", TForm::ByteConst},
    {75, 82, "setglobal", TForm::ShortConst},
    {83, 83, "setglobalw", TForm::WordConst},
    {84, 84, "settable0", TForm::None},
    {85, 85, "settable", TForm::Byte},
    {86, 86, "setlist", TForm::SetList},
    {87, 87, "setlist0", TForm::SetList0},
    {88, 88, "setlistw", TForm::SetListW},
    {89, 89, "setmap", TForm::SetMap},
    {90, 90, "setmap0", TForm::None},
    {91, 91, "eqop", TForm::None},
    {92, 92, "neqop", TForm::None},
    {93, 93, "ltop", TForm::None},
    {94, 94, "leop", TForm::None},
    {95, 95, "gtop", TForm::None},
    {96, 96, "geop", TForm::None},
    {97, 97, "addop", TForm::None},
    {98, 98, "subop", TForm::None},
    {99, 99, "mulop", TForm::None},
    {100, 100, "divop", TForm::None},
    {101, 101, "powop", TForm::None},
    {102, 102, "concop", TForm::None},
    {103, 103, "minusop", TForm::None},
    {104, 104, "notop", TForm::None},
    {105, 105, "ontjmp", TForm::JumpByte},
    {106, 106, "ontjmpw", TForm::JumpWord},
    {107, 107, "onfjmp", TForm::JumpByte},
    {108, 108, "onfjmpw", TForm::JumpWord},
    {109, 109, "jmp", TForm::JumpByte},
    {110, 110, "jmpw", TForm::JumpWord},
    {111, 111, "iffjmp", TForm::JumpByte},
    {112, 112, "iffjmpw", TForm::JumpWord},
    {113, 113, "iftupjmp", TForm::UpJumpByte},
    {114, 114, "iftupjmpw", TForm::UpJumpWord},
    {115, 115, "iffupjmp", TForm::UpJumpByte},
    {116, 116, "iffupjmpw", TForm::UpJumpWord},
    {117, 117, "closure", TForm::TwoBytes},
    {118, 119, "closure", TForm::ShortByte},
    {120, 120, "callfunc", TForm::TwoBytes},
    {121, 122, "callfunc", TForm::ShortByte},
    {123, 123, "retcode", TForm::Byte},
    {124, 124, "setline", TForm::Byte},
    {125, 125, "setlinew", TForm::Word},
    {126, 126, "pop", TForm::Byte},
    {127, 128, "pop", TForm::Short},
};

const TOpGroup* GroupOf(std::uint8_t op) {
  for (const TOpGroup& g : kOpGroups)
    if (op >= g.first && op <= g.last) return &g;
  return nullptr;
}

// Operand reads of the listing: bytes past the end of the code read as zero.
class TCodeCursor {
 public:
  explicit TCodeCursor(const Bytes& code, int size) : FCode(code), FSize(std::min<std::size_t>(size, code.size())) {}
  int Pos() const { return FPos; }
  void Seek(int pos) { FPos = pos; }
  std::uint8_t Byte() {
    std::uint8_t b = FPos >= 0 && static_cast<std::size_t>(FPos) < FSize ? FCode[FPos] : 0;
    ++FPos;
    return b;
  }
  std::uint16_t Word() {
    std::uint8_t lo = Byte();
    return static_cast<std::uint16_t>(lo | (Byte() << 8));
  }

 private:
  const Bytes& FCode;
  std::size_t FSize;
  int FPos = 0;
};

// Targets before the code's start show as their 32-bit two's complement.
std::string JumpText(const char* name, int target) { return LuaFormat("%s %.4x", name, static_cast<unsigned>(target)); }

}  // namespace

std::string FormatG(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // Fifteen correctly rounded significant digits, then the layout by hand.
  char buf[64];
  auto result =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, kSignificantDigits - 1);
  std::string text(buf, result.ptr);
  std::size_t e = text.find('e');
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
  int exponent = std::atoi(text.c_str() + e + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent < kSmallestFixedExponent || exponent >= kSignificantDigits) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exponent);
  } else if (exponent >= 0) {
    std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits + std::string(intDigits - digits.size(), '0');
    } else {
      out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
  } else {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return out;
}

std::string LuaIndent(int level) { return level >= 1 ? std::string(2 * static_cast<std::size_t>(level), ' ') : " "; }

void TLuaListing::ListLine(const std::string& text) {
  if (FLog) FLog(LuaIndent(FDepth) + text);
}

void TLuaListing::InstrLine(int offset, std::uint8_t opcode, const std::string& mnemonic) {
  ListLine(LuaFormat("%.4x %.2x | ", static_cast<unsigned>(offset), opcode) + mnemonic);
}

std::string TLuaListing::ConstName(const TLuaFunction& f, int k) {
  if (k < 0 || static_cast<std::size_t>(k) >= f.Consts.size()) return LuaFormat("<bad>(var%d)", k);
  const TLuaValue& v = f.Consts[k];
  switch (v.Kind) {
    case kLuaFunction:
      return LuaFormat("Func%d(const%d)", k, k);
    case kLuaText:
      return v.Text + LuaFormat("(const%d)", k);
    case kLuaNumber:
      return FormatG(v.Num) + LuaFormat("(const%d)", k);
    default:
      return LuaFormat("<bad>(const%d)", k);
  }
}

void TLuaListing::DumpFunction(const TLuaFunction& f, int depth) {
  FDepth = depth;
  ListLine(LuaFormat("function defined at %s:%d", f.Source.c_str(), f.Line));
  FDepth = depth + 1;
  ListLine(LuaFormat("Code length: %d", f.CodeSize));
  ListCode(f);
  ListLine("Locals:");
  for (const TLuaLocal& local : f.Locals) ListLine(LuaFormat("%s at line %d", local.Name.c_str(), local.Line));
  ListLine("Consts:");
  for (std::size_t i = 0; i < f.Consts.size(); ++i) {
    const TLuaValue& v = f.Consts[i];
    int k = static_cast<int>(i);
    if (v.Kind == kLuaFunction) {
      ListLine(LuaFormat("Const%d = function", k));
      if (v.Func) {
        DumpFunction(*v.Func, depth + 1);
        FDepth = depth + 1;
      } else {
        FDepth = depth + 2;
        ListLine("<no function attached>");
        FDepth = depth + 1;
      }
    } else if (v.Kind == kLuaText) {
      ListLine(LuaFormat("Const%d = ", k) + v.Text);
    } else if (v.Kind == kLuaNumber) {
      ListLine(LuaFormat("Const%d = ", k) + FormatG(v.Num));
    }
  }
}

void TLuaListing::ListCode(const TLuaFunction& f) {
  ListLine(LuaFormat("File offset: %8.8X", f.FileOffset));
  TCodeCursor c(f.Code, f.CodeSize);
  int stack = c.Byte();
  int params = c.Byte();
  ListLine(LuaFormat("Stack: %d, Args: %d", stack, params));
  while (c.Pos() < f.CodeSize) {
    int offset = c.Pos();
    std::uint8_t op = c.Byte();
    const TOpGroup* g = GroupOf(op);
    if (!g) {
      InstrLine(offset, op, "<bad>");
      continue;
    }
    int shortValue = op - g->first;
    std::string text;
    switch (g->form) {
      case TForm::None:
        text = g->name;
        break;
      case TForm::Byte:
        text = LuaFormat("%s %d", g->name, c.Byte());
        break;
      case TForm::Word:
        text = LuaFormat("%s %d", g->name, c.Word());
        break;
      case TForm::ByteConst:
        text = std::string(g->name) + " " + ConstName(f, c.Byte());
        break;
      case TForm::WordConst:
        text = std::string(g->name) + " " + ConstName(f, c.Word());
        break;
      case TForm::Short:
        text = LuaFormat("%s%d", g->name, shortValue);
        break;
      case TForm::ShortConst:
        text = LuaFormat("%s%d ", g->name, shortValue) + ConstName(f, shortValue);
        break;
      case TForm::JumpByte:
      case TForm::JumpWord:
      case TForm::UpJumpByte:
      case TForm::UpJumpWord: {
        bool word = g->form == TForm::JumpWord || g->form == TForm::UpJumpWord;
        bool up = g->form == TForm::UpJumpByte || g->form == TForm::UpJumpWord;
        int d = word ? c.Word() : c.Byte();
        text = JumpText(g->name, up ? c.Pos() - d : c.Pos() + d);
        break;
      }
      case TForm::SetList: {
        int start = c.Byte();
        int count = c.Byte();
        text = LuaFormat("setlist start %d count %d", start * 64, count);
        break;
      }
      case TForm::SetListW: {
        int start = c.Word();
        int count = c.Byte();
        text = LuaFormat("setlistw start %d count %d", start * 64, count);
        break;
      }
      case TForm::SetList0:
        text = LuaFormat("setlist0 count %d", c.Byte());
        break;
      case TForm::SetMap:
        text = LuaFormat("setmap %d", c.Byte() + 1);
        break;
      case TForm::TwoBytes: {
        int first = c.Byte();
        int second = c.Byte();
        text = LuaFormat("%s %d %d", g->name, first, second);
        break;
      }
      case TForm::ShortByte:
        text = LuaFormat("%s%d %d", g->name, shortValue, c.Byte());
        break;
    }
    InstrLine(offset, op, text);
  }
}

}  // namespace vld
