#include "core/browser/Convert.h"

#include "core/browser/FileTypes.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

bool HandlesText(std::string_view name) { return DispatchAction(name) == EntryAction::ViewText; }

}  // namespace

bool IsConvertible(std::string_view name) {
  return HandlesImageEntry(name) || HandlesAudioEntry(name) || HandlesLuaEntry(name) || HandlesText(name);
}

TConversion ConvertEntryBytes(std::string_view name, ByteSpan bytes) {
  // The dispatch order decides between families (x.tab.lua is a script); each
  // family then picks its own decoder.
  switch (DispatchAction(name)) {
    case EntryAction::ShowLua:
      if (auto c = ConvertLuaEntry(name, bytes)) return std::move(*c);
      break;
    case EntryAction::ViewText:
      return {".txt", Bytes(bytes.begin(), bytes.end())};
    case EntryAction::ViewTil:
    case EntryAction::ShowKFN:
    case EntryAction::ShowTGA:
    case EntryAction::ShowBMP:
      if (auto c = ConvertImageEntry(name, bytes)) return std::move(*c);
      break;
    case EntryAction::PlayWvc:
    case EntryAction::PlayAif:
      if (auto c = ConvertAudioEntry(name, bytes)) return std::move(*c);
      break;
    default:
      break;
  }
  throw VldError("Entries of type \"" + TypeText(name, false, false) + "\" have no conversion: " + std::string(name));
}

}  // namespace vld
