#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTest>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"
#include "gui/TextViewer.h"
#include "samples/LuaChunk.h"

using vld::Bytes;
namespace smp = vld::samples;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }
Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

}  // namespace

class TextTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;
  Bytes script_ = smp::BuildDemoScript();

  void OpenBundle(TViewerFixture& f) {
    vld::LabWriter w;
    w.Add("text\\a.tab", Text("first line\r\nsecond \xE9 line\r\n"));  // 0
    w.Add("scripts\\demo.lua", script_);                               // 1
    w.Add("empty.tab", {});                                            // 2
    w.Add("bad.lua", Text("not a chunk"));                             // 3
    w.Add("other.tab", Text("other text"));                            // 4
    w.Write(dir_.File("t.lab"));
    f.Open(Q(dir_.File("t.lab")));
  }

 private slots:
  void ViewerWindow() {
    TViewerFixture f;
    TTextViewerForm& v = *f.windows.text;
    QCOMPARE(v.windowTitle(), QString("Text viewer"));
    QCOMPARE(v.size(), QSize(691, 524));
    QCOMPARE(v.Saveas1->text(), QString("Save &as..."));
    QCOMPARE(v.Saveas1->shortcut(), QKeySequence("Ctrl+S"));
    QCOMPARE(v.Exit1->text(), QString("E&xit"));
    QVERIFY(!v.RichEdit1->isReadOnly());
    QCOMPARE(v.RichEdit1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }

  void ShowsATextTableModallyAndEscapeCloses() {
    TViewerFixture f;
    OpenBundle(f);
    bool closedByEscape = false;
    f.platform.onModal = [&](QWidget* w) {
      auto* v = static_cast<TTextViewerForm*>(w);
      QCOMPARE(v->RichEdit1->toPlainText(), QString::fromLatin1("first line\nsecond \xE9 line\n"));
      QTest::keyClick(v->RichEdit1, Qt::Key_Escape);
      closedByEscape = !v->isVisible();
    };
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.modalShown.size(), size_t(1));
    QVERIFY(closedByEscape);
  }

  void EmptyTextIsRefused() {
    TViewerFixture f;
    OpenBundle(f);
    f.Select(2);
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QVERIFY(f.platform.modalShown.empty());
  }

  void SavesTheEditedTextAsEightBitWithCrLf() {
    TViewerFixture f;
    OpenBundle(f);
    f.platform.onModal = [&](QWidget* w) {
      auto* v = static_cast<TTextViewerForm*>(w);
      v->RichEdit1->setPlainText(QString::fromLatin1("edited \xE9\nline two"));
      f.platform.saveAnswers.push_back(Q(dir_.File("saved.txt")));
      v->Saveas1->trigger();
    };
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("a.tab"));
    QCOMPARE(f.platform.saveRequests.back().filter, QString("Text files (*.txt)|*.txt"));
    QVERIFY(vld::ReadWholeFile(dir_.File("saved.txt")) == Text("edited \xE9\r\nline two"));
  }

  void ShowsAScriptWithoutBlocking() {
    TViewerFixture f;
    OpenBundle(f);
    f.Select(1);  // the button says what Enter opens
    QCOMPARE(f.Main().btAction->text(), QString(kScriptCaption));
    QVERIFY(f.Main().btAction->isEnabled());
    QTest::keyClick(f.Main().FileBox, Qt::Key_Return);
    WaitIdle(f.Main());
    TTextViewerForm& v = *f.windows.text;
    QVERIFY(f.platform.modalShown.empty());
    QVERIFY(v.isVisible());
    QString expected = QString::fromLatin1(vld::DumpLuaChunk(script_, "scripts\\demo.lua").c_str());
    expected.replace("\r\n", "\n");
    QCOMPARE(v.RichEdit1->toPlainText(), expected);
    QVERIFY(expected.startsWith("-- main function"));

    // The main window stays usable: another entry selected, the viewer still
    // suggests the name of the script it shows, and saves it.
    f.Select(4);
    f.platform.saveAnswers.push_back(Q(dir_.File("script.txt")));
    v.Saveas1->trigger();
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("demo.lua"));
    QVERIFY(std::filesystem::file_size(dir_.File("script.txt")) > 0);

    // A text table shown now replaces the text and the viewer comes to the front.
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QVERIFY(f.platform.modalShown.empty());
    QCOMPARE(v.RichEdit1->toPlainText(), QString("other text"));
    QCOMPARE(v.ShownEntryName(), std::string("other.tab"));
    QVERIFY(f.platform.boxes.empty());
    v.hide();
  }

  void SavingWorksWithNothingSelected() {
    TViewerFixture f;
    OpenBundle(f);
    f.Select(1);
    f.Main().btnShowLua();
    WaitIdle(f.Main());
    // A rejected file empties the main window's list.
    dir_.Write("junk.bin", Text("JUNK"));
    f.Open(Q(dir_.File("junk.bin")));
    QCOMPARE(f.Main().FileBox->count(), 0);
    f.platform.saveAnswers.push_back(Q(dir_.File("after.txt")));
    f.windows.text->Saveas1->trigger();
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("demo.lua"));
    QVERIFY(std::filesystem::exists(dir_.File("after.txt")));
    f.windows.text->hide();
  }

  void CompileToFileWritesTheShownSourceAsAChunkOfTheSameFormat() {
    TViewerFixture f;
    OpenBundle(f);
    TTextViewerForm& v = *f.windows.text;
    // Not for text tables: only a script's text has a chunk to go back to.
    f.Select(0);
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QVERIFY(!v.Compiletofile1->isEnabled());
    v.hide();

    f.Select(1);
    f.Main().btnShowLua();
    WaitIdle(f.Main());
    QVERIFY(v.Compiletofile1->isEnabled());
    f.platform.saveAnswers.push_back(Q(dir_.File("again.lua")));
    v.Compiletofile1->trigger();
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("demo.lua"));
    QVERIFY(f.platform.boxes.empty());
    const Bytes written = vld::ReadWholeFile(dir_.File("again.lua"));
    const vld::TLuaFile original(script_, "demo.lua"), again(written, "again.lua");
    QCOMPARE(again.FloatSize(), original.FloatSize());
    QCOMPARE(again.LsbFirst(), original.LsbFirst());
    // What vldtool compile writes for the same text, number format and choice of line information.
    vld::TLuaCompileOptions options;
    options.SourceName = "demo.lua";
    options.FloatSize = original.FloatSize();
    options.MsbFirst = !original.LsbFirst();
    // The demo chunk carries no line information: neither does its recompile.
    options.DebugInfo = false;
    const Bytes text = v.TextBytes();
    const vld::TLuaCompiled expected =
        vld::CompileLua(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), options);
    QVERIFY(!expected.Failed);
    QVERIFY(written == expected.Chunk);

    // A mistake on line 2: the compiler's words in a box, that line selected, nothing written.
    v.RichEdit1->setPlainText("x = 1\ny = = 2\nz = 3\n");
    const std::size_t asked = f.platform.saveRequests.size();
    v.Compiletofile1->trigger();
    QCOMPARE(f.platform.saveRequests.size(), asked);
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY2(f.platform.boxes[0].text.startsWith("demo.lua:2: "), qPrintable(f.platform.boxes[0].text));
    QVERIFY(f.platform.boxes[0].text.endsWith("near '='"));
    QCOMPARE(v.RichEdit1->textCursor().selectedText(), QString("y = = 2"));
    v.hide();
  }

  void ABrokenScriptIsReportedAndTheViewerKeepsItsText() {
    TViewerFixture f;
    OpenBundle(f);
    f.windows.text->LoadText(Text("previous"), "prev.tab");
    f.Select(3);
    f.Main().Guarded([&] { f.Main().btnShowLua(); });
    WaitIdle(f.Main());
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY(f.platform.boxes[0].text.startsWith("Bad signature in file bad.lua"));
    QCOMPARE(f.windows.text->RichEdit1->toPlainText(), QString("previous"));
    QVERIFY(!f.windows.text->isVisible());
  }
};

QTEST_MAIN(TextTest)
#include "TextTest.moc"
