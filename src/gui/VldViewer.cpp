#include <exception>

#include <QApplication>
#include <QStringList>

#include "gui/AppWindows.h"
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

}  // namespace

int main(int argc, char** argv) {
  TVldApplication app(argc, argv);
  QApplication::setApplicationName(kAppTitle);
  std::unique_ptr<IPlatform> platform = CreateQtPlatform();
  gPlatform = platform.get();

  TAppWindows windows = CreateAppWindows(*platform);
  windows.main->show();
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    QString path = args[1];
    windows.main->Guarded([&] { windows.main->OpenFile(path); });
  }
  int rc = app.exec();
  windows.main.reset();
  gPlatform = nullptr;
  return rc;
}
