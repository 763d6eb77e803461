#include "gui/HexArea.h"

#include <algorithm>
#include <cmath>

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "gui/GuiText.h"

using vld::kHexBytesPerLine;

namespace {

constexpr int kMargin = 6;         // left and right of the lines, pixels
constexpr int kTopMargin = 2;      // above the first line
constexpr int kWheelPerLine = 40;  // a wheel notch (120) turns three lines

QColor Mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

}  // namespace

// The column names above the lines; the area paints it.
class THexHeader : public QWidget {
 public:
  explicit THexHeader(THexArea* area) : QWidget(area), area_(area) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    area_->PaintHeader(p, rect());
  }

 private:
  THexArea* area_;
};

// ---------------------------------------------------------------- THexArea

THexArea::THexArea(const vld::THexSource& source, QWidget* parent)
    : QAbstractScrollArea(parent),
      source_(source),
      lineCount_((std::max<qint64>(source.size, 0) + kHexBytesPerLine - 1) / kHexBytesPerLine),
      offsetDigits_(vld::HexOffsetDigits(source.size)) {
  setObjectName("HexArea");
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setStyleHint(QFont::TypeWriter);
  setFont(mono);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  header_ = new THexHeader(this);
  PlaceHeader();
  SyncBars();
}

void THexArea::PlaceHeader() {
  if (!header_) return;  // the font is set before the header exists
  const int height = LineHeight() + 2 * kTopMargin;
  setViewportMargins(0, height, 0, 0);
  const QRect v = viewport()->geometry();
  header_->setGeometry(v.left(), v.top() - height, v.width(), height);
  header_->update();
}

void THexArea::PaintHeader(QPainter& p, const QRect& rect) const {
  const QPalette& pal = palette();
  const QColor text = pal.color(QPalette::Text);
  p.fillRect(rect, Mix(pal.color(QPalette::Base), pal.color(QPalette::Window), 0.6));
  p.setPen(Mix(text, pal.color(QPalette::Base), 0.8));
  p.drawLine(rect.bottomLeft(), rect.bottomRight());
  p.setFont(font());
  p.setPen(Mix(text, pal.color(QPalette::Base), 0.45));
  const int cw = CharWidth(), x0 = kMargin - horizontalScrollBar()->value();
  const int baseline = kTopMargin + fontMetrics().ascent();
  p.drawText(x0, baseline, QString("Offset").left(offsetDigits_));
  for (int i = 0; i < kHexBytesPerLine; ++i) {
    const QString digit = QString::number(i, 16).toUpper();
    p.drawText(x0 + HexColumn(i) * cw, baseline, digit.rightJustified(2, '0'));
    p.drawText(x0 + TextColumn(i) * cw, baseline, digit);
  }
}

int THexArea::LineHeight() const { return fontMetrics().lineSpacing(); }
int THexArea::CharWidth() const { return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))); }
int THexArea::HexColumn(int i) const { return offsetDigits_ + 2 + 3 * i + (i >= kHexBytesPerLine / 2 ? 1 : 0); }
int THexArea::TextColumn(int i) const { return offsetDigits_ + 3 * kHexBytesPerLine + 4 + i; }
int THexArea::LineWidth() const { return 2 * kMargin + (TextColumn(kHexBytesPerLine)) * CharWidth(); }

int THexArea::PageLines() const { return std::max(1, (viewport()->height() - kTopMargin) / LineHeight()); }

int THexArea::ShownLines() const {
  const int lh = LineHeight();
  return std::max(1, (viewport()->height() - kTopMargin + lh - 1) / lh);
}

qint64 THexArea::MaxTopLine() const { return std::max<qint64>(0, lineCount_ - PageLines()); }

qint64 THexArea::LineFromBar(int value) const {
  const qint64 maxTop = MaxTopLine();
  if (maxTop <= kBarSteps) return value;
  if (value >= kBarSteps) return maxTop;
  return static_cast<qint64>(static_cast<double>(value) / kBarSteps * static_cast<double>(maxTop));
}

int THexArea::BarFromLine(qint64 line) const {
  const qint64 maxTop = MaxTopLine();
  if (maxTop <= kBarSteps) return static_cast<int>(line);
  return static_cast<int>(std::llround(static_cast<double>(line) / static_cast<double>(maxTop) * kBarSteps));
}

void THexArea::SyncBars() {
  // Setting the bars must not read back into the top line (a scaled bar
  // would round it).
  syncing_ = true;
  const qint64 maxTop = MaxTopLine();
  QScrollBar* v = verticalScrollBar();
  if (maxTop <= kBarSteps) {
    v->setRange(0, static_cast<int>(maxTop));
    v->setPageStep(PageLines());
  } else {
    v->setRange(0, kBarSteps);
    v->setPageStep(std::max(1, BarFromLine(PageLines())));
  }
  v->setSingleStep(1);
  v->setValue(BarFromLine(topLine_));
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, std::max(0, LineWidth() - viewport()->width()));
  h->setPageStep(std::max(1, viewport()->width()));
  h->setSingleStep(CharWidth());
  syncing_ = false;
}

void THexArea::SetTopLine(qint64 line) {
  line = std::clamp<qint64>(line, 0, MaxTopLine());
  if (line == topLine_) return;
  topLine_ = line;
  SyncBars();
  viewport()->update();
  emit topLineChanged(topLine_);
}

void THexArea::ShowOffset(qint64 offset) {
  const qint64 line = offset / kHexBytesPerLine;
  if (line < topLine_ || line >= topLine_ + PageLines()) SetTopLine(line);
}

void THexArea::SetSelection(THexSelection selection) {
  if (selection == selection_) return;
  selection_ = selection;
  viewport()->update();
}

QStringList THexArea::VisibleLines() const {
  QStringList lines;
  const qint64 first = topLine_ * kHexBytesPerLine;
  const vld::Bytes bytes = vld::ReadHexRange(source_, first, static_cast<std::size_t>(ShownLines()) * kHexBytesPerLine);
  for (std::size_t at = 0; at < bytes.size(); at += kHexBytesPerLine) {
    const std::size_t n = std::min<std::size_t>(kHexBytesPerLine, bytes.size() - at);
    lines << Latin1(
        vld::FormatHexLine(first + static_cast<qint64>(at), vld::ByteSpan(bytes.data() + at, n), offsetDigits_));
  }
  return lines;
}

void THexArea::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const QPalette& pal = palette();
  const QColor text = pal.color(QPalette::Text);
  const QColor dim = Mix(text, pal.color(QPalette::Base), 0.45);
  p.fillRect(viewport()->rect(), pal.base());
  p.setFont(font());
  const int lh = LineHeight(), cw = CharWidth(), ascent = fontMetrics().ascent();
  const int x0 = kMargin - horizontalScrollBar()->value();
  auto colX = [&](int column) { return x0 + column * cw; };

  // Thin rules between the three columns.
  p.setPen(Mix(text, pal.color(QPalette::Base), 0.85));
  for (int column : {offsetDigits_ + 1, TextColumn(0) - 1}) {
    const int x = colX(column) + cw / 2;
    p.drawLine(x, 0, x, viewport()->height());
  }

  painted_ = VisibleLines();
  const qint64 first = topLine_ * kHexBytesPerLine;
  const qint64 selEnd = selection_.start + selection_.length;
  for (int row = 0; row < painted_.size(); ++row) {
    const QString& line = painted_[row];
    const qint64 offset = first + static_cast<qint64>(row) * kHexBytesPerLine;
    const int n = static_cast<int>(std::min<qint64>(kHexBytesPerLine, source_.size - offset));
    const int y = kTopMargin + row * lh, baseline = y + ascent;
    p.setPen(dim);
    p.drawText(colX(0), baseline, line.left(offsetDigits_));
    for (int i = 0; i < n; ++i) {
      const bool marked = offset + i >= selection_.start && offset + i < selEnd;
      if (marked) {
        // A run of marked bytes is one band in the hex column.
        const bool nextMarked = i + 1 < n && offset + i + 1 < selEnd;
        const int hexRight = nextMarked ? colX(HexColumn(i + 1)) : colX(HexColumn(i) + 2);
        p.fillRect(QRect(colX(HexColumn(i)), y, hexRight - colX(HexColumn(i)), lh), pal.highlight());
        p.fillRect(QRect(colX(TextColumn(i)), y, cw, lh), pal.highlight());
      }
      p.setPen(marked ? pal.color(QPalette::HighlightedText) : text);
      p.drawText(colX(HexColumn(i)), baseline, line.mid(HexColumn(i), 2));
      // One character at a time: a glyph from a fallback font keeps the grid.
      p.drawText(colX(TextColumn(i)), baseline, line.mid(TextColumn(i), 1));
    }
  }
}

void THexArea::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  PlaceHeader();
  const qint64 clamped = std::clamp<qint64>(topLine_, 0, MaxTopLine());
  if (clamped != topLine_) {
    topLine_ = clamped;
    emit topLineChanged(topLine_);
  }
  SyncBars();
}

void THexArea::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    PlaceHeader();
    SyncBars();
  }
}

void THexArea::scrollContentsBy(int dx, int dy) {
  if (syncing_) return;
  if (dy != 0) {
    const qint64 line = std::clamp<qint64>(LineFromBar(verticalScrollBar()->value()), 0, MaxTopLine());
    if (line != topLine_) {
      topLine_ = line;
      emit topLineChanged(topLine_);
    }
  }
  if (dx != 0 && header_) header_->update();
  if (dx != 0 || dy != 0) viewport()->update();
}

void THexArea::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      SetTopLine(topLine_ - 1);
      break;
    case Qt::Key_Down:
      SetTopLine(topLine_ + 1);
      break;
    case Qt::Key_PageUp:
      SetTopLine(topLine_ - PageLines());
      break;
    case Qt::Key_PageDown:
      SetTopLine(topLine_ + PageLines());
      break;
    case Qt::Key_Home:
      SetTopLine(0);
      break;
    case Qt::Key_End:
      SetTopLine(MaxTopLine());
      break;
    case Qt::Key_Left:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Right:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void THexArea::wheelEvent(QWheelEvent* event) {
  // Lines are counted here rather than on the scroll bar, whose steps may be
  // many lines each on a large source.
  wheelRest_ += event->angleDelta().y();
  const int lines = wheelRest_ / kWheelPerLine;
  wheelRest_ -= lines * kWheelPerLine;
  if (lines != 0) SetTopLine(topLine_ - lines);
  if (event->angleDelta().x() != 0)
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - event->angleDelta().x() / 2);
  event->accept();
}

void THexArea::mousePressEvent(QMouseEvent* event) {
  setFocus();
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (pos.y() < kTopMargin) return;
  const qint64 line = topLine_ + (pos.y() - kTopMargin) / LineHeight();
  const int column = (pos.x() - kMargin + horizontalScrollBar()->value()) / CharWidth();
  for (int i = 0; i < kHexBytesPerLine; ++i) {
    if (column == TextColumn(i) || (column >= HexColumn(i) && column < HexColumn(i) + 2)) {
      const qint64 offset = line * kHexBytesPerLine + i;
      if (offset >= source_.size) return;
      SetSelection({offset, 1});
      emit byteClicked(offset);
      return;
    }
  }
}
