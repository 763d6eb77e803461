#include <chrono>

#include <QFileInfo>
#include <QMenuBar>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStatusBar>

#include "core/audio/BinkData.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/Extractor.h"
#include "core/browser/FileTypes.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/Main.h"
#include "gui/Work.h"

void TMainForm::SetInputEnabled(bool enabled) {
  // The secondary windows are children of this one, so the window itself
  // stays enabled and its parts take no input instead.
  centralWidget()->setEnabled(enabled);
  menuBar()->setEnabled(enabled);
  for (QAction* a : {OpenLAB1, Extractall1, SavealltilesasBMPs1}) a->setEnabled(enabled);
}

bool TMainForm::InputEnabled() const { return centralWidget()->isEnabled() && menuBar()->isEnabled(); }

void TMainForm::btnSaveFile() {
  int i = SelectedIndex();
  if (i < 0) return;
  if (RefuseWhileBusy()) return;
  const bool single = FSingleBink || FSingleSmush;
  QString suggested = Latin1(vld::NameAfterLastBackslash(SelectedRawName()));
  // No default extension: a name typed without one stays as typed.
  std::optional<QString> path =
      RunSaveDialog(suggested, single ? "Bink animations (*.bik)|*.bik" : "All files (*.*)|*.*", QString());
  if (!path) return;

  SetStatus(1, "Saving the file...");
  if (FSingleBink) {
    struct Clear {
      TMainForm& m;
      ~Clear() { m.SetStatus(1, ""); }
    } clear{*this};
    vld::SaveSingleBink(FSingleFile, FSingleSize, FsPath(*path));
    return;
  }
  if (FSingleSmush) {
    struct Clear {
      TMainForm& m;
      ~Clear() { m.SetStatus(1, ""); }
    } clear{*this};
    ExtractBinkData(*path);
    return;
  }
  if (!FBundleOpen) return;
  if (RefuseEmptyEntry(i)) {
    SetStatus(1, "");
    return;
  }
  // A large entry is copied on the worker; the copy goes to a temporary file
  // that only becomes the chosen file when it is complete.
  vld::TLabReader* reader = FReader.get();
  const std::filesystem::path target = FsPath(*path);
  const std::int32_t size = FReader->GetSize(i);
  work_->Start<std::int64_t>(
      "Saving the file", [reader, i, target](Cancel) { return reader->ExtractEntry(i, target); },
      [this, size](std::int64_t& written) {
        SetStatus(1, "");
        if (written < size) {
          platform_.MessageBox(BoxKind::Warning,
                               QString("The entry runs past the end of the bundle: only %1 of its %2 bytes exist and "
                                       "were saved. The bundle is damaged.")
                                   .arg(written)
                                   .arg(size));
        }
      },
      [this](std::exception_ptr e) {
        SetStatus(1, "");
        ShowError(e);
      });
}

namespace {

// Cancel, as the extractor sees it: the progress callback stops the run
// before the next entry is started.
struct TCancelled : std::runtime_error {
  TCancelled() : std::runtime_error("Cancelled.") {}
};

struct TExtractRun {
  vld::TExtractResult result;
  bool cancelled = false;
  int writtenBeforeStop = 0;
  std::string error;
};

}  // namespace

void TMainForm::btnExtractAll() {
  if (!FBundleOpen) {
    platform_.MessageBox(BoxKind::Error, "You have to open a bundle first!");
    return;
  }
  if (RefuseWhileBusy()) return;
  std::optional<QString> folder = BrowseForFolder("Select the directory to extract the files to.");
  if (!folder) return;
  const std::filesystem::path destination = vld::ExtractDestination(FsPath(*folder), FsPath(FFileName));

  const int count = FReader->Count();
  extractForm_->Begin("Extracting all files", count);
  platform_.MessageBox(BoxKind::Plain, QString::fromStdString(vld::ExtractPathText(destination)));
  SetInputEnabled(false);

  vld::TLabReader* reader = FReader.get();
  TWorkRunner* work = work_;
  work_->Start<TExtractRun>(
      "Extracting",
      [this, reader, work, destination](Cancel cancel) {
        TExtractRun run;
        auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        std::int64_t bytes = 0;
        int lastIndex = -1;
        try {
          run.result = vld::ExtractAllEntries(
              *reader, destination, [&](int done, int total, const std::filesystem::path& target) {
                run.writtenBeforeStop = done;  // the entries before this one are in place
                if (cancel) throw TCancelled();
                if (lastIndex >= 0) bytes += std::max(reader->GetSize(lastIndex), 0);
                lastIndex = done;
                // A few updates a second are enough for the eye.
                auto now = std::chrono::steady_clock::now();
                if (now - last < std::chrono::milliseconds(30) && done + 1 < total) return;
                last = now;
                QString current = PathQt(target);
                work->Post([this, done, total, bytes, current] { extractForm_->SetProgress(done, total, bytes, current); });
              });
        } catch (const std::exception& e) {
          if (cancel) run.cancelled = true;
          else run.error = e.what();
        }
        return run;
      },
      [this, count, folder = PathQt(destination)](TExtractRun& run) {
        extractForm_->Finish();
        SetInputEnabled(true);
        if (run.cancelled) {
          SetStatus(1, QString("Extraction cancelled: %1 of %2 entries were written.").arg(run.writtenBeforeStop).arg(count));
          return;
        }
        if (!run.error.empty()) {
          platform_.MessageBox(BoxKind::Error, QString::fromUtf8(run.error.c_str()));
          return;
        }
        if (run.result.CutShort() > 0) {
          platform_.MessageBox(
              BoxKind::Warning,
              QString("%1 of %2 entries run past the end of the bundle and were extracted only as far as they exist. "
                      "The bundle is damaged.")
                  .arg(run.result.CutShort())
                  .arg(count));
        }
        SetStatus(1, QString("%1 entries written to %2").arg(run.result.files).arg(folder));
      },
      [this](std::exception_ptr e) {
        extractForm_->Finish();
        SetInputEnabled(true);
        ShowError(e);
      });
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
