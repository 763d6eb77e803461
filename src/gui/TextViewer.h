#pragma once

#include <string>

#include <QMainWindow>

#include "core/common/Bytes.h"
#include "core/lua/LuaCompiler.h"

class QAction;
class QPlainTextEdit;

// Shows 8-bit text (text tables, decompiled scripts); the text can be edited,
// and "Save as..." asks, through saveRequested, for it to be saved.
class TTextViewerForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TTextViewerForm(QWidget* parent = nullptr);

  QPlainTextEdit* RichEdit1 = nullptr;
  QAction* Saveas1 = nullptr;
  QAction* Compiletofile1 = nullptr;  // scripts only
  QAction* Putback1 = nullptr;        // text from a bundle entry only
  QAction* Exit1 = nullptr;

  // Replaces the whole content with 8-bit text (CR LF, LF or CR line breaks);
  // entryName is the entry the text came from, for the title and the save
  // suggestion.
  void LoadText(vld::ByteSpan bytes, const std::string& entryName);
  // As LoadText, for the source of a compiled script: "Compile to file..."
  // then compiles the shown text with the chunk's own number format.
  void LoadScript(vld::ByteSpan bytes, const std::string& entryName, const vld::TLuaCompileOptions& options);
  // The shown text came from entry `index` of the open bundle: "Put back into
  // the bundle" replaces it (-1: from no entry, or one no longer there).
  void SetSourceEntry(int index);
  int SourceEntry() const { return sourceEntry_; }
  bool ShowsScript() const { return Compiletofile1->isEnabled(); }
  const vld::TLuaCompileOptions& ScriptOptions() const { return scriptOptions_; }
  // The shown text as 8-bit bytes with the line breaks the loaded text had
  // (CR LF when it had none), so that putting back unchanged text changes nothing.
  vld::Bytes EntryBytes() const;
  // Selects line `line` (1 for the first) and shows it, as after a compile error.
  void SelectLine(int line);
  // The shown text as 8-bit bytes with CR LF between lines.
  vld::Bytes TextBytes() const;
  const std::string& ShownEntryName() const { return shownEntry_; }
  // The entry the text belongs to was renamed: the title and the save suggestion follow.
  void SetShownEntryName(const std::string& entryName);

  void Saveas1Click();
  void Compiletofile1Click();
  void Putback1Click();
  void Exit1Click();
  // Shows the window without blocking, or brings it to the front when it is shown already.
  void ShowNonModal();

 signals:
  // "Save as..." was chosen: save the shown text, suggesting this name.
  void saveRequested(const QString& suggestedName, const vld::Bytes& text);
  // "Compile to file..." was chosen: compile the shown script with these options.
  void compileRequested(const QString& suggestedName, const vld::Bytes& text, const vld::TLuaCompileOptions& options);
  // "Put back into the bundle" was chosen for the shown entry's text.
  void putBackRequested();
  // The entry the shown text belongs to changed (-1: none).
  void sourceEntryChanged(int entry);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::string shownEntry_;
  int sourceEntry_ = -1;
  QString lineBreak_ = "\r\n";
  vld::TLuaCompileOptions scriptOptions_;
};
