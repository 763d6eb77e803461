// The loader's outputs that need the layers above it: the listing and the
// decompiled source (declared with TLuaFile in LuaDump.h).
#include "core/lua/LuaDecompiler.h"
#include "core/lua/LuaDump.h"
#include "core/lua/LuaListing.h"

namespace vld {

void TLuaFile::DumpListing(const LogFn& debugLog) const {
  if (!debugLog) return;
  debugLog(LuaFormat("Dump of file: %s", FFileName.c_str()));
  debugLog(LuaFormat("Lua version: %d.%d", FVersion >> 4, FVersion & 0x0F));
  debugLog(LuaFormat("Floats size: %d", FFloatSize));
  debugLog(FLsbFirst ? "Intel byte ordering (LSB first)" : "Motorola byte ordering (MSB first)");
  TLuaListing listing(debugLog);
  listing.DumpFunction(*FMain, 0);
}

void TLuaFile::Dump(TByteSink& out, const LogFn& debugLog) const {
  DumpListing(debugLog);
  TLuaDecompiler decompiler(*FMain, debugLog);
  decompiler.SetFloatSize(FFloatSize);
  std::string text = JoinLuaLines(decompiler.Decompile());
  out.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string DumpLuaChunk(ByteSpan entry, const std::string& fileName, const LogFn& debugLog) {
  TLuaFile file(Bytes(entry.begin(), entry.end()), fileName);
  TMemoryStream out;
  file.Dump(out, debugLog);
  return AsString(out.Data());
}

}  // namespace vld
