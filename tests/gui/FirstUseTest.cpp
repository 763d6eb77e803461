#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/browser/OpenFile.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "gui/EntryActions.h"
#include "gui/EntryPanel.h"
#include "gui/ExtractAll.h"
#include "gui/HexViewForm.h"
#include "gui/ImageViewer.h"
#include "gui/ListPane.h"
#include "gui/Session.h"
#include "gui/TextViewer.h"

using vld::Bytes;

namespace {

// The same folder in one spelling (under Wine, /tmp/x is also Z:/tmp/x).
QString Absolute(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

QStringList Labels(TMainForm& m) { return {m.lFilename->text(), m.lOffset->text(), m.lSize->text(), m.lType->text()}; }

bool AnyButtonOn(TMainForm& m) {
  for (QPushButton* b : {m.btAction, m.btSaveBMP, m.Panel()->btSavePNG, m.btSaveFile, m.btSaveWav})
    if (b->isEnabled()) return true;
  return false;
}

}  // namespace

// What someone who has just installed the viewer runs into first: the
// window must always describe what is selected, say at once what is wrong
// with a file, and open its dialogs and windows where they are of use.
class FirstUseTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;

  QString Bundle(const std::string& file, const std::vector<std::pair<std::string, Bytes>>& entries) {
    vld::LabWriter w;
    for (const auto& [name, data] : entries) w.Add(name, data);
    w.Write(dir_.File(file));
    return Q(dir_.File(file));
  }

  // A bundle whose file ends inside its second entry: the tile after it lies wholly past the end.
  QString ShortBundle() {
    const QString path =
        Bundle("short.lab", {{"first.til", Bytes(50, 1)}, {"cut.tab", Bytes(100, 'x')}, {"gone.til", Bytes(50, 1)}});
    vld::TLabReader reader;
    reader.Open(FsPath(path));
    const std::int64_t end = reader.GetOffset(1) + 10;
    reader.Close();
    std::filesystem::resize_file(FsPath(path), static_cast<std::uintmax_t>(end));
    return path;
  }

 private slots:
  void TheButtonsAndLabelsDescribeTheSelectedEntryOrNothing() {
    QString path = Bundle("state.lab", {{"a.til", Bytes(5, 1)}, {"s.lua", Bytes(3, 1)}, {"b.aif", Bytes(4, 1)}});
    TViewerFixture f;
    f.Open(path);
    TMainForm& m = f.Main();
    f.Select(2);
    f.Select(1);  // a script names what Enter opens, not the sound before it
    QCOMPARE(m.btAction->text(), QString(kScriptCaption));
    QVERIFY(m.btAction->isEnabled());
    QVERIFY(!m.btSaveWav->isEnabled());

    // A filter that matches nothing leaves nothing on show that could be acted on.
    m.List()->edFilter->setText("nothing matches this");
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 0);
    QCOMPARE(Labels(m), QStringList({"", "", "", ""}));
    QVERIFY(!AnyButtonOn(m));
    m.btAction->click();
    m.btSaveFile->click();
    QVERIFY(f.platform.saveRequests.empty() && f.platform.modalShown.empty());
    m.List()->edFilter->clear();
    QCOMPARE(m.lFilename->text(), m.FileBox->itemText(m.FileBox->currentRow()));
  }

  void AShortBundleSaysSoOnceAndRefusesWhatIsMissing() {
    TViewerFixture f;
    f.Open(ShortBundle());
    TMainForm& m = f.Main();
    const QString shorter = "This bundle is shorter than its directory says: 2 entries cannot be read.";
    QCOMPARE(f.platform.BoxTexts(), QStringList{shorter});
    QCOMPARE(m.StatusText(1), shorter);
    QCOMPARE(m.FileBox->count(), 3);

    // The tile past the end is refused in words that say why, and no empty viewer opens.
    f.platform.ClearRecords();
    f.Select(2);
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kPastEndRefusal});
    QVERIFY(f.platform.modalShown.empty());
    QVERIFY(!m.ImageForm()->isVisible());
    f.Select(1);  // cut short: a view needs all of it
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.BoxTexts(), QStringList({vld::kPastEndRefusal, vld::kPastEndRefusal}));

    // Extract all writes what exists and names what it could not.
    f.platform.ClearRecords();
    f.platform.folderAnswers.push_back(Q(dir_.File("out")));
    m.btnExtractAll();
    WaitIdle(m);
    QVERIFY(std::filesystem::exists(dir_.File("out/short/first.til")));
    QVERIFY(!std::filesystem::exists(dir_.File("out/short/gone.til")));
    QVERIFY(
        f.platform.BoxTexts().join("\n").contains("1 entries lie past the end of the bundle and were not "
                                                  "written. The bundle is shorter than its directory says.\n"
                                                  "gone.til"));
  }

  void TheOpenDialogKeepsATypedNameWithAllFilesAndListsMovies() {
    std::unique_ptr<IPlatform> platform = CreateQtPlatform();
    QStringList filters;
    QString bundleSuffix, allSuffix;
    bool found = false;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      auto* combo = dialog ? dialog->findChild<QComboBox*>("fileTypeCombo") : nullptr;
      if (combo) {
        found = true;
        filters = dialog->nameFilters();
        bundleSuffix = dialog->defaultSuffix();
        // As a click on "All files" in the type list, and back.
        const int all = combo->count() - 1;
        emit combo->activated(all);
        emit combo->textActivated(combo->itemText(all));
        allSuffix = dialog->defaultSuffix();
      }
      if (modal) modal->close();
    });
    TViewerFixture f;
    std::optional<QString> chosen = platform->OpenFile(
        &f.Main(), "Thrapwick Bundles (*.lab;*.m4b)|*.lab;*.m4b|Bink animations (*.bik)|*.bik", "lab");
    QVERIFY(!chosen);
    QVERIFY(found);
    QCOMPARE(bundleSuffix, QString("lab"));
    QCOMPARE(allSuffix, QString());
    QCOMPARE(filters, QStringList({"Thrapwick Bundles (*.lab *.m4b)", "Bink animations (*.bik)", "All files (*)"}));
    // The window asks for both kinds.
    f.Main().OpenLAB1Click();
    QVERIFY(f.platform.openFilters.last().contains("Bink animations (*.bik)|*.bik"));
  }

  void TheStatusMessageTakesTheFreeWidthAndShowsInFullAsTooltip() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    m.resize(1200, 500);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    const QString message = "Save the movie (Save file...) and open the saved file to play it.";
    m.Session().SetStatus(1, message);
    QTRY_VERIFY(m.StatusPanel[1]->width() > 800);
    QVERIFY(m.StatusPanel[1]->fontMetrics().horizontalAdvance(message) < m.StatusPanel[1]->width());
    QCOMPARE(m.StatusPanel[1]->toolTip(), message);
    // A message longer than the window does not widen it.
    m.Session().SetStatus(1, QString(400, 'x'));
    QTest::qWait(20);
    QCOMPARE(m.width(), 1200);
    m.close();
  }

  void HexViewsOpenOnTheMainWindowEachOffsetAndOnScreen() {
    QString path = Bundle("hex.lab", {{"a.dat", Bytes(100, 1)}});
    TViewerFixture f;
    TMainForm& m = f.Main();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    f.Open(path);
    m.acHexView->trigger();
    m.acHexView->trigger();
    QCOMPARE(m.Actions()->HexViews().size(), size_t(2));
    THexViewForm* first = m.Actions()->HexViews()[0];
    THexViewForm* second = m.Actions()->HexViews()[1];
    const QRect screen = m.screen()->availableGeometry();
    for (THexViewForm* view : {first, second}) {
      QVERIFY2(screen.contains(view->geometry()) || view->minimumSizeHint().width() > screen.width(),
               qPrintable(QString("%1,%2 %3x%4 on %5x%6")
                              .arg(view->x())
                              .arg(view->y())
                              .arg(view->width())
                              .arg(view->height())
                              .arg(screen.width())
                              .arg(screen.height())));
      QVERIFY(view->geometry().contains(m.frameGeometry().center()));  // over the window it belongs to
    }
    QVERIFY2(second->pos() != first->pos(), qPrintable(QString("%1,%2 %3x%4 min %5x%6 main %7,%8 screen %9")
                                                           .arg(first->x())
                                                           .arg(first->y())
                                                           .arg(first->width())
                                                           .arg(first->height())
                                                           .arg(first->minimumSizeHint().width())
                                                           .arg(first->minimumSizeHint().height())
                                                           .arg(m.frameGeometry().center().x())
                                                           .arg(m.frameGeometry().center().y())));
    m.close();
  }

  void TheListKeepsTheWidthTheUserGaveItWhicheverEntryIsSelected() {
    QString path = Bundle("w.lab", {{"a.dat", Bytes(3, 1)}, {"b.sur", Bytes(3, 1)}, {"c.lua", Bytes(3, 1)}});
    TViewerFixture f;
    TMainForm& m = f.Main();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    f.Open(path);
    m.Splitter1->setSizes({m.width(), 0});  // the panel as narrow as it allows
    QTest::qWait(20);
    const QList<int> sizes = m.Splitter1->sizes();
    for (int row : {1, 2, 0, 1}) {
      f.Select(row);
      QTest::qWait(10);
      QCOMPARE(m.Splitter1->sizes(), sizes);
    }
    m.close();
  }

  void KeyboardReachesTheListAndStopsWork() {
    QString path = Bundle("keys.lab", {{"one.tab", Bytes(3, 'a')}, {"two.tab", Bytes(3, 'b')}, {"x.dat", {1}}});
    TViewerFixture f;
    TMainForm& m = f.Main();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    f.Open(path);
    QVERIFY(m.mnView->actions().contains(m.acFindEntry));
    QCOMPARE(m.acFindEntry->shortcut(), QKeySequence("Ctrl+F"));
    m.acFindEntry->trigger();
    QVERIFY(m.List()->edFilter->hasFocus());
    QTest::keyClicks(m.List()->edFilter, ".tab");
    QTest::keyClick(m.List()->edFilter, Qt::Key_Down);
    QVERIFY(m.FileBox->hasFocus());
    QCOMPARE(m.FileBox->currentRow(), 0);
    // Enter with a single match runs its action.
    m.List()->edFilter->setFocus();
    m.List()->edFilter->setText("two");
    QTest::keyClick(m.List()->edFilter, Qt::Key_Return);
    WaitIdle(m);
    QCOMPARE(m.Actions()->LastAction(), QString(".tab"));
    QCOMPARE(m.TextViewerForm()->ShownEntryName(), std::string("two.tab"));
  }

  void EscapeCancelsARunningBatch() {
    std::vector<std::pair<std::string, Bytes>> entries;
    for (int i = 0; i < 300; ++i) entries.push_back({"e" + std::to_string(i) + ".dat", Bytes(1 << 20, 1)});
    QString path = Bundle("esc.lab", entries);
    entries.clear();
    TViewerFixture f;
    TMainForm& m = f.Main();
    f.Open(path);
    f.platform.folderAnswers.push_back(Q(dir_.File("esc")));
    QObject::connect(f.windows.extract->ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
      if (value > 0 && m.Busy()) m.acCancelWork->trigger();  // Escape
    });
    m.Extractall1->trigger();
    WaitIdle(m);
    QVERIFY2(m.StatusText(1).startsWith("Extraction cancelled: "), qPrintable(m.StatusText(1)));
    QVERIFY(m.InputEnabled());
    QCOMPARE(m.acCancelWork->shortcut(), QKeySequence(Qt::Key_Escape));
  }

  void SaveDialogsStartWhereThatKindOfFileWentLast() {
    QString path = Bundle("dialogs.lab", {{"a.dat", Bytes(3, 1)}, {"b.dat", Bytes(3, 2)}});
    std::filesystem::create_directories(dir_.File("raw"));
    ViewerSettings().remove("saveFolders");
    TViewerFixture f;
    TMainForm& m = f.Main();
    f.Open(path);
    f.platform.saveAnswers.push_back(Q(dir_.File("raw/a.dat")));
    m.btSaveFile->click();
    WaitIdle(m);
    QCOMPARE(Absolute(f.platform.saveRequests.at(0).startFolder),
             Absolute(Q(dir_.Path())));  // the bundle's folder at first
    f.Select(1);
    f.platform.saveAnswers.push_back("");
    m.btSaveFile->click();
    QCOMPARE(Absolute(f.platform.saveRequests.at(1).startFolder), Absolute(Q(dir_.File("raw"))));
    // Another kind of file still starts beside the bundle, and the folder outlives the window.
    m.Session().RunSaveDialog("x.txt", "Text files (*.txt)|*.txt", "txt", "txt");
    QCOMPARE(Absolute(f.platform.saveRequests.at(2).startFolder), Absolute(Q(dir_.Path())));
    TViewerFixture again;
    QCOMPARE(Absolute(again.Main().Session().SaveFolder("raw")), Absolute(Q(dir_.File("raw"))));
    ViewerSettings().remove("saveFolders");
  }
};

QTEST_MAIN(FirstUseTest)
#include "FirstUseTest.moc"
