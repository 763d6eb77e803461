#include "gui/ListPane.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
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
  // Files dropped from outside become entries; the list's own drags go out only.
  FileBox->viewport()->setAcceptDrops(true);
  FileBox->viewport()->installEventFilter(this);
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

void TListPane::ResetNames() {
  const vld::TOpenFile& file = session_.File();
  QSignalBlocker block(FileBox);
  FileBox->Model()->Reset(file.EntryCount(), [&file](int i) { return Latin1(file.EntryName(i)); });
}

void TListPane::FileChanged() {
  ResetNames();
  if (tvFolders->isVisible())
    FillFolders();
  else
    ApplyFilter();
}

void TListPane::EntriesChanged(int current) {
  const QString folder =
      tvFolders->currentItem() ? tvFolders->currentItem()->data(0, kFolderPathRole).toString() : QString();
  ResetNames();
  {
    QSignalBlocker block(FileBox);
    FileBox->setCurrentRow(std::min(current, FileBox->count() - 1));
  }
  if (!tvFolders->isVisible()) return ApplyFilter();
  // A rename may add or empty a folder: the tree is made anew, on the same folder.
  FillFolders();
  for (QTreeWidgetItemIterator it(tvFolders); *it; ++it)
    if ((*it)->data(0, kFolderPathRole).toString() == folder) {
      tvFolders->setCurrentItem(*it);
      break;
    }
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
  const vld::TBundleEditList* entries = session_.File().Edits();
  vld::TEntryFilter filter;
  if (entries) {
    filter.pattern = Bytes8(edFilter->text());
    filter.kind = static_cast<vld::EntryKind>(std::max(cbKind->currentIndex(), 0));
    if (tvFolders->isVisible() && tvFolders->currentItem())
      filter.folder = Bytes8(tvFolders->currentItem()->data(0, kFolderPathRole).toString());
  }
  const int current = FileBox->currentRow();
  {
    QSignalBlocker block(FileBox);
    if (filter.Active())
      model->Show(vld::FilterEntries(
          entries->Count(), [entries](int i) { return entries->Name(i); }, filter));
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
    if (const vld::TBundleEditList* entries = session_.File().Edits()) {
      auto* all = new QTreeWidgetItem(tvFolders, {QString("All (%1)").arg(entries->Count())});
      all->setData(0, kFolderPathRole, QString());
      std::vector<QTreeWidgetItem*> parents{all};
      for (const vld::TFolderNode& node :
           vld::FolderTree(entries->Count(), [entries](int i) { return entries->Name(i); })) {
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

bool TListPane::DropEvent(QEvent* event) {
  auto* drop = static_cast<QDropEvent*>(event);
  // Our own entries dragged back onto the list are neither an edit nor a file
  // to open: the drag is refused here.
  if (drop->source() == FileBox) {
    drop->ignore();
    return true;
  }
  if (drop->source() || !drop->mimeData()->hasUrls()) return false;
  QStringList paths;
  for (const QUrl& url : drop->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  if (paths.isEmpty() || !session_.File().IsBundle()) return false;
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  if (event->type() == QEvent::Drop) emit filesDropped(paths);
  return true;
}

bool TListPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FileBox->viewport()) {
    const QEvent::Type t = event->type();
    if ((t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::Drop) && DropEvent(event)) return true;
    return QWidget::eventFilter(watched, event);
  }
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (watched == edFilter && (enter || key == Qt::Key_Down)) return FilterKey(key);
  // The Enter that ends editing a name belongs to the editor.
  if (watched == FileBox && enter && !FileBox->Editing()) {
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
