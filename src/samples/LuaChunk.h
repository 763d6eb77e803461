#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/common/Bytes.h"

namespace vld::samples {

// One constant of an assembled function: tag 'N' (number), 'S' (string),
// 'F' (function) or any other byte, which the loader does not recognise.
struct TChunkConst {
  std::uint8_t tag = 'N';
  double number = 0;
  std::string text;
};

// A function record as it is written into a chunk.
struct TChunkFunction {
  int line = 0;
  std::string source = "script.lua";
  Bytes code;  // with its two header bytes (maximum stack, parameters)
  std::vector<TChunkConst> consts;
  std::vector<std::pair<std::string, int>> locals;  // name, line
  std::vector<int> nestedIndex;                     // constant index of each nested-function item
  std::vector<TChunkFunction> nested;
  std::uint8_t endByte = 0;

  int Number(double value);
  // A string constant; the same text gives the same index.
  int String(const std::string& text);
  int RawConst(std::uint8_t tag);
  // A function constant and the nested-function item that fills it.
  int Function(TChunkFunction f);
  // A nested-function item for any index, for damaged chunks.
  void Nest(int index, TChunkFunction f);
  TChunkFunction& Local(const std::string& name, int atLine);
};

struct TChunkOptions {
  int floatSize = 4;      // 4 or 8
  bool msbFirst = false;  // number byte order
  std::uint8_t version = 0x31;
};

// A complete chunk: header, test number and the main function's record.
Bytes BuildChunk(const TChunkFunction& main, const TChunkOptions& options = {});
// A string field: length (most significant byte first) and the bytes masked;
// terminated with a zero byte as a compiler writes it.
Bytes ChunkString(const std::string& text);

// A forward or backward jump destination in assembled code.
struct TAsmLabel {
  int id = -1;
};

// Assembles code bytes. Instruction helpers pick the short and word forms by
// the operand's value; jumps go to labels and are patched when bound.
class TLuaAsm {
 public:
  TLuaAsm(int maxStack = 0, int params = 0);

  int Pos() const { return static_cast<int>(FCode.size()); }
  // The code; throws when a forward jump's label was never bound.
  Bytes Code() const;

  TLuaAsm& Raw(std::initializer_list<std::uint8_t> bytes);
  TLuaAsm& Byte(int b);
  TLuaAsm& Word(int w);

  TLuaAsm& PushNil(int count = 1);
  TLuaAsm& PushNumber(int n);
  TLuaAsm& PushConst(int k);
  TLuaAsm& PushUpvalue(int n);
  TLuaAsm& PushLocal(int slot);
  TLuaAsm& GetGlobal(int k);
  TLuaAsm& GetTable();
  TLuaAsm& GetDotted(int k);
  TLuaAsm& PushSelf(int k);
  TLuaAsm& CreateArray(int size = 0);
  TLuaAsm& SetLocal(int slot);
  TLuaAsm& SetGlobal(int k);
  TLuaAsm& SetTable0();
  TLuaAsm& SetTable(int n);
  TLuaAsm& SetList(int count, int startBlock = 0);
  TLuaAsm& SetMap(int pairs);
  TLuaAsm& Op(std::uint8_t opcode);  // operators 91..104 and other operand-less opcodes
  TLuaAsm& Closure(int k, int upvalues = 0);
  TLuaAsm& Call(int args, int results);
  TLuaAsm& Return(int base);
  TLuaAsm& SetLine(int line);
  TLuaAsm& Pop(int count = 1);
  TLuaAsm& End();

  TAsmLabel Label();
  TAsmLabel Here();  // a label bound at the current position
  void Bind(TAsmLabel label);
  // A jump opcode (105..116) to a label; 113..116 jump backwards to a bound label.
  TLuaAsm& Jump(std::uint8_t opcode, TAsmLabel label);

 private:
  struct TPatch {
    int label;
    int operand;  // offset of the displacement
    bool word;
  };
  TLuaAsm& ByKind(int value, int shortFirst, int shortCount, int byteOp, int wordOp);
  void Patch(const TPatch& p, int target);

  Bytes FCode;
  std::vector<int> FLabels;  // bound position, or -1
  std::vector<TPatch> FPatches;
};

// The demo bundle's compiled script (scripts\\demo.lua) and text table.
Bytes BuildDemoScript();
Bytes BuildDemoTextTable();

}  // namespace vld::samples
