// Lua source text: the compiler gives a chunk the loader takes, or an error
// that names the file and a line; never a crash or a hang.
#include "FuzzCommon.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"

VLD_FUZZ_TARGET({
  const std::string source = vld::AsString(input);
  for (int floatSize : {8, 4}) {
    vld::TLuaCompileOptions options;
    options.SourceName = "fuzz.lua";
    options.FloatSize = floatSize;
    options.DebugInfo = floatSize == 8;
    const vld::TLuaCompiled compiled = vld::CompileLua(source, options);
    if (compiled.Failed) {
      VLD_FUZZ_CHECK(compiled.Chunk.empty() && compiled.Error.File == "fuzz.lua" && compiled.Error.Line >= 0 &&
                     !compiled.Error.Message.empty());
      continue;
    }
    try {
      vld::TLuaFile file(compiled.Chunk, "fuzz.lua");
      (void)file;
    } catch (const vld::ELuaException&) {
      VLD_FUZZ_CHECK(false);  // the loader refuses what the compiler wrote
    }
  }
})
