#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/common/Bytes.h"

namespace vld {

// A compiled function as the chunk stores it.
struct TLuaProto {
  struct TConst {
    enum class TKind { Number, String, Function } Kind = TKind::Number;
    double Number = 0;
    std::string Text;
    int Nested = -1;  // Function: index into Nested
  };
  struct TLocal {
    std::string Name;
    bool Named = true;  // false: the end of a block's local (stored with length 0)
    int Line = 0;
  };

  int Line = 0;
  std::string Source;
  Bytes Code;  // with its two header bytes
  std::vector<TConst> Consts;
  bool HasLocals = false;  // false: the function was begun without line and local information
  std::vector<TLocal> Locals;
  std::vector<std::unique_ptr<TLuaProto>> Nested;
};

// The chunk: header, test number and the main function's record. Throws
// VldError when a field does not fit its format (a string of 64 KiB or more).
Bytes WriteLuaChunk(const TLuaProto& main, int floatSize, bool msbFirst);

}  // namespace vld
