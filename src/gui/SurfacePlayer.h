#pragma once

#include <QImage>
#include <QVector>
#include <QWidget>

#include "core/common/Bytes.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QTimer;
namespace vld {
struct TSurfaceLoad;
}

// Plays the textures a surface description lists as a frame animation.
class TSurfacePlayerForm : public QWidget {
  Q_OBJECT

 public:
  explicit TSurfacePlayerForm(QWidget* parent = nullptr);

  QGroupBox* GroupFrames = nullptr;
  QGroupBox* GroupAnimation = nullptr;
  QGroupBox* GroupSpeed = nullptr;
  QListWidget* ListBox1 = nullptr;
  QWidget* PaintBox1 = nullptr;
  QPushButton* Button2 = nullptr;
  QSlider* TrackBar1 = nullptr;
  QSlider* TrackBar2 = nullptr;
  QLabel* Label5 = nullptr;
  QTimer* Timer1 = nullptr;
  QVector<QImage> ImageList1;  // the loaded frames
  QSize FrameSize{256, 256};   // the image list's frame size
  int FCurrentFrame = 0;

  // Fills the window from a loaded surface: its frame list (items that name
  // no entry of the bundle are greyed and marked) and its decoded frames.
  void LoadSurface(const vld::TSurfaceLoad& surface, const QString& entryName = QString());
  // The text the frame list shows for an item that names no entry.
  static constexpr const char* kMissingMark = " (not in bundle)";

  void FormCreate();
  void PaintBox1Paint(class QPainter& painter);
  void Timer1Timer();
  void Button2Click();
  void TrackBar1Change();
  void TrackBar2Change();
  void ListBox1Click();
  void FormClose();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;
};
