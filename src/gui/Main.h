#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "core/browser/Batch.h"
#include "core/browser/FileTypes.h"
#include "core/browser/Formats.h"
#include "core/bundle/FileStream.h"
#include "core/common/FileIO.h"
#include "core/common/MemoryStream.h"
#include "gui/Platform.h"

class QAction;
class QGroupBox;
class QLabel;
class QComboBox;
class QLineEdit;
class QTreeWidget;
class QVBoxLayout;
class TEntryList;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;

class TImageForm;
class TTextViewerForm;
class TExtractForm;
class TSurfacePlayerForm;
class TDebugForm;
class THexViewForm;
class TWorkRunner;

namespace vld {
class TLabReader;
}

// The main window: opens a bundle or a stand-alone animation file, lists the
// entries, shows the selected one and runs the action its type calls for.
// Decoding and batch work run on a worker thread; the secondary windows are
// handed what they show and ask back through signals. The actions of each
// subsystem are defined in the file of that subsystem (MainImages.cpp,
// MainAudio.cpp, MainLua.cpp, MainFiles.cpp, MainSurface.cpp).
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(IPlatform& platform, QWidget* parent = nullptr);
  ~TMainForm() override;

  void AttachWindows(TImageForm* image, TTextViewerForm* text, TExtractForm* extract, TSurfacePlayerForm* surface,
                     TDebugForm* debug);

  // Components.
  TEntryList* FileBox = nullptr;
  QLineEdit* edFilter = nullptr;     // above the list; Ctrl+F
  QComboBox* cbKind = nullptr;       // All, Images, Sounds, Scripts, Text, Animations, Other
  QTreeWidget* tvFolders = nullptr;  // the folder view, hidden until View > Folder view
  QSplitter* Splitter1 = nullptr;
  QGroupBox* gbFileInfo = nullptr;
  QGroupBox* gbActions = nullptr;
  QLabel* lFilename = nullptr;
  QLabel* lOffset = nullptr;
  QLabel* lSize = nullptr;
  QLabel* lType = nullptr;
  QPushButton* btAction = nullptr;
  QPushButton* btSaveBMP = nullptr;
  QPushButton* btSavePNG = nullptr;  // beside Save as BMP, enabled with it
  QPushButton* btSaveFile = nullptr;
  QPushButton* btSaveWav = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel[2] = {nullptr, nullptr};
  QMenu* File1 = nullptr;
  QMenu* Batchripping1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* OpenLAB1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* Extractall1 = nullptr;
  QAction* SavealltilesasBMPs1 = nullptr;
  QAction* About1 = nullptr;
  QMenu* OpenRecent1 = nullptr;
  QMenu* View1 = nullptr;
  QAction* FolderView1 = nullptr;
  QAction* Hexview1 = nullptr;  // Ctrl+H
  QAction* Saveselected1 = nullptr;
  QAction* SaveselectedBMP1 = nullptr;
  QAction* SaveselectedPNG1 = nullptr;
  QAction* Findentry1 = nullptr;    // Ctrl+F
  QAction* Copyname1 = nullptr;     // Ctrl+C on the list
  QLabel* Label5 = nullptr;         // hidden; the batch tile command shows its output name here
  QPlainTextEdit* Memo1 = nullptr;  // hidden; the WVC block table is echoed here

  // Handlers of this window.
  void FormCreate();
  void OpenLAB1Click();
  void OpenFile(const QString& path);  // as if chosen in the open dialog
  void FileBoxClick();
  void btnAction();
  void FileBoxKeyPress(int key);
  void About1Click();
  void Exit1Click();
  void FormClose();

  // Saving and extracting.
  void btnSaveFile();
  void btnExtractAll();
  std::optional<QString> BrowseForFolder(const QString& title);
  void btnPlayAnim();
  // Writes the open Smush file's Bink data to path; false (after a notice) when it has none.
  bool ExtractBinkData(const QString& path);
  // The external player: VLD_BINK_PLAYER, else the platform's default; empty when none is found.
  QString BinkPlayerProgram() const;

  // Text.
  void btnViewText();
  void btnShowLua();

  // Images.
  void btnViewTil();
  void btnShowTGA();
  void btnShowKFN();
  void btnShowBMP();
  // The decoder operations: a complete BMP file in dest (positioned at 0), or
  // dest left empty for an invalid index or an empty entry (after the box).
  void DecodeTileEntry(int index, vld::TMemoryStream& dest);
  void DecodeTGAEntry(int index, vld::TMemoryStream& dest);
  void RenderKFNFont(int index, vld::TMemoryStream& dest);
  void LoadBMPEntry(int index, vld::TMemoryStream& dest);
  void btSaveBMPClick();
  void btSavePNGClick();
  void SavealltilesasBMPs1Click();

  // Sound.
  void btnPlayAif();
  void btnPlayWvc();
  void MediaPlayerNotify();
  void btSaveWavClick();

  // Surfaces.
  void btnPlaySurface();

  // The selected entry (or the open stand-alone file) as bytes, in a window
  // of its own (MainHex.cpp); also the action of entries without one.
  void ShowHexView();
  const std::vector<QPointer<THexViewForm>>& HexViews() const { return hexForms_; }

  // Finding and taking things out (MainList.cpp).
  void ApplyFilter();
  void FolderView1Click();
  void CopyNames();
  // Writes the selected entries below a chosen folder: raw, or converted
  // (pictures in the given format).
  void SaveSelected(std::optional<vld::ImageFormat> convert);
  // The files a drag of these entries hands over (written raw into a folder
  // of this run's temporary folder, which lives until the program ends).
  QList<QUrl> DragFiles(const std::vector<int>& entries);
  QStringList RecentFiles() const;
  void OpenRecent(const QString& path);

  // What tests and diagnostics may look at.
  vld::EntryAction LastAction() const { return lastAction_; }          // what btnAction ran last
  const QStringList& StatusHistory() const { return statusHistory_; }  // every text panel 1 showed
  void ClearStatusHistory() { statusHistory_.clear(); }
  QString StatusText(int panel) const;
  const QString& SaveDialogFilter() const { return saveDialogFilter_; }
  void SetSaveDialogFilter(const QString& filter) { saveDialogFilter_ = filter; }
  bool BundleOpen() const { return FBundleOpen; }
  bool PlayerOpen() const { return FPlayerOpen; }
  bool SingleBink() const { return FSingleBink; }
  bool SingleSmush() const { return FSingleSmush; }
  const QString& FileName() const { return FFileName; }
  const QString& DisplayName() const { return FDisplayName; }
  std::int32_t SingleSize() const { return FSingleSize; }
  const vld::TLabReader* Reader() const { return FReader.get(); }
  // True while work runs on the worker thread.
  bool Busy() const;
  // Asks the running work to stop (as its Cancel button does).
  void CancelWork();
  // The parts of the window that take input are enabled (not during extraction).
  bool InputEnabled() const;
  vld::TRunTempDir& TempDir();
  int SelectedIndex() const;            // -1 when the list is empty or nothing is selected
  std::string SelectedRawName() const;  // the 8-bit name as stored

  TImageForm* ImageForm() const { return imageForm_; }
  TTextViewerForm* TextViewerForm() const { return textForm_; }
  TExtractForm* ExtractForm() const { return extractForm_; }
  TSurfacePlayerForm* SurfacePlayerForm() const { return surfaceForm_; }
  TDebugForm* DebugForm() const { return debugForm_; }

  // Runs f and shows any escaping exception's message in an error box, as
  // the top-level handler does.
  template <class F>
  void Guarded(F&& f) {
    try {
      f();
    } catch (const std::exception& e) {
      ShowError(e);
    }
  }

 signals:
  // Work on the worker thread has ended and its result has been shown.
  void workFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Reading an entry for the worker: the work gets a copy of what it needs.
  struct TEntryRef {
    int index = -1;
    std::string name;
  };
  using Cancel = const std::atomic<bool>&;

  void BuildWindow();
  void BuildFilterRow(QWidget* parent, QVBoxLayout* layout);
  void ConnectListFeatures();
  void FileOpened();  // the list pane follows a newly opened file
  void AddRecentFile(const QString& path);
  void FillRecentMenu();
  // Batch work below one folder, on the worker, with the progress window.
  struct TBatchJob {
    QString title;   // the progress window's caption
    QString what;    // "Extraction", for the texts at the end
    QString noun;    // "entries", "tiles"
    QString notice;  // a plain box shown as the run starts; empty for none
    std::filesystem::path destination;
    bool lastFolderIsOurs = false;  // as in vld::TBatchOptions
    std::vector<vld::TBatchItem> items;
    vld::TBatchProduce produce;  // none: raw copies
  };
  void StartBatch(TBatchJob job);
  void ReportBatch(const TBatchJob& job, const vld::TBatchResult& result, int total);
  void UpdateCountPanel();
  void ConnectWindows();
  void ReleaseOpenFile();
  // The file info labels empty and the entry buttons off, as before anything is open.
  void ClearEntryPanels();
  // The part of OpenFile after the window has been cleared for the new file.
  void LoadFile(const QString& path);
  void ApplyFileType(const std::string& name);
  void SetStatus(int panel, const QString& text);  // sets a status panel and repaints at once
  void SetInputEnabled(bool enabled);
  int EntryCount() const;
  bool ValidEntryIndex(int index) const;
  // Shows the size refusal box and returns true when the entry's size is 0 or less.
  bool RefuseEmptyEntry(int index);
  void ShowError(const std::exception& e);
  void ShowError(std::exception_ptr e);
  // Refuses new work (with a status text) while other work runs.
  bool RefuseWhileBusy();
  // Runs the shared save dialog with a suggested name; a non-empty filter
  // replaces the dialog's filter first.
  std::optional<QString> RunSaveDialog(const QString& suggestedName, const QString& filter, const QString& defaultExt);
  // A status function the worker may call: each text reaches panel 1 in order.
  vld::StatusFn WorkerStatus();
  // Lines for the hidden memo (the WVC block table echo), from the worker.
  vld::LogFn WorkerMemo();
  // Decodes the selected entry as `format` on the worker, then hands the
  // result to `show` (refusals go to an error box instead).
  void DecodeSelected(const vld::TFormat& format, std::function<void(vld::TDecoded&)> show);
  // Synchronous decode for the decoder operations.
  void DecodeInto(int index, const char* extension, vld::TMemoryStream& dest);
  void ShowImage(const char* extension);
  void ShowPicture(const vld::TImageFile& picture, const std::string& entryName);
  void SavePictureFromViewer(const vld::Bytes& bmp, bool png);
  void SaveTextFromViewer(const QString& suggestedName, const vld::Bytes& text);
  void PlayEntry(const char* extension);
  void ClosePlayer();
  void PlayWave(const vld::Bytes& wave);

  IPlatform& platform_;
  TWorkRunner* work_ = nullptr;
  std::unique_ptr<vld::TRunTempDir> tempDir_;
  TImageForm* imageForm_ = nullptr;
  TTextViewerForm* textForm_ = nullptr;
  TExtractForm* extractForm_ = nullptr;
  TSurfacePlayerForm* surfaceForm_ = nullptr;
  TDebugForm* debugForm_ = nullptr;
  std::vector<QPointer<THexViewForm>> hexForms_;  // open hex views; each closes with this window
  bool closed_ = false;
  vld::EntryAction lastAction_ = vld::EntryAction::None;
  QStringList statusHistory_;
  // SaveDialog1's filter, shared by every save command; the image viewer's
  // "Save as BMP..." uses whatever the last command left.
  QString saveDialogFilter_ = "Bitmap Images (*.bmp)|*.bmp";

  // State of the open file.
  QString FFileName;
  std::unique_ptr<vld::TLabReader> FReader;
  bool FBundleOpen = false;
  bool FSingleBink = false;
  bool FSingleSmush = false;
  vld::TFileStream FSingleFile;
  std::int32_t FSingleSize = 0;
  QString FDisplayName;
  bool FPlayerOpen = false;
};

inline const char* kSizeRefusal = vld::kEmptyEntryRefusal;
inline const char* kHexViewCaption = "Hex view";

// Where the viewer keeps what it remembers between runs (recent files, the
// width of the list pane).
inline QSettings ViewerSettings() { return QSettings("VLD", "VLD Resource Viewer"); }
