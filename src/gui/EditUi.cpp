#include "gui/EditUi.h"

#include <algorithm>

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>

#include "core/browser/Import.h"
#include "core/common/EntryNames.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/Throttle.h"
#include "core/lua/LuaDump.h"
#include "gui/EntryActions.h"
#include "gui/EntryList.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/ListPane.h"
#include "gui/Session.h"
#include "gui/TextViewer.h"
#include "gui/Work.h"

namespace fs = std::filesystem;
using Kind = vld::TBundleEdit::Kind;

namespace {

// Files up to this size are read when chosen, so the entry holds what the
// file held then; larger ones are read by the save.
constexpr std::int64_t kReadWhenChosen = 64 << 20;

constexpr char kReplaceFilter[] =
    "All files (*.*)|*.*|Pictures, sounds and scripts (*.png;*.bmp;*.wav;*.lua)|*.png;*.bmp;*.wav;*.lua";
constexpr char kBundleFilter[] = "Thrapwick Bundles (*.lab;*.m4b)|*.lab;*.m4b";

}  // namespace

TEditUi::TEditUi(TSession& session, TListPane& list, TEntryActions& actions, QObject* parent)
    : QObject(parent), session_(session), list_(list), actions_(actions) {
  BuildActions();
  TEntryModel* model = list_.FileBox->Model();
  const vld::TOpenFile* file = &session_.File();
  model->SetChangedSource([file](int entry) { return file->EntryChanged(entry); });
  // The rename is applied once the list's editor has closed: the list is
  // rebuilt by it.
  model->SetRename([this](int entry, const QString& name) {
    QTimer::singleShot(0, this, [this, entry, name] { session_.Guarded([&] { Rename(entry, name); }); });
    return true;
  });
  connect(&list_, &TListPane::entryChosen, this, &TEditUi::UpdateActions);
  connect(&list_, &TListPane::filesDropped, this,
          [this](const QStringList& paths) { session_.Guarded([&] { AddFiles(paths); }); });
  UpdateActions();
}

void TEditUi::BuildActions() {
  auto make = [this](const char* text, const QKeySequence& key, void (TEditUi::*handler)()) {
    auto* a = new QAction(text, this);
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, [this, handler] { session_.Guarded([&] { (this->*handler)(); }); });
    return a;
  };
  acReplace = make("&Replace...", {}, &TEditUi::Replace);
  acImportNew = make("&Import as new entry...", {}, &TEditUi::ImportNew);
  acRename = make("Re&name", QKeySequence(Qt::Key_F2), &TEditUi::StartRename);
  acDelete = make("&Delete", QKeySequence(QKeySequence::Delete), &TEditUi::DeleteChosen);
  acUndo = make("&Undo", QKeySequence("Ctrl+Z"), &TEditUi::Undo);
  acRedo = make("&Redo", QKeySequence("Ctrl+Shift+Z"), &TEditUi::Redo);
  acSave = make("&Save", QKeySequence("Ctrl+S"), &TEditUi::Save);
  acSaveAs = make("Save &as...", {}, &TEditUi::SaveAs);
  // Rename and Delete act on the list; elsewhere F2 and Del keep their own meaning.
  for (QAction* a : {acRename, acDelete}) {
    a->setShortcutContext(Qt::WidgetShortcut);
    list_.FileBox->addAction(a);
  }
  ContextMenu = new QMenu(list_.FileBox);
  ContextMenu->setObjectName("EditContextMenu");
  ContextMenu->addActions({acReplace, acImportNew, acRename, acDelete});
  ContextMenu->addSeparator();
  ContextMenu->addActions({acUndo, acRedo});
}

void TEditUi::FillEditMenu(QMenu* menu) {
  menu->addActions({acUndo, acRedo});
  menu->addSeparator();
  menu->addActions({acReplace, acImportNew, acRename, acDelete});
}

void TEditUi::AttachTextViewer(TTextViewerForm* text) {
  text_ = text;
  connect(text, &TTextViewerForm::putBackRequested, this, [this] { session_.Guarded([this] { PutBack(); }); });
  // What the entry held when its text was loaded: a later edit of it reloads the text.
  connect(text, &TTextViewerForm::sourceEntryChanged, this, [this](int entry) {
    const vld::TBundleEditList* edits = Edits();
    textContent_ = edits && entry >= 0 && entry < edits->Count() ? edits->Entry(entry).content : nullptr;
  });
}

vld::TBundleEditList* TEditUi::Edits() { return session_.File().Edits(); }

bool TEditUi::HasChanges() const { return session_.File().HasChanges(); }

bool TEditUi::CanEdit() { return Edits() && !session_.RefuseWhileBusy(); }

void TEditUi::UpdateActions() {
  const bool bundle = Edits() != nullptr;
  const bool entry = bundle && session_.Selected() >= 0;
  acReplace->setEnabled(entry);
  acRename->setEnabled(entry);
  acDelete->setEnabled(entry);
  acImportNew->setEnabled(bundle);
  acUndo->setEnabled(!undo_.empty());
  acRedo->setEnabled(!redo_.empty());
  acSave->setEnabled(HasChanges());
  acSaveAs->setEnabled(bundle);
  // F2 in the list edits a name only where there is a bundle to rename in.
  list_.FileBox->setEditTriggers(bundle ? QAbstractItemView::EditKeyPressed : QAbstractItemView::NoEditTriggers);
}

void TEditUi::ApplyStep(TGroup& group, const vld::TBundleEdit& edit) {
  TStep step{edit, Edits()->Apply(edit)};
  TrackShownEntry(step, false);
  group.steps.push_back(std::move(step));
}

void TEditUi::RevertSteps(const std::vector<TStep>& steps) {
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    Edits()->Revert(it->undo);
    TrackShownEntry(*it, true);
  }
}

void TEditUi::Commit(TGroup group) {
  if (group.steps.empty()) return;
  const int current = group.current;
  undo_.push_back(std::move(group));
  redo_.clear();
  Changed(current);
}

void TEditUi::Changed(int current) {
  emit entriesEdited(current);
  UpdateActions();
  emit modifiedChanged(HasChanges());
  actions_.RefreshHexViews();
  // New bytes that do not decode (a damaged script put in as it is) are
  // reported; the edit stands.
  session_.Guarded([this] { RefreshTextViewer(); });
}

void TEditUi::Undo() {
  if (undo_.empty() || !CanEdit()) return;
  TGroup group = std::move(undo_.back());
  undo_.pop_back();
  RevertSteps(group.steps);
  // The first entry the command touched (an added one is gone) is shown again.
  int current = -1;
  for (const TStep& step : group.steps)
    if (step.edit.kind != Kind::Add && (current < 0 || step.edit.index < current)) current = step.edit.index;
  if (current < 0) current = session_.Selected();
  redo_.push_back(std::move(group));
  Changed(current);
}

void TEditUi::Redo() {
  if (redo_.empty() || !CanEdit()) return;
  TGroup group = std::move(redo_.back());
  redo_.pop_back();
  for (TStep& step : group.steps) {
    step.undo = Edits()->Apply(step.edit);
    TrackShownEntry(step, false);
  }
  const int current = group.current;
  undo_.push_back(std::move(group));
  Changed(current);
}

namespace {

vld::TContentPtr RawContent(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (!ec && static_cast<std::int64_t>(size) > kReadWhenChosen) return vld::TEntryContent::FromFile(path);
  return vld::TEntryContent::FromBytes(vld::ReadWholeFile(path));
}

}  // namespace

TEditUi::TReplacement TEditUi::MakeReplacement(const vld::TOpenFile& file, int entry, const fs::path& path) {
  TReplacement r;
  r.content = RawContent(path);
  const std::string fileName = vld::PathText(path.filename());
  const std::string entryName(file.Edits()->Name(entry));
  // Only what the importer takes is imported; anything else goes in as it is.
  if (!r.content->InMemory() || vld::ClassifyImportSource(fileName, r.content->Data()) == vld::ImportSource::Raw)
    return r;
  const vld::TImported imported = vld::ImportEntry(r.content->Data(), fileName, file.ReadEntryBytes(entry), entryName);
  r.content = nullptr;
  if (imported.Refused()) {
    r.refusal =
        PathQt(path) + " cannot replace " + Latin1(entryName) + ". " + QString::fromUtf8(imported.refusal.c_str());
    return r;
  }
  for (const std::string& warning : imported.warnings) r.warnings << QString::fromUtf8(warning.c_str());
  r.made = "Imported " + PathQt(path.filename()) + " as " + QString::fromUtf8(imported.made.c_str()) + " for " +
           Latin1(entryName);
  r.content = vld::TEntryContent::FromBytes(imported.data);
  return r;
}

vld::TContentPtr TEditUi::Report(const TReplacement& r) {
  IPlatform& platform = session_.Platform();
  if (!r.refusal.isEmpty()) platform.MessageBox(BoxKind::Error, r.refusal);
  for (const QString& warning : r.warnings) platform.MessageBox(BoxKind::Warning, warning);
  session_.SetStatus(1, r.made);
  return r.content;
}

void TEditUi::Replace() {
  const int entry = session_.Selected();
  if (entry < 0 || !CanEdit()) return;
  std::optional<QString> path = session_.Platform().OpenFile(session_.Owner(), kReplaceFilter, QString());
  if (path) ReplaceWith(entry, *path);
}

void TEditUi::ReplaceWith(int entry, const QString& path) {
  if (!CanEdit() || entry < 0 || entry >= Edits()->Count()) return;
  // Reading and converting a large picture or a long sound takes a while: on the worker.
  const vld::TOpenFile* file = &session_.File();
  const fs::path source = FsPath(path);
  session_.SetStatus(1, "Importing " + FileNamePart(path) + "...");
  session_.Work().Start<TReplacement>(
      "Importing " + FileNamePart(path),
      [file, entry, source](const std::atomic<bool>&) { return MakeReplacement(*file, entry, source); },
      [this, entry](TReplacement& r) {
        session_.SetStatus(1, "");
        vld::TContentPtr content = Report(r);
        if (!content) return;
        TGroup group;
        ApplyStep(group, vld::TBundleEdit::Replace(entry, std::move(content)));
        group.current = entry;
        Commit(std::move(group));
      },
      [this](std::exception_ptr e) {
        session_.SetStatus(1, "");
        session_.ShowError(e);
      });
}

void TEditUi::ImportNew() {
  if (!CanEdit()) return;
  std::optional<QString> path = session_.Platform().OpenFile(session_.Owner(), "All files (*.*)|*.*", QString());
  if (path) AddFiles({*path});
}

std::string TEditUi::EntryNameOf(const QString& name) {
  // Names are 8-bit: what Latin-1 cannot hold would come out as '?'.
  const std::string bytes = Bytes8(name);
  if (Latin1(bytes) != name) {
    session_.Platform().MessageBox(BoxKind::Error, "The name " + name +
                                                       " holds characters a bundle cannot store; entry names are "
                                                       "8-bit (Latin-1). Choose another name.");
    return {};
  }
  return bytes;
}

void TEditUi::AddFiles(const QStringList& paths) {
  if (!CanEdit()) return;
  TGroup group;
  for (const QString& path : paths) {
    try {
      if (!AddFile(group, path)) {
        // Cancel: nothing of this drop stays.
        RevertSteps(group.steps);
        Changed(session_.Selected());
        return;
      }
    } catch (const std::exception& e) {
      // One file that cannot go in leaves the others.
      session_.ShowError(e);
    }
  }
  Commit(std::move(group));
}

bool TEditUi::AddFile(TGroup& group, const QString& path) {
  IPlatform& platform = session_.Platform();
  if (!QFileInfo(path).isFile()) {
    platform.MessageBox(BoxKind::Error, path + " is not a file; only files become entries.");
    return true;
  }
  const std::string name = EntryNameOf(QFileInfo(path).fileName());
  if (name.empty()) return true;
  const int existing = Edits()->FindEntry(name);
  if (existing < 0) {
    ApplyStep(group, vld::TBundleEdit::Add(Edits()->Count(), name, RawContent(FsPath(path))));
    group.current = Edits()->Count() - 1;
    return true;
  }
  const int answer = platform.AskChoice(
      BoxKind::Warning,
      "The bundle already has an entry named " + Latin1(Edits()->Name(existing)) + ". Replace it with " + path + "?",
      {"Replace", "Skip", "Cancel"});
  if (answer == 1) return true;
  if (answer != 0) return false;
  if (vld::TContentPtr content = Report(MakeReplacement(session_.File(), existing, FsPath(path)))) {
    ApplyStep(group, vld::TBundleEdit::Replace(existing, std::move(content)));
    group.current = existing;
  }
  return true;
}

void TEditUi::StartRename() {
  if (session_.Selected() < 0 || !CanEdit()) return;
  TEntryList* box = list_.FileBox;
  box->setFocus();
  box->edit(box->currentIndex());
}

void TEditUi::Rename(int entry, const QString& name) {
  if (!CanEdit() || entry < 0 || entry >= Edits()->Count()) return;
  const std::string bytes = EntryNameOf(name);
  if (bytes.empty() || bytes == Edits()->Name(entry)) return;
  TGroup group;
  // A taken or impossible name is refused by the list, with its reason.
  ApplyStep(group, vld::TBundleEdit::Rename(entry, bytes));
  group.current = entry;
  Commit(std::move(group));
}

void TEditUi::DeleteChosen() {
  if (!CanEdit()) return;
  std::vector<int> chosen = list_.ChosenEntries();
  if (chosen.empty()) return;
  TGroup group;
  // From the last, so that the indexes before each removal stay as chosen.
  for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) ApplyStep(group, vld::TBundleEdit::Remove(*it));
  group.current = std::min(chosen.front(), Edits()->Count() - 1);
  Commit(std::move(group));
  session_.SetStatus(1, QString("Deleted %1 entr%2 (Undo brings %3 back).")
                            .arg(chosen.size())
                            .arg(chosen.size() == 1 ? "y" : "ies")
                            .arg(chosen.size() == 1 ? "it" : "them"));
}

void TEditUi::PutBack() {
  if (!text_ || !CanEdit()) return;
  const int entry = text_->SourceEntry();
  if (entry < 0 || entry >= Edits()->Count()) {
    session_.Platform().MessageBox(BoxKind::Error,
                                   "The entry this text came from is no longer in the bundle; nothing was changed.");
    return;
  }
  vld::Bytes bytes;
  if (text_->ShowsScript()) {
    std::optional<vld::Bytes> chunk = actions_.CompileScriptText(text_->TextBytes(), text_->ScriptOptions());
    if (!chunk) return;
    bytes = std::move(*chunk);
  } else {
    bytes = text_->EntryBytes();
  }
  const QString name = Latin1(Edits()->Name(entry));
  if (bytes == session_.File().ReadEntryBytes(entry)) {
    session_.SetStatus(1, name + " already holds this; nothing to put back.");
    return;
  }
  TGroup group;
  vld::TContentPtr content = vld::TEntryContent::FromBytes(std::move(bytes));
  ApplyStep(group, vld::TBundleEdit::Replace(entry, content));
  // The viewer shows what was put back already: it is not reloaded.
  textContent_ = content;
  group.current = entry;
  Commit(std::move(group));
  session_.SetStatus(1, "Put back into " + name + "; save the bundle to keep it.");
}

void TEditUi::TrackShownEntry(const TStep& step, bool reverted) {
  if (!text_ || text_->SourceEntry() < 0) return;
  int shown = text_->SourceEntry();
  const int at = step.edit.index;
  // An added entry comes in at its index and a removed one leaves it;
  // reverting either does the opposite.
  bool adds = step.edit.kind == Kind::Add, removes = step.edit.kind == Kind::Remove;
  if (reverted) std::swap(adds, removes);
  if (adds && at <= shown)
    ++shown;
  else if (removes && at == shown)
    shown = -1;
  else if (removes && at < shown)
    --shown;
  if (shown != text_->SourceEntry()) {
    const vld::TContentPtr keep = textContent_;
    text_->SetSourceEntry(shown);
    textContent_ = keep;
  }
}

void TEditUi::RefreshTextViewer() {
  if (!text_ || !text_->isVisible() || text_->SourceEntry() < 0) return;
  const int entry = text_->SourceEntry();
  const std::string name(Edits()->Name(entry));
  if (name != text_->ShownEntryName()) text_->SetShownEntryName(name);
  if (Edits()->Entry(entry).content == textContent_) return;
  // New bytes under the shown text (a replace, an undo): the viewer shows them.
  const vld::Bytes bytes = session_.File().ReadEntryBytes(entry);
  if (text_->ShowsScript()) {
    const std::string source = vld::DumpLuaChunk(bytes, name);
    text_->LoadScript(vld::AsSpan(source), name, vld::ScriptOptionsOf(bytes, vld::NameAfterLastBackslash(name)));
  } else {
    text_->LoadText(bytes, name);
  }
  text_->SetSourceEntry(entry);
}

bool TEditUi::MayLeave(std::function<void()> then) {
  if (saving_) {
    // The running save finishes first; what was asked follows it.
    afterSave_ = std::move(then);
    session_.SetStatus(1, "The bundle is being saved; that goes on once the save is done.");
    return false;
  }
  if (!HasChanges()) return true;
  const QString name = FileNamePart(PathQt(session_.File().Path()));
  const int answer = session_.Platform().AskChoice(
      BoxKind::Warning, name + " has changes that are not saved. Save them?", {"Save", "Discard", "Cancel"});
  if (answer == 1) return true;
  if (answer == 0) {
    afterSave_ = std::move(then);
    Save();
    // A save that could not start keeps nothing waiting for it.
    if (!saving_) afterSave_ = nullptr;
  }
  return false;
}

void TEditUi::FileOpened() {
  undo_.clear();
  redo_.clear();
  textContent_ = nullptr;
  actions_.ForgetHexOrigins();
  UpdateActions();
  emit modifiedChanged(false);
}

void TEditUi::Save() {
  if (!Edits() || !HasChanges()) return;
  // In place, the file the path leads to is updated (a link to it stays a link).
  std::error_code ec;
  const fs::path open = session_.File().Path();
  const fs::path target = fs::canonical(open, ec);
  SaveTo(ec ? open : target, open);
}

void TEditUi::SaveAs() {
  if (!Edits()) return;
  const fs::path open = session_.File().Path();
  std::optional<QString> path = session_.Platform().SaveFile(session_.Owner(), PathQt(open.filename()), kBundleFilter,
                                                             "lab", session_.SaveFolder("bundle"));
  if (!path) return;
  ViewerSettings().setValue("saveFolders/bundle", QFileInfo(*path).absolutePath());
  // Saved over the open bundle, it is a plain save.
  std::error_code ec;
  if (fs::equivalent(FsPath(*path), open, ec))
    SaveTo(fs::canonical(open), open);
  else
    SaveTo(FsPath(*path), FsPath(*path));
}

void TEditUi::SaveTo(const fs::path& target, const fs::path& reopen) {
  if (session_.RefuseWhileBusy()) return;
  const vld::TBundleEditList* list = Edits();
  TWorkRunner* work = &session_.Work();
  const QString shown = PathQt(target), reopened = PathQt(reopen);
  const int current = session_.Selected();
  session_.SetStatus(1, "Saving " + shown + "...");
  if (progress_) progress_->Begin("Saving the bundle", 1);
  emit inputEnabled(false);
  saving_ = true;
  auto finish = [this] {
    saving_ = false;
    if (progress_) progress_->Finish();
    emit inputEnabled(true);
  };
  std::function<void()> release;
#ifdef _WIN32
  // Windows replaces no file that is open: the bundle lets go of its file once
  // the new one is written (reads meanwhile give nothing), and takes it up
  // again if the new one could not take its name.
  release = [source = &session_.File().Reader()->Stream()] { source->Release(); };
#endif
  work->Start<vld::TSaveResult>(
      "Saving the bundle",
      [this, list, target, work, shown, hook = saveHook_, release](const std::atomic<bool>& cancel) {
        vld::TSaveOptions options;
        options.cancel = &cancel;
        options.beforeWrite = hook;
        options.releaseSource = release;
        options.progress = [this, work, shown, throttle = vld::TThrottle()](std::int64_t done,
                                                                            std::int64_t total) mutable {
          if (!throttle.Due(done >= total)) return;
          work->Post([this, done, total, shown] {
            if (progress_) progress_->SetShare(done, total, "Saving " + shown);
          });
        };
        return vld::SaveBundle(*list, target, options);
      },
      [this, finish, shown, reopened, current](vld::TSaveResult& result) {
        finish();
        std::function<void()> then = std::move(afterSave_);
        afterSave_ = nullptr;
        emit saved(reopened, current);
        session_.SetStatus(1, QString("Saved %1 (%2 bytes).").arg(shown).arg(result.bytes));
        if (then) then();
      },
      [this, finish](std::exception_ptr e) {
        finish();
        afterSave_ = nullptr;
        if (vld::TLabReader* reader = session_.File().Reader(); reader && !reader->Stream().IsOpen()) {
          try {
            reader->Stream().Reacquire();
          } catch (...) {
            session_.ShowError(std::current_exception());
          }
        }
        try {
          std::rethrow_exception(e);
        } catch (const vld::ESaveCancelled&) {
          session_.SetStatus(1, "Saving cancelled: nothing was written; the changes are still there to be saved.");
        } catch (...) {
          session_.SetStatus(1, "");
          session_.ShowError(std::current_exception());
        }
      });
}
