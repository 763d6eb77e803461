#include "gui/EntryList.h"

#include <algorithm>

#include <QFont>
#include <QMimeData>

void TEntryModel::Reset(int count, NameFn name) {
  beginResetModel();
  count_ = count;
  name_ = std::move(name);
  all_ = true;
  visible_.clear();
  endResetModel();
}

void TEntryModel::Show(std::vector<int> entries) {
  beginResetModel();
  all_ = false;
  visible_ = std::move(entries);
  endResetModel();
}

void TEntryModel::ShowAll() {
  if (all_) return;
  beginResetModel();
  all_ = true;
  visible_.clear();
  endResetModel();
}

int TEntryModel::RowOf(int entry) const {
  if (entry < 0 || entry >= count_) return -1;
  if (all_) return entry;
  auto it = std::lower_bound(visible_.begin(), visible_.end(), entry);
  return it != visible_.end() && *it == entry ? static_cast<int>(it - visible_.begin()) : -1;
}

int TEntryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : VisibleCount(); }

QVariant TEntryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= VisibleCount()) return {};
  const int entry = EntryAt(index.row());
  // A mark that reads on light and dark themes alike: a leading bullet and a
  // bold name, no colour.
  switch (role) {
    case Qt::DisplayRole:
      return IsMarked(entry) ? QString::fromUtf16(kChangedMark) + Name(entry) : Name(entry);
    case Qt::EditRole:
      return Name(entry);
    case Qt::ToolTipRole:
      // Long names are cut by the list's width: the tooltip shows them whole.
      return IsMarked(entry) ? Name(entry) + " (changed, not saved yet)" : Name(entry);
    case Qt::FontRole:
      if (IsMarked(entry)) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    default:
      return {};
  }
}

bool TEntryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !rename_ || index.row() >= VisibleCount()) return false;
  const int entry = EntryAt(index.row());
  const QString name = value.toString();
  if (name == Name(entry)) return false;
  return rename_(entry, name);
}

Qt::ItemFlags TEntryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | (drag_ ? Qt::ItemIsDragEnabled : Qt::NoItemFlags) |
         (rename_ ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QStringList TEntryModel::mimeTypes() const { return {"text/uri-list"}; }

QMimeData* TEntryModel::mimeData(const QModelIndexList& indexes) const {
  if (!drag_) return nullptr;
  std::vector<int> entries;
  for (const QModelIndex& i : indexes)
    if (i.isValid()) entries.push_back(EntryAt(i.row()));
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  QList<QUrl> urls = drag_(entries);
  if (urls.isEmpty()) return nullptr;
  auto* mime = new QMimeData;
  mime->setUrls(urls);
  return mime;
}

TEntryList::TEntryList(QWidget* parent) : QListView(parent), model_(new TEntryModel(this)) {
  setModel(model_);
  setUniformItemSizes(true);
  // Rows are laid out in batches: a bundle of 100,000 entries shows its first
  // rows at once instead of after a pass over every row.
  setLayoutMode(QListView::Batched);
  setBatchSize(2000);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setDefaultDropAction(Qt::CopyAction);
  // F2 renames (when the model allows it); a double click runs the action.
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    emit currentRowChanged(current.isValid() ? model_->EntryAt(current.row()) : -1);
  });
  connect(this, &QListView::doubleClicked, this,
          [this](const QModelIndex& index) { emit entryActivated(model_->EntryAt(index.row())); });
  // A reset (new file, new filter) loses the current index; the list tells so.
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { emit currentRowChanged(currentRow()); });
}

int TEntryList::currentRow() const {
  QModelIndex i = currentIndex();
  return i.isValid() && i.row() < model_->VisibleCount() ? model_->EntryAt(i.row()) : -1;
}

void TEntryList::setCurrentRow(int entry) {
  int row = model_->RowOf(entry);
  if (row < 0) {
    selectionModel()->clearCurrentIndex();
    return;
  }
  QModelIndex index = model_->index(row);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

QRect TEntryList::EntryRect(int entry) const {
  int row = model_->RowOf(entry);
  return row < 0 ? QRect() : visualRect(model_->index(row));
}

std::vector<int> TEntryList::SelectedEntries() const {
  std::vector<int> out;
  for (const QModelIndex& i : selectionModel()->selectedIndexes()) out.push_back(model_->EntryAt(i.row()));
  std::sort(out.begin(), out.end());
  return out;
}

void TEntryList::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (index.isValid() && layoutMode() == QListView::Batched && !rectForIndex(index).isValid()) {
    setLayoutMode(QListView::SinglePass);
    doItemsLayout();
    setLayoutMode(QListView::Batched);
  }
  QListView::scrollTo(index, hint);
}
