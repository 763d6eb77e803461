#include "gui/ImageViewer.h"

#include "gui/Main.h"

TImageForm::TImageForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName("ImageForm");
  setWindowTitle("Image viewer");
}
