#include "gui/SurfacePlayer.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "core/browser/Formats.h"
#include "gui/GuiText.h"
#include "gui/Platform.h"

namespace {

class TPaintBox : public QWidget {
 public:
  TPaintBox(TSurfacePlayerForm& form, QWidget* parent) : QWidget(parent), form_(form) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    form_.PaintBox1Paint(painter);
  }

 private:
  TSurfacePlayerForm& form_;
};

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  // Long captions wrap within the group rather than being cut at its edge.
  label->setWordWrap(true);
  label->setGeometry(x, y, parent->width() - x - 4, 32);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

TSurfacePlayerForm::TSurfacePlayerForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  setObjectName("SurfacePlayerForm");
  setWindowTitle("Surface player");
  setFixedSize(657, 362);

  GroupFrames = new QGroupBox("Frames", this);
  GroupFrames->setGeometry(8, 16, 185, 337);
  ListBox1 = new QListWidget(GroupFrames);
  ListBox1->setObjectName("ListBox1");
  ListBox1->setGeometry(8, 16, 169, 313);

  GroupAnimation = new QGroupBox("Animation", this);
  GroupAnimation->setGeometry(208, 16, 273, 281);
  PaintBox1 = new TPaintBox(*this, GroupAnimation);
  PaintBox1->setObjectName("PaintBox1");
  PaintBox1->setGeometry(8, 16, 256, 256);

  Button2 = new QPushButton("Play", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(208, 304, 65, 25);
  TrackBar1 = new QSlider(Qt::Horizontal, this);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setGeometry(280, 300, 201, 45);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setTickInterval(1);
  TrackBar1->setRange(0, 10);
  Label5 = new QLabel(this);
  Label5->setObjectName("Label5");
  Label5->setGeometry(208, 336, 200, 16);

  GroupSpeed = new QGroupBox("Playback Speed", this);
  GroupSpeed->setGeometry(496, 16, 153, 337);
  TrackBar2 = new QSlider(Qt::Vertical, GroupSpeed);
  TrackBar2->setObjectName("TrackBar2");
  TrackBar2->setGeometry(12, 24, 45, 305);
  TrackBar2->setRange(10, 2500);
  TrackBar2->setTickInterval(100);
  TrackBar2->setTickPosition(QSlider::TicksRight);
  TrackBar2->setInvertedAppearance(true);  // fast (short interval) at the top
  TrackBar2->setInvertedControls(true);
  TrackBar2->setValue(10);
  AddLabel(GroupSpeed, "Fast", 56, 32);
  AddLabel(GroupSpeed, "Slower", 56, 120);
  AddLabel(GroupSpeed, "Not so fast, please", 56, 216);
  AddLabel(GroupSpeed, "Zzzzzz", 56, 312);

  Timer1 = new QTimer(this);
  Timer1->setInterval(100);

  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
  connect(TrackBar2, &QSlider::valueChanged, this, [this] { TrackBar2Change(); });
  connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
  FormCreate();
}

void TSurfacePlayerForm::FormCreate() {
  // The animation is painted into its own buffer by Qt's backing store, so it
  // does not flicker; nothing else to set up.
  Button2->setFocus();
}

void TSurfacePlayerForm::LoadSurface(const vld::TSurfaceLoad& surface, const QString& entryName) {
  Timer1->stop();
  FCurrentFrame = 0;
  ListBox1->clear();
  ImageList1.clear();
  Button2->setText("Play");
  Label5->clear();
  setWindowTitle(entryName.isEmpty() ? QString("Surface player") : "Surface player - " + entryName);

  const auto& items = surface.list.items;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const bool missing = i < surface.missing.size() && surface.missing[i];
    auto* row = new QListWidgetItem(Latin1(items[i]) + (missing ? kMissingMark : ""), ListBox1);
    if (missing) row->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
  }
  if (!items.empty()) {
    QSignalBlocker block(TrackBar1);
    TrackBar1->setMaximum(static_cast<int>(items.size()) - 1);
  }

  bool sizeSet = false;
  for (const vld::TSurfaceFrame& f : surface.frames) {
    QImage frame;
    frame.loadFromData(f.picture.bmp.data(), static_cast<int>(f.picture.bmp.size()), "BMP");
    if (frame.isNull()) continue;
    if (!sizeSet) {
      // The first frame that loads sets the frame size and centres the paint box.
      sizeSet = true;
      FrameSize = frame.size();
      PaintBox1->setGeometry((GroupAnimation->width() - FrameSize.width()) / 2,
                             (GroupAnimation->height() - FrameSize.height()) / 2, FrameSize.width(),
                             FrameSize.height());
    }
    ImageList1.append(frame);
  }
  PaintBox1->update();
}

void TSurfacePlayerForm::PaintBox1Paint(QPainter& painter) {
  if (FCurrentFrame < 0 || FCurrentFrame >= ImageList1.size()) return;  // items past the last frame draw nothing
  const QImage& frame = ImageList1[FCurrentFrame];
  QSize box = PaintBox1->size();
  if (frame.size() == box) {
    painter.drawImage(0, 0, frame);
    return;
  }
  // A frame of another size is scaled down to fit if it is larger and drawn
  // centred, so it is neither cropped nor stretched.
  QSize fitted = frame.size();
  if (fitted.width() > box.width() || fitted.height() > box.height()) fitted.scale(box, Qt::KeepAspectRatio);
  QRect target((box.width() - fitted.width()) / 2, (box.height() - fitted.height()) / 2, fitted.width(),
               fitted.height());
  painter.drawImage(target, frame);
}

void TSurfacePlayerForm::Timer1Timer() {
  PaintBox1->repaint();
  ++FCurrentFrame;
  if (FCurrentFrame >= ImageList1.size()) FCurrentFrame = 0;
  TrackBar1->setValue(FCurrentFrame);
  Label5->setText("Frame " + QString::number(FCurrentFrame));
}

void TSurfacePlayerForm::Button2Click() {
  if (Timer1->isActive()) {
    Timer1->stop();
    Button2->setText("Play");
  } else {
    Timer1->start();
    Button2->setText("Stop");
  }
}

void TSurfacePlayerForm::TrackBar1Change() {
  FCurrentFrame = TrackBar1->value();
  PaintBox1->update();
}

void TSurfacePlayerForm::TrackBar2Change() { Timer1->setInterval(TrackBar2->value()); }

void TSurfacePlayerForm::ListBox1Click() {
  int row = ListBox1->currentRow();
  TrackBar1->setValue(std::clamp(row, TrackBar1->minimum(), TrackBar1->maximum()));
  FCurrentFrame = TrackBar1->value();
  PaintBox1->update();
}

void TSurfacePlayerForm::FormClose() {
  Timer1->stop();
  ImageList1.clear();
  ListBox1->clear();
}

void TSurfacePlayerForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TSurfacePlayerForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  FormClose();
}

void TSurfacePlayerForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CentreOnScreen(this);
  Button2->setFocus();
}
