// The list pane: filter, folder view, multi-select saves, drag-out, copying
// names and the recent files.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/browser/Batch.h"
#include "core/browser/ConvertBatch.h"
#include "core/browser/EntryFilter.h"
#include "core/browser/ExtractPaths.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "gui/EntryList.h"
#include "gui/GuiText.h"
#include "gui/Main.h"

namespace {

constexpr int kMaxRecentFiles = 8;
constexpr const char* kRecentKey = "recentFiles";
constexpr int kFolderPathRole = Qt::UserRole;

const char* const kKindTexts[] = {"All", "Images", "Sounds", "Scripts", "Text", "Animations", "Other"};

}  // namespace

void TMainForm::BuildFilterRow(QWidget* parent, QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  edFilter = new QLineEdit(parent);
  edFilter->setObjectName("edFilter");
  edFilter->setPlaceholderText("Filter: text or *.til");
  edFilter->setClearButtonEnabled(true);
  cbKind = new QComboBox(parent);
  cbKind->setObjectName("cbKind");
  for (const char* text : kKindTexts) cbKind->addItem(text);
  row->addWidget(edFilter, 1);
  row->addWidget(cbKind);
  layout->addLayout(row);
  tvFolders = new QTreeWidget(parent);
  tvFolders->setObjectName("tvFolders");
  tvFolders->setHeaderHidden(true);
  tvFolders->hide();
  layout->addWidget(tvFolders, 1);
}

void TMainForm::ConnectListFeatures() {
  Findentry1 = new QAction("Find entry", this);
  Findentry1->setShortcut(QKeySequence("Ctrl+F"));
  addAction(Findentry1);
  connect(Findentry1, &QAction::triggered, this, [this] {
    edFilter->setFocus();
    edFilter->selectAll();
  });
  Copyname1 = new QAction("Copy name", FileBox);
  Copyname1->setShortcut(QKeySequence::Copy);
  Copyname1->setShortcutContext(Qt::WidgetShortcut);
  FileBox->addAction(Copyname1);
  connect(Copyname1, &QAction::triggered, this, [this] { CopyNames(); });

  connect(edFilter, &QLineEdit::textChanged, this, [this] { Guarded([this] { ApplyFilter(); }); });
  connect(cbKind, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { ApplyFilter(); }); });
  connect(tvFolders, &QTreeWidget::currentItemChanged, this, [this] { Guarded([this] { ApplyFilter(); }); });
  connect(FolderView1, &QAction::toggled, this, [this] { Guarded([this] { FolderView1Click(); }); });
  connect(Saveselected1, &QAction::triggered, this, [this] { Guarded([this] { SaveSelected(std::nullopt); }); });
  connect(SaveselectedBMP1, &QAction::triggered, this,
          [this] { Guarded([this] { SaveSelected(vld::ImageFormat::Bmp); }); });
  connect(SaveselectedPNG1, &QAction::triggered, this,
          [this] { Guarded([this] { SaveSelected(vld::ImageFormat::Png); }); });
  connect(OpenRecent1, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  FileBox->Model()->SetDragSource([this](const std::vector<int>& entries) {
    QList<QUrl> urls;
    Guarded([&] { urls = DragFiles(entries); });
    return urls;
  });
  FillRecentMenu();
}

void TMainForm::UpdateCountPanel() {
  if (!FBundleOpen || !FReader) return;
  const TEntryModel* model = FileBox->Model();
  if (model->Filtered())
    SetStatus(0, QString("%1 of %2 files").arg(model->VisibleCount()).arg(model->EntryCount()));
  else
    SetStatus(0, QString::number(model->EntryCount()) + " files in the bundle");
}

void TMainForm::ApplyFilter() {
  TEntryModel* model = FileBox->Model();
  vld::TEntryFilter filter;
  if (FBundleOpen && FReader) {
    filter.pattern = Bytes8(edFilter->text());
    filter.kind = static_cast<vld::EntryKind>(std::max(cbKind->currentIndex(), 0));
    if (tvFolders->isVisible() && tvFolders->currentItem())
      filter.folder = Bytes8(tvFolders->currentItem()->data(0, kFolderPathRole).toString());
  }
  const int current = FileBox->currentRow();
  {
    QSignalBlocker block(FileBox);
    if (filter.Active())
      model->Show(vld::FilterEntries(*FReader, filter));
    else
      model->ShowAll();
    // The entry the user was on stays current when it is still listed.
    if (model->RowOf(current) >= 0)
      FileBox->setCurrentRow(current);
    else if (model->VisibleCount() > 0)
      FileBox->setCurrentRow(model->EntryAt(0));
  }
  UpdateCountPanel();
  FileBoxClick();
}

void TMainForm::FolderView1Click() {
  const bool show = FolderView1->isChecked();
  tvFolders->setVisible(show);
  if (show) {
    QSignalBlocker block(tvFolders);
    tvFolders->clear();
    if (FBundleOpen && FReader) {
      auto* all = new QTreeWidgetItem(tvFolders, {QString("All (%1)").arg(FReader->Count())});
      all->setData(0, kFolderPathRole, QString());
      std::vector<QTreeWidgetItem*> parents{all};
      for (const vld::TFolderNode& node : vld::FolderTree(*FReader)) {
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

void TMainForm::FileOpened() {
  if (FolderView1->isChecked())
    FolderView1Click();
  else
    ApplyFilter();
}

void TMainForm::CopyNames() {
  std::vector<int> entries = FileBox->SelectedEntries();
  if (entries.empty() && FileBox->currentRow() >= 0) entries.push_back(FileBox->currentRow());
  QStringList names;
  for (int e : entries) names << FileBox->itemText(e);
  if (!names.isEmpty()) QApplication::clipboard()->setText(names.join('\n'));
}

void TMainForm::SaveSelected(std::optional<vld::ImageFormat> convert) {
  if (!FBundleOpen || !FReader) {
    platform_.MessageBox(BoxKind::Error, "You have to open a bundle first!");
    return;
  }
  if (RefuseWhileBusy()) return;
  std::vector<int> entries = FileBox->SelectedEntries();
  if (entries.empty() && FileBox->currentRow() >= 0) entries.push_back(FileBox->currentRow());
  if (entries.empty()) return;
  std::optional<QString> folder = BrowseForFolder("Select the folder to save the selected entries to.");
  if (!folder) return;
  TBatchJob job;
  job.title = "Saving the selected entries";
  job.what = "Saving the selection";
  job.noun = "entries";
  job.destination = FsPath(*folder);
  if (!convert) {
    job.items = vld::EntryItems(*FReader, entries);
  } else {
    // Named as convert-all names them; entries with no conversion stay raw.
    job.items = vld::ConvertedItems(*FReader, entries, *convert);
    job.produce = vld::ConvertedProduce(*FReader, *convert);
  }
  StartBatch(std::move(job));
}

QList<QUrl> TMainForm::DragFiles(const std::vector<int>& entries) {
  QList<QUrl> urls;
  if (!FBundleOpen || !FReader || entries.empty() || Busy()) return urls;
  // Each drag gets a folder of its own; the files stay until the program
  // ends, so a drop that completes late still finds them.
  static int drags = 0;
  const std::filesystem::path folder = TempDir().File("drag" + std::to_string(++drags));
  std::vector<vld::TBatchItem> items;
  for (int e : entries) items.push_back({e, vld::MapEntryName(vld::NameAfterLastBackslash(FReader->GetName(e))).file});
  vld::TBatchResult result = vld::RunBatch(*FReader, folder, items);
  // A drag that carries only some of the entries would drop less than was
  // dragged without a word.
  if (result.stopped) throw vld::VldError("The dragged entries could not be written: " + result.stopped->message);
  std::vector<std::string> names = vld::PlanBatchNames(items, result.foldsCase);
  for (std::size_t k = 0; k < items.size(); ++k) {
    const std::filesystem::path file = folder / names[k];
    if (std::filesystem::exists(file)) urls << QUrl::fromLocalFile(PathQt(file));
  }
  return urls;
}

QStringList TMainForm::RecentFiles() const { return ViewerSettings().value(kRecentKey).toStringList(); }

void TMainForm::AddRecentFile(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList recent = RecentFiles();
  recent.removeAll(full);
  recent.prepend(full);
  while (recent.size() > kMaxRecentFiles) recent.removeLast();
  ViewerSettings().setValue(kRecentKey, recent);
  FillRecentMenu();
}

void TMainForm::FillRecentMenu() {
  OpenRecent1->clear();
  const QStringList recent = RecentFiles();
  for (int i = 0; i < recent.size(); ++i) {
    QAction* a = OpenRecent1->addAction(QString("&%1 %2").arg(i + 1).arg(recent[i]));
    const QString path = recent[i];
    connect(a, &QAction::triggered, this, [this, path] { Guarded([this, &path] { OpenRecent(path); }); });
  }
  OpenRecent1->setEnabled(!recent.isEmpty());
}

void TMainForm::OpenRecent(const QString& path) {
  if (!QFileInfo::exists(path)) {
    QStringList recent = RecentFiles();
    recent.removeAll(path);
    ViewerSettings().setValue(kRecentKey, recent);
    FillRecentMenu();
    SetStatus(1, path + " no longer exists; it was removed from the recent files.");
    return;
  }
  OpenFile(path);
}
