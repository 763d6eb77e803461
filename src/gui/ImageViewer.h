#pragma once

#include <QImage>
#include <QMainWindow>
#include <QString>

#include "core/common/Bytes.h"

class QAction;
class QLabel;

// Shows one image at 1:1 scale, modally. It is handed a BMP file to show and
// asks, through saveRequested, for the shown picture to be saved.
class TImageForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TImageForm(QWidget* parent = nullptr);

  QLabel* Image1 = nullptr;
  QAction* SaveasBMP1 = nullptr;
  QAction* SaveasPNG1 = nullptr;
  QAction* Exit1 = nullptr;

  // Loads a BMP byte stream as the picture; an empty stream gives an empty
  // picture. Throws VldError when the bytes are not a BMP file Qt can read.
  void LoadPicture(vld::ByteSpan bmp);
  const QImage& Picture() const { return picture_; }
  const vld::Bytes& PictureBytes() const { return pictureBytes_; }
  // The outer size becomes image + (8, 46) and Image1 the image's size; the
  // window never gets narrower than a readable title needs (the picture stays
  // at the top left).
  void SizeFor(int width, int height);
  QSize OuterSize() const { return size(); }
  // Names the entry the picture came from, in the title and the save suggestion.
  void SetEntryName(const QString& entryName);

  void Exit1Click();
  void SaveasBMP1Click();
  void FormShow();

  // The narrowest the window gets, so that its title stays readable.
  static constexpr int kMinOuterWidth = 320;

 signals:
  // "Save as BMP..." was chosen: save these bytes (the picture as loaded).
  void saveRequested(const vld::Bytes& bmp);
  // "Save as PNG..." was chosen: save the picture as loaded, as PNG.
  void savePngRequested(const vld::Bytes& bmp);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QImage picture_;
  vld::Bytes pictureBytes_;  // the BMP as loaded, saved as it is
};
