#include "core/browser/Convert.h"

namespace vld {

bool HandlesAudioEntry(std::string_view) { return false; }
std::optional<TConversion> ConvertAudioEntry(std::string_view, ByteSpan) { return std::nullopt; }

}  // namespace vld
