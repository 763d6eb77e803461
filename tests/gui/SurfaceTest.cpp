#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "gui/ImageViewer.h"
#include "gui/SurfacePlayer.h"
#include "samples/Demo.h"
#include "samples/ImageSamples.h"

using vld::Bytes;
namespace smp = vld::samples;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Loads a description against the open bundle, as the main window does, and
// hands the result to the player.
void Load(TViewerFixture& f, TSurfacePlayerForm& s, const std::string& description) {
  const vld::TLabReader& reader = *f.Main().Reader();
  s.LoadSurface(vld::LoadSurfaceFrames(reader, Text(description), [&](int i) { return reader.ReadEntryBytesAt(i); }));
}

Bytes Tga(int w, int h) { return smp::BuildTGA(smp::PatternPicture(w, h)); }

}  // namespace

class SurfaceTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;

  // A bundle with frames a (32 x 16), b (32 x 16), c (20 x 20), a text entry
  // and the given surface description as "s.sur".
  void OpenWith(TViewerFixture& f, const std::string& surface) {
    vld::LabWriter w;
    w.Add("s.sur", Text(surface));
    w.Add("tex\\a.tga", Tga(32, 16));
    w.Add("tex\\b.tga", Tga(32, 16));
    w.Add("tex\\c.tga", Tga(20, 20));
    w.Add("tex\\notes.txt", Text("not a picture at all"));
    w.Add("empty.sur", {});
    w.Write(dir_.File("s.lab"));
    f.Open(Q(dir_.File("s.lab")));
  }

 private slots:
  void LaysOutTheWindow() {
    TViewerFixture f;
    TSurfacePlayerForm& s = *f.windows.surface;
    QCOMPARE(s.windowTitle(), QString("Surface player"));
    QCOMPARE(s.size(), QSize(657, 362));
    QCOMPARE(s.GroupFrames->geometry(), QRect(8, 16, 185, 337));
    QCOMPARE(s.GroupAnimation->geometry(), QRect(208, 16, 273, 281));
    QCOMPARE(s.GroupSpeed->geometry(), QRect(496, 16, 153, 337));
    QCOMPARE(s.GroupSpeed->title(), QString("Playback Speed"));
    QCOMPARE(s.ListBox1->geometry(), QRect(8, 16, 169, 313));
    QCOMPARE(s.Button2->geometry(), QRect(208, 304, 65, 25));
    QCOMPARE(s.Button2->text(), QString("Play"));
    QCOMPARE(s.TrackBar1->geometry(), QRect(280, 300, 201, 45));
    QCOMPARE(s.TrackBar2->geometry(), QRect(12, 24, 45, 305));
    QCOMPARE(s.TrackBar2->minimum(), 10);
    QCOMPARE(s.TrackBar2->maximum(), 2500);
    QCOMPARE(s.TrackBar2->value(), 10);
    QCOMPARE(s.Timer1->interval(), 100);
    QVERIFY(!s.Timer1->isActive());
    QStringList labels;
    for (QLabel* l : s.GroupSpeed->findChildren<QLabel*>()) labels << l->text();
    QCOMPARE(labels, (QStringList{"Fast", "Slower", "Not so fast, please", "Zzzzzz"}));
  }

  void LoadsTheDemoSurface() {
    smp::DemoFiles demo = smp::WriteDemo(dir_.File("demo"));
    TViewerFixture f;
    f.Open(Q(demo.bundle));
    TMainForm& m = f.Main();
    m.FileBox->setCurrentRow(m.Reader()->FindEntry("surfaces\\pulse.sur"));
    m.btAction->click();
    WaitIdle(m);
    TSurfacePlayerForm& s = *f.windows.surface;
    QCOMPARE(f.platform.modalShown.size(), size_t(1));
    QCOMPARE(f.platform.modalShown[0], static_cast<QWidget*>(&s));
    QVERIFY(f.platform.boxes.empty());
    QCOMPARE(s.windowTitle(), QString("Surface player - surfaces\\pulse.sur"));
    // Its frames were decoded without touching the image viewer.
    QCOMPARE(f.windows.image->OuterSize(), QSize(648, 526));
  }

  void FramesFollowTheListAndTheTimer() {
    TViewerFixture f;
    OpenWith(f, "h\nh\nTEX:   tex/a.tga\nTEX:   tex/missing.tga\nTEX:   tex/b.tga\nTEX:   TEX/C.TGA\nplain line\n");
    TSurfacePlayerForm& s = *f.windows.surface;
    Load(f, s, "h\nh\nTEX:   tex/a.tga\nTEX:   tex/missing.tga\nTEX:   tex/b.tga\nTEX:   TEX/C.TGA\nplain line\n");
    QCOMPARE(s.ListBox1->count(), 5);
    QCOMPARE(s.ListBox1->item(0)->text(), QString("tex\\a.tga"));
    QCOMPARE(s.ListBox1->item(1)->text(), QString("tex\\missing.tga (not in bundle)"));
    QCOMPARE(s.ListBox1->item(4)->text(), QString("plain line"));  // a note, not a texture
    QCOMPARE(s.ImageList1.size(), 3);                              // a, b and C (found whatever the case)
    QCOMPARE(s.TrackBar1->maximum(), 4);
    QCOMPARE(s.PaintBox1->geometry(), QRect((273 - 32) / 2, (281 - 16) / 2, 32, 16));
    QCOMPARE(s.FCurrentFrame, 0);
    QVERIFY(s.Label5->text().isEmpty());

    QStringList seen;
    for (int i = 0; i < 4; ++i) {
      s.Timer1Timer();
      seen << s.Label5->text();
      QCOMPARE(s.TrackBar1->value(), s.FCurrentFrame);
    }
    QCOMPARE(seen, (QStringList{"Frame 1", "Frame 2", "Frame 0", "Frame 1"}));

    // A list item past the last frame draws nothing; the next tick shows frame 0.
    s.ListBox1->setCurrentRow(4);
    s.ListBox1Click();
    QCOMPARE(s.FCurrentFrame, 4);
    QVERIFY(!s.PaintBox1->grab().isNull());
    s.Timer1Timer();
    QCOMPARE(s.FCurrentFrame, 0);

    s.Button2Click();
    QVERIFY(s.Timer1->isActive());
    QCOMPARE(s.Button2->text(), QString("Stop"));
    s.TrackBar2->setValue(2500);
    QCOMPARE(s.Timer1->interval(), 2500);
    s.Button2Click();
    QCOMPARE(s.Button2->text(), QString("Play"));
  }

  void OneFrameStaysAtZero() {
    TViewerFixture f;
    OpenWith(f, "");
    TSurfacePlayerForm& s = *f.windows.surface;
    Load(f, s, "h\nh\nTEX:   tex/c.tga\n");
    s.Timer1Timer();
    s.Timer1Timer();
    QCOMPARE(s.FCurrentFrame, 0);
    QCOMPARE(s.Label5->text(), QString("Frame 0"));
  }

  void ShortDescriptionsAndMissingFrames() {
    TViewerFixture f;
    OpenWith(f, "");
    TSurfacePlayerForm& s = *f.windows.surface;
    Load(f, s, "h\nh\nTEX:   tex/a.tga\nTEX:   tex/b.tga\nTEX:   tex/c.tga\n");
    QCOMPARE(s.TrackBar1->maximum(), 2);
    Load(f, s, "only\ntwo\n");
    QCOMPARE(s.ListBox1->count(), 0);
    QVERIFY(s.ImageList1.isEmpty());
    QCOMPARE(s.TrackBar1->maximum(), 2);  // left as it was
    s.Timer1Timer();
    QCOMPARE(s.FCurrentFrame, 0);

    // The first item names no entry: the first frame that loads sets the size.
    Load(f, s, "h\nh\nTEX:   nothing.tga\nTEX:   tex/c.tga\nTEX:   tex/a.tga\n");
    QCOMPARE(s.PaintBox1->size(), QSize(20, 20));
    QCOMPARE(s.ImageList1.size(), 2);
    s.FCurrentFrame = 1;  // 32 x 16 in a 20 x 20 box: drawn scaled and centred
    QVERIFY(!s.PaintBox1->grab().isNull());
  }

  void EntriesThatAreNotTgaImagesGiveNoFrame() {
    TViewerFixture f;
    OpenWith(f, "");
    TSurfacePlayerForm& s = *f.windows.surface;
    Load(f, s, "h\nh\nTEX:   tex/notes.txt\nTEX:   s.sur\nTEX:   tex/b.tga\n");
    QCOMPARE(s.ListBox1->count(), 3);
    QCOMPARE(s.ImageList1.size(), 1);
  }

  void EscapeClosesAndEmptiesTheLists() {
    TViewerFixture f;
    OpenWith(f, "h\nh\nTEX:   tex/a.tga\n");
    f.platform.onModal = [](QWidget* w) {
      auto* s = static_cast<TSurfacePlayerForm*>(w);
      QCOMPARE(s->ListBox1->count(), 1);
      s->Button2Click();
      QTest::keyClick(s, Qt::Key_Escape);
      QVERIFY(!s->isVisible());
    };
    f.Main().btAction->click();
    WaitIdle(f.Main());
    TSurfacePlayerForm& s = *f.windows.surface;
    QCOMPARE(s.ListBox1->count(), 0);
    QVERIFY(s.ImageList1.isEmpty());
    QVERIFY(!s.Timer1->isActive());
    QCOMPARE(s.Button2->text(), QString("Stop"));  // unchanged until the next load
  }

  void EmptyEntriesAreRefused() {
    TViewerFixture f;
    OpenWith(f, "h\nh\n");
    f.Main().FileBox->setCurrentRow(5);
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QVERIFY(f.platform.modalShown.empty());
  }
};

QTEST_MAIN(SurfaceTest)
#include "SurfaceTest.moc"
