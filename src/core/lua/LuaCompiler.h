#pragma once

#include <string>
#include <string_view>

#include "core/common/Bytes.h"

namespace vld {

// How a script is compiled into the game's chunk format.
struct TLuaCompileOptions {
  std::string SourceName = "script.lua";  // stored in the chunk and named in error messages
  int FloatSize = 8;                      // 4 or 8 bytes per number
  bool MsbFirst = false;                  // numbers most significant byte first
  bool DebugInfo = true;                  // line and local information from the start
                                          // ($debug and $nodebug lines switch it in the text)
};

// Where and why a compile was refused.
struct TLuaCompileError {
  std::string File;
  int Line = 0;
  std::string Message;
  std::string Token;

  // "FILE:LINE: message near 'TOKEN'"
  std::string Text() const;
};

// A compile's whole result: the chunk, or the error that stopped it (and no chunk).
struct TLuaCompiled {
  Bytes Chunk;
  TLuaCompileError Error;
  bool Failed = false;
};

// Compiles Lua 3.1 source text into a chunk, byte for byte as the compiler
// that made the game's scripts writes it. Never throws for any source text;
// an invalid option (a float size other than 4 or 8) throws std::invalid_argument.
TLuaCompiled CompileLua(std::string_view source, const TLuaCompileOptions& options = {});

}  // namespace vld
