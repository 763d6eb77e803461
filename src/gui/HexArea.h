#pragma once

#include <QAbstractScrollArea>
#include <QStringList>

#include "core/browser/HexView.h"

class QPainter;

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
