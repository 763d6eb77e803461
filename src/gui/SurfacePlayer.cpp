#include "gui/SurfacePlayer.h"

#include "gui/Main.h"

TSurfacePlayerForm::TSurfacePlayerForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName("SurfacePlayerForm");
  setWindowTitle("Surface player");
}
