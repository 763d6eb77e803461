#include <QFileInfo>
#include <QMenuBar>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStatusBar>

#include "core/audio/BinkData.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/FileTypes.h"
#include "gui/ExtractAll.h"
#include "gui/Main.h"

namespace {

// Clears status panel 1 when the save ends, whatever the outcome.
struct ClearStatusOnExit {
  TMainForm& main;
  ~ClearStatusOnExit() { main.SetStatus(1, ""); }
};

}  // namespace

void TMainForm::SetInputEnabled(bool enabled) {
  // The secondary windows are children of this one, so the window itself
  // stays enabled and its parts take no input instead.
  centralWidget()->setEnabled(enabled);
  menuBar()->setEnabled(enabled);
}

bool TMainForm::InputEnabled() const { return centralWidget()->isEnabled() && menuBar()->isEnabled(); }

void TMainForm::btnSaveFile() {
  int i = SelectedIndex();
  if (i < 0) return;
  const bool single = FSingleBink || FSingleSmush;
  QString suggested = Latin1(vld::NameAfterLastBackslash(SelectedRawName()));
  // No default extension: a name typed without one stays as typed.
  std::optional<QString> path =
      RunSaveDialog(suggested, single ? "Bink animations (*.bik)|*.bik" : "All files (*.*)|*.*", QString());
  if (!path) return;

  SetStatus(1, "Saving the file...");
  ClearStatusOnExit clear{*this};
  if (FSingleBink) {
    vld::SaveSingleBink(FSingleFile, FSingleSize, FsPath(*path));
  } else if (FSingleSmush) {
    ExtractBinkData(*path);
  } else if (FBundleOpen) {
    if (RefuseEmptyEntry(i)) return;
    std::int64_t written = FReader->ExtractEntry(i, FsPath(*path));
    if (written < FReader->GetSize(i)) {
      platform_.MessageBox(BoxKind::Warning,
                           QString("The entry runs past the end of the bundle: only %1 of its %2 bytes exist and "
                                   "were saved. The bundle is damaged.")
                               .arg(written)
                               .arg(FReader->GetSize(i)));
    }
  }
}

void TMainForm::btnExtractAll() {
  if (!FBundleOpen) {
    platform_.MessageBox(BoxKind::Error, "You have to open a bundle first!");
    return;
  }
  std::optional<QString> folder = BrowseForFolder("Select the directory to extract the files to.");
  if (!folder) return;
  extractForm_->ExtractAll(vld::ExtractDestination(FsPath(*folder), FsPath(FFileName)));
}

std::optional<QString> TMainForm::BrowseForFolder(const QString& title) { return platform_.ChooseFolder(this, title); }

bool TMainForm::ExtractBinkData(const QString& path) {
  if (!vld::ExtractBinkData(FSingleFile, FsPath(path))) {
    platform_.MessageBox(BoxKind::Information, QString::fromLatin1(vld::kNonStandardSmushText.data()));
    return false;
  }
  return true;
}

QString TMainForm::BinkPlayerProgram() const {
  QString configured = QProcessEnvironment::systemEnvironment().value("VLD_BINK_PLAYER");
  if (!configured.isEmpty()) return configured;
#ifdef Q_OS_WIN
  return "c:\\binkplay.exe";
#else
  for (const char* candidate : {"ffplay", "mpv"}) {
    QString found = QStandardPaths::findExecutable(candidate);
    if (!found.isEmpty()) return found;
  }
  return QString();
#endif
}

void TMainForm::btnPlayAnim() {
  QString path;
  if (FSingleSmush) {
    path = QString::fromStdString(TempDir().File("temp.bik").string());
    // Without Bink data there is nothing to play.
    if (!ExtractBinkData(path)) return;
  } else if (FSingleBink) {
    path = FFileName;
  } else {
    return;  // a ".bik" entry inside a bundle
  }
  QString player = BinkPlayerProgram();
  if (player.isEmpty()) {
    platform_.MessageBox(BoxKind::Error,
                         "No Bink player was found (looked for ffplay and mpv on the PATH). Set the environment "
                         "variable VLD_BINK_PLAYER to the player program you want to use.");
    return;
  }
  if (!platform_.StartProgram(player, {path})) {
    platform_.MessageBox(BoxKind::Error, "The Bink player " + player +
                                             " could not be started. Set the environment variable VLD_BINK_PLAYER "
                                             "to the player program you want to use.");
  }
}
