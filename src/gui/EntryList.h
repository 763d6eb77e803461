#pragma once

#include <functional>
#include <vector>

#include <QAbstractListModel>
#include <QListView>
#include <QUrl>

// The entries of the open file as a list model: rows are the entries that
// pass the current filter, in directory order; names are read on demand, so a
// bundle of 100,000 entries costs no item objects.
class TEntryModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using NameFn = std::function<QString(int entry)>;
  // Writes the given entries as files for a drag and returns their URLs.
  using DragFn = std::function<QList<QUrl>(const std::vector<int>& entries)>;
  // True for an entry changed since the file was opened (it is marked).
  using ChangedFn = std::function<bool(int entry)>;
  // Renames an entry edited in place; false when the name was refused.
  using RenameFn = std::function<bool(int entry, const QString& name)>;

  // A changed entry's row starts with this mark (and is bold).
  static constexpr char16_t kChangedMark[] = u"\u2022 ";

  explicit TEntryModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  // Every entry shown; count 0 empties the list.
  void Reset(int count, NameFn name);
  // Only these entries shown (ascending entry indexes).
  void Show(std::vector<int> entries);
  void ShowAll();
  void SetDragSource(DragFn drag) { drag_ = std::move(drag); }
  void SetChangedSource(ChangedFn changed) { changed_ = std::move(changed); }
  // Entries can be renamed in place (F2) once this is set.
  void SetRename(RenameFn rename) { rename_ = std::move(rename); }
  bool IsMarked(int entry) const { return changed_ && changed_(entry); }

  int EntryCount() const { return count_; }
  int VisibleCount() const { return static_cast<int>(all_ ? count_ : visible_.size()); }
  bool Filtered() const { return !all_; }
  int EntryAt(int row) const { return all_ ? row : visible_[static_cast<std::size_t>(row)]; }
  // The row showing an entry, or -1 when it is hidden.
  int RowOf(int entry) const;
  QString Name(int entry) const { return name_ ? name_(entry) : QString(); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

 private:
  int count_ = 0;
  bool all_ = true;
  std::vector<int> visible_;
  NameFn name_;
  DragFn drag_;
  ChangedFn changed_;
  RenameFn rename_;
};

// The entry list `FileBox`: positions are entry indexes whatever the filter
// hides, so the actions always work on the entry the user picked.
class TEntryList : public QListView {
  Q_OBJECT

 public:
  explicit TEntryList(QWidget* parent = nullptr);

  TEntryModel* Model() const { return model_; }
  // The number of entries (shown or hidden).
  int count() const { return model_->EntryCount(); }
  // The current entry's index, -1 when there is none (or it is hidden).
  int currentRow() const;
  // Makes an entry current (and its row visible); -1 clears the current entry.
  void setCurrentRow(int entry);
  QString itemText(int entry) const { return model_->Name(entry); }
  // Where an entry's row is drawn (an empty rectangle when it is hidden).
  QRect EntryRect(int entry) const;
  // A name is being edited in the list (F2).
  bool Editing() const { return state() == QAbstractItemView::EditingState; }
  // The selected entries in directory order.
  std::vector<int> SelectedEntries() const;
  // A row the batched layout has not reached yet is laid out (with every
  // row before it) before the list scrolls to it.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

 signals:
  void currentRowChanged(int entry);
  void entryActivated(int entry);  // double click

 private:
  TEntryModel* model_;
};
