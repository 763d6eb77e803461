#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "gui/AppWindows.h"
#include "gui/EntryActions.h"
#include "gui/EntryList.h"
#include "gui/EntryPanel.h"
#include "gui/GuiText.h"
#include "gui/ListPane.h"
#include "gui/Main.h"
#include "gui/Platform.h"

// A player that records the commands it gets; tests end playback with Finish().
class TFakePlayer : public IMediaPlayer {
 public:
  void Open(const QString& path) override;
  void Play() override;
  void Stop() override;
  void Close() override;
  PlayerMode Mode() const override { return mode; }
  bool HasOutput() const override { return hasOutput; }
  // Playback reached its end: the device stops and notifies.
  void Finish();

  QStringList calls;  // "open <path>", "play", "stop", "close"
  PlayerMode mode = PlayerMode::NotOpen;
  bool hasOutput = true;
  QString failOpenWith;  // when set, Open throws with this message
  QString openedPath;
};

struct TBoxShown {
  BoxKind kind;
  QString text;
};

struct TSaveRequest {
  QString suggestedName;
  QString filter;
  QString defaultExt;
  QString startFolder;
};

// Answers dialogs from queues and records everything the viewer asks.
class TScriptedPlatform : public IPlatform {
 public:
  void MessageBox(BoxKind kind, const QString& text) override {
    boxes.push_back({kind, text});
    if (onBox) onBox(boxes.back());
  }
  std::optional<QString> OpenFile(QWidget* owner, const QString& filter, const QString& defaultExt) override;
  std::optional<QString> SaveFile(QWidget* owner, const QString& suggestedName, const QString& filter,
                                  const QString& defaultExt, const QString& startFolder) override;
  std::optional<QString> ChooseFolder(QWidget* owner, const QString& title) override;
  void ShowModal(QWidget* window) override;
  // Records the start; with runPrograms the program really runs, watched as
  // the desktop platform does it.
  bool StartProgram(const QString& program, const QStringList& arguments,
                    std::function<void(const QString& failure)> onEarlyFailure) override;
  int AskChoice(BoxKind kind, const QString& text, const QStringList& buttons) override;
  bool OpenFolder(const QString& folder) override {
    openedFolders << folder;
    return openFolderSucceeds;
  }
  IMediaPlayer& Player() override { return player; }

  // Texts of the boxes shown so far, in order.
  QStringList BoxTexts() const;
  void ClearRecords();

  std::vector<TBoxShown> boxes;
  // Answers of the dialogs in order; an empty text cancels the dialog.
  std::deque<QString> openAnswers;
  std::deque<QString> saveAnswers;
  std::deque<QString> folderAnswers;
  QStringList openFilters, openDefaultExts;
  std::vector<TSaveRequest> saveRequests;
  QStringList folderTitles;
  std::vector<QWidget*> modalShown;
  // Runs while a window is shown modally (the window is visible then); the
  // window is hidden afterwards if it is still visible.
  std::function<void(QWidget*)> onModal;
  // Runs as each box is shown, while the window is as the user sees it behind the box.
  std::function<void(const TBoxShown&)> onBox;
  std::vector<std::pair<QString, QStringList>> started;
  bool startSucceeds = true;
  bool runPrograms = false;
  QString programOutputFile;  // where a really started program's output goes
  struct TChoice {
    BoxKind kind;
    QString text;
    QStringList buttons;
  };
  std::vector<TChoice> choices;
  std::deque<int> choiceAnswers;  // button indexes; when empty the last button is pressed
  QStringList openedFolders;
  bool openFolderSucceeds = true;
  TFakePlayer player;
};

// Lets the event loop run until the main window's worker has finished and
// its result has been shown.
void WaitIdle(TMainForm& main);

// The six windows on a scripted platform.
struct TViewerFixture {
  TViewerFixture() : windows(CreateAppWindows(platform)) {}
  TMainForm& Main() { return *windows.main; }
  // Opens a file through the scripted open dialog and the menu item.
  void Open(const QString& path);
  void Select(int row);

  TScriptedPlatform platform;
  TAppWindows windows;
};
