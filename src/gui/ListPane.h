#pragma once

#include <functional>
#include <vector>

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QTreeWidget;
class TEntryList;
class TSession;

// The left pane of the main window: the filter row, the folder tree, the
// entry list and the recent files. It shows the open file's entries and says
// which one is chosen or activated; what happens then is the window's affair.
class TListPane : public QWidget {
  Q_OBJECT

 public:
  // Writes the given entries as files for a drag and returns their URLs.
  using DragFn = std::function<QList<QUrl>(const std::vector<int>& entries)>;

  TListPane(TSession& session, QWidget* parent = nullptr);

  QLineEdit* edFilter = nullptr;     // text or wildcards; Ctrl+F
  QComboBox* cbKind = nullptr;       // All, Images, Sounds, Scripts, Text, Animations, Other
  QTreeWidget* tvFolders = nullptr;  // hidden until the folder view is asked for
  TEntryList* FileBox = nullptr;
  QAction* acCopyName = nullptr;  // Ctrl+C on the list

  // The list follows the file just opened (or closed): every entry, the filter kept.
  void FileChanged();
  // The entries were edited: the list shows them anew, the filter kept, with
  // `current` as the current entry when it is listed.
  void EntriesChanged(int current);
  // Empties the list without a word (as a new file starts loading).
  void Clear();
  void ApplyFilter();
  void ShowFolders(bool show);
  void FocusFilter();
  void CopyNames();
  // The selected entries (the marked ones), or the current one when none is.
  std::vector<int> ChosenEntries() const;
  void SetDragSource(DragFn drag);

  QStringList RecentFiles() const;
  void AddRecentFile(const QString& path);
  // Fills a menu with the recent files; choosing one emits openRequested.
  void FillRecentMenu(QMenu* menu);
  // Drops a file that no longer exists from the recent files.
  void ForgetRecentFile(const QString& path);

 signals:
  // The current entry changed (-1: none).
  void entryChosen(int entry);
  // Double click or Enter on an entry (or Enter in the filter with one match).
  void entryActivated(int entry);
  // The entry count text for status panel 0.
  void countChanged(const QString& text);
  void openRequested(const QString& path);
  // A right click on the list, for the commands on the chosen entries.
  void contextMenuRequested(const QPoint& globalPos);
  // Files from another program (a file manager) were dropped on the list.
  void filesDropped(const QStringList& paths);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildFilterRow();
  void FillFolders();
  void UpdateCount();
  // Enter or Down in the filter: on to the list (Enter with one match activates it).
  bool FilterKey(int key);
  // A drag over or a drop on the list: files from outside are taken.
  bool DropEvent(QEvent* event);
  void ResetNames();

  TSession& session_;
};
