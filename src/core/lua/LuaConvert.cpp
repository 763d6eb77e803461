#include "core/browser/Convert.h"

namespace vld {

bool HandlesLuaEntry(std::string_view) { return false; }
std::optional<TConversion> ConvertLuaEntry(std::string_view, ByteSpan) { return std::nullopt; }

}  // namespace vld
