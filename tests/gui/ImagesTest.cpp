#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabWriter.h"
#include "core/images/BMPTools.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "gui/ExtractAll.h"
#include "gui/ImageViewer.h"
#include "samples/ImageSamples.h"

using vld::Bytes;
using vld::LabWriter;
namespace smp = vld::samples;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

class ImagesTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;
  Bytes tile_ = smp::BuildTileEntry(smp::BeachPicture());
  Bytes tga_ = smp::BuildTGA(smp::FlagPicture(), {.depth = 32, .runLength = true, .flipped = true});
  Bytes font_ = smp::BuildDemoFont();
  Bytes bmp_ = vld::MakeImageFile(smp::PatternPicture(100, 50)).bmp;

  QString Bundle() {
    LabWriter w;
    w.Add("sets\\beach.til", tile_);                        // 0
    w.Add("textures\\flag.tga", tga_);                      // 1
    w.Add("textures\\flag.gz.tga", smp::GzipMember(tga_));  // 2
    w.Add("fonts\\small.kfn", font_);                       // 3
    w.Add("menu\\title.bmp", bmp_);                         // 4
    w.Add("x.tga.til", tile_);                              // 5
    w.Add("empty.til", {});                                 // 6
    w.Add("broken.bmp", Bytes{'B', 'M', 1, 2});             // 7
    w.Add("noext", Bytes{1});                               // 8
    w.Add("sky.til", tile_);                                // 9
    w.Write(dir_.File("img.lab"));
    return Q(dir_.File("img.lab"));
  }

 private slots:
  void ViewerWindowAndKeys() {
    TViewerFixture f;
    TImageForm& v = *f.windows.image;
    QCOMPARE(v.windowTitle(), QString("Image viewer"));
    QCOMPARE(v.SaveasBMP1->text(), QString("Save &as BMP..."));
    QCOMPARE(v.SaveasBMP1->shortcut(), QKeySequence("Ctrl+S"));
    QCOMPARE(v.Exit1->text(), QString("E&xit"));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space}) {
      v.show();
      QTest::keyClick(&v, Qt::Key_A);
      QVERIFY(v.isVisible());
      QTest::keyClick(&v, key);
      QVERIFY(!v.isVisible());
    }
    v.show();
    QTest::mouseDClick(v.Image1, Qt::LeftButton);
    QVERIFY(!v.isVisible());
  }

  void ViewsATileAtFullSize() {
    TViewerFixture f;
    f.Open(Bundle());
    f.Main().ClearStatusHistory();
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.modalShown.size(), size_t(1));
    QCOMPARE(f.platform.modalShown[0], static_cast<QWidget*>(f.windows.image));
    QCOMPARE(f.windows.image->Picture().size(), QSize(640, 480));
    QCOMPARE(f.windows.image->OuterSize(), QSize(648, 526));
    QCOMPARE(f.windows.image->Image1->size(), QSize(640, 480));
    QCOMPARE(f.Main().StatusHistory(),
             (QStringList{"Loading tiles...", "Copying tiles...", "Still copying...", "Creating screen...", ""}));
  }

  void TgaStatusTextsAndIdenticalPlainAndCompressedOutput() {
    TViewerFixture f;
    f.Open(Bundle());
    vld::TMemoryStream plain, packed;
    f.Main().ClearStatusHistory();
    f.Main().DecodeTGAEntry(1, plain);
    QCOMPARE(f.Main().StatusHistory(), (QStringList{"Loading TGA image...", "Flipping image...", ""}));
    f.Main().ClearStatusHistory();
    f.Main().DecodeTGAEntry(2, packed);
    QCOMPARE(f.Main().StatusHistory(),
             (QStringList{"Loading TGA image...", "Uncompressing TGA image...", "Flipping image...", ""}));
    QVERIFY(plain.Data() == packed.Data());
    QCOMPARE(plain.Position(), size_t(0));
    // Decoding for a save or a surface frame leaves the viewer as it was.
    QCOMPARE(f.windows.image->OuterSize(), QSize(648, 526));

    vld::TMemoryStream none;
    f.Main().ClearStatusHistory();
    f.Main().DecodeTGAEntry(99, none);  // an invalid index leaves the stream empty and the text standing
    QVERIFY(none.Empty());
    QCOMPARE(f.Main().StatusText(1), QString("Loading TGA image..."));
  }

  void ViewsBitmapsAndFonts() {
    TViewerFixture f;
    f.Open(Bundle());
    f.Select(4);
    f.Main().btAction->click();
    WaitIdle(f.Main());
    // Narrower than a readable title: the window keeps its minimum width, the picture its place.
    QCOMPARE(f.windows.image->OuterSize(), QSize(TImageForm::kMinOuterWidth, 96));
    QCOMPARE(f.windows.image->Image1->pos(), QPoint(0, 0));
    QCOMPARE(f.windows.image->Image1->size(), QSize(100, 50));

    f.Select(3);
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.windows.image->Picture().size(), QSize(16 * 8, 16 * 12));  // cells 8 x 10, two rows apart
    QCOMPARE(f.platform.modalShown.size(), size_t(2));

    f.Select(7);  // not a readable bitmap: reported, not shown
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.modalShown.size(), size_t(2));
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Error);
  }

  void EmptyEntriesAreRefused() {
    TViewerFixture f;
    f.Open(Bundle());
    f.Select(6);
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QCOMPARE(f.platform.modalShown.size(), size_t(1));  // shown, with an empty picture
    QVERIFY(f.windows.image->Picture().isNull());

    f.platform.ClearRecords();
    f.platform.saveAnswers.push_back(Q(dir_.File("empty.bmp")));
    f.Main().btSaveBMP->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QVERIFY(!std::filesystem::exists(dir_.File("empty.bmp")));
  }

  void SaveAsBmpWritesTheDecodersBytes() {
    TViewerFixture f;
    f.Open(Bundle());
    struct Case {
      int row;
      QString suggestion;
      Bytes expected;
    } cases[] = {{0, "beach.bmp", vld::DecodeTileImage(tile_).bmp},
                 {5, "x.bmp", vld::DecodeTileImage(tile_).bmp},  // ".til" is tested before ".tga"
                 {1, "flag.bmp", vld::DecodeTGAImage(tga_).bmp},
                 {4, "title.bmp", bmp_},  // a bitmap entry byte for byte
                 {8, ".bmp", {}}};
    for (const Case& c : cases) {
      f.Select(c.row);
      std::filesystem::path out = dir_.File("save" + std::to_string(c.row) + ".bmp");
      f.platform.saveAnswers.push_back(Q(out));
      f.Main().Session().SetSaveDialogFilter("something else");
      f.Main().btSaveBMPClick();
      WaitIdle(f.Main());
      QCOMPARE(f.platform.saveRequests.back().suggestedName, c.suggestion);
      QCOMPARE(f.platform.saveRequests.back().filter, QString("Bitmap images (*.bmp)|*.bmp"));
      QCOMPARE(f.platform.saveRequests.back().defaultExt, QString("bmp"));
      if (c.expected.empty())
        QVERIFY(!std::filesystem::exists(out));
      else
        QVERIFY(vld::ReadWholeFile(out) == c.expected);
    }
    QVERIFY(f.platform.modalShown.empty());  // saving never shows the viewer
  }

  void TheViewersSaveKeepsTheLastFilter() {
    TViewerFixture f;
    f.Open(Bundle());
    f.Select(4);
    f.platform.onModal = [&](QWidget*) {
      f.platform.saveAnswers.push_back(Q(dir_.File("viewer.bmp")));
      f.windows.image->SaveasBMP1->trigger();
    };
    QCOMPARE(f.Main().Session().SaveDialogFilter(), QString("Bitmap Images (*.bmp)|*.bmp"));
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("title.bmp"));
    QCOMPARE(f.platform.saveRequests.back().filter, QString("Bitmap Images (*.bmp)|*.bmp"));
    QVERIFY(vld::ReadWholeFile(dir_.File("viewer.bmp")) == bmp_);
  }

  void SavesAllTilesIntoTheChosenFolder() {
    TViewerFixture f;
    QVERIFY(f.Main().SavealltilesasBMPs1->isVisible());
    f.Main().SavealltilesasBMPs1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{"You have to open a bundle first!"});

    f.Open(Bundle());
    f.platform.ClearRecords();
    f.platform.folderAnswers.push_back(Q(dir_.File("tiles")));
    f.Main().SavealltilesasBMPs1->trigger();
    WaitIdle(f.Main());
    Bytes beach = vld::DecodeTileImage(tile_).bmp;
    QVERIFY(vld::ReadWholeFile(dir_.File("tiles/sets/beach.bmp")) == beach);
    QVERIFY(vld::ReadWholeFile(dir_.File("tiles/sky.bmp")) == beach);
    QVERIFY(vld::ReadWholeFile(dir_.File("tiles/x.bmp")) == beach);
    QVERIFY(!std::filesystem::exists(dir_.File("tiles/empty.bmp")));  // refused, and the run went on
    // One summary at the end instead of a box per refused tile.
    QCOMPARE(f.platform.BoxTexts(),
             QStringList{QString("1 of 4 tiles could not be converted:\nempty.til: ") + vld::kEmptyEntryRefusal});
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Warning);
    QVERIFY(!f.windows.extract->isVisible());
  }
};

QTEST_MAIN(ImagesTest)
#include "ImagesTest.moc"
