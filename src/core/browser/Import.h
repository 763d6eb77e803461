#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/common/Bytes.h"
#include "core/lua/LuaCompiler.h"

namespace vld {

// What a file given for an entry holds, as an import reads it.
enum class ImportSource {
  Raw,        // taken as it is
  Picture,    // PNG or BMP
  Wave,       // RIFF/WAVE
  LuaSource,  // a ".lua" file that is not a compiled chunk
};
// By the file's first bytes, and for Lua source by its name.
ImportSource ClassifyImportSource(std::string_view fileName, ByteSpan bytes);

// An import's whole result, plain data: the new entry bytes in the game's
// format, or why there are none.
struct TImported {
  Bytes data;
  std::string made;                   // what was made ("TGA image, 32 bits, run-length, gzip member")
  std::vector<std::string> warnings;  // shown beside the result, never instead of it
  std::string refusal;                // non-empty: nothing was made; the message says what to change
  int line = 0;                       // a script that did not compile: the line of the error (1-based)

  bool Refused() const { return !refusal.empty(); }
};

// How source is compiled to stand in for the compiled script `chunk`: its
// number size and byte order, the source name it carries, and whether it was
// compiled with line and local information. Defaults (with `sourceName`) for
// what `chunk` does not tell.
TLuaCompileOptions ScriptOptionsOf(ByteSpan chunk, std::string_view sourceName);

// Turns a file into an entry of the type of `likeName` in the flavour of
// `like`, the entry it replaces (its bytes; may be empty for a new entry):
// PNG or BMP into a tile or TGA entry, WAV into WVC voice or an AIF sound,
// Lua source into a compiled script, anything into a text table as it is.
// Whatever the entry's readers ignore is kept from `like`. Never throws for
// bad input: a refusal says why.
TImported ImportEntry(ByteSpan source, std::string_view sourceName, ByteSpan like, std::string_view likeName);

}  // namespace vld
