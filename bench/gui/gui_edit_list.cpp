// How long the viewer takes to show one edit of a bundle of 100,000 entries:
// a rename and a delete (and their undo) through TEditUi until the list has
// been painted, against the same edit applied and reverted on the core's edit
// list alone (the yardstick), in the same run; medians.
//
//   build/bench/gui_edit_list [entries] [runs]   (default 100000 and 21; files on /dev/shm)

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>

#include "BenchPlatform.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabWriter.h"
#include "gui/AppWindows.h"
#include "gui/EditUi.h"
#include "gui/EntryList.h"
#include "gui/Main.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()) / "vld-edit-list";
  fs::remove_all(root);
  fs::create_directories(root / "config");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((root / "config").string()));
  QApplication app(argc, argv);
  const int entries = argc > 1 ? std::max(2, std::atoi(argv[1])) : 100000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;

  const fs::path bundle = root / "big.lab";
  WriteFolderBundle(bundle, entries);

  TBenchPlatform platform;
  TAppWindows windows = CreateAppWindows(platform);
  TMainForm& main = *windows.main;
  main.resize(800, 600);
  main.show();
  main.OpenFile(QString::fromStdString(bundle.string()));
  app.processEvents();
  TEditUi& edit = *main.Edit();
  const int middle = entries / 2;

  QElapsedTimer clock;
  // Until the list is shown as edited: the events handled and the list painted.
  auto shown = [&] {
    app.processEvents();
    main.FileBox->viewport()->repaint();
    return clock.nsecsElapsed() / 1e6;
  };
  std::vector<double> core, rename, renameUndo, remove, removeUndo;
  for (int run = 0; run < runs + 1; ++run) {
    vld::TBundleEditList& list = *main.Session().File().Edits();
    clock.start();
    list.Revert(list.Apply(vld::TBundleEdit::Rename(middle, "renamed.til")));
    list.Revert(list.Apply(vld::TBundleEdit::Remove(middle)));
    const double coreMs = clock.nsecsElapsed() / 1e6;

    main.FileBox->setCurrentRow(middle);
    clock.start();
    edit.Rename(middle, "renamed.til");
    const double renameMs = shown();
    clock.start();
    edit.Undo();
    const double renameUndoMs = shown();
    main.FileBox->setCurrentRow(middle);
    clock.start();
    edit.DeleteChosen();
    const double removeMs = shown();
    clock.start();
    edit.Undo();
    const double removeUndoMs = shown();
    if (main.File().HasChanges() || main.FileBox->count() != entries) std::fprintf(stderr, "the edits did not undo\n");
    if (run == 0) continue;  // the first round warms caches and fonts
    core.push_back(coreMs);
    rename.push_back(renameMs);
    renameUndo.push_back(renameUndoMs);
    remove.push_back(removeMs);
    removeUndo.push_back(removeUndoMs);
  }
  std::printf("%d entries, medians of %d runs\n", entries, runs);
  std::printf("core: rename and remove, each applied and reverted: %.2f ms\n", Median(core));
  std::printf("viewer, until the list is painted: rename %.2f ms, its undo %.2f ms; delete %.2f ms, its undo %.2f ms\n",
              Median(rename), Median(renameUndo), Median(remove), Median(removeUndo));
  windows.main.reset();
  fs::remove_all(root);
  return 0;
}
