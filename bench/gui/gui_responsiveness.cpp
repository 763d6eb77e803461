// How well the main window's event loop keeps answering while Extract all
// writes a 1 GiB bundle: a 10 ms timer runs during the extraction and the
// longest gap between two of its ticks is reported. The yardstick is the same
// timer on an idle event loop, measured in the same run.
//
//   build/bench/gui_responsiveness [MiB]   (default 1024; files on /dev/shm)

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "BenchPlatform.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "gui/AppWindows.h"
#include "gui/Main.h"

namespace {

// The longest gap between ticks of a 10 ms timer while `loop` runs.
struct TGaps {
  qint64 longestMs = 0;
  int ticks = 0;
};

TGaps MeasureWhile(QEventLoop& loop) {
  TGaps gaps;
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    qint64 now = clock.elapsed();
    gaps.longestMs = std::max(gaps.longestMs, now - last);
    last = now;
    ++gaps.ticks;
  });
  timer.start();
  loop.exec();
  return gaps;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int mib = argc > 1 ? std::atoi(argv[1]) : 1024;
  namespace fs = std::filesystem;
  const fs::path root = fs::path(fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()) / "vld-responsive";
  fs::remove_all(root);
  fs::create_directories(root / "out");

  // mib entries of 1 MiB each, in 16 folders.
  vld::LabWriter w;
  for (int i = 0; i < mib; ++i)
    w.Add("f" + std::to_string(i % 16) + "\\e" + std::to_string(i) + ".dat",
          vld::Bytes(std::size_t{1} << 20, static_cast<std::uint8_t>(i)));
  w.Write(root / "big.lab");
  w = vld::LabWriter();

  TBenchPlatform platform(QString::fromStdString((root / "out").string()));
  TAppWindows windows = CreateAppWindows(platform);
  TMainForm& main = *windows.main;
  main.show();
  main.OpenFile(QString::fromStdString((root / "big.lab").string()));

  // Yardstick: the idle loop, for one second.
  QEventLoop idle;
  QTimer::singleShot(1000, &idle, &QEventLoop::quit);
  TGaps quiet = MeasureWhile(idle);

  QEventLoop busy;
  QObject::connect(&main, &TMainForm::workFinished, &busy, &QEventLoop::quit);
  QElapsedTimer run;
  run.start();
  QTimer::singleShot(0, &main, [&] { main.Extractall1->trigger(); });
  TGaps during = MeasureWhile(busy);
  const double seconds = run.elapsed() / 1000.0;

  std::printf("idle loop:          longest gap %lld ms over %d ticks\n", static_cast<long long>(quiet.longestMs),
              quiet.ticks);
  std::printf("during extraction:  longest gap %lld ms over %d ticks; %d MiB in %.2f s (%.0f MiB/s)\n",
              static_cast<long long>(during.longestMs), during.ticks, mib, seconds, mib / seconds);
  std::printf("status: %s\n", qPrintable(main.StatusText(1)));
  windows.main.reset();
  fs::remove_all(root);
  return 0;
}
