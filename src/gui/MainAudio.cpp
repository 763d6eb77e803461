
#include <QPlainTextEdit>

#include "core/browser/FileTypes.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "gui/EntryList.h"
#include "gui/GuiText.h"
#include "gui/Main.h"
#include "gui/Work.h"

void TMainForm::ClosePlayer() {
  if (!FPlayerOpen) return;
  platform_.Player().Stop();
  platform_.Player().Close();
  FPlayerOpen = false;
}

void TMainForm::PlayWave(const vld::Bytes& wave) {
  const std::filesystem::path temp = TempDir().File("temp.wav");
  vld::WriteFileAtomic(temp, wave);
  IMediaPlayer& player = platform_.Player();
  // Open throws with the device's own message when it refuses the file (or
  // there is no output device); the player then stays closed.
  player.Open(PathQt(temp));
  FPlayerOpen = true;
  player.Play();
}

void TMainForm::PlayEntry(const char* extension) {
  // A second play stops and closes the first, whatever follows.
  ClosePlayer();
  if (EntryCount() == 0 || !FBundleOpen) return;
  if (!vld::NameContains(SelectedRawName(), extension)) return;
  if (RefuseEmptyEntry(SelectedIndex())) return;
  DecodeSelected(vld::FormatForType(extension), [this](vld::TDecoded& d) { PlayWave(d.wave); });
}

void TMainForm::btnPlayAif() { PlayEntry(".aif"); }

void TMainForm::btnPlayWvc() { PlayEntry(".wvc"); }

void TMainForm::MediaPlayerNotify() {
  IMediaPlayer& player = platform_.Player();
  if (FPlayerOpen && player.Mode() != PlayerMode::Playing) {
    player.Close();
    FPlayerOpen = false;
  }
}

void TMainForm::btSaveWavClick() {
  if (EntryCount() == 0 || !FBundleOpen) return;
  if (RefuseWhileBusy()) return;
  const int i = SelectedIndex();
  const std::string name = vld::NameAfterLastBackslash(SelectedRawName());
  std::optional<QString> path =
      RunSaveDialog(Latin1(vld::SaveSuggestion(name, ".wav")), "Wave audio files (*.wav)|*.wav", "wav");
  if (!path) return;
  // The save never touches the player.
  const vld::TFormat* source = vld::FormatForSaveWav(name);
  if (!source) return;
  if (RefuseEmptyEntry(i)) return;
  const std::filesystem::path target = FsPath(*path);
  DecodeSelected(*source, [target](vld::TDecoded& d) { vld::WriteFileAtomic(target, d.wave); });
}
