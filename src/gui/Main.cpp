#include "gui/Main.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>

#include "gui/BatchUi.h"
#include "gui/EditUi.h"
#include "gui/EntryActions.h"
#include "gui/EntryList.h"
#include "gui/EntryPanel.h"
#include "gui/ExtractAll.h"
#include "gui/GuiText.h"
#include "gui/ImageViewer.h"
#include "gui/ListPane.h"
#include "gui/TextViewer.h"
#include "gui/Work.h"

namespace {

// Bundles first; the stand-alone movies the viewer also opens after them.
constexpr char kOpenFilter[] = "Thrapwick Bundles (*.lab;*.m4b)|*.lab;*.m4b|Bink animations (*.bik)|*.bik";
const char* const kListWidthKey = "window/listWidth";
const char* const kWindowSizeKey = "window/size";

}  // namespace

TMainForm::TMainForm(IPlatform& platform, QWidget* parent) : QMainWindow(parent), platform_(platform) {
  setObjectName("MainForm");
  setWindowTitle("VLD Resource Viewer " VLD_VERSION);
  setAcceptDrops(true);
  session_ = new TSession(platform, this);
  actions_ = new TEntryActions(*session_, this);
  batch_ = new TBatchUi(*session_, this);
  BuildPanes();
  edit_ = new TEditUi(*session_, *list_, *actions_, this);
  BuildStatusBar();
  BuildMenus();
  ConnectMenus();
  ConnectParts();
  FormCreate();
}

TMainForm::~TMainForm() {
  platform_.Player().onNotify = nullptr;
  FormClose();
}

void TMainForm::BuildPanes() {
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(6);
  Splitter1->setChildrenCollapsible(false);
  list_ = new TListPane(*session_, Splitter1);
  panel_ = new TEntryPanel(Splitter1);
  FileBox = list_->FileBox;
  gbFileInfo = panel_->gbFileInfo;
  gbActions = panel_->gbActions;
  lFilename = panel_->lFilename;
  lOffset = panel_->lOffset;
  lSize = panel_->lSize;
  lType = panel_->lType;
  btAction = panel_->btAction;
  btSaveBMP = panel_->btSaveBMP;
  btSaveFile = panel_->btSaveFile;
  btSaveWav = panel_->btSaveWav;
  Label5 = panel_->Label5;
  Memo1 = panel_->Memo1;
  Splitter1->addWidget(list_);
  Splitter1->addWidget(panel_);
  // Both panes share a wider window, so long names show in full when the
  // window grows; the window's size and the list's width come back as the user left them.
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 1);
  const QSize size = ViewerSettings().value(kWindowSizeKey, QSize(635, 468)).toSize();
  resize(std::clamp(size.width(), 400, 8000), std::clamp(size.height(), 300, 8000));
  const int listWidth = std::clamp(ViewerSettings().value(kListWidthKey, 201).toInt(), 80, width() - 206);
  Splitter1->setSizes({listWidth, width() - listWidth - 6});
  setCentralWidget(Splitter1);
}

void TMainForm::BuildStatusBar() {
  StatusBar1 = statusBar();
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  for (int i = 0; i < 2; ++i) {
    StatusPanel[i] = new QLabel(StatusBar1);
    StatusPanel[i]->setObjectName(QString("StatusPanel%1").arg(i));
  }
  StatusPanel[0]->setFixedWidth(150);
  // Messages take the width the count leaves; a long one is cut on screen
  // and shows in full as the tooltip.
  StatusPanel[1]->setMinimumWidth(1);
  StatusPanel[1]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  StatusBar1->addWidget(StatusPanel[0]);
  StatusBar1->addWidget(StatusPanel[1], 1);
}

void TMainForm::BuildMenus() {
  File1 = menuBar()->addMenu("&File");
  OpenLAB1 = File1->addAction("&Open bundle...");
  OpenLAB1->setShortcut(QKeySequence("Ctrl+O"));
  mnOpenRecent = File1->addMenu("Open &recent");
  File1->addSeparator();
  File1->addActions({edit_->acSave, edit_->acSaveAs});
  File1->addSeparator();
  Exit1 = File1->addAction("E&xit");
  Exit1->setShortcut(QKeySequence("Ctrl+X"));
  Edit1 = menuBar()->addMenu("&Edit");
  edit_->FillEditMenu(Edit1);
  BuildBatchMenu();
  mnView = menuBar()->addMenu("&View");
  acFindEntry = mnView->addAction("&Find entry");
  acFindEntry->setShortcut(QKeySequence("Ctrl+F"));
  acFolderView = mnView->addAction("F&older view");
  acFolderView->setCheckable(true);
  acHexView = mnView->addAction("&Hex view");
  acHexView->setShortcut(QKeySequence("Ctrl+H"));
  Help1 = menuBar()->addMenu("&Help");
  About1 = Help1->addAction("&About...");
  // Escape stops running work as the progress window's Cancel does.
  acCancelWork = new QAction("Cancel", this);
  acCancelWork->setShortcut(QKeySequence(Qt::Key_Escape));
  addAction(acCancelWork);
}

void TMainForm::BuildBatchMenu() {
  Batchripping1 = menuBar()->addMenu("&Batch ripping...");
  Extractall1 = Batchripping1->addAction("Extract &all...");
  // Visible, unlike the original hidden item: it asks for its folder now.
  SavealltilesasBMPs1 = Batchripping1->addAction("Save all tiles as BMPs...");
  Batchripping1->addSeparator();
  acSaveSelected = Batchripping1->addAction("Save &selected...");
  acSaveSelectedBmp = Batchripping1->addAction("Save selected, pictures as BMP...");
  acSaveSelectedPng = Batchripping1->addAction("Save selected, pictures as PNG...");
}

template <class F>
void TMainForm::OnTriggered(QAction* action, F handler) {
  connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, &handler] { (this->*handler)(); }); });
}

void TMainForm::ConnectMenus() {
  OnTriggered(OpenLAB1, &TMainForm::OpenLAB1Click);
  OnTriggered(Exit1, &TMainForm::Exit1Click);
  OnTriggered(Extractall1, &TMainForm::btnExtractAll);
  OnTriggered(SavealltilesasBMPs1, &TMainForm::SavealltilesasBMPs1Click);
  OnTriggered(About1, &TMainForm::About1Click);
  OnTriggered(acHexView, &TMainForm::ShowHexView);
  OnTriggered(acCancelWork, &TMainForm::CancelWork);
  connect(acFindEntry, &QAction::triggered, list_, &TListPane::FocusFilter);
  connect(acFolderView, &QAction::toggled, this, [this](bool on) { Guarded([&] { list_->ShowFolders(on); }); });
  auto saveSelected = [this](std::optional<vld::ImageFormat> convert) {
    Guarded([&] { batch_->SaveSelected(list_->ChosenEntries(), convert); });
  };
  connect(acSaveSelected, &QAction::triggered, this, [saveSelected] { saveSelected(std::nullopt); });
  connect(acSaveSelectedBmp, &QAction::triggered, this, [saveSelected] { saveSelected(vld::ImageFormat::Bmp); });
  connect(acSaveSelectedPng, &QAction::triggered, this, [saveSelected] { saveSelected(vld::ImageFormat::Png); });
  connect(mnOpenRecent, &QMenu::aboutToShow, this, [this] { list_->FillRecentMenu(mnOpenRecent); });
  list_->FillRecentMenu(mnOpenRecent);
}

void TMainForm::ConnectParts() {
  session_->SetSelectionSource([this] { return SelectedIndex(); });
  connect(session_, &TSession::statusChanged, this, &TMainForm::SetStatus);
  connect(session_, &TSession::logLine, Memo1, &QPlainTextEdit::appendPlainText);
  connect(&session_->Work(), &TWorkRunner::Finished, this, &TMainForm::workFinished);
  connect(list_, &TListPane::entryChosen, this, [this] { Guarded([this] { FileBoxClick(); }); });
  connect(list_, &TListPane::entryActivated, this, [this] { Guarded([this] { btnAction(); }); });
  connect(list_, &TListPane::countChanged, this, [this](const QString& text) { SetStatus(0, text); });
  connect(list_, &TListPane::openRequested, this, [this](const QString& path) { Guarded([&] { OpenRecent(path); }); });
  list_->SetDragSource([this](const std::vector<int>& entries) {
    QList<QUrl> urls;
    Guarded([&] { urls = batch_->DragFiles(entries); });
    return urls;
  });
  connect(batch_, &TBatchUi::inputEnabled, this, &TMainForm::SetInputEnabled);
  connect(edit_, &TEditUi::inputEnabled, this, &TMainForm::SetInputEnabled);
  connect(edit_, &TEditUi::entriesEdited, list_, &TListPane::EntriesChanged);
  connect(edit_, &TEditUi::modifiedChanged, this, &TMainForm::UpdateTitle);
  connect(edit_, &TEditUi::saved, this,
          [this](const QString& path, int current) { Guarded([&] { ReopenSaved(path, current); }); });
  connect(list_, &TListPane::contextMenuRequested, this, [this](const QPoint& at) {
    if (File().IsBundle()) edit_->ContextMenu->popup(at);
  });
  connect(batch_, &TBatchUi::tileNameChosen, Label5, &QLabel::setText);
  connect(btAction, &QPushButton::clicked, this, [this] { Guarded([this] { btnAction(); }); });
  connect(btSaveBMP, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveBMPClick(); }); });
  connect(panel_->btSavePNG, &QPushButton::clicked, this, [this] { Guarded([this] { btSavePNGClick(); }); });
  connect(btSaveFile, &QPushButton::clicked, this, [this] { Guarded([this] { btnSaveFile(); }); });
  connect(btSaveWav, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveWavClick(); }); });
  platform_.Player().onNotify = [this] { Guarded([this] { MediaPlayerNotify(); }); };
}

void TMainForm::AttachWindows(TImageForm* image, TTextViewerForm* text, TExtractForm* extract,
                              TSurfacePlayerForm* surface, TDebugForm* debug) {
  imageForm_ = image;
  textForm_ = text;
  extractForm_ = extract;
  surfaceForm_ = surface;
  debugForm_ = debug;
  actions_->AttachWindows(image, text, surface);
  batch_->SetProgressWindow(extract);
  edit_->SetProgressWindow(extract);
  edit_->AttachTextViewer(text);
  connect(image, &TImageForm::saveRequested, this,
          [this](const vld::Bytes& bmp) { Guarded([&] { actions_->SavePictureFromViewer(bmp, false); }); });
  connect(image, &TImageForm::savePngRequested, this,
          [this](const vld::Bytes& bmp) { Guarded([&] { actions_->SavePictureFromViewer(bmp, true); }); });
  connect(text, &TTextViewerForm::saveRequested, this, [this](const QString& name, const vld::Bytes& bytes) {
    Guarded([&] { actions_->SaveTextFromViewer(name, bytes); });
  });
  connect(text, &TTextViewerForm::compileRequested, this,
          [this](const QString& name, const vld::Bytes& bytes, const vld::TLuaCompileOptions& options) {
            Guarded([&] { actions_->CompileFromViewer(name, bytes, options); });
          });
  connect(extract, &TExtractForm::cancelRequested, this, [this] { session_->Work().Cancel(); });
}

void TMainForm::FormCreate() { panel_->Clear(); }

void TMainForm::SetStatus(int panel, const QString& text) {
  StatusPanel[panel]->setText(text);
  StatusPanel[panel]->setToolTip(text);
  StatusBar1->repaint();
}

QString TMainForm::StatusText(int panel) const { return StatusPanel[panel]->text(); }

bool TMainForm::Busy() const { return session_->Work().Busy(); }

void TMainForm::CancelWork() {
  // The progress window's button goes off as when it is clicked.
  if (extractForm_ && extractForm_->isVisible()) extractForm_->RequestCancel();
  session_->Work().Cancel();
}

void TMainForm::SetInputEnabled(bool enabled) {
  // The secondary windows are children of this one, so the window itself
  // stays enabled and its parts take no input instead.
  centralWidget()->setEnabled(enabled);
  menuBar()->setEnabled(enabled);
  for (QAction* a : {OpenLAB1, Extractall1, SavealltilesasBMPs1}) a->setEnabled(enabled);
}

void TMainForm::UpdateTitle() {
  QString title = "VLD Resource Viewer " VLD_VERSION;
  if (File().IsOpen()) title = FileNamePart(PathQt(File().Path())) + (File().HasChanges() ? "*" : "") + " - " + title;
  setWindowTitle(title);
}

bool TMainForm::InputEnabled() const { return centralWidget()->isEnabled() && menuBar()->isEnabled(); }

int TMainForm::SelectedIndex() const {
  const int row = FileBox->currentRow();
  return row >= 0 && row < FileBox->count() ? row : -1;
}

void TMainForm::OpenLAB1Click() {
  std::optional<QString> path = platform_.OpenFile(this, kOpenFilter, "lab");
  if (path) OpenFile(*path);
}

void TMainForm::OpenRecent(const QString& path) {
  if (QFileInfo::exists(path)) return OpenFile(path);
  list_->ForgetRecentFile(path);
  list_->FillRecentMenu(mnOpenRecent);
  SetStatus(1, path + " no longer exists; it was removed from the recent files.");
}

void TMainForm::OpenFile(const QString& path) {
  // Unsaved changes are saved or dropped first, as the user says.
  if (!edit_->MayLeave([this, path] { OpenFile(path); })) return;
  // The worker reads the open bundle: it must not be replaced under it.
  if (session_->RefuseWhileBusy()) return;
  CloseShownFile();
  // The text viewer's text no longer belongs to an entry of what is open.
  if (textForm_) textForm_->SetSourceEntry(-1);
  edit_->FileOpened();
  SetStatus(0, "");
  session_->SetStatus(1, "Loading LAB \"" + path + "\"...");
  try {
    LoadFile(path);
  } catch (...) {
    session_->SetStatus(1, "");
    throw;
  }
}

void TMainForm::LoadFile(const QString& path) {
  vld::TOpenFile& file = session_->File();
  const vld::FileKind kind = file.Open(FsPath(path));
  session_->SetStatus(1, "");
  // A stand-alone movie is accepted: a notice, not an error.
  if (kind == vld::FileKind::SingleBink) platform_.MessageBox(BoxKind::Information, "Bink");
  if (kind == vld::FileKind::SingleSmush) platform_.MessageBox(BoxKind::Information, "Smush");
  if (!file.IsOpen()) {
    platform_.MessageBox(BoxKind::Error, QString::fromStdString(vld::RejectionText(kind)));
    return;
  }
  list_->AddRecentFile(path);
  list_->FillRecentMenu(mnOpenRecent);
  list_->FileChanged();
  edit_->FileOpened();
  UpdateTitle();
  FileBox->setFocus();
  const QString damaged = QString::fromStdString(file.DamagedDirectoryText());
  if (!damaged.isEmpty()) platform_.MessageBox(BoxKind::Warning, damaged);
  // A bundle cut short says so at once, not entry by entry.
  const QString shorter = QString::fromStdString(file.ShortBundleText());
  if (!shorter.isEmpty()) {
    session_->SetStatus(1, shorter);
    platform_.MessageBox(BoxKind::Warning, shorter);
  }
}

void TMainForm::CloseShownFile() {
  list_->Clear();
  session_->File().Close();
  // Nothing of the previous file stays on show while the next one loads.
  panel_->Clear();
  UpdateTitle();
}

void TMainForm::ReopenSaved(const QString& path, int current) {
  CloseShownFile();
  LoadFile(path);
  if (FileBox->Model()->RowOf(current) >= 0) FileBox->setCurrentRow(current);
}

void TMainForm::FileBoxClick() { panel_->ShowEntry(File(), SelectedIndex()); }

void TMainForm::btnAction() { actions_->Run(); }

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
  session_->Work().Stop();
  actions_->CloseHexViews();
  session_->File().Close();
  // Only the files this program wrote are removed; the folder goes with the
  // temporary-folder object when the program ends.
  std::error_code ec;
  if (session_->HasTempDir()) std::filesystem::remove(session_->TempDir().File("temp.bik"), ec);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Unsaved changes: saved (the window closes once the save is done), dropped, or the close is called off.
  if (!closed_ && !edit_->MayLeave([this] { close(); })) {
    event->ignore();
    return;
  }
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
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    Guarded([this, &path] { OpenFile(path); });
    event->acceptProposedAction();
    return;
  }
}

// The operations of the parts, by the window's names.
void TMainForm::btnSaveFile() { batch_->SaveFile(); }
void TMainForm::btnExtractAll() { batch_->ExtractAll(); }
std::optional<QString> TMainForm::BrowseForFolder(const QString& title) { return batch_->BrowseForFolder(title); }
void TMainForm::SavealltilesasBMPs1Click() { batch_->SaveAllTiles(); }
void TMainForm::btnPlayAnim() { actions_->PlayMovie(); }
bool TMainForm::ExtractBinkData(const QString& path) { return actions_->ExtractBinkData(path); }
void TMainForm::btnViewText() { actions_->ShowText(); }
void TMainForm::btnShowLua() { actions_->ShowScript(); }
void TMainForm::btnViewTil() { actions_->ShowImage(vld::FormatOf(".til")); }
void TMainForm::btnShowTGA() { actions_->ShowImage(vld::FormatOf(".tga")); }
void TMainForm::btnShowKFN() { actions_->ShowImage(vld::FormatOf(".kfn")); }
void TMainForm::btnShowBMP() { actions_->ShowImage(vld::FormatOf(".bmp")); }
void TMainForm::DecodeTileEntry(int index, vld::TMemoryStream& d) {
  actions_->DecodeInto(index, vld::FormatOf(".til"), d);
}
void TMainForm::DecodeTGAEntry(int index, vld::TMemoryStream& d) {
  actions_->DecodeInto(index, vld::FormatOf(".tga"), d);
}
void TMainForm::RenderKFNFont(int index, vld::TMemoryStream& d) {
  actions_->DecodeInto(index, vld::FormatOf(".kfn"), d);
}
void TMainForm::LoadBMPEntry(int index, vld::TMemoryStream& dest) { actions_->LoadBMPEntry(index, dest); }
void TMainForm::btSaveBMPClick() { actions_->SavePicture(false); }
void TMainForm::btSavePNGClick() { actions_->SavePicture(true); }
void TMainForm::btnPlayAif() { actions_->PlaySound(vld::FormatOf(".aif")); }
void TMainForm::btnPlayWvc() { actions_->PlaySound(vld::FormatOf(".wvc")); }
void TMainForm::MediaPlayerNotify() { actions_->PlayerNotified(); }
void TMainForm::btSaveWavClick() { actions_->SaveWave(); }
void TMainForm::btnPlaySurface() { actions_->PlaySurface(); }
void TMainForm::ShowHexView() { actions_->ShowHexView(); }
