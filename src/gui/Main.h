#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>
#include <QString>

#include "core/browser/FileTypes.h"
#include "core/bundle/FileStream.h"
#include "core/bundle/LabReader.h"
#include "core/common/FileIO.h"
#include "core/common/MemoryStream.h"
#include "core/images/BMPTools.h"
#include "gui/Platform.h"

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
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

// The main window: opens a bundle or a stand-alone animation file, lists the
// entries, shows the selected one and runs the action its type calls for.
// The actions of each subsystem are defined in the file of that subsystem
// (MainImages.cpp, MainAudio.cpp, MainLua.cpp, MainFiles.cpp, MainSurface.cpp).
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(IPlatform& platform, QWidget* parent = nullptr);
  ~TMainForm() override;

  void AttachWindows(TImageForm* image, TTextViewerForm* text, TExtractForm* extract, TSurfacePlayerForm* surface,
                     TDebugForm* debug);

  // Components.
  QListWidget* FileBox = nullptr;
  QSplitter* Splitter1 = nullptr;
  QGroupBox* gbFileInfo = nullptr;
  QGroupBox* gbActions = nullptr;
  QLabel* lFilename = nullptr;
  QLabel* lOffset = nullptr;
  QLabel* lSize = nullptr;
  QLabel* lType = nullptr;
  QPushButton* btAction = nullptr;
  QPushButton* btSaveBMP = nullptr;
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
  QLabel* Label5 = nullptr;        // hidden; the batch tile command shows its output name here
  QPlainTextEdit* Memo1 = nullptr;  // hidden; the WVC block table is echoed here

  // State.
  QString FFileName;
  std::unique_ptr<vld::TLabReader> FReader;
  bool FBundleOpen = false;
  bool FSingleBink = false;
  bool FSingleSmush = false;
  vld::TFileStream FSingleFile;
  std::int32_t FSingleSize = 0;
  QString FDisplayName;
  bool FPlayerOpen = false;
  // SaveDialog1's filter, shared by every save command; the image viewer's
  // "Save as BMP..." uses whatever the last command left.
  QString SaveDialogFilter = "Bitmap Images (*.bmp)|*.bmp";

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
  // Lets the window take input again, or not (while entries are extracted).
  void SetInputEnabled(bool enabled);
  bool InputEnabled() const;

  // Text.
  void btnViewText();
  void btnShowLua();

  // Images.
  void btnViewTil();
  void btnShowTGA();
  void btnShowKFN();
  void btnShowBMP();
  void DecodeTileEntry(int index, vld::TMemoryStream& dest);
  void DecodeTGAEntry(int index, vld::TMemoryStream& dest);
  void RenderKFNFont(int index, vld::TMemoryStream& dest);
  void LoadBMPEntry(int index, vld::TMemoryStream& dest);
  void btSaveBMPClick();
  void SavealltilesasBMPs1Click();
  // True when index names an entry of the open bundle's list.
  bool ValidEntryIndex(int index) const;

  // Sound.
  void btnPlayAif();
  void btnPlayWvc();
  void MediaPlayerNotify();
  void btSaveWavClick();
  // Stops and closes the player when it is open.
  void ClosePlayer();
  // The play action: converts the selected entry with toWave and plays it.
  void PlayEntry(const char* extension, const std::function<vld::Bytes(vld::ByteSpan)>& toWave);
  // Writes the temporary "temp.wav" and plays it.
  void PlayWave(const vld::Bytes& wave);
  // Lines for the hidden memo (the WVC block table echo).
  vld::LogFn MemoLog();

  // Surfaces.
  void btnPlaySurface();

  // The action btnAction ran last (None until one ran).
  vld::EntryAction LastAction() const { return lastAction_; }

  // Shared by the actions.
  IPlatform& Platform() { return platform_; }
  vld::TRunTempDir& TempDir();
  void SetStatus(int panel, const QString& text);  // sets a status panel and repaints at once
  QString StatusText(int panel) const;
  // Every text panel 1 showed, in order (for the tests and for diagnostics).
  QStringList StatusHistory;
  int SelectedIndex() const;  // -1 when the list is empty or nothing is selected
  QString SelectedName() const;
  std::string SelectedRawName() const;  // the 8-bit name as stored
  int EntryCount() const;
  // Shows the size refusal box and returns true when the entry's size is 0 or less.
  bool RefuseEmptyEntry(int index);
  void ShowError(const std::exception& e);
  // Runs the shared save dialog with a suggested name; a non-empty filter
  // replaces the dialog's filter first.
  std::optional<QString> RunSaveDialog(const QString& suggestedName, const QString& filter, const QString& defaultExt);
  // A QString path as a file-system path.
  static std::filesystem::path FsPath(const QString& path);

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

  static QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<int>(text.size())); }
  static std::string Bytes8(const QString& text) { return text.toLatin1().toStdString(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Sets status panel 1 from a decoder's texts and clears it when the work
  // ends, also when it ends with an error.
  class StatusGuard {
   public:
    explicit StatusGuard(TMainForm& main) : main_(main) {}
    ~StatusGuard() { main_.SetStatus(1, ""); }
    std::function<void(const std::string&)> Fn() {
      return [this](const std::string& text) { main_.SetStatus(1, QString::fromStdString(text)); };
    }

   private:
    TMainForm& main_;
  };
  void DeliverImage(const vld::TImageFile& image, vld::TMemoryStream& dest);
  void ShowImage(const char* extension, void (TMainForm::*decoder)(int, vld::TMemoryStream&));
  bool DecodeForSave(int index, const std::string& name, vld::TMemoryStream& dest);
  void BuildWindow();
  void ReleaseOpenFile();
  void ApplyFileType(const std::string& name);

  IPlatform& platform_;
  std::unique_ptr<vld::TRunTempDir> tempDir_;
  TImageForm* imageForm_ = nullptr;
  TTextViewerForm* textForm_ = nullptr;
  TExtractForm* extractForm_ = nullptr;
  TSurfacePlayerForm* surfaceForm_ = nullptr;
  TDebugForm* debugForm_ = nullptr;
  bool closed_ = false;
  vld::EntryAction lastAction_ = vld::EntryAction::None;
};

inline const char* kSizeRefusal = vld::kEmptyEntryRefusal;
