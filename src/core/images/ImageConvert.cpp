#include "core/browser/Convert.h"

namespace vld {

bool HandlesImageEntry(std::string_view) { return false; }
std::optional<TConversion> ConvertImageEntry(std::string_view, ByteSpan) { return std::nullopt; }

}  // namespace vld
