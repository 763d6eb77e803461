#include "gui/HexViewForm.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QComboBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "core/browser/FileTypes.h"
#include "core/common/Errors.h"
#include "gui/GuiText.h"
#include "gui/Platform.h"
#include "gui/Work.h"

using vld::kHexBytesPerLine;

// How far a find has come: each pass stores the offset it has searched up to.
struct TFindProgress {
  std::atomic<std::int64_t> first{0};   // the pass from the caret to the end
  std::atomic<std::int64_t> second{0};  // the pass from the start up to the caret
  std::int64_t from = 0;
};

namespace {

constexpr int kMargin = 6;         // left and right of the lines, pixels
constexpr int kTopMargin = 2;      // above the first line
constexpr int kWheelPerLine = 40;  // a wheel notch (120) turns three lines

struct TFindOutcome {
  qint64 offset = -1;
  bool cancelled = false;
  bool wrapped = false;  // found (or not) on the pass from the start
};

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

// ------------------------------------------------------------- THexViewForm

THexViewForm::THexViewForm(vld::THexSource source, const QString& entryName, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
  setObjectName("HexViewForm");
  setWindowTitle("Hex view - " + entryName);
  runner_ = new TWorkRunner(this);

  edOffset = new QLineEdit(this);
  edOffset->setObjectName("edOffset");
  edOffset->setPlaceholderText("0x0 or 496");
  edOffset->setFixedWidth(edOffset->fontMetrics().horizontalAdvance(QString(14, QLatin1Char('0'))));
  btGoTo = new QPushButton("&Go to", this);
  btGoTo->setToolTip("Go to the offset (Ctrl+G)");
  edFind = new QLineEdit(this);
  edFind->setObjectName("edFind");
  edFind->setPlaceholderText("text, or bytes such as 4C 41 42 4E");
  edFind->setMinimumWidth(edFind->fontMetrics().horizontalAdvance(QString(22, QLatin1Char('0'))));
  cbFindMode = new QComboBox(this);
  cbFindMode->addItems({"Text", "Hex bytes"});
  btFind = new QPushButton("&Find", this);
  btFind->setToolTip("Find from the marked byte (Ctrl+F goes to the field)");
  btFindNext = new QPushButton("Find &next", this);
  btFindNext->setToolTip("Find the next match (F3)");

  auto* offsetLabel = new QLabel("&Offset:", this);
  offsetLabel->setBuddy(edOffset);
  auto* findLabel = new QLabel("F&ind:", this);
  findLabel->setBuddy(edFind);
  auto* top = new QHBoxLayout;
  top->addWidget(offsetLabel);
  top->addWidget(edOffset);
  top->addWidget(btGoTo);
  top->addSpacing(16);
  top->addWidget(findLabel);
  top->addWidget(edFind, 1);
  top->addWidget(cbFindMode);
  top->addWidget(btFind);
  top->addWidget(btFindNext);

  Area = new THexArea(source_, this);

  lStatus = new QLabel(this);
  lStatus->setObjectName("lStatus");
  pbFind = new QProgressBar(this);
  pbFind->setRange(0, 1000);
  pbFind->setTextVisible(false);
  pbFind->setFixedWidth(160);
  pbFind->hide();
  btCancel = new QPushButton("Cancel", this);
  btCancel->hide();
  lNote = new QLabel(this);
  lNote->setObjectName("lNote");
  if (source_.declaredSize > source_.size)
    lNote->setText(
        QString("Only %1 of %2 bytes are in the file.")
            .arg(Latin1(vld::FormatThousands(source_.size)), Latin1(vld::FormatThousands(source_.declaredSize))));
  lSize = new QLabel(Latin1(vld::FormatThousands(source_.size)) + " bytes", this);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lStatus, 1);
  bottom->addWidget(pbFind);
  bottom->addWidget(btCancel);
  bottom->addSpacing(12);
  bottom->addWidget(lNote);
  bottom->addSpacing(12);
  bottom->addWidget(lSize);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 4);
  layout->addLayout(top);
  layout->addWidget(Area, 1);
  layout->addLayout(bottom);

  GoTo1 = new QAction("Go to...", this);
  GoTo1->setShortcut(QKeySequence("Ctrl+G"));
  Find1 = new QAction("Find...", this);
  Find1->setShortcut(QKeySequence("Ctrl+F"));
  FindNext1 = new QAction("Find next", this);
  FindNext1->setShortcut(QKeySequence(Qt::Key_F3));
  addActions({GoTo1, Find1, FindNext1});
  connect(GoTo1, &QAction::triggered, this, [this] {
    edOffset->setFocus();
    edOffset->selectAll();
  });
  connect(Find1, &QAction::triggered, this, [this] {
    edFind->setFocus();
    edFind->selectAll();
  });
  connect(FindNext1, &QAction::triggered, this, [this] { FindNextClick(); });
  connect(btGoTo, &QPushButton::clicked, this, [this] { GoToClick(); });
  connect(edOffset, &QLineEdit::returnPressed, this, [this] { GoToClick(); });
  connect(btFind, &QPushButton::clicked, this, [this] { FindClick(); });
  connect(btFindNext, &QPushButton::clicked, this, [this] { FindNextClick(); });
  // Enter in the field goes on to the next match, as F3 does.
  connect(edFind, &QLineEdit::returnPressed, this, [this] { FindNextClick(); });
  connect(btCancel, &QPushButton::clicked, this, [this] { CancelFind(); });
  connect(Area, &THexArea::byteClicked, this, [this](qint64 offset) {
    lastMatch_ = -1;  // the next find starts at the clicked byte
    lStatus->setText("Offset " + OffsetText(offset));
  });

  // The progress row appears only for a find that takes a while.
  progressTimer_ = new QTimer(this);
  progressTimer_->setInterval(100);
  connect(progressTimer_, &QTimer::timeout, this, [this] { ShowProgress(); });

  if (source_.size == 0) lStatus->setText("No bytes to show.");
  const int frame = 2 * Area->frameWidth();
  const int width = Area->LineWidth() + frame + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                    layout->contentsMargins().left() + layout->contentsMargins().right();
  resize(std::max(width, sizeHint().width()), 560);
  Area->setFocus();
}

THexViewForm::~THexViewForm() {
  // The worker holds its own copy of the source; wait for it before the
  // window's parts go.
  runner_->Stop();
}

qint64 THexViewForm::TopOffset() const { return Area->TopLine() * kHexBytesPerLine; }

QString THexViewForm::StatusText() const { return lStatus->text(); }

QString THexViewForm::OffsetText(qint64 offset) const {
  // As wide as the offset column, so that it reads like the lines.
  return "0x" + QString::number(offset, 16).toUpper().rightJustified(vld::HexOffsetDigits(source_.size), '0');
}

void THexViewForm::Box(const QString& text) {
  if (platform_)
    platform_->MessageBox(BoxKind::Error, text);
  else
    QMessageBox::critical(this, kAppTitle, text);
}

qint64 THexViewForm::Caret() const {
  const THexSelection s = Area->Selection();
  return s.start >= 0 ? s.start : TopOffset();
}

bool THexViewForm::GoToOffset(qint64 offset) {
  if (source_.size <= 0) {
    Box("There are no bytes to go to: the entry is empty.");
    return false;
  }
  if (offset < 0 || offset >= source_.size) {
    Box(QString("The offset %1 is past the end: the last byte is at %2.")
            .arg(OffsetText(offset), OffsetText(source_.size - 1)));
    return false;
  }
  Area->SetTopLine(offset / kHexBytesPerLine);
  Area->SetSelection({offset, 1});
  lastMatch_ = -1;
  lStatus->setText("Offset " + OffsetText(offset));
  return true;
}

void THexViewForm::GoToClick() {
  qint64 offset = 0;
  try {
    offset = vld::ParseOffset(Bytes8(edOffset->text()));
  } catch (const vld::VldError& e) {
    Box(Latin1(e.what()));
    return;
  }
  if (GoToOffset(offset)) Area->setFocus();
}

void THexViewForm::FindClick() { StartFind(false); }
void THexViewForm::FindNextClick() { StartFind(true); }

void THexViewForm::StartFind(bool next) {
  if (runner_->Busy()) return;
  const QString typed = edFind->text();
  const auto mode = cbFindMode->currentIndex() == 1 ? vld::FindMode::Bytes : vld::FindMode::Text;
  if (mode == vld::FindMode::Text && QString::fromLatin1(typed.toLatin1()) != typed) {
    Box("Only Latin-1 characters can be found in the bytes.");
    return;
  }
  vld::Bytes pattern;
  try {
    pattern = vld::ParseFindPattern(Bytes8(typed), mode);
  } catch (const vld::VldError& e) {
    Box(Latin1(e.what()));
    return;
  }
  const qint64 from = next && lastMatch_ >= 0 && pattern == lastPattern_
                          ? lastMatch_ + static_cast<qint64>(lastPattern_.size())
                          : Caret();
  lastPattern_ = pattern;
  auto progress = std::make_shared<TFindProgress>();
  progress->from = from;
  progress->first = from;
  progress_ = progress;
  const auto length = static_cast<qint64>(pattern.size());
  runner_->Start<TFindOutcome>(
      "Finding",
      [source = source_, pattern, from, progress](const TWorkRunner::CancelFlag& cancel) {
        vld::TFindResult r = vld::FindInSource(source, pattern, from, -1, &cancel, &progress->first);
        if (r.offset >= 0 || r.cancelled || from == 0) return TFindOutcome{r.offset, r.cancelled, false};
        // On from the start, up to a match that would begin just before the caret.
        const qint64 end = std::min<qint64>(source.size, from + static_cast<qint64>(pattern.size()) - 1);
        r = vld::FindInSource(source, pattern, 0, end, &cancel, &progress->second);
        return TFindOutcome{r.offset, r.cancelled, true};
      },
      [this, length](TFindOutcome& o) { FindDone(o.offset, o.cancelled, o.wrapped, length); },
      [this](std::exception_ptr error) {
        SetFinding(false);
        lStatus->clear();
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          Box(Latin1(e.what()));
        }
      });
  SetFinding(true);
}

void THexViewForm::FindDone(qint64 offset, bool cancelled, bool wrapped, qint64 length) {
  SetFinding(false);
  if (cancelled) {
    lStatus->setText("Find cancelled.");
    return;
  }
  if (offset < 0) {
    lastMatch_ = -1;
    lStatus->setText("Not found.");
    return;
  }
  lastMatch_ = offset;
  Area->SetSelection({offset, length});
  Area->ShowOffset(offset);
  lStatus->setText("Found at " + OffsetText(offset) + (wrapped ? ", going on from the start." : "."));
}

void THexViewForm::SetFinding(bool finding) {
  btFind->setEnabled(!finding);
  btFindNext->setEnabled(!finding);
  FindNext1->setEnabled(!finding);
  if (finding) {
    lStatus->setText("Finding...");
    pbFind->setValue(0);
    progressTimer_->start();
  } else {
    progressTimer_->stop();
    pbFind->hide();
    btCancel->hide();
  }
}

void THexViewForm::ShowProgress() {
  if (!progress_) return;
  const qint64 searched = (progress_->first.load() - progress_->from) + progress_->second.load();
  const qint64 total = std::max<qint64>(1, source_.size);
  pbFind->setValue(
      static_cast<int>(std::clamp(1000.0 * static_cast<double>(searched) / static_cast<double>(total), 0.0, 1000.0)));
  pbFind->show();
  btCancel->show();
}

void THexViewForm::CancelFind() {
  if (runner_->Busy()) runner_->Cancel();
}

bool THexViewForm::Finding() const { return runner_->Busy(); }

void THexViewForm::WaitForFind() {
  if (!runner_->Busy()) return;
  QEventLoop loop;
  connect(runner_, &TWorkRunner::Finished, &loop, &QEventLoop::quit);
  loop.exec();
}

void THexViewForm::closeEvent(QCloseEvent* event) {
  CancelFind();
  QWidget::closeEvent(event);
}

void THexViewForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    if (Finding())
      CancelFind();
    else
      close();
    return;
  }
  QWidget::keyPressEvent(event);
}
