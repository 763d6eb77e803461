#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabWriter.h"
#include "gui/DebugWindow.h"
#include "gui/ImageViewer.h"
#include "gui/TextViewer.h"
#include "samples/Demo.h"
#include "samples/LabSamples.h"

using vld::Bytes;
using vld::LabWriter;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

struct ButtonState {
  bool action, saveBmp, saveWav, saveFile;
};

ButtonState Buttons(TMainForm& m) {
  return {m.btAction->isEnabled(), m.btSaveBMP->isEnabled(), m.btSaveWav->isEnabled(), m.btSaveFile->isEnabled()};
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;

  QString Bundle(const std::string& file, const std::vector<std::pair<std::string, Bytes>>& entries) {
    LabWriter w;
    for (const auto& [name, data] : entries) w.Add(name, data);
    w.Write(dir_.File(file));
    return Q(dir_.File(file));
  }
  QString RawFile(const std::string& file, Bytes bytes) { return Q(dir_.Write(file, bytes)); }

 private slots:
  void StartsEmptyWithTheDesignedLayout() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    QCOMPARE(m.windowTitle(), QString("VLD Resource Viewer 2.6"));
    QCOMPARE(m.size(), QSize(635, 468));
    QCOMPARE(m.gbFileInfo->title(), QString("File info"));
    QCOMPARE(m.gbActions->title(), QString("Actions"));
    QCOMPARE(m.btAction->text(), QString("[Action]"));
    QCOMPARE(m.btSaveBMP->text(), QString("Save as BMP..."));
    QCOMPARE(m.btSaveFile->text(), QString("Save file..."));
    QCOMPARE(m.btSaveWav->text(), QString("Save as Wave..."));
    for (QLabel* l : {m.lFilename, m.lOffset, m.lSize, m.lType}) QVERIFY(l->text().isEmpty());
    ButtonState b = Buttons(m);
    QVERIFY(!b.action && !b.saveBmp && !b.saveWav && !b.saveFile);
    QCOMPARE(m.StatusPanel[0]->width(), 150);
    // The message panel takes the width the count leaves (FirstUseTest measures it).
    QCOMPARE(m.File1->title(), QString("&File"));
    QCOMPARE(m.OpenLAB1->text(), QString("&Open bundle..."));
    QCOMPARE(m.OpenLAB1->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(m.Exit1->text(), QString("E&xit"));
    QCOMPARE(m.Exit1->shortcut(), QKeySequence("Ctrl+X"));
    QCOMPARE(m.Batchripping1->title(), QString("&Batch ripping..."));
    QCOMPARE(m.Extractall1->text(), QString("Extract &all..."));
    QCOMPARE(m.SavealltilesasBMPs1->text(), QString("Save all tiles as BMPs..."));
    QCOMPARE(m.Help1->title(), QString("&Help"));
    QCOMPARE(m.About1->text(), QString("&About..."));
    QVERIFY(!m.File().IsBundle() && !m.File().SingleBink() && !m.File().SingleSmush() && !m.Actions()->PlayerOpen());
    QCOMPARE(f.windows.text->windowTitle(), QString("Text viewer"));
    QVERIFY(!f.windows.image->isVisible() && !f.windows.debug->isVisible());
  }

  void OpensABundleThroughTheDialog() {
    QString path = Bundle("data001.lab", {{"gfx\\Sky.TIL", Bytes(1000, 1)}, {"b.lua", Bytes(3, 2)}});
    TViewerFixture f;
    f.Open(path);
    TMainForm& m = f.Main();
    QCOMPARE(f.platform.openFilters,
             QStringList{"Thrapwick Bundles (*.lab;*.m4b)|*.lab;*.m4b|Bink animations (*.bik)|*.bik"});
    QCOMPARE(f.platform.openDefaultExts, QStringList{"lab"});
    QVERIFY(f.platform.boxes.empty());
    QVERIFY(m.File().IsBundle());
    QCOMPARE(PathQt(m.File().Path()), path);
    QCOMPARE(m.FileBox->count(), 2);
    QCOMPARE(m.FileBox->currentRow(), 0);
    QCOMPARE(m.StatusText(0), QString("2 files in the bundle"));
    QCOMPARE(m.StatusText(1), QString());
    QCOMPARE(m.lFilename->text(), QString("gfx\\Sky.TIL"));
    QCOMPARE(m.lOffset->text(), QString("0x00000046"));  // 20 + 2 records of 16 + 18 bytes of names
    QCOMPARE(m.lSize->text(), QString("1.000 bytes"));
    QCOMPARE(m.lType->text(), QString("Tile"));
    QCOMPARE(m.btAction->text(), QString("View image"));
    ButtonState b = Buttons(m);
    QVERIFY(b.action && b.saveBmp && !b.saveWav && b.saveFile);
  }

  void SelectionFollowsTheTypeTable() {
    QString path = Bundle("types.lab", {{"a.til", Bytes(1, 0)},
                                        {"s.lua", Bytes(1, 0)},
                                        {"x.tab.lua", Bytes(1, 0)},
                                        {"A.BMP", Bytes(65535, 0)},
                                        {"noext", Bytes(1, 0)},
                                        {"v.wvc", Bytes(1, 0)},
                                        {"m.bik", Bytes(1, 0)}});
    TViewerFixture f;
    f.Open(path);
    TMainForm& m = f.Main();

    f.Select(1);  // a script's button says what Enter runs, not what the tile before it did
    QCOMPARE(m.lType->text(), QString("Lua script"));
    QCOMPARE(m.btAction->text(), QString("Show Lua source"));
    QVERIFY(m.btAction->isEnabled() && m.btSaveFile->isEnabled());

    f.Select(2);  // ".tab" is tested before ".lua" by the type table
    QCOMPARE(m.lType->text(), QString("Text table"));
    QCOMPARE(m.btAction->text(), QString("Show text"));

    f.Select(3);
    QCOMPARE(m.lFilename->text(), QString("A.BMP"));
    QCOMPARE(m.lType->text(), QString("Bitmap image"));
    QCOMPARE(m.lSize->text(), QString("65.535 bytes"));

    f.Select(0);
    f.Select(4);  // a type without an action of its own is shown as bytes
    QCOMPARE(m.lType->text(), QString("unknown"));
    QCOMPARE(m.btAction->text(), QString("Hex view"));
    ButtonState b = Buttons(m);
    QVERIFY(b.action && !b.saveBmp && !b.saveWav && b.saveFile);

    f.Select(5);
    QCOMPARE(m.btAction->text(), QString("Play WVC"));
    b = Buttons(m);
    QVERIFY(b.action && !b.saveBmp && b.saveWav && b.saveFile);

    f.Select(6);  // a movie inside a bundle
    QCOMPARE(m.lType->text(), QString("Bink animation"));
  }

  void EnterAndDoubleClickRunTheDispatchedAction() {
    QString path = Bundle("act.lab", {{"x.tab.lua", Bytes(1, 0)}, {"plain.tab", Bytes(1, 0)}});
    TViewerFixture f;
    f.Open(path);
    TMainForm& m = f.Main();
    QVERIFY(m.btAction->isEnabled());
    QTest::keyClick(m.FileBox, Qt::Key_Return);
    WaitIdle(m);
    QCOMPARE(m.Actions()->LastAction(), QString(".lua"));  // ".lua" is dispatched before ".tab"

    f.Select(1);
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(m.Actions()->LastAction(), QString(".tab"));

    f.Select(0);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QRect rect = m.FileBox->EntryRect(0);
    // A double click is a click followed by the double-click event.
    QTest::mouseClick(m.FileBox->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(m.FileBox->viewport(), Qt::LeftButton, {}, rect.center());
    WaitIdle(m);
    QCOMPARE(m.Actions()->LastAction(), QString(".lua"));
    m.hide();
  }

  void RejectsOtherFilesWithTheirMessages() {
    const QString notLab = "This is not a LAB bundle.\r\n\r\nSee the readme.txt for more information about this.";
    const QString mp3 =
        "This is not a LAB bundle.\r\nThis an MP3 file used for music. You need an external MP3 player to play "
        "it.\r\nSee the readme.txt for more information about this.";
    struct Case {
      Bytes bytes;
      QString message;
    } cases[] = {{{0xFF, 0xFB, 0x90, 0x00}, mp3},
                 {{'R', 'I', 'F', 'F', 0, 0}, mp3},
                 {{'P', 'K', 3, 4}, notLab},
                 {{'L', 'A'}, notLab},  // a short file counts its missing bytes as zero
                 {{0xFF, 0xEB}, notLab}};
    QString good = Bundle("good.lab", {{"a.til", Bytes(1, 0)}});
    int n = 0;
    for (const Case& c : cases) {
      TViewerFixture f;
      f.Open(good);
      f.platform.ClearRecords();
      // What the window shows behind the refusal: nothing of the bundle
      // before, and no loading text left standing.
      QStringList behindBox;
      f.platform.onBox = [&](const TBoxShown&) {
        behindBox = {f.Main().StatusText(0), f.Main().StatusText(1), f.Main().lFilename->text(),
                     f.Main().lType->text()};
      };
      f.Open(RawFile("reject" + std::to_string(n++) + ".bin", c.bytes));
      QCOMPARE(f.platform.BoxTexts(), QStringList{c.message});
      QCOMPARE(f.platform.boxes[0].kind, BoxKind::Error);
      QCOMPARE(behindBox, QStringList({"", "", "", ""}));
      QVERIFY(f.Main().StatusHistory().last().isEmpty());
      QVERIFY(f.Main().StatusHistory().contains("Loading LAB \"" + PathQt(f.Main().File().Path()) + "\"..."));
      QCOMPARE(f.Main().FileBox->count(), 0);
      QVERIFY(!f.Main().File().IsBundle() && !f.Main().Reader());
      QCOMPARE(f.Main().StatusText(1), QString());
      QVERIFY(!Buttons(f.Main()).saveFile);
      f.Main().btnAction();  // an empty list runs nothing
      WaitIdle(f.Main());
      QCOMPARE(f.Main().Actions()->LastAction(), QString());
    }
  }

  void OpensStandAloneAnimations() {
    Bytes bink = {'B', 'I', 'K', 'i', 1, 2, 3, 4, 5, 6};
    Bytes smush = {'S', 'M', 'U', 'S', 0, 0};
    TViewerFixture f;
    TMainForm& m = f.Main();
    f.Open(RawFile("intro.smush.bik", smush));
    QCOMPARE(f.platform.BoxTexts(), QStringList{"Smush"});
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Information);
    QVERIFY(m.File().SingleSmush() && !m.File().SingleBink() && !m.File().IsBundle());
    QCOMPARE(Latin1(m.File().DisplayName()), QString("intro.bik"));
    QCOMPARE(m.FileBox->count(), 1);
    QCOMPARE(m.lOffset->text(), QString("0x00000000"));
    QCOMPARE(m.lSize->text(), QString("6 bytes"));
    QCOMPARE(m.lType->text(), QString("Smush wrapped Bink animation"));
    QCOMPARE(m.btAction->text(), QString("Play animation"));
    ButtonState b = Buttons(m);
    QVERIFY(b.action && !b.saveBmp && !b.saveWav && b.saveFile);
    QCOMPARE(m.StatusText(0), QString());

    f.platform.ClearRecords();
    f.Open(RawFile("noextension", bink));
    QCOMPARE(f.platform.BoxTexts(), QStringList{"Bink"});
    QVERIFY(m.File().SingleBink() && !m.File().SingleSmush());
    QCOMPARE(Latin1(m.File().DisplayName()), QString(".bik"));
    QCOMPARE(m.File().SingleSize(), 10);
    QCOMPARE(m.lType->text(), QString("Bink animation"));
    QCOMPARE(m.lSize->text(), QString("10 bytes"));
  }

  void ASecondBundleReplacesTheFirst() {
    QString first = Bundle("first.lab", {{"one.til", Bytes(5, 0)}, {"two.tga", Bytes(6, 0)}});
    QString second = Bundle("second.lab", {{"three.aif", Bytes(7, 0)}});
    TViewerFixture f;
    f.Open(first);
    f.Open(second);
    TMainForm& m = f.Main();
    QCOMPARE(m.FileBox->count(), 1);
    QCOMPARE(m.FileBox->itemText(0), QString("three.aif"));
    QCOMPARE(m.Reader()->Count(), 1);
    QCOMPARE(m.lFilename->text(), QString("three.aif"));
    QCOMPARE(m.StatusText(0), QString("1 files in the bundle"));
  }

  void AnEmptyBundleShowsNothingOfThePreviousOne() {
    QString full = Bundle("full.lab", {{"one.til", Bytes(5, 0)}});
    QString empty = Bundle("empty.lab", {});
    TViewerFixture f;
    f.Open(full);
    TMainForm& m = f.Main();
    QCOMPARE(m.lFilename->text(), QString("one.til"));
    m.ClearStatusHistory();
    f.Open(empty);
    QCOMPARE(m.FileBox->count(), 0);
    QCOMPARE(m.StatusText(0), QString("0 files in the bundle"));
    QCOMPARE(m.StatusText(1), QString());
    QCOMPARE(m.StatusHistory(), QStringList({"Loading LAB \"" + empty + "\"...", ""}));
    QCOMPARE(m.lFilename->text(), QString());
    QCOMPARE(m.lSize->text(), QString());
    ButtonState b = Buttons(m);
    QVERIFY(!b.action && !b.saveBmp && !b.saveWav && !b.saveFile);
    QVERIFY(m.File().IsBundle());
  }

  void ADamagedDirectoryOpensWhatExistsAndSaysSo() {
    vld::samples::TRawLab lab;
    lab.count = 0x7FFFFFFF;
    lab.records.push_back({0, 0, 4});
    lab.namesPosition = vld::kNamesOffsetConstant + 36;
    Bytes name = vld::samples::MaskedName("only.til");
    lab.tail = name;
    TViewerFixture f;
    f.Open(RawFile("damaged.lab", lab.Build()));
    TMainForm& m = f.Main();
    QCOMPARE(m.FileBox->itemText(0), QString("only.til"));
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Warning);
    QVERIFY(f.platform.boxes[0].text.startsWith("The bundle is damaged"));
    QVERIFY(f.platform.boxes[0].text.contains("its directory announces 2147483647 entries"));
    QVERIFY(m.FileBox->count() >= 1 && m.FileBox->count() <= 2);

    // A name without its end mark is named as such, as vldtool names it.
    vld::samples::TRawLab open;
    open.count = 1;
    open.records.push_back({0, 0, 0});
    open.namesPosition = vld::kNamesOffsetConstant + 36;
    Bytes unended = vld::samples::MaskedName("open.til");
    unended.pop_back();
    open.tail = unended;
    f.platform.boxes.clear();
    f.Open(RawFile("open.lab", open.Build()));
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY2(f.platform.boxes[0].text.contains("without an end mark"), qPrintable(f.platform.boxes[0].text));
  }

  void AFileThatCannotBeOpenedIsReportedInABox() {
    TViewerFixture f;
    f.Open(Bundle("before.lab", {{"one.til", Bytes(5, 0)}}));
    QStringList behindBox;
    f.platform.onBox = [&](const TBoxShown&) {
      behindBox = {f.Main().StatusText(0), f.Main().StatusText(1), f.Main().lFilename->text()};
    };
    f.Open(Q(dir_.File("missing.lab")));
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Error);
    QVERIFY(f.platform.boxes[0].text.contains("missing.lab"));
    QCOMPARE(behindBox, QStringList({"", "", ""}));  // no loading text behind the error
    QCOMPARE(f.Main().FileBox->count(), 0);
    QCOMPARE(f.Main().StatusText(1), QString());
  }

  void TheListTakesTheWidthItIsGivenAndKeepsIt() {
    const std::string longName = "models\\actors\\hero\\hero.animation-set.with-a-long-name.cos";
    QString path = Bundle("wide.lab", {{longName, Bytes(3, 1)}});
    int dragged = 0;
    {
      TViewerFixture f;
      TMainForm& m = f.Main();
      m.show();
      QVERIFY(QTest::qWaitForWindowExposed(&m));
      f.Open(path);
      QCOMPARE(m.Splitter1->sizes().value(0), 201);
      // A wider window widens the list as well.
      m.resize(1600, 700);
      QTRY_VERIFY(m.Splitter1->sizes().value(0) > 500);
      // The full name is the row's tooltip.
      QCOMPARE(m.FileBox->Model()->data(m.FileBox->Model()->index(0), Qt::ToolTipRole).toString(), Latin1(longName));
      // Dragging the handle gives the list the width the user chose.
      QSplitterHandle* handle = m.Splitter1->handle(1);
      const int before = m.Splitter1->sizes().value(0);
      const QPoint grip(handle->width() / 2, handle->height() / 2);
      QTest::mousePress(handle, Qt::LeftButton, {}, grip);
      QTest::mouseMove(handle, grip + QPoint(120, 0));
      QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(120, 0));
      dragged = m.Splitter1->sizes().value(0);
      QVERIFY2(dragged > before + 60, qPrintable(QString("%1 -> %2").arg(before).arg(dragged)));
      m.close();
    }
    // The next window starts as this one was left.
    TViewerFixture again;
    again.Main().show();
    QVERIFY(QTest::qWaitForWindowExposed(&again.Main()));
    QCOMPARE(again.Main().size(), QSize(1600, 700));
    QCOMPARE(again.Main().Splitter1->sizes().value(0), dragged);
    again.Main().close();
    ViewerSettings().remove("window");
  }

  void CancellingTheDialogChangesNothing() {
    QString path = Bundle("keep.lab", {{"one.til", Bytes(5, 0)}});
    TViewerFixture f;
    f.Open(path);
    f.platform.openAnswers.push_back(QString());
    f.Main().OpenLAB1->trigger();
    QCOMPARE(f.Main().FileBox->count(), 1);
    QVERIFY(f.Main().File().IsBundle());
  }

  void AboutBoxAndExit() {
    TViewerFixture f;
    f.Main().About1->trigger();
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Information);
    QStringList lines = f.platform.boxes[0].text.split("\r\n");
    QCOMPARE(lines.first(), QString("Vorlindane resource viewer 2.6"));
    QVERIFY(lines.contains("See readme.txt for more information."));
    f.Main().show();
    f.Main().Exit1->trigger();
    QVERIFY(!f.Main().isVisible());
  }

  void ClosingRemovesOnlyFilesTheProgramWrote() {
    QString path = Bundle("close.lab", {{"one.til", Bytes(5, 0)}});
    dir_.Write("tile.tmp", Bytes{1});
    dir_.Write("tga_image.tmp", Bytes{1});
    TViewerFixture f;
    f.Open(path);
    std::filesystem::path tempBik = f.Main().Session().TempDir().File("temp.bik");
    vld::WriteFileAtomic(tempBik, Bytes{1, 2});
    f.Main().close();
    QVERIFY(!std::filesystem::exists(tempBik));
    QVERIFY(std::filesystem::exists(dir_.File("tile.tmp")));
    QVERIFY(std::filesystem::exists(dir_.File("tga_image.tmp")));
    QVERIFY(!f.Main().Reader());
  }

  // Work still running when the window closes is cancelled and waited for;
  // what it would have handed back (a picture to show, a sound to play, a
  // batch's report on the bundle that is now closed) goes nowhere.
  void ClosingDropsWhatRunningWorkWouldHandBack() {
    vld::samples::DemoFiles demo = vld::samples::WriteDemo(dir_.File("closing"));
    for (const char* entry : {"textures\\wall.tga", "sound\\chord.aif", "tiles"}) {
      TViewerFixture f;
      f.Open(Q(demo.bundle));
      TMainForm& m = f.Main();
      if (std::string(entry) == "tiles") {
        f.platform.folderAnswers.push_back(Q(dir_.File("closing-tiles")));
        m.SavealltilesasBMPs1->trigger();
      } else {
        f.Select(m.Reader()->FindEntry(entry));
        m.btAction->click();
      }
      QVERIFY(m.Busy());
      m.close();
      QVERIFY(!m.Reader());
      const std::size_t boxesAtClose = f.platform.boxes.size();
      QTest::qWait(50);
      QCoreApplication::processEvents();
      QVERIFY2(f.platform.modalShown.empty(), entry);
      QVERIFY2(f.platform.player.calls.isEmpty(), entry);
      QVERIFY2(f.platform.boxes.size() == boxesAtClose, entry);
      QVERIFY(!m.Busy());
    }
  }

  void OpensTheDemoBundle() {
    vld::samples::DemoFiles demo = vld::samples::WriteDemo(dir_.File("demo"));
    TViewerFixture f;
    f.Open(Q(demo.bundle));
    QVERIFY(f.platform.boxes.empty());
    QVERIFY(f.Main().FileBox->count() >= 17);
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
