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

// Targets before the code's start show as their 32-bit two's complement.
std::string JumpText(const char* name, int target) { return LuaFormat("%s %.4x", name, static_cast<unsigned>(target)); }

}  // namespace

std::string LuaFormat(const char* format, ...) {
  // One pass for the usual short line; a second only for long texts.
  char buf[256];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  std::string text;
  if (n > 0 && static_cast<std::size_t>(n) < sizeof buf) {
    text.assign(buf, static_cast<std::size_t>(n));
  } else if (n > 0) {
    text.resize(static_cast<std::size_t>(n));
    std::vsnprintf(text.data(), text.size() + 1, format, copy);
  }
  va_end(copy);
  return text;
}

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
  int stack = LuaCodeByte(f.Code, f.CodeSize, 0);
  int params = LuaCodeByte(f.Code, f.CodeSize, 1);
  ListLine(LuaFormat("Stack: %d, Args: %d", stack, params));
  int pc = 2;
  while (pc < f.CodeSize) {
    const TLuaInstruction in = DecodeLuaInstruction(f.Code, f.CodeSize, pc);
    pc = in.End();
    const TLuaOpGroup* g = in.Group;
    if (!g) {
      InstrLine(in.Offset, in.Opcode, "<bad>");
      continue;
    }
    std::string text;
    switch (g->Form) {
      case TLuaOperandForm::None:
        text = g->Name;
        break;
      case TLuaOperandForm::Byte:
      case TLuaOperandForm::Word:
        text = LuaFormat("%s %d", g->Name, in.A);
        break;
      case TLuaOperandForm::ByteConst:
      case TLuaOperandForm::WordConst:
        text = std::string(g->Name) + " " + ConstName(f, in.A);
        break;
      case TLuaOperandForm::Short:
        text = LuaFormat("%s%d", g->Name, in.A);
        break;
      case TLuaOperandForm::ShortConst:
        text = LuaFormat("%s%d ", g->Name, in.A) + ConstName(f, in.A);
        break;
      case TLuaOperandForm::JumpByte:
      case TLuaOperandForm::JumpWord:
      case TLuaOperandForm::UpJumpByte:
      case TLuaOperandForm::UpJumpWord:
        text = JumpText(g->Name, in.Target);
        break;
      case TLuaOperandForm::SetList:
      case TLuaOperandForm::SetListW:
        text = LuaFormat("%s start %d count %d", g->Name, in.A * 64, in.B);
        break;
      case TLuaOperandForm::SetList0:
        text = LuaFormat("setlist0 count %d", in.B);
        break;
      case TLuaOperandForm::SetMap:
        text = LuaFormat("setmap %d", in.A + 1);
        break;
      case TLuaOperandForm::TwoBytes:
        text = LuaFormat("%s %d %d", g->Name, in.A, in.B);
        break;
      case TLuaOperandForm::ShortByte:
        text = LuaFormat("%s%d %d", g->Name, in.A, in.B);
        break;
    }
    InstrLine(in.Offset, in.Opcode, text);
  }
}

}  // namespace vld
