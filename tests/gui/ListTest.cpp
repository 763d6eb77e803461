#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/browser/HexView.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "gui/HexViewForm.h"
#include "gui/ImageViewer.h"
#include "samples/Demo.h"
#include "samples/ImageSamples.h"

namespace smp = vld::samples;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

// The list pane: filter, folder view, PNG export, multi-select, drag-out,
// copying names and the recent files, on the demo bundle.
class ListTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;
  smp::DemoFiles demo_;

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);  // settings go to a scratch place
    demo_ = smp::WriteDemo(dir_.File("demo"));
  }

  void FilterHidesRowsButActionsUseEntryIndexes() {
    TViewerFixture f;
    f.Open(Q(demo_.bundle));
    TMainForm& m = f.Main();
    m.acFindEntry->trigger();
    m.List()->edFilter->setText("ORB");
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 8);
    QCOMPARE(m.StatusText(0), QString("8 of 32 files"));
    QCOMPARE(m.FileBox->currentRow(), 12);  // the first orb, by its entry index
    m.FileBox->setCurrentRow(15);
    QCOMPARE(m.lFilename->text(), QString("textures\\pulse\\orb3.tga"));
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.windows.image->windowTitle(), QString("Image viewer - textures\\pulse\\orb3.tga"));

    m.List()->edFilter->setText("*\\hero.*");  // wildcards match the whole name
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 4);
    m.List()->edFilter->clear();
    m.List()->cbKind->setCurrentIndex(2);  // Sounds
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 3);
    m.List()->cbKind->setCurrentIndex(0);
    QCOMPARE(m.StatusText(0), QString("32 files in the bundle"));
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 32);
  }

  void FolderViewFiltersToTheChosenFolder() {
    TViewerFixture f;
    f.Open(Q(demo_.bundle));
    TMainForm& m = f.Main();
    QVERIFY(!m.List()->tvFolders->isVisible());
    m.show();
    m.acFolderView->trigger();
    QVERIFY(m.List()->tvFolders->isVisible());
    QList<QTreeWidgetItem*> found =
        m.List()->tvFolders->findItems("textures (12)", Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    m.List()->tvFolders->setCurrentItem(found[0]);
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 12);
    QCOMPARE(m.StatusText(0), QString("12 of 32 files"));
    m.acFolderView->trigger();
    QCOMPARE(m.FileBox->Model()->VisibleCount(), 32);
  }

  void SaveAsPngHoldsTheBmpsPixels() {
    TViewerFixture f;
    f.Open(Q(demo_.bundle));
    TMainForm& m = f.Main();
    vld::TLabReader reader;
    reader.Open(demo_.bundle);
    for (const char* entry : {"textures\\sign.tga", "gfx\\backgrounds\\beach.til"}) {
      m.FileBox->setCurrentRow(reader.FindEntry(entry));
      QVERIFY(m.Panel()->btSavePNG->isEnabled());
      const std::filesystem::path png = dir_.File("out.png"), bmp = dir_.File("out.bmp");
      f.platform.saveAnswers.push_back(Q(png));
      m.Panel()->btSavePNG->click();
      WaitIdle(m);
      f.platform.saveAnswers.push_back(Q(bmp));
      m.btSaveBMP->click();
      WaitIdle(m);
      QImage image(Q(png), "PNG");  // Qt's own reader
      QVERIFY(!image.isNull());
      vld::TPixelImage expected = smp::ReadBMP32(vld::ReadWholeFile(bmp));
      QCOMPARE(image.width(), expected.Width);
      QCOMPARE(image.height(), expected.Height);
      for (int y = 0; y < expected.Height; ++y)
        for (int x = 0; x < expected.Width; ++x) {
          const std::uint8_t* p = expected.At(x, y);
          if (image.pixel(x, y) != qRgba(p[2], p[1], p[0], p[3]))
            QFAIL(qPrintable(QString("%1 at %2,%3").arg(entry).arg(x).arg(y)));
        }
    }
    m.FileBox->setCurrentRow(reader.FindEntry("sound\\chord.aif"));
    QVERIFY(!m.Panel()->btSavePNG->isEnabled());
  }

  void SavesTheSelectionAndDragsItOut() {
    TViewerFixture f;
    f.Open(Q(demo_.bundle));
    TMainForm& m = f.Main();
    vld::TLabReader reader;
    reader.Open(demo_.bundle);
    const int title = reader.FindEntry("gfx\\Title.BMP"), text = reader.FindEntry("text\\strings.tab");
    QItemSelection sel;
    for (int e : {title, text}) sel.select(m.FileBox->Model()->index(e), m.FileBox->Model()->index(e));
    m.FileBox->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    QCOMPARE(m.FileBox->SelectedEntries(), (std::vector<int>{title, text}));

    f.platform.folderAnswers.push_back(Q(dir_.File("sel")));
    m.acSaveSelectedPng->trigger();
    WaitIdle(m);
    QVERIFY(!QImage(Q(dir_.File("sel/gfx/Title.png")), "PNG").isNull());
    QCOMPARE(vld::ReadWholeFile(dir_.File("sel/text/strings.tab.txt")), reader.ReadEntryBytes(text));
    QCOMPARE(m.StatusText(1), "2 entries written to " + Q(dir_.File("sel")));

    m.List()->acCopyName->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString("gfx\\Title.BMP\ntext\\strings.tab"));

    // The drag's files exist when the drop is delivered, with safe names.
    QModelIndexList rows = {m.FileBox->Model()->index(title), m.FileBox->Model()->index(text)};
    std::unique_ptr<QMimeData> mime(m.FileBox->Model()->mimeData(rows));
    QVERIFY(mime);
    QCOMPARE(mime->urls().size(), 2);
    QVERIFY(mime->urls()[0].toLocalFile().endsWith("/Title.BMP"));
    QCOMPARE(vld::ReadWholeFile(FsPath(mime->urls()[1].toLocalFile())), reader.ReadEntryBytes(text));
  }

  // A drag whose files could not all be written carries none, and says why.
  void ADragThatCannotBeWrittenCarriesNothing() {
    TViewerFixture f;
    f.Open(Q(demo_.bundle));
    TMainForm& m = f.Main();
    const int title = m.Reader()->FindEntry("gfx\\Title.BMP");
    // A folder that is not empty stands where the file must go, in whichever
    // folder the next drag gets.
    for (int k = 1; k <= 100; ++k)
      std::filesystem::create_directories(m.Session().TempDir().File("drag" + std::to_string(k)) / "Title.BMP" /
                                          "in the way");
    std::unique_ptr<QMimeData> mime(m.FileBox->Model()->mimeData({m.FileBox->Model()->index(title)}));
    QVERIFY(!mime || mime->urls().isEmpty());
    QCOMPARE(f.platform.BoxTexts().size(), 1);
    QVERIFY(f.platform.BoxTexts()[0].startsWith("The dragged entries could not be written: "));
  }

  void RecentFilesSurviveARestart() {
    {
      TViewerFixture f;
      f.Open(Q(demo_.bundle));
    }
    TViewerFixture again;
    QVERIFY(again.Main().List()->RecentFiles().value(0).endsWith("demo.lab"));
    QVERIFY(again.Main().mnOpenRecent->isEnabled());
    // A recent file that has gone is dropped with a word in the status bar.
    const QString gone = Q(dir_.File("gone.lab"));
    vld::LabWriter().Write(dir_.File("gone.lab"));
    again.Open(gone);
    // Closed before it goes: Windows cannot remove a file that is open.
    again.Open(Q(demo_.bundle));
    std::filesystem::remove(dir_.File("gone.lab"));
    QVERIFY(again.Main().List()->RecentFiles().value(1).endsWith("gone.lab"));
    again.Main().mnOpenRecent->actions().value(1)->trigger();
    QVERIFY(again.Main().StatusText(1).contains("no longer exists"));
    QVERIFY(!again.Main().List()->RecentFiles().contains(gone));
    QVERIFY(again.Main().List()->RecentFiles().value(0).endsWith("demo.lab"));
  }

  void EntriesWithoutAViewOpenAsBytesAndAnyEntryOnCtrlH() {
    TViewerFixture f;
    f.Open(Q(demo_.bundle));
    TMainForm& m = f.Main();
    const vld::TLabReader& reader = *m.Reader();
    int costume = -1;
    for (int i = 0; i < reader.Count(); ++i)
      if (reader.GetName(i) == "models\\actors\\hero\\hero.cos") costume = i;
    QVERIFY(costume >= 0);
    m.FileBox->setCurrentRow(costume);
    QCOMPARE(m.btAction->text(), QString("Hex view"));
    QVERIFY(m.btAction->isEnabled());
    m.btAction->click();
    QCOMPARE(m.Actions()->HexViews().size(), size_t(1));
    THexViewForm* view = m.Actions()->HexViews()[0];
    QCOMPARE(view->windowTitle(), QString("Hex view - models\\actors\\hero\\hero.cos"));
    QCOMPARE(view->Source().size, std::int64_t(reader.GetSize(costume)));
    const vld::Bytes bytes = reader.ReadEntryBytesAt(costume);
    const QString first =
        Latin1(vld::FormatHexLine(0, vld::ByteSpan(bytes.data(), std::min<std::size_t>(16, bytes.size())),
                                  vld::HexOffsetDigits(view->Source().size)));
    QCOMPARE(view->Area->VisibleLines().value(0), first);

    // Ctrl+H shows any entry as bytes, beside its own view; a view stays
    // readable when the window opens another file.
    m.FileBox->setCurrentRow(0);
    QCOMPARE(m.btAction->text(), QString("View image"));
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QTest::keyClick(&m, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(m.Actions()->HexViews().size(), size_t(2));
    THexViewForm* tile = m.Actions()->HexViews()[1];
    QCOMPARE(tile->windowTitle(), QString("Hex view - gfx\\backgrounds\\beach.til"));
    f.Open(Q(demo_.bink));
    QCOMPARE(vld::ReadHexRange(tile->Source(), 0, 2), (vld::Bytes{0x1F, 0x8B}));  // the gzip magic of the tile

    // The stand-alone animation file is shown whole.
    m.acHexView->trigger();
    QCOMPARE(m.Actions()->HexViews().size(), size_t(3));
    QCOMPARE(m.Actions()->HexViews()[2]->Source().size, std::int64_t(std::filesystem::file_size(demo_.bink)));
    QVERIFY(m.Actions()->HexViews()[2]->windowTitle().endsWith(Q(demo_.bink.filename())));
    m.close();
    QTRY_VERIFY(std::all_of(m.Actions()->HexViews().begin(), m.Actions()->HexViews().end(),
                            [](const QPointer<THexViewForm>& w) { return w.isNull() || !w->isVisible(); }));
  }

  void AFarRowIsShownRightAfterOpeningWhileTheRestIsLaidOut() {
    // The list lays its rows out in batches after it is shown: a row far down,
    // chosen at once, still comes into view and answers as its entry.
    vld::LabWriter w;
    for (int i = 0; i < 20000; ++i)
      w.Add("f" + std::to_string(i % 50) + "\\e" + std::to_string(i) + ".dat", vld::Bytes(1, 1));
    w.Write(dir_.File("many.lab"));
    TViewerFixture f;
    TMainForm& m = f.Main();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    f.Open(Q(dir_.File("many.lab")));
    m.FileBox->setCurrentRow(19990);
    m.FileBox->scrollTo(m.FileBox->currentIndex());
    QCOMPARE(m.lFilename->text(), QString("f40\\e19990.dat"));
    QTRY_VERIFY(m.FileBox->viewport()->rect().contains(m.FileBox->visualRect(m.FileBox->currentIndex())));
    QTRY_VERIFY(m.FileBox->verticalScrollBar()->maximum() > 19000);
    QCOMPARE(m.FileBox->indexAt(m.FileBox->visualRect(m.FileBox->currentIndex()).center()).row(), 19990);
  }
};

QTEST_MAIN(ListTest)
#include "ListTest.moc"
