#pragma once

#include <QImage>
#include <QMainWindow>

#include "core/common/Bytes.h"

class QAction;
class QLabel;
class TMainForm;

// Shows one image at 1:1 scale, modally; can save it as a BMP file.
class TImageForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TImageForm(TMainForm& main);

  QLabel* Image1 = nullptr;
  QAction* SaveasBMP1 = nullptr;
  QAction* Exit1 = nullptr;

  // Loads a BMP byte stream as the picture; an empty stream gives an empty
  // picture. Throws VldError when the bytes are not a BMP file Qt can read.
  void LoadPicture(vld::ByteSpan bmp);
  const QImage& Picture() const { return picture_; }
  // The outer size becomes image + (8, 46) and Image1 the image's size.
  void SizeFor(int width, int height);
  QSize OuterSize() const { return size(); }

  void Exit1Click();
  void SaveasBMP1Click();
  void FormShow();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TMainForm& main_;
  QImage picture_;
  vld::Bytes pictureBytes_;  // the BMP as loaded, saved as it is
};
