#include "gui/DebugWindow.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TDebugForm::TDebugForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName("DebugForm");
  setWindowTitle("Debug Messages");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  layout->addWidget(Memo1);
  resize(284, 163);
  move(5, 525);
}
