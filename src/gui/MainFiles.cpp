#include <chrono>

#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>

#include "core/audio/BinkData.h"
#include "core/browser/Batch.h"
#include "core/browser/ExtractPaths.h"
#include "core/browser/FileTypes.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "gui/EntryList.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/Main.h"
#include "gui/Work.h"

namespace {

// Entries from this size on are saved with the progress window and Cancel.
constexpr std::int64_t kLargeSave = 8 * 1024 * 1024;

}  // namespace

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

  // What is copied: the stand-alone animation (a Smush-wrapped one from its
  // Bink data on), or the entry.
  std::int64_t from = 0, size = 0;
  const vld::TFileStream* source = nullptr;
  QString shortText;
  if (single) {
    if (FSingleSmush) {
      std::optional<std::int64_t> offset = vld::FindBinkOffset(FSingleFile);
      if (!offset) {
        platform_.MessageBox(BoxKind::Information, QString::fromLatin1(vld::kNonStandardSmushText.data()));
        return;
      }
      from = *offset;
    }
    source = &FSingleFile;
    size = FSingleFile.Size() - from;  // as the file was when it was opened
    shortText = "The file is shorter than when it was opened: only %1 of its %2 bytes were saved.";
  } else {
    if (!FBundleOpen) return;
    if (RefuseEmptyEntry(i)) return;
    source = &FReader->Stream();
    from = FReader->GetOffset(i);
    size = FReader->GetSize(i);
    shortText =
        "The entry runs past the end of the bundle: only %1 of its %2 bytes exist and were saved. The "
        "bundle is damaged.";
  }
  SetStatus(1, "Saving the file...");
  // Copied on the worker into a temporary file that becomes the chosen file
  // only when it is complete; a large one shows the progress window, whose
  // Cancel leaves nothing behind.
  const std::filesystem::path target = FsPath(*path);
  const bool large = size >= kLargeSave;
  if (large) extractForm_->Begin("Saving the file", 1);
  TWorkRunner* work = work_;
  struct TSaveRun {
    std::int64_t written = 0;
    bool cancelled = false;
  };
  work_->Start<TSaveRun>(
      "Saving the file",
      [this, source, from, target, size, large, work](Cancel cancel) {
        struct TCountingSink : vld::TByteSink {
          vld::TByteSink& out;
          std::function<void(std::int64_t)> tick;
          std::int64_t n = 0;
          TCountingSink(vld::TByteSink& o, std::function<void(std::int64_t)> t) : out(o), tick(std::move(t)) {}
          void Write(const std::uint8_t* data, std::size_t k) override {
            out.Write(data, k);
            n += static_cast<std::int64_t>(k);
            tick(n);
          }
        };
        TSaveRun run;
        vld::TAtomicFile file(target);
        auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        TCountingSink sink(file, [&](std::int64_t n) {
          auto now = std::chrono::steady_clock::now();
          if (!large || now - last < std::chrono::milliseconds(30)) return;
          last = now;
          QString name = PathQt(target);
          work->Post([this, n, size, name] {
            extractForm_->ProgressBar1->setMaximum(100);
            extractForm_->ProgressBar1->setValue(size > 0 ? static_cast<int>(n * 100 / size) : 0);
            extractForm_->CurFilename->setText("Saving " + name);
          });
        });
        run.written = vld::CopyFileRangeAt(*source, from, size, sink, &cancel);
        if (cancel) {
          run.cancelled = true;  // the temporary file goes with `file`
          return run;
        }
        file.Commit();
        return run;
      },
      [this, size, large, shortText](TSaveRun& run) {
        if (large) extractForm_->Finish();
        if (run.cancelled) {
          SetStatus(1, "Saving cancelled: nothing was written.");
          return;
        }
        SetStatus(1, "");
        if (run.written < size) platform_.MessageBox(BoxKind::Warning, shortText.arg(run.written).arg(size));
      },
      [this, large](std::exception_ptr e) {
        if (large) extractForm_->Finish();
        SetStatus(1, "");
        ShowError(e);
      });
}

void TMainForm::StartBatch(TBatchJob job) {
  const int total = static_cast<int>(job.items.size());
  extractForm_->Begin(job.title, total);
  if (!job.notice.isEmpty()) platform_.MessageBox(BoxKind::Plain, job.notice);
  SetInputEnabled(false);

  vld::TLabReader* reader = FReader.get();
  TWorkRunner* work = work_;
  auto shared = std::make_shared<TBatchJob>(std::move(job));
  work_->Start<vld::TBatchResult>(
      shared->what,
      [this, reader, work, shared](Cancel cancel) {
        vld::TBatchOptions options;
        options.jobs = 0;  // every core
        options.cancel = &cancel;
        options.lastFolderIsOurs = shared->lastFolderIsOurs;
        auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        options.progress = [this, work, last, shared](const vld::TBatchProgress& p) mutable {
          // A few updates a second are enough for the eye.
          auto now = std::chrono::steady_clock::now();
          if (now - last < std::chrono::milliseconds(30) && p.done < p.total) return;
          last = now;
          QString current = PathQt(shared->destination / vld::Utf8Path(p.current));
          work->Post([this, p, current] { extractForm_->SetProgress(p.done, p.total, p.bytesDone, current); });
        };
        return vld::RunBatch(*reader, shared->destination, shared->items, shared->produce, options);
      },
      [this, shared, total](vld::TBatchResult& r) {
        extractForm_->Finish();
        SetInputEnabled(true);
        ReportBatch(*shared, r, total);
      },
      [this](std::exception_ptr e) {
        extractForm_->Finish();
        SetInputEnabled(true);
        ShowError(e);
      });
}

namespace {

// The first few issues of a run, one per line: the entry's name and why.
QString FirstLines(const std::vector<vld::TBatchIssue>& issues, const vld::TLabReader& reader) {
  QStringList lines;
  for (std::size_t k = 0; k < issues.size() && k < 10; ++k)
    lines << Latin1(reader.GetName(issues[k].index)) + ": " + QString::fromUtf8(issues[k].message.c_str());
  if (issues.size() > 10) lines << QString("... and %1 more").arg(issues.size() - 10);
  return lines.join("\n");
}

}  // namespace

void TMainForm::ReportBatch(const TBatchJob& job, const vld::TBatchResult& r, int total) {
  const QString folder = PathQt(job.destination);
  if (r.cancelled) {
    SetStatus(1,
              QString("%1 cancelled: %2 of %3 %4 were written.").arg(job.what).arg(r.files).arg(total).arg(job.noun));
    return;
  }
  if (r.stopped) {
    platform_.MessageBox(BoxKind::Error,
                         QString::fromUtf8(vld::BatchStopText(r, total, job.what.toStdString()).c_str()));
    return;
  }
  if (!r.failed.empty()) {
    platform_.MessageBox(
        BoxKind::Warning,
        QString("%1 of %2 %3 could not be converted:\n").arg(r.failed.size()).arg(total).arg(job.noun) +
            FirstLines(r.failed, *FReader));
  }
  if (!r.refused.empty()) {
    platform_.MessageBox(BoxKind::Warning,
                         QString("%1 of %2 %3 were not written: a symbolic link stands in their folder path, and "
                                 "nothing is written through a link.\n")
                                 .arg(r.refused.size())
                                 .arg(total)
                                 .arg(job.noun) +
                             FirstLines(r.refused, *FReader));
  }
  if (r.CutShort() > 0) {
    platform_.MessageBox(
        BoxKind::Warning,
        QString("%1 of %2 entries run past the end of the bundle and were extracted only as far as they exist. "
                "The bundle is damaged.")
            .arg(r.CutShort())
            .arg(total));
  }
  if (!r.renamed.empty()) {
    QStringList lines;
    for (std::size_t k = 0; k < r.renamed.size() && k < 10; ++k)
      lines << Latin1(r.renamed[k].from) + " -> " + Latin1(r.renamed[k].to);
    if (r.renamed.size() > 10) lines << QString("... and %1 more").arg(r.renamed.size() - 10);
    platform_.MessageBox(BoxKind::Information,
                         QString("%1 %2 had a name already used in this run and were written under a numbered "
                                 "name:\n")
                                 .arg(r.renamed.size())
                                 .arg(job.noun) +
                             lines.join("\n"));
  }
  const QString done = QString("%1 %2 written to %3").arg(r.files).arg(job.noun).arg(folder);
  SetStatus(1, done);
  // The end of a long run gets a word of its own, with a way to the files.
  if (platform_.AskChoice(BoxKind::Information, done, {"Open folder", "OK"}) == 0 && !platform_.OpenFolder(folder))
    SetStatus(1, "The file manager could not be started for " + folder);
}

void TMainForm::btnExtractAll() {
  if (!FBundleOpen) {
    platform_.MessageBox(BoxKind::Error, "You have to open a bundle first!");
    return;
  }
  if (RefuseWhileBusy()) return;
  std::optional<QString> folder = BrowseForFolder("Select the directory to extract the files to.");
  if (!folder) return;
  TBatchJob job;
  job.title = "Extracting all files";
  job.what = "Extraction";
  job.noun = "entries";
  job.destination = vld::ExtractDestination(FsPath(*folder), FsPath(FFileName));
  job.lastFolderIsOurs = !vld::BundleStem(FsPath(FFileName)).empty();
  job.notice = QString::fromStdString(vld::ExtractPathText(job.destination));
  std::vector<int> all(static_cast<std::size_t>(FReader->Count()));
  for (int i = 0; i < FReader->Count(); ++i) all[static_cast<std::size_t>(i)] = i;
  job.items = vld::EntryItems(*FReader, all);
  StartBatch(std::move(job));
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
    path = PathQt(TempDir().File("temp.bik"));
    // Without Bink data there is nothing to play.
    if (!ExtractBinkData(path)) return;
  } else if (FSingleBink) {
    path = FFileName;
  } else {
    // A ".bik" entry inside a bundle is not played from the bundle.
    SetStatus(1, "Save the movie (Save file...) and open the saved file to play it.");
    return;
  }
  QString player = BinkPlayerProgram();
  if (player.isEmpty()) {
    platform_.MessageBox(BoxKind::Error,
                         "No Bink player was found (looked for ffplay and mpv on the PATH). Set the environment "
                         "variable VLD_BINK_PLAYER to the player program you want to use.");
    return;
  }
  QPointer<TMainForm> self(this);
  auto onFailure = [self, player](const QString& failure) {
    if (!self) return;
    self->platform_.MessageBox(BoxKind::Error, "The Bink player " + player + " " + failure);
  };
  if (!platform_.StartProgram(player, {path}, onFailure)) {
    platform_.MessageBox(BoxKind::Error, "The Bink player " + player +
                                             " could not be started. Set the environment variable VLD_BINK_PLAYER "
                                             "to the player program you want to use.");
    return;
  }
  SetStatus(1, "Started " + player);
}
