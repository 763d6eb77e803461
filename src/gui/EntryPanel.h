#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
namespace vld {
class TOpenFile;
}

// The right pane of the main window: name, offset, size and type of the
// selected entry, and the buttons its type offers. It always describes the
// selected entry, or nothing when none is selected.
class TEntryPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TEntryPanel(QWidget* parent = nullptr);

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
  QLabel* Label5 = nullptr;         // hidden; the batch tile command shows its output name here
  QPlainTextEdit* Memo1 = nullptr;  // hidden; the WVC block table is echoed here

  // Shows entry `index` of the file; -1 (or nothing open) empties the labels
  // and turns the buttons off.
  void ShowEntry(const vld::TOpenFile& file, int index);
  void Clear();

 private:
  void BuildInfo();
  void BuildActions();
};

inline const char* kUnsavedOffset = "(not saved yet)";
inline const char* kHexViewCaption = "Hex view";
inline const char* kScriptCaption = "Show Lua source";
