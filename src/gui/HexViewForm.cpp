#include "gui/HexViewForm.h"

#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "core/common/EntryNames.h"
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

struct TFindOutcome {
  qint64 offset = -1;
  bool cancelled = false;
  bool wrapped = false;  // found (or not) on the pass from the start
};

}  // namespace

THexViewForm::THexViewForm(vld::THexSource source, const QString& entryName, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
  setObjectName("HexViewForm");
  setWindowTitle("Hex view - " + entryName);
  runner_ = new TWorkRunner(this);
  QLayout* top = BuildFindRow();
  Area = new THexArea(source_, this);
  QLayout* bottom = BuildStatusRow();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 4);
  layout->addLayout(top);
  layout->addWidget(Area, 1);
  layout->addLayout(bottom);
  ConnectCommands();

  if (source_.size == 0) lStatus->setText("No bytes to show.");
  const int frame = 2 * Area->frameWidth();
  const int width = Area->LineWidth() + frame + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                    layout->contentsMargins().left() + layout->contentsMargins().right();
  resize(std::max(width, sizeHint().width()), 560);
  Area->setFocus();
}

QLayout* THexViewForm::BuildFindRow() {
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
  return top;
}

QLayout* THexViewForm::BuildStatusRow() {
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
  return bottom;
}

void THexViewForm::ConnectCommands() {
  acGoTo = new QAction("Go to...", this);
  acGoTo->setShortcut(QKeySequence("Ctrl+G"));
  acFind = new QAction("Find...", this);
  acFind->setShortcut(QKeySequence("Ctrl+F"));
  acFindNext = new QAction("Find next", this);
  acFindNext->setShortcut(QKeySequence(Qt::Key_F3));
  addActions({acGoTo, acFind, acFindNext});
  connect(acGoTo, &QAction::triggered, this, [this] {
    edOffset->setFocus();
    edOffset->selectAll();
  });
  connect(acFind, &QAction::triggered, this, [this] {
    edFind->setFocus();
    edFind->selectAll();
  });
  connect(acFindNext, &QAction::triggered, this, [this] { FindNextClick(); });
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
  acFindNext->setEnabled(!finding);
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
