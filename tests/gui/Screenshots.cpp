// Takes the README's screenshots: the real windows on the demo bundle, driven
// through the scripted platform, grabbed from the screen with the window
// manager's frames. Run by scripts/screenshots under Xvfb and openbox.
//   gui_screenshots OUTPUT_FOLDER

#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/images/BMPTools.h"
#include "core/images/PngImage.h"
#include "gui/EditUi.h"
#include "gui/HexViewForm.h"
#include "gui/TextViewer.h"
#include "samples/Demo.h"
#include "samples/ImageSamples.h"

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// Lets the window manager map and frame what was shown, and the windows paint.
void Settle(int ms = 600) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(10);
  }
}

bool Shot(QWidget* window, const QString& file) {
  Settle();
  QRect frame = window->frameGeometry();
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  QPixmap pixmap = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  const bool ok = !pixmap.isNull() && pixmap.save(file, "PNG");
  std::fprintf(stderr, "%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(file), frame.width(), frame.height());
  return ok;
}

int RowOf(TMainForm& m, const QString& name) {
  for (int i = 0; i < m.FileBox->count(); ++i)
    if (m.FileBox->itemText(i) == name) return i;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  vld::TTempDir dir;
  const vld::samples::DemoFiles demo = vld::samples::WriteDemo(dir.File("demo"));

  TViewerFixture f;
  TMainForm& m = f.Main();
  m.resize(900, 560);
  m.move(30, 30);
  m.show();
  f.Open(Q(demo.bundle));
  int failed = 0;
  auto shoot = [&](QWidget* w, const char* name) { failed += Shot(w, out + "/" + name) ? 0 : 1; };

  m.FileBox->setCurrentRow(RowOf(m, "gfx\\backgrounds\\beach.til"));
  shoot(&m, "main.png");

  m.acFindEntry->trigger();
  m.List()->edFilter->setText("orb");
  m.FileBox->setCurrentRow(RowOf(m, "textures\\pulse\\orb3.tga"));
  shoot(&m, "filter.png");
  m.List()->edFilter->clear();

  m.acFolderView->trigger();
  for (QTreeWidgetItem* item : m.List()->tvFolders->findItems("models", Qt::MatchStartsWith | Qt::MatchRecursive))
    m.List()->tvFolders->setCurrentItem(item);
  m.FileBox->setCurrentRow(RowOf(m, "models\\actors\\hero\\hero.cos"));
  shoot(&m, "folders.png");
  m.acFolderView->trigger();

  // The secondary windows are modal: each is grabbed while it is up.
  const char* current = nullptr;
  f.platform.onModal = [&](QWidget* w) {
    if (current) shoot(w, current);
    current = nullptr;
  };
  const std::pair<const char*, const char*> viewers[] = {{"gfx\\backgrounds\\beach.til", "tile.png"},
                                                         {"textures\\sign.tga", "tga.png"},
                                                         {"fonts\\small.kfn", "font.png"},
                                                         {"surfaces\\pulse.sur", "surface.png"},
                                                         {"scripts\\demo.lua", "lua.png"}};
  for (const auto& [entry, file] : viewers) {
    current = file;
    m.FileBox->setCurrentRow(RowOf(m, entry));
    m.btnAction();  // as Enter does: a script's button is off, its action is not
    WaitIdle(m);
    // A script's text opens without blocking.
    if (current && f.windows.text->isVisible()) {
      shoot(f.windows.text, current);
      f.windows.text->hide();
    }
    Settle(200);
  }
  current = nullptr;

  // The hex view of a text table, a word found.
  m.FileBox->setCurrentRow(RowOf(m, "text\\strings.tab"));
  m.acHexView->trigger();
  if (!m.Actions()->HexViews().empty() && m.Actions()->HexViews().back()) {
    THexViewForm* hex = m.Actions()->HexViews().back();
    hex->move(60, 60);
    hex->edFind->setText("cellar");
    hex->FindClick();
    hex->WaitForFind();
    shoot(hex, "hex-view.png");
  } else {
    ++failed;
  }
  // Editing: a texture replaced by a picture (marked in the list, '*' in the
  // title), and the list's context menu open on another entry.
  {
    m.Actions()->CloseHexViews();
    // Wide enough for whole names.
    m.Splitter1->setSizes({400, m.width() - 406});
    const vld::Bytes bmp = vld::WriteBMP32(vld::samples::WaterPicture());
    const auto picture =
        vld::HavePngWriter() ? dir.Write("water.png", vld::BmpToPng(bmp)) : dir.Write("water.bmp", bmp);
    const int wall = RowOf(m, "textures\\wall.tga");
    m.FileBox->setCurrentRow(wall);
    m.Guarded([&] { m.Edit()->ReplaceWith(wall, Q(picture)); });
    WaitIdle(m);
    const int strings = RowOf(m, "text\\strings.tab");
    m.FileBox->setCurrentRow(strings);
    const QRect row = m.FileBox->EntryRect(strings);
    m.Edit()->ContextMenu->popup(m.FileBox->viewport()->mapToGlobal(row.center() + QPoint(20, 0)));
    shoot(&m, "editing.png");
    m.Edit()->ContextMenu->hide();
  }
  f.platform.choiceAnswers = {1};  // the edit is discarded
  m.close();
  return failed ? 1 : 0;
}
