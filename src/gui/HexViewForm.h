#pragma once

#include <memory>

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "core/browser/HexView.h"

class IPlatform;
class QAction;
class QPainter;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TWorkRunner;
struct TFindProgress;

// A run of marked bytes; start < 0 when nothing is marked.
struct THexSelection {
  qint64 start = -1;
  qint64 length = 0;
  bool operator==(const THexSelection&) const = default;
};

// The lines of a hex source, painted lazily: a paint reads only the lines on
// screen. The top line is 64-bit and the view's own; the vertical scroll bar
// counts lines while they fit into it and follows the top line on a scale
// beyond that.
class THexArea : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit THexArea(const vld::THexSource& source, QWidget* parent = nullptr);

  qint64 LineCount() const { return lineCount_; }
  qint64 TopLine() const { return topLine_; }
  // The highest top line: the last line at the bottom of the view.
  qint64 MaxTopLine() const;
  // Clamped to [0, MaxTopLine()].
  void SetTopLine(qint64 line);
  // Lines that fit wholly; at least 1.
  int PageLines() const;
  // Scrolls as little as needed so that the line of offset is on screen;
  // a line off screen comes to the top.
  void ShowOffset(qint64 offset);
  void SetSelection(THexSelection selection);
  const THexSelection& Selection() const { return selection_; }
  // The formatted lines the last paint drew, top to bottom.
  const QStringList& PaintedLines() const { return painted_; }
  // The formatted lines on screen now (read from the source).
  QStringList VisibleLines() const;
  // The width of a whole line in pixels, with its margins.
  int LineWidth() const;
  // Column (in characters) of byte i's two hex digits and of its text character.
  int HexColumn(int i) const;
  int TextColumn(int i) const;

  // Every step of the scroll bar maps to a line while the lines fit into this.
  static constexpr int kBarSteps = 1 << 30;

 signals:
  void topLineChanged(qint64 line);
  // The user clicked a byte (in either column).
  void byteClicked(qint64 offset);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;

 private:
  friend class THexHeader;
  // The row above the lines that names the columns.
  void PaintHeader(QPainter& p, const QRect& rect) const;
  void PlaceHeader();
  int LineHeight() const;
  int CharWidth() const;
  // Lines that are at least partly on screen.
  int ShownLines() const;
  void SyncBars();
  qint64 LineFromBar(int value) const;
  int BarFromLine(qint64 line) const;

  const vld::THexSource& source_;
  qint64 lineCount_ = 0;
  int offsetDigits_ = 8;
  qint64 topLine_ = 0;
  THexSelection selection_;
  QStringList painted_;
  int wheelRest_ = 0;  // wheel angle not yet turned into lines
  bool syncing_ = false;
  QWidget* header_ = nullptr;
};

// A top-level window showing any bytes as offset / 16 bytes hex / Latin-1
// text, with Go to and Find. It is handed the source and reads only what it
// shows or searches; Find runs on a worker and can be cancelled.
class THexViewForm : public QWidget {
  Q_OBJECT

 public:
  THexViewForm(vld::THexSource source, const QString& entryName, QWidget* parent = nullptr);
  ~THexViewForm() override;

  THexArea* Area = nullptr;
  QLineEdit* edOffset = nullptr;
  QPushButton* btGoTo = nullptr;
  QLineEdit* edFind = nullptr;
  QComboBox* cbFindMode = nullptr;  // Text, Hex bytes (in vld::FindMode order)
  QPushButton* btFind = nullptr;
  QPushButton* btFindNext = nullptr;
  QProgressBar* pbFind = nullptr;
  QPushButton* btCancel = nullptr;
  QLabel* lStatus = nullptr;
  QLabel* lNote = nullptr;  // "Only N of M bytes are in the file." when the file ends early
  QLabel* lSize = nullptr;
  QAction* GoTo1 = nullptr;      // Ctrl+G: to the offset field
  QAction* Find1 = nullptr;      // Ctrl+F: to the find field
  QAction* FindNext1 = nullptr;  // F3

  // Message boxes go through the platform when one is set, else Qt's own.
  void SetPlatform(IPlatform* platform) { platform_ = platform; }

  const vld::THexSource& Source() const { return source_; }
  qint64 TopOffset() const;
  THexSelection Selection() const { return Area->Selection(); }
  QString StatusText() const;

  // Brings the line of offset to the top and marks the byte; an offset past
  // the end is refused with a box and changes nothing.
  bool GoToOffset(qint64 offset);
  // Go to the offset typed in edOffset.
  void GoToClick();
  // Searches for edFind's pattern from the marked byte (or the top line),
  // going on from the start when the end is reached.
  void FindClick();
  // Goes on after the last match (the same pattern), else like FindClick.
  void FindNextClick();
  void CancelFind();
  bool Finding() const;
  // Runs the event loop until a running find has finished and shown its result.
  void WaitForFind();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void StartFind(bool next);
  void FindDone(qint64 offset, bool cancelled, bool wrapped, qint64 length);
  void ShowProgress();
  void SetFinding(bool finding);
  void Box(const QString& text);
  QString OffsetText(qint64 offset) const;
  qint64 Caret() const;

  vld::THexSource source_;
  IPlatform* platform_ = nullptr;
  TWorkRunner* runner_ = nullptr;
  QTimer* progressTimer_ = nullptr;
  std::shared_ptr<TFindProgress> progress_;  // how far the running find has come
  qint64 lastMatch_ = -1;
  vld::Bytes lastPattern_;
};
