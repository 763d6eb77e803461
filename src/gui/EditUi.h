#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include "core/browser/OpenFile.h"
#include "core/bundle/BundleEdit.h"

class QAction;
class QMenu;
class TEntryActions;
class TExtractForm;
class TListPane;
class TSession;
class TTextViewerForm;

// Changing the open bundle from the viewer: replace, import as a new entry,
// rename, delete, files dropped on the list and text put back from the text
// viewer; undo and redo of each, and the save (on the worker, with progress
// and Cancel). The edits live in the open file's edit list, so every view
// shows the entries as edited; nothing reaches the disk before a save.
class TEditUi : public QObject {
  Q_OBJECT

 public:
  TEditUi(TSession& session, TListPane& list, TEntryActions& actions, QObject* parent = nullptr);

  void SetProgressWindow(TExtractForm* progress) { progress_ = progress; }
  void AttachTextViewer(TTextViewerForm* text);

  QAction *acReplace = nullptr, *acImportNew = nullptr, *acRename = nullptr, *acDelete = nullptr;
  QAction *acUndo = nullptr, *acRedo = nullptr, *acSave = nullptr, *acSaveAs = nullptr;
  // The list's right-click menu: the edits of the chosen entries.
  QMenu* ContextMenu = nullptr;
  void FillEditMenu(QMenu* menu);

  // Replaces the current entry with a file chosen in the open dialog.
  void Replace();
  // Replaces an entry with a file: imported by the entry's type when it is a
  // picture, sound or script the importer takes, as it is otherwise (on the
  // worker). A refusal is shown and changes nothing.
  void ReplaceWith(int entry, const QString& path);
  void ImportNew();
  // Adds files as new entries named by their file names (one edit); a name the
  // bundle has already asks: Replace, Skip or Cancel (which adds nothing).
  void AddFiles(const QStringList& paths);
  // Opens the name of the current entry for editing in the list (F2).
  void StartRename();
  void Rename(int entry, const QString& name);
  // Removes the chosen entries (one edit).
  void DeleteChosen();
  // "Put back into the bundle" of the text viewer: its text replaces the entry
  // it came from; a script is compiled first, in the chunk's own format.
  void PutBack();
  void Undo();
  void Redo();
  void Save();
  void SaveAs();

  bool HasChanges() const;
  bool Saving() const { return saving_; }
  // Before the open bundle is left (closed, or another file opened): with
  // unsaved changes asks Save, Discard or Cancel. True when the caller may go
  // on now; after Save, `then` runs once the save has succeeded.
  bool MayLeave(std::function<void()> then);
  // A file was opened (or the saved one reopened): the undo history starts anew.
  void FileOpened();
  // Runs before every write of a save (tests fail or cancel a save with it).
  void SetSaveHook(std::function<void()> beforeWrite) { saveHook_ = std::move(beforeWrite); }

 signals:
  // The entries changed; `current` is the entry to show.
  void entriesEdited(int current);
  // Whether there are unsaved changes (for the title).
  void modifiedChanged(bool modified);
  // A save succeeded: the saved bundle is to be opened, on entry `current`.
  void saved(const QString& path, int current);
  // The window takes no input while a save runs (false), and again after (true).
  void inputEnabled(bool enabled);

 private:
  struct TStep {
    vld::TBundleEdit edit;
    vld::TEditUndo undo;
  };
  // What one command did; undone and redone as a whole.
  struct TGroup {
    std::vector<TStep> steps;
    int current = -1;  // the entry shown after it
  };

  void BuildActions();
  vld::TBundleEditList* Edits();
  // Edits wait while the worker reads the bundle, and need a bundle.
  bool CanEdit();
  // Applies the edit and keeps it in the group being built.
  void ApplyStep(TGroup& group, const vld::TBundleEdit& edit);
  void RevertSteps(const std::vector<TStep>& steps);
  // One file of AddFiles; false when the user cancelled the whole addition.
  bool AddFile(TGroup& group, const QString& path);
  // Keeps a finished group for undo and shows the result.
  void Commit(TGroup group);
  void Changed(int current);
  void UpdateActions();
  // What a file becomes in place of an entry, made away from the GUI thread.
  struct TReplacement {
    vld::TContentPtr content;  // null when refused
    QString refusal, made;
    QStringList warnings;
  };
  static TReplacement MakeReplacement(const vld::TOpenFile& file, int entry, const std::filesystem::path& path);
  // Shows a refusal or the warnings; returns the content (null when refused).
  vld::TContentPtr Report(const TReplacement& r);
  // The 8-bit name of a typed or file name; empty after a refusal box.
  std::string EntryNameOf(const QString& name);
  // Saves to `target`, then has `reopen` (the path the user knows it by) opened.
  void SaveTo(const std::filesystem::path& target, const std::filesystem::path& reopen);
  // Where the text viewer's entry went by an applied (or reverted) step.
  void TrackShownEntry(const TStep& step, bool reverted);
  // Reloads the text viewer when the bytes of its entry changed under it.
  void RefreshTextViewer();

  TSession& session_;
  TListPane& list_;
  TEntryActions& actions_;
  TExtractForm* progress_ = nullptr;
  TTextViewerForm* text_ = nullptr;
  vld::TContentPtr textContent_;  // what the text viewer's entry held when its text was loaded
  std::vector<TGroup> undo_, redo_;
  bool saving_ = false;
  std::function<void()> afterSave_;
  std::function<void()> saveHook_;
};
