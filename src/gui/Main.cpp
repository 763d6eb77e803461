#include "gui/Main.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

#include "core/browser/FileTypes.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "gui/EntryList.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/HexViewForm.h"
#include "gui/ImageViewer.h"
#include "gui/SurfacePlayer.h"
#include "gui/TextViewer.h"
#include "gui/Work.h"

namespace {

constexpr char kOpenFilter[] = "Thrapwick Bundles (*.lab;*.m4b)|*.lab;*.m4b";

}  // namespace

TMainForm::TMainForm(IPlatform& platform, QWidget* parent) : QMainWindow(parent), platform_(platform) {
  setObjectName("MainForm");
  work_ = new TWorkRunner(this);
  connect(work_, &TWorkRunner::Finished, this, &TMainForm::workFinished);
  BuildWindow();
  FormCreate();
  platform_.Player().onNotify = [this] { Guarded([this] { MediaPlayerNotify(); }); };
}

TMainForm::~TMainForm() {
  platform_.Player().onNotify = nullptr;
  FormClose();
}

bool TMainForm::Busy() const { return work_->Busy(); }

void TMainForm::CancelWork() { work_->Cancel(); }

bool TMainForm::RefuseWhileBusy() {
  if (!work_->Busy()) return false;
  SetStatus(1, work_->What() + " is still running: wait for it to finish or cancel it.");
  return true;
}

vld::StatusFn TMainForm::WorkerStatus() {
  return [this](const std::string& text) {
    QString t = QString::fromStdString(text);
    work_->Post([this, t] { SetStatus(1, t); });
  };
}

vld::LogFn TMainForm::WorkerMemo() {
  return [this](const std::string& line) {
    QString t = QString::fromLatin1(line.c_str());
    work_->Post([this, t] { Memo1->appendPlainText(t); });
  };
}

void TMainForm::ShowError(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    ShowError(x);
  } catch (...) {
    platform_.MessageBox(BoxKind::Error, "An unexpected error occurred.");
  }
}

void TMainForm::AttachWindows(TImageForm* image, TTextViewerForm* text, TExtractForm* extract,
                              TSurfacePlayerForm* surface, TDebugForm* debug) {
  imageForm_ = image;
  textForm_ = text;
  extractForm_ = extract;
  surfaceForm_ = surface;
  debugForm_ = debug;
  ConnectWindows();
}

void TMainForm::ConnectWindows() {
  connect(imageForm_, &TImageForm::saveRequested, this,
          [this](const vld::Bytes& bmp) { Guarded([&] { SavePictureFromViewer(bmp, false); }); });
  connect(imageForm_, &TImageForm::savePngRequested, this,
          [this](const vld::Bytes& bmp) { Guarded([&] { SavePictureFromViewer(bmp, true); }); });
  connect(textForm_, &TTextViewerForm::saveRequested, this,
          [this](const QString& name, const vld::Bytes& text) { Guarded([&] { SaveTextFromViewer(name, text); }); });
  connect(extractForm_, &TExtractForm::cancelRequested, this, [this] { CancelWork(); });
}

namespace {
const char* const kListWidthKey = "window/listWidth";
const char* const kWindowSizeKey = "window/size";
}  // namespace

void TMainForm::BuildWindow() {
  setWindowTitle("VLD Resource Viewer " VLD_VERSION);
  setAcceptDrops(true);

  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(6);
  Splitter1->setChildrenCollapsible(false);
  // The list pane: the filter row, the folder view (off until asked for) and the list.
  auto* left = new QWidget(Splitter1);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->setSpacing(2);
  BuildFilterRow(left, leftLayout);
  FileBox = new TEntryList(left);
  FileBox->setObjectName("FileBox");
  FileBox->installEventFilter(this);
  leftLayout->addWidget(FileBox, 1);

  auto* right = new QWidget(Splitter1);
  auto* rightLayout = new QVBoxLayout(right);
  gbFileInfo = new QGroupBox("File info", right);
  auto* info = new QGridLayout(gbFileInfo);
  const char* captions[] = {"Filename:", "Offset:", "Size:", "Type:"};
  QLabel** values[] = {&lFilename, &lOffset, &lSize, &lType};
  const char* names[] = {"lFilename", "lOffset", "lSize", "lType"};
  for (int row = 0; row < 4; ++row) {
    info->addWidget(new QLabel(captions[row], gbFileInfo), row, 0);
    *values[row] = new QLabel(gbFileInfo);
    (*values[row])->setObjectName(names[row]);
    (*values[row])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->addWidget(*values[row], row, 1);
  }
  info->setColumnStretch(1, 1);

  gbActions = new QGroupBox("Actions", right);
  auto* actions = new QGridLayout(gbActions);
  btAction = new QPushButton("[Action]", gbActions);
  btSaveBMP = new QPushButton("Save as BMP...", gbActions);
  btSaveFile = new QPushButton("Save file...", gbActions);
  btSaveWav = new QPushButton("Save as Wave...", gbActions);
  btAction->setObjectName("btAction");
  btSaveBMP->setObjectName("btSaveBMP");
  btSavePNG = new QPushButton("Save as PNG...", gbActions);
  btSavePNG->setObjectName("btSavePNG");
  btSaveFile->setObjectName("btSaveFile");
  btSaveWav->setObjectName("btSaveWav");
  actions->addWidget(btAction, 0, 0);
  actions->addWidget(btSaveBMP, 0, 1);
  actions->addWidget(btSavePNG, 0, 2);
  actions->addWidget(btSaveFile, 1, 0);
  actions->addWidget(btSaveWav, 1, 1);
  rightLayout->addWidget(gbFileInfo);
  rightLayout->addWidget(gbActions);
  rightLayout->addStretch(1);

  // Hidden helpers used by the tile batch command and the WVC converter.
  Label5 = new QLabel(right);
  Label5->setObjectName("Label5");
  Label5->hide();
  Memo1 = new QPlainTextEdit(right);
  Memo1->setObjectName("Memo1");
  Memo1->hide();

  Splitter1->addWidget(left);
  Splitter1->addWidget(right);
  // Both panes share a wider window, so long names show in full when the
  // window grows; the width the user gives the list is kept for the next run.
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 1);
  // The window's size and the list's width come back as the user left them.
  const QSize size = ViewerSettings().value(kWindowSizeKey, QSize(635, 468)).toSize();
  resize(std::clamp(size.width(), 400, 8000), std::clamp(size.height(), 300, 8000));
  const int listWidth = std::clamp(ViewerSettings().value(kListWidthKey, 201).toInt(), 80, width() - 206);
  Splitter1->setSizes({listWidth, width() - listWidth - 6});
  setCentralWidget(Splitter1);

  StatusBar1 = statusBar();
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  const int widths[] = {150, 350};
  for (int i = 0; i < 2; ++i) {
    StatusPanel[i] = new QLabel(StatusBar1);
    StatusPanel[i]->setObjectName(QString("StatusPanel%1").arg(i));
    StatusPanel[i]->setFixedWidth(widths[i]);
    StatusBar1->addWidget(StatusPanel[i]);
  }

  File1 = menuBar()->addMenu("&File");
  OpenLAB1 = File1->addAction("&Open bundle...");
  OpenLAB1->setShortcut(QKeySequence("Ctrl+O"));
  OpenRecent1 = File1->addMenu("Open &recent");
  File1->addSeparator();
  Exit1 = File1->addAction("E&xit");
  Exit1->setShortcut(QKeySequence("Ctrl+X"));
  Batchripping1 = menuBar()->addMenu("&Batch ripping...");
  Extractall1 = Batchripping1->addAction("Extract &all...");
  SavealltilesasBMPs1 = Batchripping1->addAction("Save all tiles as BMPs...");
  // Visible, unlike the original hidden item: it asks for its folder now.
  Batchripping1->addSeparator();
  Saveselected1 = Batchripping1->addAction("Save &selected...");
  SaveselectedBMP1 = Batchripping1->addAction("Save selected, pictures as BMP...");
  SaveselectedPNG1 = Batchripping1->addAction("Save selected, pictures as PNG...");
  View1 = menuBar()->addMenu("&View");
  FolderView1 = View1->addAction("&Folder view");
  FolderView1->setCheckable(true);
  Hexview1 = View1->addAction("&Hex view");
  Hexview1->setShortcut(QKeySequence("Ctrl+H"));
  Help1 = menuBar()->addMenu("&Help");
  About1 = Help1->addAction("&About...");

  connect(OpenLAB1, &QAction::triggered, this, [this] { Guarded([this] { OpenLAB1Click(); }); });
  connect(Exit1, &QAction::triggered, this, [this] { Guarded([this] { Exit1Click(); }); });
  connect(Extractall1, &QAction::triggered, this, [this] { Guarded([this] { btnExtractAll(); }); });
  connect(SavealltilesasBMPs1, &QAction::triggered, this, [this] { Guarded([this] { SavealltilesasBMPs1Click(); }); });
  connect(About1, &QAction::triggered, this, [this] { Guarded([this] { About1Click(); }); });
  connect(Hexview1, &QAction::triggered, this, [this] { Guarded([this] { ShowHexView(); }); });
  connect(FileBox, &TEntryList::currentRowChanged, this, [this](int) { Guarded([this] { FileBoxClick(); }); });
  connect(FileBox, &TEntryList::entryActivated, this, [this](int) { Guarded([this] { btnAction(); }); });
  ConnectListFeatures();
  connect(btAction, &QPushButton::clicked, this, [this] { Guarded([this] { btnAction(); }); });
  connect(btSaveBMP, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveBMPClick(); }); });
  connect(btSavePNG, &QPushButton::clicked, this, [this] { Guarded([this] { btSavePNGClick(); }); });
  connect(btSaveFile, &QPushButton::clicked, this, [this] { Guarded([this] { btnSaveFile(); }); });
  connect(btSaveWav, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveWavClick(); }); });
}

void TMainForm::FormCreate() {
  FPlayerOpen = false;
  ClearEntryPanels();
}

vld::TRunTempDir& TMainForm::TempDir() {
  if (!tempDir_) tempDir_ = std::make_unique<vld::TRunTempDir>();
  return *tempDir_;
}

void TMainForm::SetStatus(int panel, const QString& text) {
  if (panel == 1 && (statusHistory_.isEmpty() || statusHistory_.last() != text)) {
    if (statusHistory_.size() > 1000) statusHistory_.removeFirst();
    statusHistory_ << text;
  }
  StatusPanel[panel]->setText(text);
  StatusBar1->repaint();
}

QString TMainForm::StatusText(int panel) const { return StatusPanel[panel]->text(); }

int TMainForm::EntryCount() const { return FileBox->count(); }

int TMainForm::SelectedIndex() const {
  if (FileBox->count() == 0) return -1;
  int row = FileBox->currentRow();
  return row >= 0 && row < FileBox->count() ? row : -1;
}

std::string TMainForm::SelectedRawName() const {
  int i = SelectedIndex();
  if (i < 0) return {};
  if (FBundleOpen && FReader && i < FReader->Count()) return std::string(FReader->GetName(i));
  return Bytes8(FileBox->itemText(i));
}

bool TMainForm::RefuseEmptyEntry(int index) {
  if (FReader->GetSize(index) < 1) {
    platform_.MessageBox(BoxKind::Error, kSizeRefusal);
    return true;
  }
  return false;
}

void TMainForm::ShowError(const std::exception& e) {
  platform_.MessageBox(BoxKind::Error, QString::fromUtf8(e.what()));
}

std::optional<QString> TMainForm::RunSaveDialog(const QString& suggestedName, const QString& filter,
                                                const QString& defaultExt) {
  if (!filter.isEmpty()) saveDialogFilter_ = filter;
  std::optional<QString> path = platform_.SaveFile(this, suggestedName, saveDialogFilter_, defaultExt);
  // Saving over the open file would destroy what everything here reads from.
  std::error_code ec;
  if (path && (FReader || FSingleFile.IsOpen()) && std::filesystem::equivalent(FsPath(*path), FsPath(FFileName), ec)) {
    platform_.MessageBox(BoxKind::Error, *path +
                                             " is the file that is open here; saving over it would destroy it. "
                                             "Choose another name.");
    return std::nullopt;
  }
  return path;
}

void TMainForm::ReleaseOpenFile() {
  if (FReader) {
    FReader->Close();
    FReader.reset();
  }
  FSingleFile.Close();
  FSingleSize = 0;
}

void TMainForm::OpenLAB1Click() {
  std::optional<QString> path = platform_.OpenFile(this, kOpenFilter, "lab");
  if (!path) return;
  OpenFile(*path);
}

void TMainForm::OpenFile(const QString& path) {
  // The worker reads the open bundle: it must not be replaced under it.
  if (RefuseWhileBusy()) return;
  {
    QSignalBlocker block(FileBox);
    FileBox->Model()->Reset(0, {});
  }
  ReleaseOpenFile();
  FFileName = path;
  FBundleOpen = FSingleBink = FSingleSmush = false;
  // Nothing of the previous file stays on show while this one loads.
  ClearEntryPanels();
  SetStatus(0, "");
  SetStatus(1, "Loading LAB \"" + path + "\"...");
  try {
    LoadFile(path);
  } catch (...) {
    SetStatus(1, "");
    throw;
  }
}

void TMainForm::ClearEntryPanels() {
  for (QLabel* l : {lFilename, lOffset, lSize, lType}) l->clear();
  for (QPushButton* b : {btAction, btSaveBMP, btSavePNG, btSaveFile, btSaveWav}) b->setEnabled(false);
}

void TMainForm::LoadFile(const QString& path) {
  const vld::FileKind kind = vld::IdentifyFile(FsPath(path));
  if (kind == vld::FileKind::SingleBink) {
    // The file was accepted: a notice, not an error.
    platform_.MessageBox(BoxKind::Information, "Bink");
    FSingleBink = true;
  } else if (kind == vld::FileKind::SingleSmush) {
    platform_.MessageBox(BoxKind::Information, "Smush");
    FSingleSmush = true;
  } else if (kind != vld::FileKind::Bundle) {
    QString msg = "This is not a LAB bundle.\r\n";
    if (kind == vld::FileKind::Mp3)
      msg += "This an MP3 file used for music. You need an external MP3 player to play it.";
    msg += "\r\nSee the readme.txt for more information about this.";
    SetStatus(1, "");
    platform_.MessageBox(BoxKind::Error, msg);
    return;
  }
  SetStatus(1, "");

  if (FSingleBink || FSingleSmush) {
    const QString name = FileNamePart(path);
    int dot = name.indexOf('.');
    // Cut before the first "."; a name without one keeps nothing.
    FDisplayName = (dot < 0 ? QString() : name.left(dot)) + ".bik";
    try {
      FSingleFile.Open(FsPath(path));
    } catch (...) {
      FSingleBink = FSingleSmush = false;
      throw;
    }
    FSingleSize = static_cast<std::int32_t>(std::min<std::int64_t>(FSingleFile.Size(), INT32_MAX));
    {
      QSignalBlocker block(FileBox);
      FileBox->Model()->Reset(1, [this](int) { return FDisplayName; });
    }
    SetStatus(1, "");
    SetStatus(0, "");
  } else {
    auto reader = std::make_unique<vld::TLabReader>();
    reader->Open(FsPath(path));
    FReader = std::move(reader);
    FBundleOpen = true;
    {
      QSignalBlocker block(FileBox);
      const vld::TLabReader* reader = FReader.get();
      FileBox->Model()->Reset(FReader->Count(), [reader](int i) { return Latin1(reader->GetName(i)); });
    }
    SetStatus(0, QString::number(FReader->Count()) + " files in the bundle");
  }

  AddRecentFile(path);
  FileOpened();
  StatusBar1->repaint();
  FileBox->setFocus();
  {
    QSignalBlocker block(FileBox);
    if (FileBox->count() > 0) FileBox->setCurrentRow(0);
  }
  FileBoxClick();

  if (FBundleOpen && FReader->IsDamaged()) {
    platform_.MessageBox(BoxKind::Warning,
                         QString("The bundle is damaged: its directory announces %1 entries, but the file holds "
                                 "only %2 of them (or a name is longer than %3 characters). The entries that exist "
                                 "are listed.")
                             .arg(FReader->DeclaredCount())
                             .arg(FReader->Count())
                             .arg(vld::kMaxNameLength));
  }
}

void TMainForm::FileBoxClick() {
  int i = SelectedIndex();
  if (i < 0) return;
  std::string name;
  if (FSingleBink || FSingleSmush) {
    lFilename->setText(FDisplayName);
    lOffset->setText("0x00000000");
    lSize->setText(QString::fromStdString(vld::FormatSize(FSingleSize)));
    name = Bytes8(FDisplayName);
  } else if (FBundleOpen) {
    name = FReader->GetName(i);
    lFilename->setText(Latin1(name));
    lOffset->setText(QString::fromStdString(vld::FormatOffset(FReader->GetOffset(i))));
    lSize->setText(QString::fromStdString(vld::FormatSize(FReader->GetSize(i))));
  } else {
    return;
  }
  ApplyFileType(name);
}

void TMainForm::ApplyFileType(const std::string& name) {
  const vld::FileTypeRow& row = vld::ClassifyName(name);
  // A movie inside a bundle is a Bink animation too; the type table's text
  // for it was never meant to be seen.
  const bool bundleMovie = FBundleOpen && vld::FormatForType(name).family == vld::FormatFamily::Movie;
  lType->setText(bundleMovie ? QString("Bink animation") : Latin1(vld::TypeText(name, FSingleBink, FSingleSmush)));
  if (vld::DispatchAction(name) == vld::EntryAction::None) {
    // What has no view of its own is shown as bytes.
    btAction->setText(kHexViewCaption);
    btAction->setEnabled(true);
  } else {
    if (row.caption) btAction->setText(row.caption);
    btAction->setEnabled(row.action);
  }
  btSaveBMP->setEnabled(row.saveBmp);
  btSavePNG->setEnabled(row.saveBmp);
  btSaveWav->setEnabled(row.saveWav);
  btSaveFile->setEnabled(row.saveFile);
}

void TMainForm::btnAction() {
  if (SelectedIndex() < 0) return;
  if (RefuseWhileBusy()) return;
  // The button's enabled state is not consulted: Enter and double click run
  // the action of a ".lua" entry although its button is disabled.
  lastAction_ = vld::DispatchAction(SelectedRawName());
  switch (lastAction_) {
    case vld::EntryAction::ViewTil:
      btnViewTil();
      break;
    case vld::EntryAction::PlayWvc:
      btnPlayWvc();
      break;
    case vld::EntryAction::ShowLua:
      btnShowLua();
      break;
    case vld::EntryAction::ViewText:
      btnViewText();
      break;
    case vld::EntryAction::PlaySurface:
      btnPlaySurface();
      break;
    case vld::EntryAction::ShowKFN:
      btnShowKFN();
      break;
    case vld::EntryAction::ShowTGA:
      btnShowTGA();
      break;
    case vld::EntryAction::ShowBMP:
      btnShowBMP();
      break;
    case vld::EntryAction::PlayAif:
      btnPlayAif();
      break;
    case vld::EntryAction::PlayAnim:
      btnPlayAnim();
      break;
    case vld::EntryAction::None:
      ShowHexView();
      break;
  }
}

void TMainForm::FileBoxKeyPress(int key) {
  if (key == 13) btnAction();
}

void TMainForm::About1Click() {
  platform_.MessageBox(BoxKind::Information, "Vorlindane resource viewer " VLD_VERSION
                                             "\r\n"
                                             "Written by the VLD Resource Viewer team.\r\n"
                                             "Questions and bug reports: see the project's issue tracker.\r\n"
                                             "\r\n"
                                             "See readme.txt for more information.");
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  // Work still running is cancelled; its unfinished file is removed by it.
  work_->Stop();
  for (const QPointer<THexViewForm>& w : hexForms_)
    if (w) w->close();
  if (FSingleBink || FSingleSmush)
    FSingleFile.Close();
  else if (FReader)
    FReader->Close();
  FReader.reset();
  FSingleFile.Close();
  // Only the files this program wrote are removed; the folder goes with the
  // temporary-folder object when the program ends.
  if (tempDir_) {
    std::error_code ec;
    std::filesystem::remove(tempDir_->File("temp.bik"), ec);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!isMaximized() && !isFullScreen()) ViewerSettings().setValue(kWindowSizeKey, size());
  ViewerSettings().setValue(kListWidthKey, Splitter1->sizes().value(0));
  Guarded([this] { FormClose(); });
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != this) w->hide();
  event->accept();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      QString path = url.toLocalFile();
      Guarded([this, &path] { OpenFile(path); });
      event->acceptProposedAction();
      return;
    }
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FileBox && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Guarded([this] { FileBoxKeyPress(13); });
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
