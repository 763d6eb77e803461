#include "GuiTestSupport.h"

#include <QAction>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "core/common/Errors.h"
#include "gui/ProgramWatch.h"

namespace {

// What the viewer remembers (recent files, the window's layout) goes to a
// scratch folder of each test program's own: never into the user's settings,
// and no test program sees what another one left.
const bool kScratchSettings = [] {
  static QTemporaryDir settings;
  // On Windows the native format is the registry, which a path cannot move.
  QSettings::setDefaultFormat(QSettings::IniFormat);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  return true;
}();

std::optional<QString> PopAnswer(std::deque<QString>& answers) {
  if (answers.empty()) return std::nullopt;
  QString answer = answers.front();
  answers.pop_front();
  if (answer.isEmpty()) return std::nullopt;
  return answer;
}

}  // namespace

void TFakePlayer::Open(const QString& path) {
  calls << "open " + path;
  if (!failOpenWith.isEmpty()) throw vld::VldError(failOpenWith.toStdString());
  openedPath = path;
  mode = PlayerMode::Stopped;
}

void TFakePlayer::Play() {
  calls << "play";
  mode = PlayerMode::Playing;
}

void TFakePlayer::Stop() {
  calls << "stop";
  if (mode == PlayerMode::Playing) mode = PlayerMode::Stopped;
}

void TFakePlayer::Close() {
  calls << "close";
  mode = PlayerMode::NotOpen;
}

void TFakePlayer::Finish() {
  mode = PlayerMode::Stopped;
  if (onNotify) onNotify();
}

std::optional<QString> TScriptedPlatform::OpenFile(QWidget*, const QString& filter, const QString& defaultExt) {
  openFilters << filter;
  openDefaultExts << defaultExt;
  return PopAnswer(openAnswers);
}

std::optional<QString> TScriptedPlatform::SaveFile(QWidget*, const QString& suggestedName, const QString& filter,
                                                   const QString& defaultExt, const QString& startFolder) {
  saveRequests.push_back({suggestedName, filter, defaultExt, startFolder});
  return PopAnswer(saveAnswers);
}

std::optional<QString> TScriptedPlatform::ChooseFolder(QWidget*, const QString& title) {
  folderTitles << title;
  return PopAnswer(folderAnswers);
}

void TScriptedPlatform::ShowModal(QWidget* window) {
  modalShown.push_back(window);
  window->show();
  if (onModal) onModal(window);
  if (window->isVisible()) window->hide();
}

bool TScriptedPlatform::StartProgram(const QString& program, const QStringList& arguments,
                                     std::function<void(const QString& failure)> onEarlyFailure) {
  started.push_back({program, arguments});
  if (runPrograms)
    return StartWatchedProgram(program, arguments, programOutputFile, kPlayerWatchMs, std::move(onEarlyFailure));
  return startSucceeds;
}

int TScriptedPlatform::AskChoice(BoxKind kind, const QString& text, const QStringList& buttons) {
  choices.push_back({kind, text, buttons});
  if (choiceAnswers.empty()) return static_cast<int>(buttons.size()) - 1;
  int answer = choiceAnswers.front();
  choiceAnswers.pop_front();
  return answer;
}

QStringList TScriptedPlatform::BoxTexts() const {
  QStringList texts;
  for (const auto& b : boxes) texts << b.text;
  return texts;
}

void TScriptedPlatform::ClearRecords() {
  boxes.clear();
  saveRequests.clear();
  modalShown.clear();
  started.clear();
  choices.clear();
  openedFolders.clear();
  player.calls.clear();
}

void TViewerFixture::Open(const QString& path) {
  platform.openAnswers.push_back(path);
  Main().OpenLAB1->trigger();
}

void TViewerFixture::Select(int row) { Main().FileBox->setCurrentRow(row); }

void WaitIdle(TMainForm& main) {
  QElapsedTimer timer;
  timer.start();
  while (main.Busy() && timer.elapsed() < 60000) QTest::qWait(1);
  if (main.Busy()) qWarning("the worker did not finish within a minute");
}
