// Compiled Lua chunks: loader, bytecode listing and decompiler.
#include "FuzzCommon.h"
#include "core/lua/LuaDump.h"

VLD_FUZZ_TARGET({
  std::size_t lines = 0;
  std::string source = vld::DumpLuaChunk(input, "fuzz.lua", [&lines](const std::string&) { ++lines; });
  (void)source;
})
