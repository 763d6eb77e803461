#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "core/browser/OpenFile.h"
#include "core/common/MemoryStream.h"
#include "gui/Platform.h"
#include "gui/Session.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class TBatchUi;
class TEditUi;
class TEntryActions;
class TEntryList;
class TEntryPanel;
class TListPane;
class TImageForm;
class TTextViewerForm;
class TExtractForm;
class TSurfacePlayerForm;
class TDebugForm;
class THexViewForm;

// The main window: the menus, the list pane on the left and the selected
// entry's panel on the right, wired together. The work lives in its parts:
// TListPane (list, filter, folders, recent files), TEntryActions (previews
// and conversions of one entry), TBatchUi (everything that writes files),
// TEditUi (changing the bundle) and TSession (what they share). The handlers named here forward to them.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(IPlatform& platform, QWidget* parent = nullptr);
  ~TMainForm() override;

  void AttachWindows(TImageForm* image, TTextViewerForm* text, TExtractForm* extract, TSurfacePlayerForm* surface,
                     TDebugForm* debug);

  // Components.
  TEntryList* FileBox = nullptr;
  QSplitter* Splitter1 = nullptr;
  QGroupBox* gbFileInfo = nullptr;
  QGroupBox* gbActions = nullptr;
  QLabel *lFilename = nullptr, *lOffset = nullptr, *lSize = nullptr, *lType = nullptr;
  QPushButton *btAction = nullptr, *btSaveBMP = nullptr, *btSaveFile = nullptr, *btSaveWav = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel[2] = {nullptr, nullptr};  // the entry count; messages, as wide as the window allows
  QMenu *File1 = nullptr, *Batchripping1 = nullptr, *Help1 = nullptr;
  QAction *OpenLAB1 = nullptr, *Exit1 = nullptr, *Extractall1 = nullptr, *SavealltilesasBMPs1 = nullptr,
          *About1 = nullptr;
  QLabel* Label5 = nullptr;         // hidden; the batch tile command shows its output name here
  QPlainTextEdit* Memo1 = nullptr;  // hidden; the WVC block table is echoed here
  // Added since: the View menu and the batch commands on the selection.
  QMenu *mnOpenRecent = nullptr, *mnView = nullptr;
  QAction *acFolderView = nullptr, *acHexView = nullptr, *acFindEntry = nullptr, *acCancelWork = nullptr;
  QAction *acSaveSelected = nullptr, *acSaveSelectedBmp = nullptr, *acSaveSelectedPng = nullptr;
  // Changing the bundle: File > Save and Save as..., the Edit menu (its actions belong to TEditUi).
  QMenu* Edit1 = nullptr;

  // The parts.
  TSession& Session() { return *session_; }
  TListPane* List() const { return list_; }
  TEntryPanel* Panel() const { return panel_; }
  TEntryActions* Actions() const { return actions_; }
  TBatchUi* Batch() const { return batch_; }
  TEditUi* Edit() const { return edit_; }
  const vld::TOpenFile& File() const { return session_->File(); }

  // Handlers of this window.
  void FormCreate();
  void OpenLAB1Click();
  void OpenFile(const QString& path);  // as if chosen in the open dialog
  void OpenRecent(const QString& path);
  void FileBoxClick();
  void btnAction();
  void FileBoxKeyPress(int key);
  void About1Click();
  void Exit1Click();
  void FormClose();

  // The operations of the other parts, by the names the window has always had.
  void btnSaveFile();
  void btnExtractAll();
  std::optional<QString> BrowseForFolder(const QString& title);
  void btnPlayAnim();
  bool ExtractBinkData(const QString& path);
  void btnViewText();
  void btnShowLua();
  void btnViewTil();
  void btnShowTGA();
  void btnShowKFN();
  void btnShowBMP();
  void DecodeTileEntry(int index, vld::TMemoryStream& dest);
  void DecodeTGAEntry(int index, vld::TMemoryStream& dest);
  void RenderKFNFont(int index, vld::TMemoryStream& dest);
  void LoadBMPEntry(int index, vld::TMemoryStream& dest);
  void btSaveBMPClick();
  void btSavePNGClick();
  void SavealltilesasBMPs1Click();
  void btnPlayAif();
  void btnPlayWvc();
  void MediaPlayerNotify();
  void btSaveWavClick();
  void btnPlaySurface();
  void ShowHexView();

  // What tests and diagnostics may look at.
  QString StatusText(int panel) const;
  const QStringList& StatusHistory() const { return session_->StatusHistory(); }
  void ClearStatusHistory() { session_->ClearStatusHistory(); }
  const vld::TLabReader* Reader() const { return File().Reader(); }
  bool Busy() const;
  void CancelWork();
  // The parts of the window that take input are enabled (not during extraction).
  bool InputEnabled() const;
  int SelectedIndex() const;  // -1 when the list is empty or nothing is selected
  template <class F>
  void Guarded(F&& f) {
    session_->Guarded(std::forward<F>(f));
  }

  TImageForm* ImageForm() const { return imageForm_; }
  TTextViewerForm* TextViewerForm() const { return textForm_; }
  TExtractForm* ExtractForm() const { return extractForm_; }
  TSurfacePlayerForm* SurfacePlayerForm() const { return surfaceForm_; }
  TDebugForm* DebugForm() const { return debugForm_; }

 signals:
  // Work on the worker thread has ended and its result has been shown.
  void workFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildPanes();
  void BuildStatusBar();
  void BuildMenus();
  void BuildBatchMenu();
  void ConnectMenus();
  void ConnectParts();
  // Connects an action to a handler run under the top-level handler.
  template <class F>
  void OnTriggered(QAction* action, F handler);
  // The part of OpenFile after the window has been cleared for the new file.
  void LoadFile(const QString& path);
  void SetStatus(int panel, const QString& text);
  void SetInputEnabled(bool enabled);
  // The title names the open file and shows '*' while it has unsaved changes.
  void UpdateTitle();
  // Empties the list and the panel and closes what is open, before another file loads.
  void CloseShownFile();
  // After a save: the saved bundle is opened, on the entry that was current.
  void ReopenSaved(const QString& path, int current);

  IPlatform& platform_;
  TSession* session_ = nullptr;
  TListPane* list_ = nullptr;
  TEntryPanel* panel_ = nullptr;
  TEntryActions* actions_ = nullptr;
  TBatchUi* batch_ = nullptr;
  TEditUi* edit_ = nullptr;
  TImageForm* imageForm_ = nullptr;
  TTextViewerForm* textForm_ = nullptr;
  TExtractForm* extractForm_ = nullptr;
  TSurfacePlayerForm* surfaceForm_ = nullptr;
  TDebugForm* debugForm_ = nullptr;
  bool closed_ = false;
};
