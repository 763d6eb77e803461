#include "core/browser/Convert.h"
#include "core/browser/FileTypes.h"
#include "core/lua/LuaDump.h"

namespace vld {

bool HandlesLuaEntry(std::string_view name) { return DispatchAction(name) == EntryAction::ShowLua; }

// The decompiled source exactly as the viewer shows it; the listing and trace
// lines have no reader here.
std::optional<TConversion> ConvertLuaEntry(std::string_view name, ByteSpan bytes) {
  if (!HandlesLuaEntry(name)) return std::nullopt;
  std::string text = DumpLuaChunk(bytes, std::string(name));
  return TConversion{".txt", Bytes(text.begin(), text.end())};
}

}  // namespace vld
