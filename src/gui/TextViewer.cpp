#include "gui/TextViewer.h"

#include <algorithm>

#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>

#include "core/common/EntryNames.h"
#include "gui/GuiText.h"
#include "gui/Platform.h"

TTextViewerForm::TTextViewerForm(QWidget* parent) : QMainWindow(parent, Qt::Window) {
  setObjectName("TextViewerForm");
  setWindowTitle("Text viewer");
  resize(691, 524);
  RichEdit1 = new QPlainTextEdit(this);
  RichEdit1->setObjectName("RichEdit1");
  RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
  RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit1->installEventFilter(this);
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  RichEdit1->setFont(mono);
  setCentralWidget(RichEdit1);

  QMenu* file = menuBar()->addMenu("&File");
  Saveas1 = file->addAction("Save &as...");
  Saveas1->setShortcut(QKeySequence("Ctrl+S"));
  Compiletofile1 = file->addAction("&Compile to file...");
  Compiletofile1->setEnabled(false);
  Putback1 = file->addAction("&Put back into the bundle");
  Putback1->setEnabled(false);
  Exit1 = file->addAction("E&xit");
  connect(Putback1, &QAction::triggered, this, [this] { Putback1Click(); });
  connect(Saveas1, &QAction::triggered, this, [this] { Saveas1Click(); });
  connect(Compiletofile1, &QAction::triggered, this, [this] { Compiletofile1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
}

void TTextViewerForm::LoadText(vld::ByteSpan bytes, const std::string& entryName) {
  QString text = QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  // The first break tells the text's style.
  const qsizetype at = text.indexOf(QRegularExpression("[\r\n]"));
  lineBreak_ = at < 0                      ? QString("\r\n")
               : text.mid(at, 2) == "\r\n" ? QString("\r\n")
               : text[at] == '\n'          ? QString("\n")
                                           : QString("\r");
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  RichEdit1->setPlainText(text);
  Compiletofile1->setEnabled(false);
  SetSourceEntry(-1);
  SetShownEntryName(entryName);
}

void TTextViewerForm::SetShownEntryName(const std::string& entryName) {
  shownEntry_ = entryName;
  setWindowTitle(entryName.empty() ? QString("Text viewer") : "Text viewer - " + Latin1(entryName));
}

vld::Bytes TTextViewerForm::TextBytes() const {
  QString text = RichEdit1->toPlainText();
  text.replace("\n", "\r\n");
  QByteArray latin1 = text.toLatin1();  // characters beyond Latin-1 become '?'
  return vld::Bytes(latin1.begin(), latin1.end());
}

vld::Bytes TTextViewerForm::EntryBytes() const {
  QString text = RichEdit1->toPlainText();
  if (lineBreak_ != "\n") text.replace("\n", lineBreak_);
  QByteArray latin1 = text.toLatin1();
  return vld::Bytes(latin1.begin(), latin1.end());
}

void TTextViewerForm::SetSourceEntry(int index) {
  sourceEntry_ = index;
  Putback1->setEnabled(index >= 0);
  emit sourceEntryChanged(index);
}

void TTextViewerForm::Putback1Click() {
  if (Putback1->isEnabled()) emit putBackRequested();
}

void TTextViewerForm::Saveas1Click() {
  // The suggestion names the entry whose text is shown, whatever the main
  // window has selected now.
  emit saveRequested(Latin1(vld::NameAfterLastBackslash(shownEntry_)), TextBytes());
}

void TTextViewerForm::LoadScript(vld::ByteSpan bytes, const std::string& entryName,
                                 const vld::TLuaCompileOptions& options) {
  LoadText(bytes, entryName);
  scriptOptions_ = options;
  Compiletofile1->setEnabled(true);
}

void TTextViewerForm::Compiletofile1Click() {
  if (!Compiletofile1->isEnabled()) return;
  emit compileRequested(Latin1(vld::NameAfterLastBackslash(shownEntry_)), TextBytes(), scriptOptions_);
}

void TTextViewerForm::SelectLine(int line) {
  QTextBlock block = RichEdit1->document()->findBlockByNumber(std::max(line, 1) - 1);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  RichEdit1->setTextCursor(cursor);
  RichEdit1->centerCursor();
  RichEdit1->setFocus();
}

void TTextViewerForm::Exit1Click() { hide(); }

void TTextViewerForm::ShowNonModal() {
  show();
  raise();
  activateWindow();
  RichEdit1->setFocus();
}

void TTextViewerForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  CentreOnScreen(this);
  RichEdit1->setFocus();
}

bool TTextViewerForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == RichEdit1 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    hide();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}
