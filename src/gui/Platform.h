#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

// What the viewer asks of the desktop: message boxes, file and folder dialogs,
// modal windows, starting another program, and a sound player. The program
// uses the Qt implementation; tests plug in a scripted one.

enum class BoxKind { Error, Warning, Information, Plain };

enum class PlayerMode { NotOpen, Stopped, Playing };

// Plays one sound file; the notification arrives on the GUI thread.
class IMediaPlayer {
 public:
  virtual ~IMediaPlayer() = default;
  // Throws vld::VldError with the device's own message when the file cannot be opened.
  virtual void Open(const QString& path) = 0;
  virtual void Play() = 0;
  virtual void Stop() = 0;
  virtual void Close() = 0;
  virtual PlayerMode Mode() const = 0;
  // False when the machine has no audio output device.
  virtual bool HasOutput() const = 0;
  // Called when a command completes, playback included (the media player's notify).
  std::function<void()> onNotify;
};

class IPlatform {
 public:
  virtual ~IPlatform() = default;

  // Filters use the "Description (*.ext)|*.ext" form; the caption of every box
  // is the application title.
  virtual void MessageBox(BoxKind kind, const QString& text) = 0;
  // The default extension is added to a typed name without one only while
  // the first filter is chosen ("All files" opens the name as typed).
  virtual std::optional<QString> OpenFile(QWidget* owner, const QString& filter, const QString& defaultExt) = 0;
  // The dialog starts in `startFolder` (the working folder when it is empty).
  virtual std::optional<QString> SaveFile(QWidget* owner, const QString& suggestedName, const QString& filter,
                                          const QString& defaultExt, const QString& startFolder) = 0;
  virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& title) = 0;
  // Shows a window modally and returns when it is hidden again.
  virtual void ShowModal(QWidget* window) = 0;
  // Starts a program that runs on its own; false when it could not be started.
  // When it ends with an error within the first few seconds, `onEarlyFailure`
  // gets (on the GUI thread) a text saying how it ended and the first lines it
  // printed.
  virtual bool StartProgram(const QString& program, const QStringList& arguments,
                            std::function<void(const QString& failure)> onEarlyFailure) = 0;
  // A box with buttons of the given captions; returns the index of the one
  // pressed, -1 when the box was closed otherwise.
  virtual int AskChoice(BoxKind kind, const QString& text, const QStringList& buttons) = 0;
  // Shows a folder in the desktop's file manager; false when that failed.
  virtual bool OpenFolder(const QString& folder) = 0;
  virtual IMediaPlayer& Player() = 0;
};

// The application title, also the caption of message boxes.
inline const char* kAppTitle = "VLD resource viewer";

std::unique_ptr<IPlatform> CreateQtPlatform();

// Centres a window on the screen: left = (screen width - window width) / 2,
// top likewise, truncated; every secondary window does so when it is shown.
void CentreOnScreen(QWidget* window);
// The sound player of this platform: Qt Multimedia on Linux, winmm (MCI) on Windows.
std::unique_ptr<IMediaPlayer> CreatePlatformMediaPlayer();
