#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/browser/HexView.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "gui/HexViewForm.h"

using vld::Bytes;

namespace {

constexpr qint64 k4GiB = 4ll << 30;
constexpr qint64 k5GiB = 5ll << 30;
constexpr qint64 k6GiB = 6ll << 30;

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Bytes made from their offsets (byte i is i * 7 + 3, so that no two
// neighbours repeat), with patches laid over them; no file behind it. It
// counts what is read, from any thread.
struct TSynthetic {
  struct Patch {
    qint64 at;
    Bytes bytes;
  };
  static std::uint8_t Generated(qint64 at) { return static_cast<std::uint8_t>(at * 7 + 3); }

  std::shared_ptr<std::atomic<qint64>> bytesRead = std::make_shared<std::atomic<qint64>>(0);

  vld::THexSource Make(qint64 size, std::vector<Patch> patches = {}, qint64 declaredSize = -1) const {
    vld::THexSource s;
    s.size = size;
    s.declaredSize = declaredSize < 0 ? size : declaredSize;
    auto counter = bytesRead;
    s.read = [size, patches, counter](std::int64_t offset, void* dest, std::size_t n) -> std::size_t {
      if (offset < 0 || offset >= size) return 0;
      n = static_cast<std::size_t>(std::min<qint64>(static_cast<qint64>(n), size - offset));
      auto* d = static_cast<std::uint8_t*>(dest);
      for (std::size_t i = 0; i < n; ++i) d[i] = Generated(offset + static_cast<qint64>(i));
      for (const Patch& p : patches)
        for (std::size_t i = 0; i < p.bytes.size(); ++i) {
          const qint64 at = p.at + static_cast<qint64>(i);
          if (at >= offset && at < offset + static_cast<qint64>(n)) d[at - offset] = p.bytes[i];
        }
      *counter += static_cast<qint64>(n);
      return n;
    };
    return s;
  }
};

// The line the view must show at a line's offset, built from the generator.
QString ExpectedLine(qint64 lineOffset, qint64 size, const std::vector<TSynthetic::Patch>& patches = {}) {
  Bytes bytes;
  for (qint64 at = lineOffset; at < std::min(size, lineOffset + vld::kHexBytesPerLine); ++at) {
    std::uint8_t b = TSynthetic::Generated(at);
    for (const auto& p : patches)
      if (at >= p.at && at < p.at + static_cast<qint64>(p.bytes.size()))
        b = p.bytes[static_cast<std::size_t>(at - p.at)];
    bytes.push_back(b);
  }
  return Latin1(vld::FormatHexLine(lineOffset, bytes, vld::HexOffsetDigits(size)));
}

// Paints the window now, as the screen would.
void Paint(THexViewForm& form) { (void)form.Area->viewport()->grab(); }

int HighlightPixels(THexViewForm& form) {
  const QImage image = form.Area->viewport()->grab().toImage();
  const QRgb highlight = form.Area->palette().color(QPalette::Highlight).rgb();
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == highlight;
  return count;
}

}  // namespace

class HexViewFormTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;

 private slots:
  void GoToPastFourGiBPaintsThatLineReadingOnlyWhatIsShown() {
    TSynthetic gen;
    const qint64 size = k6GiB + 123;
    THexViewForm form(gen.Make(size), "big\\data.bin");
    form.show();
    QCOMPARE(form.windowTitle(), QString("Hex view - big\\data.bin"));
    Paint(form);
    QCOMPARE(form.Area->PaintedLines().value(0), ExpectedLine(0, size));
    QCOMPARE(HighlightPixels(form), 0);

    form.edOffset->setText("0x140000010");
    form.btGoTo->click();
    QCOMPARE(form.TopOffset(), 0x140000010ll);
    QCOMPARE(form.Selection(), (THexSelection{0x140000010ll, 1}));
    QCOMPARE(form.StatusText(), QString("Offset 0x140000010"));
    Paint(form);
    const QStringList painted = form.Area->PaintedLines();
    QVERIFY(painted.size() >= form.Area->PageLines());
    QVERIFY(painted[0].startsWith("140000010  "));  // nine digits: the offsets need them
    for (int row = 0; row < painted.size(); ++row) QCOMPARE(painted[row], ExpectedLine(0x140000010ll + row * 16, size));
    QVERIFY(HighlightPixels(form) > 0);  // the marked byte

    // A misaligned offset brings its line to the top and marks that byte.
    QVERIFY(form.GoToOffset(0x1000000FFll));
    QCOMPARE(form.TopOffset(), 0x1000000F0ll);
    QCOMPARE(form.Selection(), (THexSelection{0x1000000FFll, 1}));
    QCOMPARE(form.Area->verticalScrollBar()->value(), 0x1000000F);  // the bar counts lines

    // All of this read a few screens, never the source.
    QVERIFY2(*gen.bytesRead < (1 << 20), qPrintable(QString::number(gen.bytesRead->load())));
  }

  void KeyboardAndShortcutsNavigate() {
    TSynthetic gen;
    const qint64 size = k5GiB + 5;  // a short last line of 5 bytes
    THexViewForm form(gen.Make(size), "a");
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const qint64 page = form.Area->PageLines();
    form.Area->setFocus();
    QTest::keyClick(form.Area, Qt::Key_PageDown);
    QCOMPARE(form.TopOffset(), page * 16);
    QTest::keyClick(form.Area, Qt::Key_Down);
    QCOMPARE(form.TopOffset(), (page + 1) * 16);
    QTest::keyClick(form.Area, Qt::Key_PageUp);
    QTest::keyClick(form.Area, Qt::Key_Up);
    QCOMPARE(form.TopOffset(), 0ll);
    QTest::keyClick(form.Area, Qt::Key_Up);  // no line before the first
    QCOMPARE(form.TopOffset(), 0ll);

    QTest::keyClick(form.Area, Qt::Key_End);
    QCOMPARE(form.TopOffset(), (size / 16 + 1 - page) * 16);
    QCOMPARE(form.Area->verticalScrollBar()->value(), form.Area->verticalScrollBar()->maximum());
    Paint(form);
    QCOMPARE(form.Area->PaintedLines().size(), page);
    QCOMPARE(form.Area->PaintedLines().last(), ExpectedLine(k5GiB, size));
    QTest::keyClick(form.Area, Qt::Key_Down);  // the last line stays at the bottom
    QCOMPARE(form.TopOffset(), (size / 16 + 1 - page) * 16);
    QTest::keyClick(form.Area, Qt::Key_Home);
    QCOMPARE(form.TopOffset(), 0ll);

    // Dragging the bar moves the top line.
    form.Area->verticalScrollBar()->setValue(1000);
    QCOMPARE(form.TopOffset(), 16000ll);

    // Ctrl+G goes to the offset field; Enter there goes to the offset.
    QTest::keyClick(&form, Qt::Key_G, Qt::ControlModifier);
    QVERIFY(form.edOffset->hasFocus());
    QTest::keyClicks(form.edOffset, "4294967312");  // decimal 0x100000010
    QTest::keyClick(form.edOffset, Qt::Key_Return);
    QCOMPARE(form.TopOffset(), 0x100000010ll);
    QVERIFY(form.Area->hasFocus());
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(form.edFind->hasFocus());
    QTest::keyClick(form.edFind, Qt::Key_Escape);  // no find runs: Escape closes
    QVERIFY(!form.isVisible());
  }

  void ClickingAMarkedByteInEitherColumnMarksThatByte() {
    TSynthetic gen;
    THexViewForm form(gen.Make(0x400), "a");
    form.show();
    QVERIFY(form.GoToOffset(0x135));
    // The two bands the paint draws for the marked byte: its hex digits and its character.
    const QImage image = form.Area->viewport()->grab().toImage();
    const QRgb highlight = form.Area->palette().color(QPalette::Highlight).rgb();
    std::vector<QRect> bands;
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) != highlight) continue;
        if (bands.empty() || x > bands.back().right() + 1) bands.push_back(QRect(x, y, 1, 1));
        bands.back() = bands.back().united(QRect(x, y, 1, 1));
      }
    QCOMPARE(bands.size(), size_t(2));
    QVERIFY(bands[0].width() > bands[1].width());  // two digits, one character
    for (const QRect& band : bands) {
      QVERIFY(form.GoToOffset(0x130));  // the same line at the top, another byte marked
      QTest::mouseClick(form.Area->viewport(), Qt::LeftButton, {}, band.center());
      QCOMPARE(form.Selection(), (THexSelection{0x135, 1}));
      QCOMPARE(form.StatusText(), QString("Offset 0x00000135"));
    }
    // F3 now searches from the clicked byte.
    form.cbFindMode->setCurrentIndex(1);
    form.edFind->setText(QString::number(TSynthetic::Generated(0x140), 16));
    form.acFindNext->trigger();
    form.WaitForFind();
    QCOMPARE(form.Selection().start, 0x140ll);
  }

  void ABarOfMoreLinesThanAnIntHoldsFollowsOnAScale() {
    TSynthetic gen;
    const qint64 size = 1ll << 46;  // 2^42 lines
    THexViewForm form(gen.Make(size), "huge");
    form.show();
    QScrollBar* bar = form.Area->verticalScrollBar();
    QCOMPARE(bar->maximum(), THexArea::kBarSteps);
    form.Area->setFocus();
    QTest::keyClick(form.Area, Qt::Key_End);
    QCOMPARE(form.Area->TopLine(), form.Area->MaxTopLine());
    QCOMPARE(bar->value(), bar->maximum());
    Paint(form);
    QCOMPARE(form.Area->PaintedLines().last(), ExpectedLine(size - 16, size));
    // Single lines still move by one, although a bar step is many lines.
    QTest::keyClick(form.Area, Qt::Key_Up);
    QCOMPARE(form.Area->TopLine(), form.Area->MaxTopLine() - 1);
    bar->setValue(THexArea::kBarSteps / 2);
    const qint64 half = form.Area->MaxTopLine() / 2;
    QVERIFY(qAbs(form.Area->TopLine() - half) <= form.Area->MaxTopLine() / THexArea::kBarSteps + 1);
    QVERIFY(form.GoToOffset(size - 1));
    QCOMPARE(form.Area->TopLine(), form.Area->MaxTopLine());
    QVERIFY(form.GoToOffset(0x123456789AB0ll));
    QCOMPARE(form.TopOffset(), 0x123456789AB0ll);
    Paint(form);
    QCOMPARE(form.Area->PaintedLines().value(0), ExpectedLine(0x123456789AB0ll, size));
  }

  void FindsTextPastFourGiBAndFindNextTheFollowingOne() {
    TSynthetic gen;
    const qint64 size = k5GiB;
    const std::vector<TSynthetic::Patch> patches = {{0x100000103ll, Text("NEEDLE")}, {0x100100005ll, Text("NEEDLE")}};
    THexViewForm form(gen.Make(size, patches), "a");
    form.show();
    // From just below 4 GiB, so that the search crosses it.
    QVERIFY(form.GoToOffset(k4GiB - 0x10000));
    form.edFind->setText("NEEDLE");
    form.btFind->click();
    QVERIFY(form.Finding());
    QVERIFY(!form.btFind->isEnabled());
    form.WaitForFind();
    QCOMPARE(form.Selection(), (THexSelection{0x100000103ll, 6}));
    QCOMPARE(form.StatusText(), QString("Found at 0x100000103."));
    QVERIFY(form.btFind->isEnabled());
    Paint(form);
    const QStringList painted = form.Area->PaintedLines();
    const QString matchLine = ExpectedLine(0x100000100ll, size, patches);
    QVERIFY(painted.contains(matchLine));
    QVERIFY(matchLine.contains("NEEDLE"));

    form.acFindNext->trigger();  // F3
    form.WaitForFind();
    QCOMPARE(form.Selection(), (THexSelection{0x100100005ll, 6}));
    QCOMPARE(form.TopOffset(), 0x100100000ll);  // off screen: its line comes to the top
    QCOMPARE(form.StatusText(), QString("Found at 0x100100005."));
  }

  void FindNextGoesOnFromTheStartAndHexBytesAreFound() {
    TSynthetic gen;
    const qint64 size = 0x800;
    THexViewForm form(gen.Make(size, {{0x10, {0xAB, 0xCD}}, {0x7F0, {0xAB, 0xCD}}}), "a");
    form.show();
    form.cbFindMode->setCurrentIndex(1);
    form.edFind->setText("ab cd");
    QVERIFY(form.GoToOffset(0x20));
    form.FindNextClick();  // no match yet: from the marked byte
    form.WaitForFind();
    QCOMPARE(form.Selection(), (THexSelection{0x7F0, 2}));
    QCOMPARE(form.StatusText(), QString("Found at 0x000007F0."));
    QTest::keyClick(form.edFind, Qt::Key_Return);  // Enter goes on, as F3 does
    form.WaitForFind();
    QCOMPARE(form.Selection(), (THexSelection{0x10, 2}));
    QCOMPARE(form.StatusText(), QString("Found at 0x00000010, going on from the start."));
    QCOMPARE(form.TopOffset(), 0x10ll);
    form.FindNextClick();
    form.WaitForFind();
    QCOMPARE(form.Selection(), (THexSelection{0x7F0, 2}));

    form.edFind->setText("AB CD EF");
    form.FindNextClick();
    form.WaitForFind();
    QCOMPARE(form.StatusText(), QString("Not found."));
    QCOMPARE(form.Selection(), (THexSelection{0x7F0, 2}));  // the last match stays marked

    // The pass from the start finds a match that begins before the caret and ends after it.
    THexViewForm one(gen.Make(0x100, {{0x80, {0xAB, 0xCD}}}), "b");
    one.cbFindMode->setCurrentIndex(1);
    one.edFind->setText("ABCD");
    QVERIFY(one.GoToOffset(0x81));
    one.FindClick();
    one.WaitForFind();
    QCOMPARE(one.Selection(), (THexSelection{0x80, 2}));
    QCOMPARE(one.StatusText(), QString("Found at 0x00000080, going on from the start."));
  }

  void CancelStopsALongFindAndTheViewStaysUsable() {
    TSynthetic gen;
    const qint64 size = 1ll << 40;  // far more than a test can search
    THexViewForm form(gen.Make(size), "a");
    form.show();
    QVERIFY(form.GoToOffset(0x50));
    form.edFind->setText("not there");
    form.btFind->click();
    QVERIFY(QTest::qWaitFor([&] { return !form.btCancel->isHidden(); }, 60000));
    QVERIFY(!form.pbFind->isHidden());
    QCOMPARE(form.StatusText(), QString("Finding..."));

    // The window answers while the worker searches.
    QVERIFY(QTest::qWaitFor([&] { return *gen.bytesRead > (8 << 20); }, 60000));
    QVERIFY(form.Finding());
    QVERIFY(form.GoToOffset(0x8000000000ll));
    Paint(form);
    QCOMPARE(form.Area->PaintedLines().value(0), ExpectedLine(0x8000000000ll, size));

    form.btCancel->click();
    form.WaitForFind();
    QVERIFY(!form.Finding());
    QCOMPARE(form.StatusText(), QString("Find cancelled."));
    QVERIFY(form.btCancel->isHidden());
    QVERIFY(form.pbFind->isHidden());
    QVERIFY(form.btFind->isEnabled());
    QCOMPARE(form.Selection(), (THexSelection{0x8000000000ll, 1}));

    // And it still finds.
    form.cbFindMode->setCurrentIndex(1);
    form.edFind->setText("03 0A 11");  // the bytes at every multiple of 256
    QVERIFY(form.GoToOffset(0x100));
    form.FindClick();
    form.WaitForFind();
    QCOMPARE(form.Selection(), (THexSelection{0x100, 3}));
  }

  void BadInputShowsABoxAndChangesNothing() {
    TSynthetic gen;
    TScriptedPlatform platform;
    THexViewForm form(gen.Make(0x800), "a");
    form.SetPlatform(&platform);
    form.show();
    QVERIFY(form.GoToOffset(0x120));
    const THexSelection before = form.Selection();

    form.edOffset->setText("0x12G");
    form.btGoTo->click();
    QCOMPARE(platform.BoxTexts(), QStringList{"\"0x12G\" is not an offset: type it in decimal (496) or hex (0x1F0)."});
    QCOMPARE(platform.boxes[0].kind, BoxKind::Error);
    form.edOffset->setText("0x800");
    form.btGoTo->click();
    QCOMPARE(platform.BoxTexts().value(1),
             QString("The offset 0x00000800 is past the end: the last byte is at 0x000007FF."));
    QCOMPARE(form.TopOffset(), 0x120ll);
    QCOMPARE(form.Selection(), before);
    QCOMPARE(form.StatusText(), QString("Offset 0x00000120"));

    form.cbFindMode->setCurrentIndex(1);
    form.edFind->setText("4G");
    form.btFind->click();
    QCOMPARE(platform.boxes.size(), size_t(3));
    QVERIFY(platform.BoxTexts()[2].contains("\"4G\""));
    form.cbFindMode->setCurrentIndex(0);
    form.edFind->clear();
    form.acFindNext->trigger();
    QCOMPARE(platform.BoxTexts().value(3), QString("Type the text to find."));
    form.edFind->setText(QString::fromUtf8("\xE2\x82\xAC"));  // the euro sign is no Latin-1 byte
    form.btFind->click();
    QCOMPARE(platform.boxes.size(), size_t(5));
    QVERIFY(!form.Finding());
    QCOMPARE(form.Selection(), before);

    THexViewForm empty(gen.Make(0), "empty");
    empty.SetPlatform(&platform);
    QCOMPARE(empty.StatusText(), QString("No bytes to show."));
    QVERIFY(!empty.GoToOffset(0));
    QCOMPARE(platform.boxes.size(), size_t(6));
    Paint(empty);
    QVERIFY(empty.Area->PaintedLines().isEmpty());
  }

  void NotesWhenTheFileEndsBeforeTheEntry() {
    TSynthetic gen;
    THexViewForm whole(gen.Make(1000), "a");
    QCOMPARE(whole.lNote->text(), QString());
    QCOMPARE(whole.lSize->text(), QString("1.000 bytes"));
    THexViewForm cut(gen.Make(1000, {}, 1500000), "a");
    QCOMPARE(cut.lNote->text(), QString("Only 1.000 of 1.500.000 bytes are in the file."));
    THexViewForm big(gen.Make(k5GiB, {}, 6ll << 30), "a");
    QCOMPARE(big.lNote->text(), QString("Only 5.368.709.120 of 6.442.450.944 bytes are in the file."));
  }

  void ShowsABundleEntry() {
    vld::LabWriter w;
    w.Add("first.bin", Text("0123456789abcdef0123456789abcdef"));
    w.Add("text\\hello.bin", Text("Hello, hex view!\x01\x7F\xE9\xFF z"));
    w.Write(dir_.File("h.lab"));
    vld::TLabReader reader;
    reader.Open(dir_.File("h.lab"));
    THexViewForm form(vld::EntryHexSource(reader, 1), Latin1(reader.GetName(1)));
    form.show();
    QCOMPARE(form.windowTitle(), QString("Hex view - text\\hello.bin"));
    Paint(form);
    QCOMPARE(form.Area->PaintedLines(),
             (QStringList{
                 "00000000  48 65 6C 6C 6F 2C 20 68  65 78 20 76 69 65 77 21  Hello, hex view!",
                 QString::fromLatin1("00000010  01 7F E9 FF 20 7A                                 ..\xE9\xFF z"),
             }));
    QCOMPARE(form.lNote->text(), QString());
    // The paint and the mouse place byte i where the formatter put it.
    const QString first = form.Area->PaintedLines()[0];
    const QString hello = "Hello, hex view!";
    for (int i = 0; i < 16; ++i) {
      QCOMPARE(first.mid(form.Area->HexColumn(i), 2), QString::number(hello[i].unicode(), 16).toUpper());
      QCOMPARE(first.mid(form.Area->TextColumn(i), 1), hello.mid(i, 1));
    }
    QCOMPARE(first.size(), form.Area->TextColumn(16));

    // A bundle cut short: the last entry ends in the file's end.
    reader.Close();
    std::filesystem::resize_file(dir_.File("h.lab"), std::filesystem::file_size(dir_.File("h.lab")) - 4);
    reader.Open(dir_.File("h.lab"));
    THexViewForm cut(vld::EntryHexSource(reader, 1), "text\\hello.bin");
    QCOMPARE(cut.lNote->text(), QString("Only 18 of 22 bytes are in the file."));
    Paint(cut);
    QCOMPARE(cut.Area->PaintedLines().value(1),
             QString("00000010  01 7F                                             .."));
  }
};

QTEST_MAIN(HexViewFormTest)
#include "HexViewFormTest.moc"
