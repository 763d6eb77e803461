#include <QListWidget>
#include <QPlainTextEdit>

#include "core/audio/AifAudio.h"
#include "core/audio/WvcAudio.h"
#include "core/browser/FileTypes.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "gui/Main.h"

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
  player.Open(QString::fromStdString(temp.string()));
  FPlayerOpen = true;
  player.Play();
}

vld::LogFn TMainForm::MemoLog() {
  return [this](const std::string& line) { Memo1->appendPlainText(QString::fromLatin1(line.c_str())); };
}

void TMainForm::PlayEntry(const char* extension, const std::function<vld::Bytes(vld::ByteSpan)>& toWave) {
  // A second play stops and closes the first, whatever follows.
  ClosePlayer();
  if (EntryCount() == 0 || !FBundleOpen) return;
  if (!vld::NameContains(SelectedRawName(), extension)) return;
  const int i = SelectedIndex();
  if (RefuseEmptyEntry(i)) return;
  PlayWave(toWave(FReader->ReadEntryBytes(i)));
}

void TMainForm::btnPlayAif() {
  PlayEntry(".aif", [](vld::ByteSpan entry) { return vld::ConvertAifToWav(entry); });
}

void TMainForm::btnPlayWvc() {
  PlayEntry(".wvc", [this](vld::ByteSpan entry) { return vld::ConvertWvcToWav(entry, MemoLog()); });
}

void TMainForm::MediaPlayerNotify() {
  IMediaPlayer& player = platform_.Player();
  if (FPlayerOpen && player.Mode() != PlayerMode::Playing) {
    player.Close();
    FPlayerOpen = false;
  }
}

void TMainForm::btSaveWavClick() {
  if (EntryCount() == 0 || !FBundleOpen) return;
  const int i = SelectedIndex();
  const std::string name = vld::NameAfterLastBackslash(SelectedRawName());
  std::optional<QString> path = RunSaveDialog(Latin1(vld::SaveSuggestion(name, ".wav")), "Wave audio files (*.wav)|*.wav", "wav");
  if (!path) return;
  // The save never touches the player.
  const vld::TFormat* source = vld::FormatForSaveWav(name);
  if (!source) return;
  if (RefuseEmptyEntry(i)) return;
  vld::TDecoded d = vld::DecodeEntry(*source, {FReader->ReadEntryBytes(i), name}, {{}, MemoLog()});
  if (d.Refused()) throw vld::VldError(d.refusal);
  vld::WriteFileAtomic(FsPath(*path), d.wave);
}
