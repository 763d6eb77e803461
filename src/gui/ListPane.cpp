#include "gui/ListPane.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/browser/EntryFilter.h"
#include "gui/EntryList.h"
#include "gui/GuiText.h"
#include "gui/Session.h"

namespace {

constexpr int kMaxRecentFiles = 8;
constexpr const char* kRecentKey = "recentFiles";
constexpr int kFolderPathRole = Qt::UserRole;

const char* const kKindTexts[] = {"All", "Images", "Sounds", "Scripts", "Text", "Animations", "Other"};

}  // namespace

TListPane::TListPane(TSession& session, QWidget* parent) : QWidget(parent), session_(session) {
  setObjectName("ListPane");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  BuildFilterRow();
  FileBox = new TEntryList(this);
  FileBox->setObjectName("FileBox");
  FileBox->installEventFilter(this);
  FileBox->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(FileBox, 1);

  acCopyName = new QAction("Copy name", FileBox);
  acCopyName->setShortcut(QKeySequence::Copy);
  acCopyName->setShortcutContext(Qt::WidgetShortcut);
  FileBox->addAction(acCopyName);
  connect(acCopyName, &QAction::triggered, this, [this] { CopyNames(); });
  connect(edFilter, &QLineEdit::textChanged, this, [this] { session_.Guarded([this] { ApplyFilter(); }); });
  connect(cbKind, &QComboBox::currentIndexChanged, this, [this] { session_.Guarded([this] { ApplyFilter(); }); });
  connect(tvFolders, &QTreeWidget::currentItemChanged, this, [this] { session_.Guarded([this] { ApplyFilter(); }); });
  connect(FileBox, &TEntryList::currentRowChanged, this, &TListPane::entryChosen);
  connect(FileBox, &TEntryList::entryActivated, this, &TListPane::entryActivated);
  connect(FileBox, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { emit contextMenuRequested(FileBox->viewport()->mapToGlobal(pos)); });
}

void TListPane::BuildFilterRow() {
  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  edFilter = new QLineEdit(this);
  edFilter->setObjectName("edFilter");
  edFilter->setPlaceholderText("Filter: text or *.til");
  edFilter->setClearButtonEnabled(true);
  edFilter->installEventFilter(this);
  cbKind = new QComboBox(this);
  cbKind->setObjectName("cbKind");
  for (const char* text : kKindTexts) cbKind->addItem(text);
  row->addWidget(edFilter, 1);
  row->addWidget(cbKind);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
  tvFolders = new QTreeWidget(this);
  tvFolders->setObjectName("tvFolders");
  tvFolders->setHeaderHidden(true);
  tvFolders->hide();
  static_cast<QVBoxLayout*>(layout())->addWidget(tvFolders, 1);
}

void TListPane::Clear() {
  QSignalBlocker block(FileBox);
  FileBox->Model()->Reset(0, {});
}

void TListPane::FileChanged() {
  const vld::TOpenFile& file = session_.File();
  {
    QSignalBlocker block(FileBox);
    FileBox->Model()->Reset(file.EntryCount(), [&file](int i) { return Latin1(file.EntryName(i)); });
  }
  if (tvFolders->isVisible())
    FillFolders();
  else
    ApplyFilter();
}

void TListPane::UpdateCount() {
  const vld::TOpenFile& file = session_.File();
  if (!file.IsBundle()) {
    emit countChanged("");
    return;
  }
  const TEntryModel* model = FileBox->Model();
  if (model->Filtered())
    emit countChanged(QString("%1 of %2 files").arg(model->VisibleCount()).arg(model->EntryCount()));
  else
    emit countChanged(QString::number(model->EntryCount()) + " files in the bundle");
}

void TListPane::ApplyFilter() {
  TEntryModel* model = FileBox->Model();
  const vld::TLabReader* reader = session_.File().Reader();
  vld::TEntryFilter filter;
  if (reader) {
    filter.pattern = Bytes8(edFilter->text());
    filter.kind = static_cast<vld::EntryKind>(std::max(cbKind->currentIndex(), 0));
    if (tvFolders->isVisible() && tvFolders->currentItem())
      filter.folder = Bytes8(tvFolders->currentItem()->data(0, kFolderPathRole).toString());
  }
  const int current = FileBox->currentRow();
  {
    QSignalBlocker block(FileBox);
    if (filter.Active())
      model->Show(vld::FilterEntries(*reader, filter));
    else
      model->ShowAll();
    // The entry the user was on stays current when it is still listed.
    if (model->RowOf(current) >= 0)
      FileBox->setCurrentRow(current);
    else if (model->VisibleCount() > 0)
      FileBox->setCurrentRow(model->EntryAt(0));
  }
  UpdateCount();
  emit entryChosen(FileBox->currentRow());
}

void TListPane::ShowFolders(bool show) {
  tvFolders->setVisible(show);
  if (show)
    FillFolders();
  else
    ApplyFilter();
}

void TListPane::FillFolders() {
  {
    QSignalBlocker block(tvFolders);
    tvFolders->clear();
    if (const vld::TLabReader* reader = session_.File().Reader()) {
      auto* all = new QTreeWidgetItem(tvFolders, {QString("All (%1)").arg(reader->Count())});
      all->setData(0, kFolderPathRole, QString());
      std::vector<QTreeWidgetItem*> parents{all};
      for (const vld::TFolderNode& node : vld::FolderTree(*reader)) {
        parents.resize(static_cast<std::size_t>(node.depth) + 1);
        auto* item = new QTreeWidgetItem(parents[static_cast<std::size_t>(node.depth)],
                                         {Latin1(node.name) + QString(" (%1)").arg(node.entries)});
        item->setData(0, kFolderPathRole, Latin1(node.path));
        parents.push_back(item);
      }
      all->setExpanded(true);
      tvFolders->setCurrentItem(all);
    }
  }
  ApplyFilter();
}

void TListPane::FocusFilter() {
  edFilter->setFocus();
  edFilter->selectAll();
}

std::vector<int> TListPane::ChosenEntries() const {
  std::vector<int> entries = FileBox->SelectedEntries();
  if (entries.empty() && FileBox->currentRow() >= 0) entries.push_back(FileBox->currentRow());
  return entries;
}

void TListPane::CopyNames() {
  QStringList names;
  for (int e : ChosenEntries()) names << FileBox->itemText(e);
  if (!names.isEmpty()) QApplication::clipboard()->setText(names.join('\n'));
}

void TListPane::SetDragSource(DragFn drag) { FileBox->Model()->SetDragSource(std::move(drag)); }

bool TListPane::FilterKey(int key) {
  const TEntryModel* model = FileBox->Model();
  if (model->VisibleCount() == 0) return false;
  FileBox->setFocus();
  if (FileBox->currentRow() < 0) FileBox->setCurrentRow(model->EntryAt(0));
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && model->VisibleCount() == 1)
    emit entryActivated(FileBox->currentRow());
  return true;
}

bool TListPane::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (watched == edFilter && (enter || key == Qt::Key_Down)) return FilterKey(key);
  if (watched == FileBox && enter) {
    // Enter runs the current entry's action, whatever the selection holds.
    if (FileBox->currentRow() >= 0) emit entryActivated(FileBox->currentRow());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

QStringList TListPane::RecentFiles() const { return ViewerSettings().value(kRecentKey).toStringList(); }

void TListPane::AddRecentFile(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList recent = RecentFiles();
  recent.removeAll(full);
  recent.prepend(full);
  while (recent.size() > kMaxRecentFiles) recent.removeLast();
  ViewerSettings().setValue(kRecentKey, recent);
}

void TListPane::ForgetRecentFile(const QString& path) {
  QStringList recent = RecentFiles();
  recent.removeAll(path);
  ViewerSettings().setValue(kRecentKey, recent);
}

void TListPane::FillRecentMenu(QMenu* menu) {
  menu->clear();
  const QStringList recent = RecentFiles();
  for (int i = 0; i < recent.size(); ++i) {
    QAction* a = menu->addAction(QString("&%1 %2").arg(i + 1).arg(recent[i]));
    const QString path = recent[i];
    connect(a, &QAction::triggered, this, [this, path] { emit openRequested(path); });
  }
  menu->setEnabled(!recent.isEmpty());
}
