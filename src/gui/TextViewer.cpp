#include "gui/TextViewer.h"

#include "gui/Main.h"

TTextViewerForm::TTextViewerForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName("TextViewerForm");
  setWindowTitle("Text viewer");
}
