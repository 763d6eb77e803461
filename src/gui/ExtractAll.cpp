#include "gui/ExtractAll.h"

#include "gui/Main.h"

TExtractForm::TExtractForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName("ExtractForm");
  setWindowTitle("Extracting all files");
}
