#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/common/Bytes.h"

namespace vld {

// The converted form of an entry: the file extension it is saved under
// (".bmp", ".wav", ".txt", ".bik", ".lua.txt") and its bytes.
struct TConversion {
  std::string extension;
  Bytes data;
};

// Converts an entry's bytes by the type its name gives, exactly as the viewer
// writes them when saving. Throws VldError when the type has no conversion or
// the entry is refused.
TConversion ConvertEntryBytes(std::string_view name, ByteSpan bytes);

// True when ConvertEntryBytes handles the name's type.
bool IsConvertible(std::string_view name);

// Per-subsystem converters; each returns nullopt for names it does not handle.
std::optional<TConversion> ConvertImageEntry(std::string_view name, ByteSpan bytes);  // images/
std::optional<TConversion> ConvertAudioEntry(std::string_view name, ByteSpan bytes);  // audio/
std::optional<TConversion> ConvertLuaEntry(std::string_view name, ByteSpan bytes);    // lua/
bool HandlesImageEntry(std::string_view name);
bool HandlesAudioEntry(std::string_view name);
bool HandlesLuaEntry(std::string_view name);

}  // namespace vld
