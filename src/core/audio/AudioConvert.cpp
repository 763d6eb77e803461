#include "core/audio/WvcAudio.h"
#include "core/browser/Convert.h"
#include "core/browser/FileTypes.h"

namespace vld {

// A sound entry converts exactly as "Save as Wave..." writes it; names whose file part
// is neither WVC nor AIF (a sound-like folder name) have no conversion here.
bool HandlesAudioEntry(std::string_view name) {
  EntryAction action = DispatchAction(name);
  return (action == EntryAction::PlayWvc || action == EntryAction::PlayAif) && WavSourceFor(name) != TWavSource::None;
}

std::optional<TConversion> ConvertAudioEntry(std::string_view name, ByteSpan bytes) {
  if (!HandlesAudioEntry(name)) return std::nullopt;
  return TConversion{".wav", ConvertEntryToWav(name, bytes)};
}

}  // namespace vld
