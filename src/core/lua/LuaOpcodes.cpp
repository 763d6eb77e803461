#include "core/lua/LuaOpcodes.h"

#include <algorithm>

namespace vld {

namespace {

using F = TLuaOperandForm;
using K = TLuaOpKind;

constexpr TLuaOpGroup kOpGroups[] = {
    {0, 0, "endcode", F::None, K::EndCode},
    {1, 1, "pushnil", F::Byte, K::PushNil},
    {2, 2, "pushnil0", F::None, K::PushNil},
    {3, 3, "pushnumber", F::Byte, K::PushNumber},
    {4, 6, "pushnumber", F::Short, K::PushNumber},
    {7, 7, "pushnumberw", F::Word, K::PushNumber},
    {8, 8, "pushconstant", F::ByteConst, K::PushConstant},
    {9, 16, "pushconstant", F::ShortConst, K::PushConstant},
    {17, 17, "pushconstantw", F::WordConst, K::PushConstant},
    {18, 18, "pushupvalue", F::Byte, K::PushUpvalue},
    {19, 20, "pushupvalue", F::Short, K::PushUpvalue},
    {21, 21, "pushlocal", F::Byte, K::PushLocal},
    {22, 29, "pushlocal", F::Short, K::PushLocal},
    {30, 30, "getglobal", F::ByteConst, K::GetGlobal},
    {31, 38, "getglobal", F::ShortConst, K::GetGlobal},
    {39, 39, "getglobalw", F::WordConst, K::GetGlobal},
    {40, 40, "gettable", F::None, K::GetTable},
    {41, 41, "getdotted", F::ByteConst, K::GetDotted},
    {42, 49, "getdotted", F::ShortConst, K::GetDotted},
    {50, 50, "getdottedw", F::WordConst, K::GetDotted},
    {51, 51, "pushself", F::ByteConst, K::PushSelf},
    {52, 59, "pushself", F::ShortConst, K::PushSelf},
    {60, 60, "pushselfw", F::WordConst, K::PushSelf},
    {61, 61, "createarray", F::Byte, K::CreateArray},
    {62, 63, "createarray", F::Short, K::CreateArray},
    {64, 64, "createarrayw", F::Word, K::CreateArray},
    {65, 65, "setlocal", F::Byte, K::SetLocal},
    {66, 73, "setlocal", F::Short, K::SetLocal},
    {74, 74, "setglobal", F::ByteConst, K::SetGlobal},
    {75, 82, "setglobal", F::ShortConst, K::SetGlobal},
    {83, 83, "setglobalw", F::WordConst, K::SetGlobal},
    {84, 84, "settable0", F::None, K::SetTable0},
    {85, 85, "settable", F::Byte, K::SetTable},
    {86, 86, "setlist", F::SetList, K::SetList},
    {87, 87, "setlist0", F::SetList0, K::SetList},
    {88, 88, "setlistw", F::SetListW, K::SetList},
    {89, 89, "setmap", F::SetMap, K::SetMap},
    {90, 90, "setmap0", F::None, K::SetMap},
    {91, 91, "eqop", F::None, K::Binary},
    {92, 92, "neqop", F::None, K::Binary},
    {93, 93, "ltop", F::None, K::Binary},
    {94, 94, "leop", F::None, K::Binary},
    {95, 95, "gtop", F::None, K::Binary},
    {96, 96, "geop", F::None, K::Binary},
    {97, 97, "addop", F::None, K::Binary},
    {98, 98, "subop", F::None, K::Binary},
    {99, 99, "mulop", F::None, K::Binary},
    {100, 100, "divop", F::None, K::Binary},
    {101, 101, "powop", F::None, K::Binary},
    {102, 102, "concop", F::None, K::Binary},
    {103, 103, "minusop", F::None, K::Minus},
    {104, 104, "notop", F::None, K::Not},
    {105, 105, "ontjmp", F::JumpByte, K::OnTJmp},
    {106, 106, "ontjmpw", F::JumpWord, K::OnTJmp},
    {107, 107, "onfjmp", F::JumpByte, K::OnFJmp},
    {108, 108, "onfjmpw", F::JumpWord, K::OnFJmp},
    {109, 109, "jmp", F::JumpByte, K::Jmp},
    {110, 110, "jmpw", F::JumpWord, K::Jmp},
    {111, 111, "iffjmp", F::JumpByte, K::IfFJmp},
    {112, 112, "iffjmpw", F::JumpWord, K::IfFJmp},
    {113, 113, "iftupjmp", F::UpJumpByte, K::IfTUpJmp},
    {114, 114, "iftupjmpw", F::UpJumpWord, K::IfTUpJmp},
    {115, 115, "iffupjmp", F::UpJumpByte, K::IfFUpJmp},
    {116, 116, "iffupjmpw", F::UpJumpWord, K::IfFUpJmp},
    {117, 117, "closure", F::TwoBytes, K::Closure},
    {118, 119, "closure", F::ShortByte, K::Closure},
    {120, 120, "callfunc", F::TwoBytes, K::CallFunc},
    {121, 122, "callfunc", F::ShortByte, K::CallFunc},
    {123, 123, "retcode", F::Byte, K::RetCode},
    {124, 124, "setline", F::Byte, K::SetLine},
    {125, 125, "setlinew", F::Word, K::SetLine},
    {126, 126, "pop", F::Byte, K::Pop},
    {127, 128, "pop", F::Short, K::Pop},
};

// Direct lookup by opcode, built once from the table above.
struct TOpIndex {
  const TLuaOpGroup* ByOpcode[256] = {};
  TOpIndex() {
    for (const TLuaOpGroup& g : kOpGroups)
      for (int op = g.First; op <= g.Last; ++op) ByOpcode[op] = &g;
  }
};

const TOpIndex& OpIndex() {
  static const TOpIndex index;
  return index;
}

}  // namespace

std::span<const TLuaOpGroup> LuaOpGroups() { return kOpGroups; }

const TLuaOpGroup* LuaOpGroupOf(std::uint8_t opcode) { return OpIndex().ByOpcode[opcode]; }

bool TLuaInstruction::IsJump() const {
  if (!Group) return false;
  switch (Group->Form) {
    case F::JumpByte:
    case F::JumpWord:
    case F::UpJumpByte:
    case F::UpJumpWord:
      return true;
    default:
      return false;
  }
}

int LuaCodeByte(const Bytes& code, int size, int pos) {
  const int limit = std::min<int>(size, static_cast<int>(code.size()));
  return pos >= 0 && pos < limit ? code[static_cast<std::size_t>(pos)] : 0;
}

TLuaInstruction DecodeLuaInstruction(const Bytes& code, int size, int pc) {
  int pos = pc;
  auto byte = [&]() { return LuaCodeByte(code, size, pos++); };
  auto word = [&]() -> int {
    int lo = byte();
    return lo | (byte() << 8);
  };

  TLuaInstruction in;
  in.Offset = pc;
  in.Opcode = static_cast<std::uint8_t>(byte());
  in.Group = LuaOpGroupOf(in.Opcode);
  if (!in.Group) return in;
  const int shortValue = in.Opcode - in.Group->First;
  switch (in.Group->Form) {
    case F::None:
      break;
    case F::Byte:
    case F::ByteConst:
      in.A = byte();
      break;
    case F::Word:
    case F::WordConst:
      in.A = word();
      break;
    case F::Short:
    case F::ShortConst:
      in.A = shortValue;
      break;
    case F::JumpByte:
    case F::UpJumpByte:
      in.A = byte();
      break;
    case F::JumpWord:
    case F::UpJumpWord:
      in.A = word();
      break;
    case F::SetList:
      in.A = byte();
      in.B = byte();
      break;
    case F::SetListW:
      in.A = word();
      in.B = byte();
      break;
    case F::SetList0:
      in.B = byte();
      break;
    case F::SetMap:
      in.A = byte();
      break;
    case F::TwoBytes:
      in.A = byte();
      in.B = byte();
      break;
    case F::ShortByte:
      in.A = shortValue;
      in.B = byte();
      break;
  }
  in.Size = pos - pc;
  const bool up = in.Group->Form == F::UpJumpByte || in.Group->Form == F::UpJumpWord;
  if (in.IsJump()) in.Target = up ? pos - in.A : pos + in.A;
  return in;
}

}  // namespace vld
