#include "gui/ImageViewer.h"

#include <algorithm>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>

#include "core/common/Errors.h"
#include "gui/Platform.h"

TImageForm::TImageForm(QWidget* parent) : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("ImageForm");
  setWindowTitle("Image viewer");
  auto* client = new QWidget(this);
  Image1 = new QLabel(client);
  Image1->setObjectName("Image1");
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setScaledContents(false);
  Image1->move(0, 0);
  Image1->resize(640, 480);
  Image1->installEventFilter(this);
  setCentralWidget(client);

  QMenu* file = menuBar()->addMenu("&File");
  SaveasBMP1 = file->addAction("Save &as BMP...");
  SaveasBMP1->setShortcut(QKeySequence("Ctrl+S"));
  SaveasPNG1 = file->addAction("Save as &PNG...");
  SaveasPNG1->setShortcut(QKeySequence("Ctrl+Shift+S"));
  connect(SaveasPNG1, &QAction::triggered, this, [this] { emit savePngRequested(pictureBytes_); });
  Exit1 = file->addAction("E&xit");
  connect(SaveasBMP1, &QAction::triggered, this, [this] { SaveasBMP1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
  setFixedSize(640 + 8, 481 + 46 - 1);
}

void TImageForm::LoadPicture(vld::ByteSpan bmp) {
  pictureBytes_.assign(bmp.begin(), bmp.end());
  picture_ = QImage();
  if (!bmp.empty() && !picture_.loadFromData(bmp.data(), static_cast<int>(bmp.size()), "BMP")) {
    pictureBytes_.clear();
    Image1->clear();
    throw vld::VldError("This is not a bitmap the viewer can read.");
  }
  if (picture_.isNull())
    Image1->clear();
  else
    Image1->setPixmap(QPixmap::fromImage(picture_));
}

void TImageForm::SizeFor(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  setFixedSize(std::max(width + 8, kMinOuterWidth), height + 46);
  Image1->resize(width, height);
}

void TImageForm::SetEntryName(const QString& entryName) {
  setWindowTitle(entryName.isEmpty() ? QString("Image viewer") : "Image viewer - " + entryName);
}

void TImageForm::Exit1Click() { hide(); }

void TImageForm::SaveasBMP1Click() { emit saveRequested(pictureBytes_); }

void TImageForm::FormShow() { CentreOnScreen(this); }

void TImageForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TImageForm::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Space:
      hide();
      return;
    default:
      QMainWindow::keyPressEvent(event);
  }
}

void TImageForm::mouseDoubleClickEvent(QMouseEvent*) { Exit1Click(); }

bool TImageForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonDblClick) {
    Exit1Click();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}
