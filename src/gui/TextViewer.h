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
  QAction* Exit1 = nullptr;

  // Replaces the whole content with 8-bit text (CR LF, LF or CR line breaks);
  // entryName is the entry the text came from, for the title and the save
  // suggestion.
  void LoadText(vld::ByteSpan bytes, const std::string& entryName);
  // As LoadText, for the source of a compiled script: "Compile to file..."
  // then compiles the shown text with the chunk's own number format.
  void LoadScript(vld::ByteSpan bytes, const std::string& entryName, const vld::TLuaCompileOptions& options);
  // Selects line `line` (1 for the first) and shows it, as after a compile error.
  void SelectLine(int line);
  // The shown text as 8-bit bytes with CR LF between lines.
  vld::Bytes TextBytes() const;
  const std::string& ShownEntryName() const { return shownEntry_; }

  void Saveas1Click();
  void Compiletofile1Click();
  void Exit1Click();
  // Shows the window without blocking, or brings it to the front when it is shown already.
  void ShowNonModal();

 signals:
  // "Save as..." was chosen: save the shown text, suggesting this name.
  void saveRequested(const QString& suggestedName, const vld::Bytes& text);
  // "Compile to file..." was chosen: compile the shown script with these options.
  void compileRequested(const QString& suggestedName, const vld::Bytes& text, const vld::TLuaCompileOptions& options);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::string shownEntry_;
  vld::TLuaCompileOptions scriptOptions_;
};
