#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "core/browser/OpenFile.h"
#include "core/common/Bytes.h"
#include "core/common/FileIO.h"
#include "gui/Platform.h"

class QWidget;
class TWorkRunner;

// What the parts of the main window share: the platform, the worker, the
// open file, the status texts, the shared save dialog and the entry the
// user has selected. The parts reach each other only through this and
// through signals, so each can be built and tested on its own.
class TSession : public QObject {
  Q_OBJECT

 public:
  TSession(IPlatform& platform, QWidget* owner);
  ~TSession() override;

  IPlatform& Platform() { return platform_; }
  TWorkRunner& Work() { return *work_; }
  vld::TOpenFile& File() { return file_; }
  const vld::TOpenFile& File() const { return file_; }
  // The window dialogs and boxes belong to.
  QWidget* Owner() const { return owner_; }
  vld::TRunTempDir& TempDir();
  bool HasTempDir() const { return tempDir_ != nullptr; }

  // The selected entry: -1 when the list is empty or nothing is selected.
  int Selected() const { return selected_ ? selected_() : -1; }
  void SetSelectionSource(std::function<int()> selected) { selected_ = std::move(selected); }
  // The 8-bit name as stored; empty when nothing is selected.
  std::string SelectedRawName() const;

  // Sets a status panel (shown at once); every text panel 1 shows is kept for tests.
  void SetStatus(int panel, const QString& text);
  const QStringList& StatusHistory() const { return statusHistory_; }
  void ClearStatusHistory() { statusHistory_.clear(); }
  // A status function the worker may call: each text reaches panel 1 in order.
  vld::StatusFn WorkerStatus();
  // Diagnostic lines from the worker, delivered as logLine on the GUI thread.
  vld::LogFn WorkerLog();

  void ShowError(const std::exception& e);
  void ShowError(std::exception_ptr e);
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
  // Refuses new work (with a status text) while other work runs.
  bool RefuseWhileBusy();
  // Shows the box and returns true when the entry cannot be read: it lies past
  // the end of a short bundle (wholly, for a raw copy: `whole` false), or
  // (when `checkSize`) its size is 0 or less.
  bool RefuseEntry(int index, bool checkSize = true, bool whole = true);

  // Runs the shared save dialog with a suggested name; a non-empty filter
  // replaces the dialog's filter first. It starts in the folder last used for
  // this kind of file (the open file's folder the first time) and refuses the
  // file that is open here.
  std::optional<QString> RunSaveDialog(const QString& suggestedName, const QString& filter, const QString& defaultExt,
                                       const QString& kind);
  const QString& SaveDialogFilter() const { return saveDialogFilter_; }
  void SetSaveDialogFilter(const QString& filter) { saveDialogFilter_ = filter; }
  // Where the save dialog of a kind of file starts.
  QString SaveFolder(const QString& kind) const;

 signals:
  void statusChanged(int panel, const QString& text);
  void logLine(const QString& line);

 private:
  IPlatform& platform_;
  QWidget* owner_;
  TWorkRunner* work_;
  vld::TOpenFile file_;
  std::unique_ptr<vld::TRunTempDir> tempDir_;
  std::function<int()> selected_;
  QStringList statusHistory_;
  // SaveDialog1's filter, shared by every save command; the image viewer's
  // "Save as BMP..." uses whatever the last command left.
  QString saveDialogFilter_ = "Bitmap Images (*.bmp)|*.bmp";
};

// Where the viewer keeps what it remembers between runs (recent files, the
// window's layout, the folders of the save dialogs).
// The default format is the native one (the registry on Windows) unless tests
// point it at a scratch file.
inline QSettings ViewerSettings() {
  return QSettings(QSettings::defaultFormat(), QSettings::UserScope, "VLD", "VLD Resource Viewer");
}
