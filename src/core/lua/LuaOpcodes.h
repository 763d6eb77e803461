#pragma once

#include <cstdint>
#include <span>

#include "core/common/Bytes.h"

namespace vld {

// Every opcode of the script format. A group with short forms carries its
// operand in the opcode: kOpPushConstant0 + k for k below the group's count.
enum TLuaOpcode : std::uint8_t {
  kOpEndCode = 0,
  kOpPushNil = 1,   // byte: count - 1
  kOpPushNil0 = 2,  // one nil
  kOpPushNumber = 3,
  kOpPushNumber0 = 4,  // 4..6: 0, 1, 2
  kOpPushNumberW = 7,
  kOpPushConstant = 8,
  kOpPushConstant0 = 9,  // 9..16
  kOpPushConstantW = 17,
  kOpPushUpvalue = 18,
  kOpPushUpvalue0 = 19,  // 19..20
  kOpPushLocal = 21,
  kOpPushLocal0 = 22,  // 22..29
  kOpGetGlobal = 30,
  kOpGetGlobal0 = 31,  // 31..38
  kOpGetGlobalW = 39,
  kOpGetTable = 40,
  kOpGetDotted = 41,
  kOpGetDotted0 = 42,  // 42..49
  kOpGetDottedW = 50,
  kOpPushSelf = 51,
  kOpPushSelf0 = 52,  // 52..59
  kOpPushSelfW = 60,
  kOpCreateArray = 61,
  kOpCreateArray0 = 62,  // 62..63
  kOpCreateArrayW = 64,
  kOpSetLocal = 65,
  kOpSetLocal0 = 66,  // 66..73
  kOpSetGlobal = 74,
  kOpSetGlobal0 = 75,  // 75..82
  kOpSetGlobalW = 83,
  kOpSetTable0 = 84,
  kOpSetTable = 85,
  kOpSetList = 86,   // byte block, byte count
  kOpSetList0 = 87,  // byte count (block 0)
  kOpSetListW = 88,  // word block, byte count
  kOpSetMap = 89,    // byte: pairs - 1
  kOpSetMap0 = 90,   // one pair
  kOpEqOp = 91,
  kOpNeqOp = 92,
  kOpLtOp = 93,
  kOpLeOp = 94,
  kOpGtOp = 95,
  kOpGeOp = 96,
  kOpAddOp = 97,
  kOpSubOp = 98,
  kOpMulOp = 99,
  kOpDivOp = 100,
  kOpPowOp = 101,
  kOpConcOp = 102,
  kOpMinusOp = 103,
  kOpNotOp = 104,
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
  kOpClosure = 117,    // byte constant, byte upvalue count
  kOpClosure0 = 118,   // 118..119: constant 0 or 1, then byte upvalue count
  kOpCallFunc = 120,   // byte results (255: all), byte arguments
  kOpCallFunc0 = 121,  // 121..122: 0 or 1 results, then byte arguments
  kOpRetCode = 123,
  kOpSetLine = 124,
  kOpSetLineW = 125,
  kOpPop = 126,   // byte: count - 1
  kOpPop0 = 127,  // 127..128: pops 1 or 2
  kOpLastValid = 128,
};

// The same operation in all its encodings (short, byte, word).
enum class TLuaOpKind : std::uint8_t {
  EndCode,
  PushNil,
  PushNumber,
  PushConstant,
  PushUpvalue,
  PushLocal,
  GetGlobal,
  GetTable,
  GetDotted,
  PushSelf,
  CreateArray,
  SetLocal,
  SetGlobal,
  SetTable0,
  SetTable,
  SetList,
  SetMap,
  Binary,  // eqop .. concop
  Minus,
  Not,
  OnTJmp,
  OnFJmp,
  Jmp,
  IfFJmp,
  IfTUpJmp,
  IfFUpJmp,
  Closure,
  CallFunc,
  RetCode,
  SetLine,
  Pop,
};

// How an opcode's operands are encoded (and listed).
enum class TLuaOperandForm : std::uint8_t {
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
  SetList,    // byte block, byte count
  SetListW,   // word block, byte count
  SetList0,   // byte count
  SetMap,     // byte n, listed n + 1
  TwoBytes,   // "name %d %d": closure k n, callfunc results arguments
  ShortByte,  // "name%d %d": the value carried in the opcode, then a byte
};

// One row of the opcode table: opcodes first..last share a mnemonic and form;
// for short forms the operand is opcode - first.
struct TLuaOpGroup {
  std::uint8_t First;
  std::uint8_t Last;
  const char* Name;
  TLuaOperandForm Form;
  TLuaOpKind Kind;
};

std::span<const TLuaOpGroup> LuaOpGroups();
// The row of an opcode; nullptr for opcodes past kOpLastValid.
const TLuaOpGroup* LuaOpGroupOf(std::uint8_t opcode);

// One decoded instruction. Operands are as encoded: a short form's value, or
// the byte or word that follows. A is the first operand (constant, slot,
// count, displacement, block, results), B the second (setlist count, closure
// upvalues, callfunc arguments).
struct TLuaInstruction {
  int Offset = 0;
  std::uint8_t Opcode = 0;
  const TLuaOpGroup* Group = nullptr;  // nullptr: not an opcode
  int A = 0;
  int B = 0;
  int Size = 1;    // bytes taken, opcode included
  int Target = 0;  // jumps: the offset the jump goes to

  int End() const { return Offset + Size; }
  bool IsJump() const;
};

// Byte pos of the first `size` bytes of code; zero outside them. The code of a
// function starts with two such bytes: its maximum stack and its parameters.
int LuaCodeByte(const Bytes& code, int size, int pos);

// Decodes the instruction at offset pc of the first `size` bytes of code.
// Operand bytes past the end read as zero (a truncated instruction still
// decodes, its Size reaching past the end).
TLuaInstruction DecodeLuaInstruction(const Bytes& code, int size, int pc);

}  // namespace vld
