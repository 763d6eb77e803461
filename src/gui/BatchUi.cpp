#include "gui/BatchUi.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include "core/audio/BinkData.h"
#include "core/browser/ConvertBatch.h"
#include "core/browser/ExtractPaths.h"
#include "core/common/Errors.h"
#include "core/common/Throttle.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/Session.h"
#include "gui/Work.h"

using Cancel = const std::atomic<bool>&;

TBatchUi::TBatchUi(TSession& session, QObject* parent) : QObject(parent), session_(session) {}

std::optional<QString> TBatchUi::BrowseForFolder(const QString& title) {
  return session_.Platform().ChooseFolder(session_.Owner(), title);
}

void TBatchUi::SaveFile() {
  const int i = session_.Selected();
  vld::TOpenFile& file = session_.File();
  if (i < 0 || session_.RefuseWhileBusy()) return;
  const bool single = file.IsSingle();
  // No default extension: a name typed without one stays as typed.
  std::optional<QString> path = session_.RunSaveDialog(Latin1(vld::NameAfterLastBackslash(session_.SelectedRawName())),
                                                       single ? "Bink animations (*.bik)|*.bik" : "All files (*.*)|*.*",
                                                       QString(), single ? "bik" : "raw");
  if (!path) return;
  // An entry cut short is saved as far as it exists (and says so); one of
  // which nothing exists is refused.
  if (!single && (!file.IsBundle() || session_.RefuseEntry(i, true, false))) return;
  // Bytes not saved into the bundle yet: from memory, or copied from the
  // (large) file chosen for the entry as any raw save is.
  if (file.EntryHasNewBytes(i)) {
    const vld::TContentPtr content = file.Edits()->Entry(i).content;
    if (content->InMemory()) {
      vld::WriteFileAtomic(FsPath(*path), content->Data());
      return;
    }
    copySource_ = std::make_unique<vld::TFileStream>(content->Path());
    CopyRaw(FsPath(*path), {copySource_.get(), 0, content->Size()},
            "The file chosen for the entry is shorter than when it was chosen: only %1 of its %2 bytes were saved.");
    return;
  }
  // What is copied: the entry, or the stand-alone animation (a Smush-wrapped
  // one from its Bink data on).
  const std::optional<vld::TOpenFile::TRawRange> range = file.RawRange(i);
  if (!range) {
    session_.Platform().MessageBox(BoxKind::Information, QString::fromLatin1(vld::kNonStandardSmushText.data()));
    return;
  }
  CopyRaw(FsPath(*path), *range,
          single ? "The file is shorter than when it was opened: only %1 of its %2 bytes were saved."
                 : "The entry runs past the end of the bundle: only %1 of its %2 bytes exist and were saved. The "
                   "bundle is damaged.");
}

void TBatchUi::CopyRaw(const std::filesystem::path& target, const vld::TOpenFile::TRawRange& range,
                       const QString& shortText) {
  const vld::TFileStream* source = range.file;
  const std::int64_t from = range.from, size = range.size;
  session_.SetStatus(1, "Saving the file...");
  // A large copy shows the progress window, whose Cancel leaves nothing behind.
  const bool large = size >= kLargeSave;
  if (large) progress_->Begin("Saving the file", 1);
  TWorkRunner* work = &session_.Work();
  vld::CopyProgressFn progress;
  if (large)
    progress = [this, work, size, name = PathQt(target)](std::int64_t n) {
      work->Post([this, n, size, name] { progress_->SetShare(n, size, "Saving " + name); });
    };
  auto finish = [this, large] {
    if (large) progress_->Finish();
  };
  work->Start<vld::TRangeCopy>(
      "Saving the file",
      [source, from, size, target, progress](Cancel cancel) {
        return vld::CopyRangeToFile(*source, from, size, target, progress, &cancel);
      },
      [this, size, shortText, finish](vld::TRangeCopy& run) {
        finish();
        if (run.cancelled) {
          session_.SetStatus(1, "Saving cancelled: nothing was written.");
          return;
        }
        session_.SetStatus(1, "");
        if (run.written < size) session_.Platform().MessageBox(BoxKind::Warning, shortText.arg(run.written).arg(size));
      },
      [this, finish](std::exception_ptr e) {
        finish();
        session_.SetStatus(1, "");
        session_.ShowError(e);
      });
}

void TBatchUi::StartBatch(TBatchJob job) {
  const int total = static_cast<int>(job.items.size());
  progress_->Begin(job.title, total);
  if (!job.notice.isEmpty()) session_.Platform().MessageBox(BoxKind::Plain, job.notice);
  emit inputEnabled(false);

  const vld::TLabReader* reader = session_.File().Reader();
  TWorkRunner* work = &session_.Work();
  auto shared = std::make_shared<TBatchJob>(std::move(job));
  work->Start<vld::TBatchResult>(
      shared->what,
      [this, reader, work, shared](Cancel cancel) {
        vld::TBatchOptions options;
        options.jobs = 0;  // every core
        options.cancel = &cancel;
        options.lastFolderIsOurs = shared->lastFolderIsOurs;
        options.progress = [this, work, shared, throttle = vld::TThrottle()](const vld::TBatchProgress& p) mutable {
          if (!throttle.Due(p.done >= p.total)) return;
          QString current = PathQt(shared->destination / vld::Utf8Path(p.current));
          work->Post([this, p, current] { progress_->SetProgress(p.done, p.total, p.bytesDone, current); });
        };
        return vld::RunBatch(*reader, shared->destination, shared->items, shared->produce, options);
      },
      [this, shared, total](vld::TBatchResult& r) {
        progress_->Finish();
        emit inputEnabled(true);
        ReportBatch(*shared, r, total);
      },
      [this](std::exception_ptr e) {
        progress_->Finish();
        emit inputEnabled(true);
        session_.ShowError(e);
      });
}

namespace {

// The first few lines of a list, and how many more there are.
QString FirstLines(const QStringList& all) {
  QStringList lines = all.mid(0, 10);
  if (all.size() > 10) lines << QString("... and %1 more").arg(all.size() - 10);
  return lines.join("\n");
}

// The entry's name and why, per issue.
QString IssueLines(const std::vector<vld::TBatchIssue>& issues, const vld::TLabReader& reader) {
  QStringList lines;
  for (const vld::TBatchIssue& issue : issues)
    lines << Latin1(reader.GetName(issue.index)) + ": " + QString::fromUtf8(issue.message.c_str());
  return FirstLines(lines);
}

}  // namespace

void TBatchUi::ReportIssues(const TBatchJob& job, const vld::TBatchResult& r, int total) {
  IPlatform& platform = session_.Platform();
  const vld::TLabReader& reader = *session_.File().Reader();
  if (!r.failed.empty())
    platform.MessageBox(BoxKind::Warning,
                        QString("%1 of %2 %3 could not be converted:\n").arg(r.failed.size()).arg(total).arg(job.noun) +
                            IssueLines(r.failed, reader));
  if (!r.refused.empty())
    platform.MessageBox(BoxKind::Warning,
                        QString("%1 of %2 %3 were not written: a symbolic link stands in their folder path, and "
                                "nothing is written through a link.\n")
                                .arg(r.refused.size())
                                .arg(total)
                                .arg(job.noun) +
                            IssueLines(r.refused, reader));
  if (!job.missing.empty()) {
    QStringList names;
    for (int index : job.missing) names << Latin1(reader.GetName(index));
    platform.MessageBox(BoxKind::Warning, QString("%1 %2 lie past the end of the bundle and were not written. The "
                                                  "bundle is shorter than its directory says.\n")
                                                  .arg(job.missing.size())
                                                  .arg(job.noun) +
                                              FirstLines(names));
  }
  if (r.CutShort() > 0)
    platform.MessageBox(
        BoxKind::Warning,
        QString("%1 of %2 entries run past the end of the bundle and were extracted only as far as they exist. "
                "The bundle is damaged.")
            .arg(r.CutShort())
            .arg(total));
  if (!r.renamed.empty()) {
    QStringList lines;
    for (const vld::TBatchRename& rename : r.renamed) lines << Latin1(rename.from) + " -> " + Latin1(rename.to);
    platform.MessageBox(BoxKind::Information, QString("%1 %2 had a name already used in this run and were written "
                                                      "under a numbered name:\n")
                                                      .arg(r.renamed.size())
                                                      .arg(job.noun) +
                                                  FirstLines(lines));
  }
}

void TBatchUi::ReportBatch(const TBatchJob& job, const vld::TBatchResult& r, int total) {
  if (r.cancelled) {
    session_.SetStatus(
        1, QString("%1 cancelled: %2 of %3 %4 were written.").arg(job.what).arg(r.files).arg(total).arg(job.noun));
    return;
  }
  IPlatform& platform = session_.Platform();
  if (r.stopped) {
    platform.MessageBox(BoxKind::Error,
                        QString::fromUtf8(vld::BatchStopText(r, total, job.what.toStdString()).c_str()));
    return;
  }
  ReportIssues(job, r, total);
  const QString folder = PathQt(job.destination);
  const QString done = QString("%1 %2 written to %3").arg(r.files).arg(job.noun).arg(folder);
  session_.SetStatus(1, done);
  // The end of a long run gets a word of its own, with a way to the files.
  if (platform.AskChoice(BoxKind::Information, done, {"Open folder", "OK"}) == 0 && !platform.OpenFolder(folder))
    session_.SetStatus(1, "The file manager could not be started for " + folder);
}

std::vector<int> TBatchUi::Present(const std::vector<int>& entries, std::vector<int>& missing) const {
  const vld::TLabReader& reader = *session_.File().Reader();
  std::vector<int> present;
  for (int e : entries) (reader.EntryMissing(e) ? missing : present).push_back(e);
  return present;
}

bool TBatchUi::CanStart() {
  if (!session_.File().IsBundle()) {
    session_.Platform().MessageBox(BoxKind::Error, "You have to open a bundle first!");
    return false;
  }
  return !RefuseUnsaved() && !session_.RefuseWhileBusy();
}

bool TBatchUi::RefuseUnsaved() {
  // The batches read the bundle as it is on disk.
  if (!session_.File().HasChanges()) return false;
  session_.Platform().MessageBox(BoxKind::Error, kUnsavedBatchRefusal);
  return true;
}

void TBatchUi::ExtractAll() {
  vld::TOpenFile& file = session_.File();
  if (!CanStart()) return;
  std::optional<QString> folder = BrowseForFolder("Select the directory to extract the files to.");
  if (!folder) return;
  TBatchJob job{"Extracting all files", "Extraction", "entries"};
  job.destination = vld::ExtractDestination(FsPath(*folder), file.Path());
  job.lastFolderIsOurs = !vld::BundleStem(file.Path()).empty();
  job.notice = QString::fromStdString(vld::ExtractPathText(job.destination));
  std::vector<int> all(static_cast<std::size_t>(file.EntryCount()));
  for (int i = 0; i < file.EntryCount(); ++i) all[static_cast<std::size_t>(i)] = i;
  job.items = vld::EntryItems(*file.Reader(), Present(all, job.missing));
  StartBatch(std::move(job));
}

void TBatchUi::SaveSelected(const std::vector<int>& chosen, std::optional<vld::ImageFormat> convert) {
  vld::TOpenFile& file = session_.File();
  if (!CanStart() || chosen.empty()) return;
  std::optional<QString> folder = BrowseForFolder("Select the folder to save the selected entries to.");
  if (!folder) return;
  TBatchJob job{"Saving the selected entries", "Saving the selection", "entries"};
  job.destination = FsPath(*folder);
  const std::vector<int> entries = Present(chosen, job.missing);
  if (!convert) {
    job.items = vld::EntryItems(*file.Reader(), entries);
  } else {
    // Named as convert-all names them; entries with no conversion stay raw.
    job.items = vld::ConvertedItems(*file.Reader(), entries, *convert);
    job.produce = vld::ConvertedProduce(*file.Reader(), *convert);
  }
  StartBatch(std::move(job));
}

void TBatchUi::SaveAllTiles() {
  const vld::TLabReader* reader = session_.File().Reader();
  if (!reader || reader->Count() == 0) {
    session_.Platform().MessageBox(BoxKind::Information, "You have to open a bundle first!");
    return;
  }
  if (RefuseUnsaved() || session_.RefuseWhileBusy()) return;
  std::optional<QString> folder = BrowseForFolder("Select the folder to save the tiles to.");
  if (!folder) return;
  TBatchJob job{"Saving all tiles as BMPs", "Saving the tiles", "tiles"};
  job.destination = FsPath(*folder);
  for (int i = 0; i < reader->Count(); ++i) {
    const std::string name(reader->GetName(i));
    if (!vld::NameContains(name, ".til")) continue;
    // sets\beach.til -> FOLDER/sets/beach.bmp, with the folder part kept
    // inside FOLDER whatever the name holds.
    job.items.push_back({i, vld::MapEntryName(vld::FolderOfName(name) + vld::BmpSuggestion(name)).Joined()});
  }
  if (!job.items.empty()) emit tileNameChosen(Latin1(vld::BmpSuggestion(reader->GetName(job.items.back().index))));
  job.produce = [reader](int index, vld::ByteSpan bytes) {
    if (reader->GetSize(index) < 1) throw vld::VldError(vld::kEmptyEntryRefusal);
    vld::TDecoded d = vld::DecodeEntry(vld::FormatOf(".til"), {bytes, reader->GetName(index)});
    if (d.Refused()) throw vld::VldError(d.refusal);
    return std::move(d.picture.bmp);
  };
  StartBatch(std::move(job));
}

QList<QUrl> TBatchUi::DragFiles(const std::vector<int>& entries) {
  QList<QUrl> urls;
  const vld::TLabReader* reader = session_.File().Reader();
  if (!reader || entries.empty() || session_.Work().Busy()) return urls;
  if (session_.File().HasChanges()) {
    session_.SetStatus(1, kUnsavedBatchRefusal);
    return urls;
  }
  // Each drag gets a folder of its own; the files stay until the program
  // ends, so a drop that completes late still finds them.
  const std::filesystem::path folder = session_.TempDir().File("drag" + std::to_string(++drags_));
  std::vector<vld::TBatchItem> items;
  for (int e : entries) items.push_back({e, vld::MapEntryName(vld::NameAfterLastBackslash(reader->GetName(e))).file});
  // Written on the worker like every batch; the drag starts once the files are there.
  std::optional<vld::TBatchResult> result;
  std::exception_ptr error;
  QEventLoop loop;
  session_.Work().Start<vld::TBatchResult>(
      "Preparing the drag",
      [reader, folder, items](Cancel cancel) {
        vld::TBatchOptions options;
        options.cancel = &cancel;
        return vld::RunBatch(*reader, folder, items, {}, options);
      },
      [&](vld::TBatchResult& r) {
        result = std::move(r);
        loop.quit();
      },
      [&](std::exception_ptr e) {
        error = e;
        loop.quit();
      });
  // A close stops the worker and drops its result: the wait ends then too.
  QTimer stopped;
  connect(&stopped, &QTimer::timeout, &loop, [this, &loop] {
    if (!session_.Work().Busy()) loop.quit();
  });
  stopped.start(50);
  loop.exec();
  if (error) std::rethrow_exception(error);
  // A drag that carries only some of the entries would drop less than was dragged without a word.
  if (!result || result->cancelled) return urls;
  if (result->stopped) throw vld::VldError("The dragged entries could not be written: " + result->stopped->message);
  std::vector<std::string> names = vld::PlanBatchNames(items, result->foldsCase);
  for (const std::string& name : names)
    if (std::filesystem::exists(folder / name)) urls << QUrl::fromLocalFile(PathQt(folder / name));
  return urls;
}
