// How much longer the viewer needs than the core to show a bundle of 100,000
// entries: TMainForm::OpenFile of a generated bundle until the list has been
// painted, against TLabReader::Open of the same file alone (the yardstick),
// alternated in the same run; medians.
//
//   build/bench/gui_list_fill [entries] [runs]   (default 100000 and 21; files on /dev/shm)

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include "BenchPlatform.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "gui/AppWindows.h"
#include "gui/EntryList.h"
#include "gui/Main.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()) / "vld-list-fill";
  fs::remove_all(root);
  fs::create_directories(root / "config");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The recent-files list is written on every open (and synced to disk): it
  // goes beside the bundle, not into the user's settings, and costs no disk wait.
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((root / "config").string()));
  QApplication app(argc, argv);
  const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;

  const fs::path bundle = root / "big.lab";
  WriteFolderBundle(bundle, entries);
  const QString path = QString::fromStdString(bundle.string());

  TBenchPlatform platform;
  TAppWindows windows = CreateAppWindows(platform);
  TMainForm& main = *windows.main;
  main.resize(800, 600);
  main.show();
  app.processEvents();

  std::vector<double> core, viewer, openCall, events, paint, background;
  QElapsedTimer clock;
  for (int run = 0; run < runs + 1; ++run) {
    clock.start();
    {
      vld::TLabReader reader;
      reader.Open(bundle);
      if (reader.Count() != entries) std::fprintf(stderr, "core open found %d entries\n", reader.Count());
    }
    const double coreMs = clock.nsecsElapsed() / 1e6;

    clock.start();
    main.OpenFile(path);
    const double openMs = clock.nsecsElapsed() / 1e6;
    // Shown: every pending event handled (the list lays out its rows) and the list painted at once.
    app.processEvents();
    const double eventsMs = clock.nsecsElapsed() / 1e6;
    main.FileBox->viewport()->repaint();
    const double viewerMs = clock.nsecsElapsed() / 1e6;
    // The rest of the rows are laid out in batches from the event loop while
    // the list is already shown: until the scroll bar spans them all.
    QScrollBar* bar = main.FileBox->verticalScrollBar();
    while (bar->maximum() < entries - 200 && clock.nsecsElapsed() < 5'000'000'000) app.processEvents();
    const double laidOutMs = clock.nsecsElapsed() / 1e6;
    if (main.FileBox->count() != entries) std::fprintf(stderr, "the list holds %d rows\n", main.FileBox->count());
    if (run == 0) continue;  // the first round warms caches and fonts
    core.push_back(coreMs);
    viewer.push_back(viewerMs);
    openCall.push_back(openMs);
    events.push_back(eventsMs - openMs);
    paint.push_back(viewerMs - eventsMs);
    background.push_back(laidOutMs - viewerMs);
  }

  // What one layout pass costs on its own (with batched layout: the first
  // batch; the rest follows from the event loop).
  std::vector<double> layout;
  for (int run = 0; run < runs; ++run) {
    clock.start();
    main.FileBox->doItemsLayout();
    layout.push_back(clock.nsecsElapsed() / 1e6);
  }

  std::vector<double> extra;
  for (std::size_t i = 0; i < core.size(); ++i) extra.push_back(viewer[i] - core[i]);
  std::printf("%d entries, medians of %d runs\n", entries, runs);
  std::printf("core open (TLabReader::Open):          %.2f ms\n", Median(core));
  std::printf("viewer open and list shown (OpenFile): %.2f ms\n", Median(viewer));
  std::printf("viewer needs more, run by run:         %.2f ms\n", Median(extra));
  std::printf("  of which OpenFile itself %.2f ms, the events after it %.2f ms, painting the list %.2f ms\n",
              Median(openCall), Median(events), Median(paint));
  std::printf("one layout pass of the list's rows alone:  %.2f ms\n", Median(layout));
  std::printf("after it is shown, the remaining rows laid out from the event loop in %.2f ms\n", Median(background));
  std::printf("status: %s\n", qPrintable(main.StatusText(0)));
  windows.main.reset();
  fs::remove_all(root);
  return 0;
}
