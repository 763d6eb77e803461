#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include "gui/Platform.h"
#include "gui/ProgramWatch.h"

namespace {

// "Bitmap Images (*.bmp)|*.bmp|All files (*.*)|*.*" -> Qt's "Bitmap Images (*.bmp);;All files (*.*)".
QString QtFilter(const QString& filter) {
  QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    if (!desc.contains('('))
      desc += " (" + patterns + ")";
    else
      desc = desc.left(desc.indexOf('(')) + "(" + patterns + ")";
    out << desc;
  }
  return out.join(";;");
}

// Quits an event loop when the watched window is hidden or closed.
class HideWatcher : public QObject {
 public:
  HideWatcher(QWidget* w, QEventLoop* loop) : loop_(loop) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Hide || e->type() == QEvent::Close) loop_->quit();
    return false;
  }

 private:
  QEventLoop* loop_;
};

class QtPlatform : public IPlatform {
 public:
  void MessageBox(BoxKind kind, const QString& text) override {
    QWidget* parent = QApplication::activeWindow();
    switch (kind) {
      case BoxKind::Error:
        QMessageBox::critical(parent, kAppTitle, text);
        break;
      case BoxKind::Warning:
        QMessageBox::warning(parent, kAppTitle, text);
        break;
      case BoxKind::Information:
        QMessageBox::information(parent, kAppTitle, text);
        break;
      case BoxKind::Plain: {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, parent);
        box.exec();
        break;
      }
    }
  }

  std::optional<QString> OpenFile(QWidget* owner, const QString& filter, const QString& defaultExt) override {
    QFileDialog dlg(owner);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = QtFilter(filter).split(";;") << "All files (*)";
    dlg.setNameFilters(filters);
    dlg.setDefaultSuffix(defaultExt);
    // A name typed without an extension gets the bundle's only while bundles
    // are listed; otherwise a file without one could not be opened.
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg, filters, defaultExt](const QString& chosen) {
      dlg.setDefaultSuffix(chosen == filters.first() ? defaultExt : QString());
    });
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().first();
  }

  std::optional<QString> SaveFile(QWidget* owner, const QString& suggestedName, const QString& filter,
                                  const QString& defaultExt, const QString& startFolder) override {
    QFileDialog dlg(owner);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    if (!startFolder.isEmpty()) dlg.setDirectory(startFolder);
    dlg.setNameFilters(QtFilter(filter).split(";;"));
    if (!defaultExt.isEmpty()) dlg.setDefaultSuffix(defaultExt);
    dlg.selectFile(suggestedName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().first();
  }

  std::optional<QString> ChooseFolder(QWidget* owner, const QString& title) override {
    QString dir = QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty()) return std::nullopt;
    return dir;
  }

  void ShowModal(QWidget* window) override {
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    QEventLoop loop;
    HideWatcher watcher(window, &loop);
    if (window->isVisible()) loop.exec();
    window->setWindowModality(Qt::NonModal);
  }

  bool StartProgram(const QString& program, const QStringList& arguments,
                    std::function<void(const QString& failure)> onEarlyFailure) override {
    // The program's output goes to a file of this run's own, read back only
    // when it fails early.
    if (!outputDir_) outputDir_ = std::make_unique<QTemporaryDir>();
    const QString output =
        outputDir_->isValid() ? outputDir_->filePath(QString("output-%1.txt").arg(++started_)) : QString();
    return StartWatchedProgram(program, arguments, output, kPlayerWatchMs, std::move(onEarlyFailure));
  }

  int AskChoice(BoxKind kind, const QString& text, const QStringList& buttons) override {
    const QMessageBox::Icon icons[] = {QMessageBox::Critical, QMessageBox::Warning, QMessageBox::Information,
                                       QMessageBox::NoIcon};
    QMessageBox box(icons[static_cast<int>(kind)], kAppTitle, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    std::vector<QAbstractButton*> added;
    for (const QString& caption : buttons) added.push_back(box.addButton(caption, QMessageBox::AcceptRole));
    if (!added.empty()) box.setDefaultButton(static_cast<QPushButton*>(added.back()));
    box.exec();
    for (std::size_t i = 0; i < added.size(); ++i)
      if (box.clickedButton() == added[i]) return static_cast<int>(i);
    return -1;
  }

  bool OpenFolder(const QString& folder) override { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

  IMediaPlayer& Player() override {
    if (!player_) player_ = CreatePlatformMediaPlayer();
    return *player_;
  }

 private:
  std::unique_ptr<IMediaPlayer> player_;
  std::unique_ptr<QTemporaryDir> outputDir_;
  int started_ = 0;
};

}  // namespace

std::unique_ptr<IPlatform> CreateQtPlatform() { return std::make_unique<QtPlatform>(); }

void CentreOnScreen(QWidget* window) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect s = screen->geometry();
    window->move((s.width() - window->width()) / 2, (s.height() - window->height()) / 2);
  }
}
