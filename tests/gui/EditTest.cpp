#include <QDropEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/browser/HexView.h"
#include "core/browser/Import.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "core/images/BMPTools.h"
#include "core/images/PngImage.h"
#include "core/lua/LuaCompiler.h"
#include "gui/BatchUi.h"
#include "gui/EditUi.h"
#include "gui/ExtractAll.h"
#include "gui/HexViewForm.h"
#include "gui/TextViewer.h"
#include "gui/Work.h"
#include "samples/ImageSamples.h"

using vld::Bytes;
namespace fs = std::filesystem;
namespace smp = vld::samples;

namespace {

QString Q(const fs::path& p) { return PathQt(p); }
Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A picture file: PNG when this build writes PNG, BMP otherwise (both import alike).
Bytes PictureFile(const vld::TPixelImage& picture) {
  const Bytes bmp = vld::WriteBMP32(picture);
  return vld::HavePngWriter() ? vld::BmpToPng(bmp) : bmp;
}
const char* PictureName() { return vld::HavePngWriter() ? "new.png" : "new.bmp"; }

vld::TLuaCompileOptions ScriptOptions() {
  vld::TLuaCompileOptions options;
  options.SourceName = "s.lua";
  options.FloatSize = 4;
  options.DebugInfo = false;
  return options;
}

// Every entry of a bundle on disk: names and bytes.
std::vector<std::pair<std::string, Bytes>> EntriesOf(const fs::path& path) {
  vld::TLabReader reader;
  reader.Open(path);
  std::vector<std::pair<std::string, Bytes>> out;
  for (int i = 0; i < reader.Count(); ++i) out.emplace_back(std::string(reader.GetName(i)), reader.ReadEntryBytesAt(i));
  return out;
}

// What the open file's edit list holds: what a save must write.
std::vector<std::pair<std::string, Bytes>> EditedEntries(const TMainForm& m) {
  const vld::TBundleEditList& list = *m.File().Edits();
  std::vector<std::pair<std::string, Bytes>> out;
  for (int i = 0; i < list.Count(); ++i) out.emplace_back(std::string(list.Name(i)), list.ReadBytes(i));
  return out;
}

}  // namespace

class EditTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;
  const Bytes tile_ = smp::BuildTileEntry(smp::BeachPicture());
  const Bytes tga_ = smp::BuildTGA(smp::BrickPicture(), {32, true, false});
  const Bytes script_ = vld::CompileLua("x = 1\nprint(x)\n", ScriptOptions()).Chunk;

  fs::path Bundle(const std::string& file = "b.lab") {
    vld::LabWriter w;
    w.Add("gfx\\beach.til", tile_);                 // 0
    w.Add("textures\\wall.tga", tga_);              // 1
    w.Add("text\\a.tab", Text("first\nsecond\n"));  // 2
    w.Add("scripts\\s.lua", script_);               // 3
    w.Add("data\\raw.bin", Text("raw bytes"));      // 4
    w.Add("readme.nfo", Text("hello"));             // 5
    fs::create_directories(dir_.File(file).parent_path());
    w.Write(dir_.File(file));
    return dir_.File(file);
  }

  // Opens a fresh bundle; returns its bytes as written.
  Bytes OpenFresh(TViewerFixture& f, const std::string& file = "b.lab") {
    const fs::path path = Bundle(file);
    f.Open(Q(path));
    return vld::ReadWholeFile(path);
  }

  static TEditUi& Edit(TViewerFixture& f) { return *f.Main().Edit(); }
  static QVariant Row(TViewerFixture& f, int entry, int role) {
    TEntryModel* model = f.Main().FileBox->Model();
    return model->data(model->index(model->RowOf(entry)), role);
  }
  static bool Marked(TViewerFixture& f, int entry) {
    return Row(f, entry, Qt::DisplayRole).toString().startsWith(QString::fromUtf16(TEntryModel::kChangedMark)) &&
           Row(f, entry, Qt::FontRole).value<QFont>().bold();
  }
  // A replace runs its import on the worker.
  static void ReplaceWith(TViewerFixture& f, int entry, const QString& path) {
    f.Main().Edit()->ReplaceWith(entry, path);
    WaitIdle(f.Main());
  }
  static Bytes EntryBytes(TViewerFixture& f, int entry) { return f.Main().File().ReadEntryBytes(entry); }

  void DropFiles(TViewerFixture& f, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QWidget* target = f.Main().FileBox->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
  }

 private slots:
  void MenusAndContextMenuOfferTheEdits() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    QCOMPARE(m.Edit1->title(), QString("&Edit"));
    TEditUi& e = Edit(f);
    QCOMPARE(e.acRename->shortcut(), QKeySequence(Qt::Key_F2));
    QCOMPARE(e.acDelete->shortcut(), QKeySequence(QKeySequence::Delete));
    QCOMPARE(e.acUndo->shortcut(), QKeySequence("Ctrl+Z"));
    QCOMPARE(e.acRedo->shortcut(), QKeySequence("Ctrl+Shift+Z"));
    QCOMPARE(e.acSave->shortcut(), QKeySequence("Ctrl+S"));
    QVERIFY(m.File1->actions().contains(e.acSave) && m.File1->actions().contains(e.acSaveAs));
    QStringList texts;
    for (QAction* a : e.ContextMenu->actions())
      if (!a->isSeparator()) texts << a->text();
    QCOMPARE(texts, (QStringList{"&Replace...", "&Import as new entry...", "Re&name", "&Delete", "&Undo", "&Redo"}));
    // Nothing to edit until a bundle is open.
    QVERIFY(!e.acReplace->isEnabled() && !e.acImportNew->isEnabled() && !e.acSave->isEnabled());
    OpenFresh(f);
    QVERIFY(e.acReplace->isEnabled() && e.acImportNew->isEnabled() && e.acSaveAs->isEnabled());
    QVERIFY(!e.acSave->isEnabled() && !e.acUndo->isEnabled());
    QCOMPARE(m.windowTitle(), QString("b.lab - VLD Resource Viewer 2.6"));
    // A right click on the list opens the menu there.
    emit m.List()->contextMenuRequested(m.FileBox->mapToGlobal(QPoint(5, 5)));
    QVERIFY(e.ContextMenu->isVisible());
    e.ContextMenu->hide();
    // Import as new entry: the file chosen goes in at the end, named by its file name.
    f.platform.openAnswers.push_back(Q(dir_.Write("extra.tab", Text("extra"))));
    e.acImportNew->trigger();
    QCOMPARE(m.File().EntryCount(), 7);
    QCOMPARE(m.File().EntryName(6), std::string("extra.tab"));
    QCOMPARE(m.FileBox->currentRow(), 6);
    QCOMPARE(m.lType->text(), QString("Text table"));
    QVERIFY(e.acSave->isEnabled() && e.acUndo->isEnabled());
  }

  void ReplaceImportsByTypeAndTakesOtherFilesAsTheyAre() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    vld::TPixelImage beach = smp::BeachPicture();
    smp::FillRect(beach, 10, 10, 100, 100, {255, 0, 0, 255});
    const Bytes picture = PictureFile(beach);
    const QString picturePath = Q(dir_.Write(PictureName(), picture));

    // A picture into a tile entry: made by the importer in the entry's own flavour.
    f.Select(0);
    f.platform.openAnswers.push_back(picturePath);
    Edit(f).acReplace->trigger();
    WaitIdle(m);
    QVERIFY2(f.platform.boxes.empty(), qPrintable(f.platform.BoxTexts().join("\n")));
    QCOMPARE(EntryBytes(f, 0), vld::ImportEntry(picture, PictureName(), tile_, "gfx\\beach.til").data);
    QVERIFY(EntryBytes(f, 0) != tile_);
    QVERIFY(Marked(f, 0));
    QVERIFY(!Marked(f, 1));
    QCOMPARE(m.windowTitle(), QString("b.lab* - VLD Resource Viewer 2.6"));
    // The panel shows the entry as edited.
    QCOMPARE(m.lSize->text(),
             QString::fromStdString(vld::FormatSize(static_cast<std::int32_t>(EntryBytes(f, 0).size()))));
    QCOMPARE(m.lOffset->text(), QString("(not saved yet)"));

    // Into a TGA entry: its bits per pixel and run-length kept.
    const Bytes brick = PictureFile(smp::WaterPicture());  // 128 x 128 as the brick picture
    f.Select(1);
    ReplaceWith(f, 1, Q(dir_.Write(PictureName(), brick)));
    QCOMPARE(EntryBytes(f, 1), vld::ImportEntry(brick, PictureName(), tga_, "textures\\wall.tga").data);
    QCOMPARE(EntryBytes(f, 1)[2], std::uint8_t(10));  // run-length
    QCOMPARE(EntryBytes(f, 1)[16], std::uint8_t(32));

    // A file that is no picture, sound or script goes in as it is.
    ReplaceWith(f, 4, Q(dir_.Write("any.dat", Text("\x01\x02 other"))));
    QCOMPARE(EntryBytes(f, 4), Text("\x01\x02 other"));
    QVERIFY(f.platform.boxes.empty());

    // A picture of the wrong size: the importer's message, nothing changed.
    const Bytes before = EntryBytes(f, 0);
    ReplaceWith(f, 0, Q(dir_.Write("small.bmp", vld::WriteBMP32(smp::BrickPicture()))));
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY(f.platform.boxes[0].kind == BoxKind::Error);
    QVERIFY2(
        f.platform.boxes[0].text.contains("cannot replace gfx\\beach.til") && f.platform.boxes[0].text.contains("640"),
        qPrintable(f.platform.boxes[0].text));
    QCOMPARE(EntryBytes(f, 0), before);
    // A script that does not compile is refused as well.
    ReplaceWith(f, 3, Q(dir_.Write("bad.lua", Text("x = = 1\n"))));
    QCOMPARE(f.platform.boxes.size(), size_t(2));
    QVERIFY(f.platform.boxes[1].text.contains("does not compile"));
    QCOMPARE(EntryBytes(f, 3), script_);
  }

  void UndoAndRedoEveryEditBackToTheOriginalBytes() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    const Bytes original = OpenFresh(f);
    const auto originalEntries = EntriesOf(dir_.File("b.lab"));
    TEditUi& e = Edit(f);
    ReplaceWith(f, 4, Q(dir_.Write("x.dat", Text("new"))));
    e.Rename(5, "docs\\readme.nfo");
    QTRY_COMPARE(m.FileBox->itemText(5), QString("docs\\readme.nfo"));
    e.AddFiles({Q(dir_.Write("added.txt", Text("added")))});
    f.Select(2);
    e.DeleteChosen();
    const auto edited = EditedEntries(m);
    QCOMPARE(edited.size(), size_t(6));

    for (int k = 0; k < 4; ++k) e.acUndo->trigger();
    QVERIFY(!e.acUndo->isEnabled());
    QCOMPARE(EditedEntries(m), originalEntries);
    QVERIFY(!m.File().HasChanges());
    for (int i = 0; i < 6; ++i) QVERIFY(!Marked(f, i));
    QCOMPARE(m.windowTitle(), QString("b.lab - VLD Resource Viewer 2.6"));
    QVERIFY(!e.acSave->isEnabled());

    for (int k = 0; k < 4; ++k) e.acRedo->trigger();
    QCOMPARE(EditedEntries(m), edited);
    QVERIFY(m.windowTitle().contains('*'));
    // Nothing reached the disk.
    QCOMPARE(vld::ReadWholeFile(dir_.File("b.lab")), original);
  }

  void RenameInTheListAndRefuseATakenName() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    f.Select(2);
    // F2 opens the name for editing in the list; Enter applies it.
    m.FileBox->setFocus();
    Edit(f).acRename->trigger();
    auto* editor = m.FileBox->findChild<QLineEdit*>();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QString("text\\a.tab"));
    editor->setText("text\\b.tab");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m.File().EntryName(2), std::string("text\\b.tab"));
    // The Enter that ends the editing runs no action.
    QVERIFY(f.platform.modalShown.empty());
    QVERIFY(!m.Busy());
    QCOMPARE(m.lFilename->text(), QString("text\\b.tab"));
    QVERIFY(Marked(f, 2));
    QCOMPARE(m.FileBox->currentRow(), 2);

    // A name another entry has (whatever its case) is refused with a box.
    m.Guarded([&] { Edit(f).Rename(2, "README.NFO"); });
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY2(f.platform.boxes[0].text.contains("already has an entry named readme.nfo"),
             qPrintable(f.platform.boxes[0].text));
    QCOMPARE(m.File().EntryName(2), std::string("text\\b.tab"));
    // So is a name a bundle cannot hold.
    m.Guarded([&] { Edit(f).Rename(2, QString::fromUtf8("\xE2\x82\xAC.tab")); });  // the euro sign is not Latin-1
    QCOMPARE(f.platform.boxes.size(), size_t(2));
    QCOMPARE(m.File().EntryName(2), std::string("text\\b.tab"));
  }

  void DeletingSeveralEntriesIsOneEdit() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    f.Select(1);
    QItemSelectionModel* selection = m.FileBox->selectionModel();
    TEntryModel* model = m.FileBox->Model();
    selection->select(model->index(1), QItemSelectionModel::Select);
    selection->select(model->index(4), QItemSelectionModel::Select);
    Edit(f).acDelete->trigger();
    QCOMPARE(m.File().EntryCount(), 4);
    QCOMPARE(m.File().EntryName(1), std::string("text\\a.tab"));
    QCOMPARE(m.File().EntryName(3), std::string("readme.nfo"));
    QCOMPARE(m.StatusText(0), QString("4 files in the bundle"));
    QCOMPARE(m.FileBox->currentRow(), 1);
    Edit(f).acUndo->trigger();
    QCOMPARE(m.File().EntryCount(), 6);
    QCOMPARE(m.FileBox->currentRow(), 1);  // the first entry deleted
    QCOMPARE(m.File().EntryName(1), std::string("textures\\wall.tga"));
    QCOMPARE(m.File().EntryName(4), std::string("data\\raw.bin"));
    QVERIFY(!m.File().HasChanges());
  }

  void DroppedFilesBecomeEntriesAndATakenNameAsks() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    const QString a = Q(dir_.Write("one.txt", Text("one"))), b = Q(dir_.Write("two.bin", Text("two")));
    DropFiles(f, {a, b});
    QCOMPARE(m.File().EntryCount(), 8);
    QCOMPARE(m.File().EntryName(6), std::string("one.txt"));
    QCOMPARE(EntryBytes(f, 7), Text("two"));
    QVERIFY(Marked(f, 6) && Marked(f, 7));
    QCOMPARE(m.FileBox->currentRow(), 7);
    QVERIFY(f.platform.choices.empty());
    // One drop, one edit.
    Edit(f).acUndo->trigger();
    QCOMPARE(m.File().EntryCount(), 6);
    // A name a bundle cannot store (0xA5 ends a masked name) is refused; the others go in.
    const QString yen = Q(dir_.Write("\xC2\xA5.txt", Text("yen"))), ok = Q(dir_.Write("ok.txt", Text("ok")));
    DropFiles(f, {yen, ok});
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(m.File().EntryCount(), 7);
    QCOMPARE(m.File().EntryName(6), std::string("ok.txt"));
    Edit(f).acUndo->trigger();
    QVERIFY(!m.File().HasChanges());
    f.platform.boxes.clear();

    // A name the bundle has: Replace, Skip or Cancel.
    fs::create_directories(dir_.File("drop"));
    const QString same = Q(dir_.Write("drop/readme.nfo", Text("replaced"))),
                  other = Q(dir_.Write("drop/n.txt", Text("n")));
    f.platform.choiceAnswers = {2};  // Cancel: nothing of the drop stays
    DropFiles(f, {other, same});
    QCOMPARE(f.platform.choices.size(), size_t(1));
    QCOMPARE(f.platform.choices[0].buttons, (QStringList{"Replace", "Skip", "Cancel"}));
    QVERIFY(f.platform.choices[0].text.contains("readme.nfo"));
    QCOMPARE(m.File().EntryCount(), 6);
    QVERIFY(!m.File().HasChanges());
    f.platform.choiceAnswers = {1};  // Skip: the others still go in
    DropFiles(f, {other, same});
    QCOMPARE(m.File().EntryCount(), 7);
    QCOMPARE(EntryBytes(f, 5), Text("hello"));
    Edit(f).acUndo->trigger();
    f.platform.choiceAnswers = {0};  // Replace
    DropFiles(f, {same});
    QCOMPARE(m.File().EntryCount(), 6);
    QCOMPARE(EntryBytes(f, 5), Text("replaced"));
    QVERIFY(Marked(f, 5));
  }

  void SaveWritesWhatTheEditListHoldsAndReopens() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    TEditUi& e = Edit(f);
    ReplaceWith(f, 0, Q(dir_.Write(PictureName(), PictureFile(smp::BeachPicture()))));
    e.Rename(4, "data\\renamed.bin");
    QTRY_VERIFY(m.File().EntryChanged(4));
    e.AddFiles({Q(dir_.Write("plus.txt", Text("plus")))});
    f.Select(5);
    e.DeleteChosen();
    f.Select(3);
    const auto expected = EditedEntries(m);
    e.acSave->trigger();
    WaitIdle(m);
    QVERIFY2(f.platform.boxes.empty(), qPrintable(f.platform.BoxTexts().join("\n")));
    QCOMPARE(EntriesOf(dir_.File("b.lab")), expected);
    // The saved bundle is what is open now, unchanged, on the same entry.
    QVERIFY(!m.File().HasChanges());
    QCOMPARE(EditedEntries(m), expected);
    QCOMPARE(m.FileBox->currentRow(), 3);
    QCOMPARE(m.lFilename->text(), QString("scripts\\s.lua"));
    QVERIFY(m.lOffset->text().startsWith("0x"));
    for (int i = 0; i < m.File().EntryCount(); ++i) QVERIFY(!Marked(f, i));
    QCOMPARE(m.windowTitle(), QString("b.lab - VLD Resource Viewer 2.6"));
    QVERIFY(!e.acUndo->isEnabled());
    QVERIFY(m.InputEnabled());
    // Nothing else is left in the folder by the save.
    for (const auto& item : fs::directory_iterator(dir_.Path()))
      QVERIFY2(!item.path().filename().string().starts_with(".b.lab"), item.path().string().c_str());
  }

  void SavingThroughALinkUpdatesTheFileItLeadsTo() {
    if (vld::kWindows) QSKIP("symbolic links need rights on Windows");
    TViewerFixture f;
    TMainForm& m = f.Main();
    const fs::path real = Bundle("linked/real.lab"), link = dir_.File("linked/link.lab");
    fs::create_symlink("real.lab", link);
    f.Open(Q(link));
    ReplaceWith(f, 5, Q(dir_.Write("n.txt", Text("through the link"))));
    Edit(f).acSave->trigger();
    WaitIdle(m);
    QVERIFY(fs::is_symlink(link));
    QCOMPARE(EntriesOf(real)[5].second, Text("through the link"));
    // The bundle stays open under the name it was opened by.
    QCOMPARE(m.File().Path(), link);
    QCOMPARE(m.windowTitle(), QString("link.lab - VLD Resource Viewer 2.6"));
  }

  void SaveAsWritesANewBundleAndOpensIt() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    const Bytes original = OpenFresh(f);
    ReplaceWith(f, 5, Q(dir_.Write("n.txt", Text("new text"))));
    const auto expected = EditedEntries(m);
    f.platform.saveAnswers.push_back(Q(dir_.File("copy.lab")));
    Edit(f).acSaveAs->trigger();
    WaitIdle(m);
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("b.lab"));
    QCOMPARE(EntriesOf(dir_.File("copy.lab")), expected);
    QCOMPARE(vld::ReadWholeFile(dir_.File("b.lab")), original);
    QCOMPARE(m.File().Path(), dir_.File("copy.lab"));
    QCOMPARE(m.windowTitle(), QString("copy.lab - VLD Resource Viewer 2.6"));
  }

  void ACancelledOrFailedSaveLeavesTheBundleAndTheEdits() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    const Bytes original = OpenFresh(f, "cancel/b.lab");
    const fs::path bundle = dir_.File("cancel/b.lab");
    ReplaceWith(f, 5, Q(dir_.Write("n.txt", Text("new text"))));
    // Cancel pressed while the save writes.
    Edit(f).SetSaveHook([&m] { m.Session().Work().Cancel(); });
    Edit(f).acSave->trigger();
    WaitIdle(m);
    QCOMPARE(vld::ReadWholeFile(bundle), original);
    QVERIFY(m.File().HasChanges());
    QVERIFY(m.windowTitle().contains('*'));
    QVERIFY(m.StatusText(1).startsWith("Saving cancelled"));
    QVERIFY(f.platform.boxes.empty());
    QVERIFY(!f.windows.extract->isVisible());
    QVERIFY(m.InputEnabled());
    // A write that fails (a full disk): the error in a box, the same outcome.
    Edit(f).SetSaveHook([] { throw vld::FileError("No space left on device"); });
    Edit(f).acSave->trigger();
    WaitIdle(m);
    QCOMPARE(f.platform.BoxTexts(), QStringList{"No space left on device"});
    QCOMPARE(vld::ReadWholeFile(bundle), original);
    QVERIFY(m.File().HasChanges());
    QCOMPARE(EntryBytes(f, 5), Text("new text"));
    // No temporary file is left beside the bundle.
    int files = 0;
    for ([[maybe_unused]] const auto& item : fs::directory_iterator(bundle.parent_path())) ++files;
    QCOMPARE(files, 1);
    // And a save that works after all.
    Edit(f).SetSaveHook({});
    Edit(f).acSave->trigger();
    WaitIdle(m);
    QCOMPARE(EntriesOf(bundle)[5].second, Text("new text"));
  }

  void UnsavedChangesAskOnClose() {
    for (int answer : {2, 1, 0}) {  // Cancel, Discard, Save
      TViewerFixture f;
      TMainForm& m = f.Main();
      m.show();
      const Bytes original = OpenFresh(f);
      ReplaceWith(f, 5, Q(dir_.Write("n.txt", Text("closing"))));
      f.platform.choiceAnswers = {answer};
      m.close();
      WaitIdle(m);
      QCOMPARE(f.platform.choices.size(), size_t(1));
      QCOMPARE(f.platform.choices[0].buttons, (QStringList{"Save", "Discard", "Cancel"}));
      QVERIFY(f.platform.choices[0].text.contains("b.lab"));
      if (answer == 2) {
        QVERIFY(m.isVisible());
        QVERIFY(m.File().HasChanges());
      } else {
        QTRY_VERIFY(!m.isVisible());
      }
      const Bytes now = vld::ReadWholeFile(dir_.File("b.lab"));
      if (answer == 0)
        QCOMPARE(EntriesOf(dir_.File("b.lab"))[5].second, Text("closing"));
      else
        QCOMPARE(now, original);
    }
  }

  void UnsavedChangesAskBeforeAnotherFileOpens() {
    for (int answer : {2, 1, 0}) {  // Cancel, Discard, Save
      TViewerFixture f;
      TMainForm& m = f.Main();
      const Bytes original = OpenFresh(f);
      const fs::path other = Bundle("other.lab");
      ReplaceWith(f, 5, Q(dir_.Write("n.txt", Text("leaving"))));
      f.platform.choiceAnswers = {answer};
      f.Open(Q(other));
      WaitIdle(m);
      QCOMPARE(f.platform.choices.size(), size_t(1));
      if (answer == 2) {
        QCOMPARE(m.File().Path(), dir_.File("b.lab"));
        QCOMPARE(EntryBytes(f, 5), Text("leaving"));
      } else {
        QCOMPARE(m.File().Path(), other);
        QVERIFY(!m.File().HasChanges());
        QCOMPARE(m.windowTitle(), QString("other.lab - VLD Resource Viewer 2.6"));
      }
      if (answer == 0)
        QCOMPARE(EntriesOf(dir_.File("b.lab"))[5].second, Text("leaving"));
      else
        QCOMPARE(vld::ReadWholeFile(dir_.File("b.lab")), original);
    }
  }

  void PutBackATextTableKeepsItsLineBreaks() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    f.Select(2);
    TTextViewerForm& v = *f.windows.text;
    f.platform.onModal = [&](QWidget*) {
      QVERIFY(v.Putback1->isEnabled());
      // Unchanged text: nothing to put back.
      v.Putback1->trigger();
      QVERIFY(!m.File().HasChanges());
      v.RichEdit1->setPlainText("first\nchanged\n");
      v.Putback1->trigger();
    };
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.modalShown.size(), size_t(1));
    QCOMPARE(EntryBytes(f, 2), Text("first\nchanged\n"));
    QVERIFY(Marked(f, 2));
    QVERIFY(f.platform.boxes.empty());
  }

  void PutBackAScriptCompilesItInTheChunksFormat() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    f.Select(3);
    m.btAction->click();
    WaitIdle(m);
    TTextViewerForm& v = *f.windows.text;
    QVERIFY(v.isVisible() && v.Putback1->isEnabled());
    const QString source = "x = 2\nprint(x, \"back\")\n";
    v.RichEdit1->setPlainText(source);
    v.Putback1->trigger();
    QVERIFY2(f.platform.boxes.empty(), qPrintable(f.platform.BoxTexts().join("\n")));
    // Float size 4 and no line information, as the chunk it replaces.
    QCOMPARE(EntryBytes(f, 3), vld::CompileLua(source.toStdString(), ScriptOptions()).Chunk);
    QCOMPARE(v.RichEdit1->toPlainText(), source);  // what was put back stays as written
    // Renamed, the view follows it: its title, and the name Save as suggests.
    Edit(f).Rename(3, "scripts\\t.lua");
    QTRY_COMPARE(v.windowTitle(), QString("Text viewer - scripts\\t.lua"));
    f.platform.saveAnswers.push_back("");
    v.Saveas1->trigger();
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("t.lua"));
    Edit(f).acUndo->trigger();
    QCOMPARE(v.windowTitle(), QString("Text viewer - scripts\\s.lua"));

    // A compile error: the box, its line selected, nothing changed.
    const Bytes before = EntryBytes(f, 3);
    v.RichEdit1->setPlainText("x = 1\ny = 2\nz = = 3\n");
    v.Putback1->trigger();
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY(f.platform.boxes[0].kind == BoxKind::Error);
    QVERIFY(f.platform.boxes[0].text.contains(":3:"));
    QCOMPARE(v.RichEdit1->textCursor().block().blockNumber(), 2);
    QCOMPARE(v.RichEdit1->textCursor().selectedText(), QString("z = = 3"));
    QCOMPARE(EntryBytes(f, 3), before);

    // A chunk that cannot be read put in under the open view: the error is
    // reported, the edit stands.
    const QString junk = Q(dir_.Write("junk.bin", Text("\x1bLua junk")));
    ReplaceWith(f, 3, junk);
    QCOMPARE(f.platform.boxes.size(), size_t(2));
    QCOMPARE(EntryBytes(f, 3), Text("\x1bLua junk"));
    QVERIFY(m.windowTitle().contains('*'));
    Edit(f).acUndo->trigger();
    QCOMPARE(EntryBytes(f, 3), before);

    // Undo brings the old chunk back, and the open view shows it.
    Edit(f).acUndo->trigger();
    QCOMPARE(EntryBytes(f, 3), script_);
    QVERIFY(v.RichEdit1->toPlainText().contains("print"));
    QVERIFY(!v.RichEdit1->toPlainText().contains("back"));
  }

  void OpenViewsShowTheEntryAsEdited() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    f.Select(4);
    m.acHexView->trigger();
    f.Select(5);
    m.acHexView->trigger();
    QCOMPARE(m.Actions()->HexViews().size(), size_t(2));
    const QRect place = m.Actions()->HexViews()[0]->geometry();
    ReplaceWith(f, 4, Q(dir_.Write("longer.bin", Text("a longer replacement"))));
    // The view of the replaced entry now shows its new bytes, where it was;
    // the other is left as it was.
    QPointer<THexViewForm> replaced = m.Actions()->HexViews()[0];
    QVERIFY(replaced);
    QCOMPARE(replaced->Source().size, std::int64_t(20));
    QCOMPARE(vld::ReadHexRange(replaced->Source(), 0, 20), Text("a longer replacement"));
    QCOMPARE(replaced->geometry(), place);
    QCOMPARE(m.Actions()->HexViews()[1]->Source().size, std::int64_t(5));
    // Undo: the file's bytes again.
    Edit(f).acUndo->trigger();
    QCOMPARE(vld::ReadHexRange(m.Actions()->HexViews()[0]->Source(), 0, 9), Text("raw bytes"));
    // An entry removed before it moves the view along with its entry.
    f.Select(0);
    Edit(f).DeleteChosen();
    ReplaceWith(f, 3, Q(dir_.Write("again.bin", Text("again"))));
    QCOMPARE(vld::ReadHexRange(m.Actions()->HexViews()[0]->Source(), 0, 5), Text("again"));
    m.Actions()->CloseHexViews();
  }

  void ALargeFileIsReadWhenItIsSaved() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f, "large/b.lab");
    // Sparse: large on paper, cheap to make.
    const fs::path big = dir_.Write("large/big.bin", Text("head"));
    const std::int64_t size = (std::int64_t(64) << 20) + 1;
    fs::resize_file(big, static_cast<std::uintmax_t>(size));
    Edit(f).AddFiles({Q(big)});
    QCOMPARE(m.File().EntrySize(6), static_cast<std::int32_t>(size));
    QVERIFY(!m.File().Edits()->Entry(6).content->InMemory());
    // Save file... copies it from the file, with the progress window.
    f.Select(6);
    f.platform.saveAnswers.push_back(Q(dir_.File("large/out.bin")));
    m.btSaveFile->click();
    WaitIdle(m);
    QVERIFY2(f.platform.boxes.empty(), qPrintable(f.platform.BoxTexts().join("\n")));
    QCOMPARE(static_cast<std::int64_t>(fs::file_size(dir_.File("large/out.bin"))), size);
    Edit(f).acSave->trigger();
    WaitIdle(m);
    vld::TLabReader saved;
    saved.Open(dir_.File("large/b.lab"));
    QCOMPARE(saved.Count(), 7);
    QCOMPARE(saved.GetSize(6), static_cast<std::int32_t>(size));
  }

  void BatchesWaitForTheChangesToBeSaved() {
    TViewerFixture f;
    TMainForm& m = f.Main();
    OpenFresh(f);
    ReplaceWith(f, 5, Q(dir_.Write("n.txt", Text("x"))));
    m.Extractall1->trigger();
    QCOMPARE(f.platform.BoxTexts(), QStringList{kUnsavedBatchRefusal});
    QVERIFY(f.platform.folderTitles.isEmpty());
    // A single entry's raw save writes it as edited.
    f.Select(5);
    f.platform.saveAnswers.push_back(Q(dir_.File("out.nfo")));
    m.btSaveFile->click();
    WaitIdle(m);
    QCOMPARE(vld::ReadWholeFile(dir_.File("out.nfo")), Text("x"));
  }
};

QTEST_MAIN(EditTest)
#include "EditTest.moc"
