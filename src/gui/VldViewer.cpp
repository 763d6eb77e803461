#include <cstdio>
#include <exception>
#include <string_view>

#include <QApplication>
#include <QStringList>

#ifdef _WIN32
#include <windows.h>
#endif

#include "gui/AppWindows.h"
#include "gui/EntryList.h"
#include "gui/Main.h"

namespace {

IPlatform* gPlatform = nullptr;

// The top-level handler: an exception that escapes an event handler is shown
// in a box, and the event loop goes on.
class TVldApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      if (gPlatform) gPlatform->MessageBox(BoxKind::Error, QString::fromUtf8(e.what()));
    } catch (...) {
      if (gPlatform) gPlatform->MessageBox(BoxKind::Error, "An unexpected error occurred.");
    }
    return false;
  }
};

// A windowed program on Windows has no console of its own: what it prints
// for --version and --smoke goes to the console it was started from.
void AttachParentConsole() {
#ifdef _WIN32
  if (GetStdHandle(STD_OUTPUT_HANDLE) == nullptr && AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
#endif
}

// vldviewer --smoke FILE: opens FILE in the main window, shows it, closes it
// and says how it went (exit code 0 when the file opened). Installers and
// packaging checks use it where no one looks at the window.
int SmokeRun(TMainForm& main, const QString& path) {
  main.show();
  try {
    main.OpenFile(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", path.toLocal8Bit().constData(), e.what());
    return 1;
  }
  const bool opened = main.Session().File().IsBundle();
  std::printf("%s: %s, %d entries\n", path.toLocal8Bit().constData(), opened ? "opened" : "not opened",
              main.FileBox->count());
  std::fflush(stdout);
  main.close();
  return opened ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--version") {
      AttachParentConsole();
      std::printf("vldviewer %s\n", VLD_VERSION);
      return 0;
    }
  }
  TVldApplication app(argc, argv);
  QApplication::setApplicationName(kAppTitle);
  std::unique_ptr<IPlatform> platform = CreateQtPlatform();
  gPlatform = platform.get();

  TAppWindows windows = CreateAppWindows(*platform);
  const QStringList args = QApplication::arguments();
  if (args.size() == 3 && args[1] == "--smoke") {
    AttachParentConsole();
    const int rc = SmokeRun(*windows.main, args[2]);
    windows.main.reset();
    gPlatform = nullptr;
    return rc;
  }
  windows.main->show();
  if (args.size() > 1) {
    QString path = args[1];
    windows.main->Guarded([&] { windows.main->OpenFile(path); });
  }
  int rc = app.exec();
  windows.main.reset();
  gPlatform = nullptr;
  return rc;
}
