#include "gui/ExtractAll.h"

#include <algorithm>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "gui/Platform.h"

TExtractForm::TExtractForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("ExtractForm");
  setWindowTitle("Extracting all files");
  setFixedSize(337, 97);
  CurFilename = new QLabel("Extracting ...", this);
  CurFilename->setObjectName("CurFilename");
  CurFilename->setGeometry(8, 8, 321, 16);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(8, 32, 321, 25);
  ProgressBar1->setTextVisible(false);
  lCounts = new QLabel(this);
  lCounts->setObjectName("lCounts");
  lCounts->setGeometry(8, 66, 230, 22);
  btCancel = new QPushButton("Cancel", this);
  btCancel->setObjectName("btCancel");
  btCancel->setGeometry(254, 64, 75, 25);
  connect(btCancel, &QPushButton::clicked, this, [this] { RequestCancel(); });
}

void TExtractForm::Begin(const QString& title, int total) {
  setWindowTitle(title);
  CurFilename->setText("Extracting ...");
  lCounts->clear();
  ProgressBar1->setMaximum(std::max(total, 1));
  ProgressBar1->setValue(0);
  btCancel->setEnabled(true);
  show();
}

static QString SizeText(qint64 bytes) {
  if (bytes < 1024 * 1024) return QString::number(bytes / 1024.0, 'f', 1) + " KiB";
  return QString::number(bytes / (1024.0 * 1024.0), 'f', 1) + " MiB";
}

void TExtractForm::SetProgress(int done, int total, qint64 bytes, const QString& current) {
  ProgressBar1->setMaximum(std::max(total, 1));
  ProgressBar1->setValue(std::min(done, std::max(total, 1)));
  if (!current.isEmpty()) CurFilename->setText("Extracting " + current);
  lCounts->setText(QString("%1 of %2 entries, %3").arg(done).arg(total).arg(SizeText(bytes)));
}

void TExtractForm::SetShare(qint64 done, qint64 total, const QString& text) {
  ProgressBar1->setMaximum(100);
  ProgressBar1->setValue(total > 0 ? static_cast<int>(done * 100 / total) : 0);
  CurFilename->setText(text);
}

void TExtractForm::RequestCancel() {
  if (!btCancel->isEnabled()) return;
  btCancel->setEnabled(false);
  emit cancelRequested();
}

void TExtractForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    RequestCancel();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TExtractForm::Finish() {
  ProgressBar1->setValue(ProgressBar1->maximum());
  hide();
}

void TExtractForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CentreOnScreen(this);
}

void TExtractForm::closeEvent(QCloseEvent* event) {
  // Closing the window asks to cancel; it goes away when the work has stopped.
  event->ignore();
  RequestCancel();
}
