#pragma once

#include <string>
#include <vector>

#include "core/lua/LuaDump.h"
#include "core/lua/LuaOpcodes.h"

namespace vld {

// A function's code decoded once, cut into basic blocks with their
// successors. The structuring works on instruction indexes and relies on the
// checks made here: every instruction decodes, every jump lands on an
// instruction inside the code.
struct TLuaBasicBlock {
  int First = 0;  // instruction indexes, inclusive
  int Last = 0;
  std::vector<int> Successors;  // block indexes
};

struct TLuaFlow {
  std::vector<TLuaInstruction> Code;  // from offset 2 on
  std::vector<TLuaBasicBlock> Blocks;
  std::string Fault;  // why the code cannot be structured; empty when it can

  // The index of the instruction at an offset; Code.size() at the code's end; -1 inside an instruction.
  int IndexAt(int offset) const;
  int CodeEnd() const { return FEnd; }

 private:
  friend TLuaFlow BuildLuaFlow(const TLuaFunction& f);
  std::vector<int> FIndexAt;
  int FEnd = 2;
};

TLuaFlow BuildLuaFlow(const TLuaFunction& f);

}  // namespace vld
