#include "gui/ExtractAll.h"

#include <QLabel>
#include <QProgressBar>

#include "core/browser/ExtractPaths.h"
#include "core/browser/Extractor.h"
#include "gui/Main.h"

TExtractForm::TExtractForm(TMainForm& main)
    : QWidget(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), main_(main) {
  setObjectName("ExtractForm");
  setWindowTitle("Extracting all files");
  setFixedSize(337, 65);
  CurFilename = new QLabel("Extracting ...", this);
  CurFilename->setObjectName("CurFilename");
  CurFilename->setGeometry(8, 8, 321, 16);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(8, 32, 321, 25);
  ProgressBar1->setTextVisible(false);
}

void TExtractForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CentreOnScreen(this);
}

void TExtractForm::ExtractAll(const std::filesystem::path& destination) {
  show();
  main_.Platform().MessageBox(BoxKind::Plain, QString::fromStdString(vld::ExtractPathText(destination)));

  // Whatever happens below, the main window comes back and this one goes.
  struct Restore {
    TExtractForm& form;
    ~Restore() {
      form.main_.SetInputEnabled(true);
      form.hide();
    }
  } restore{*this};
  main_.SetInputEnabled(false);

  vld::TLabReader& reader = *main_.FReader;
  ProgressBar1->setMaximum(std::max(reader.Count(), 1));
  ProgressBar1->setValue(0);
  vld::TExtractResult result =
      vld::ExtractAllEntries(reader, destination, [this](int done, int, const std::filesystem::path& target) {
        ProgressBar1->setValue(done);
        CurFilename->setText("Extracting " + QString::fromStdString(target.string()));
        repaint();
      });
  ProgressBar1->setValue(reader.Count());
  if (result.CutShort() > 0) {
    main_.Platform().MessageBox(
        BoxKind::Warning,
        QString("%1 of %2 entries run past the end of the bundle and were extracted only as far as they exist. "
                "The bundle is damaged.")
            .arg(result.CutShort())
            .arg(reader.Count()));
  }
}
