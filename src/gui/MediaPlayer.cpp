#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

#include "core/common/Errors.h"
#include "gui/Platform.h"

namespace {

// Plays sound files through Qt Multimedia. The media player is created on
// first use, so that a program run that plays nothing never starts the
// multimedia back end.
class QtMediaPlayer : public IMediaPlayer {
 public:
  ~QtMediaPlayer() override {
    if (player_) player_->stop();
  }

  void Open(const QString& path) override {
    if (!HasOutput()) throw vld::VldError("No audio output device is available, so the sound cannot be played.");
    Ensure();
    error_.clear();
    player_->setSource(QUrl::fromLocalFile(path));
    if (player_->error() != QMediaPlayer::NoError)
      throw vld::VldError(("The sound device cannot play this file: " + player_->errorString()).toStdString());
    open_ = true;
  }

  void Play() override {
    if (player_) player_->play();
  }

  void Stop() override {
    if (player_) player_->stop();
  }

  void Close() override {
    open_ = false;
    if (player_) player_->setSource(QUrl());
  }

  PlayerMode Mode() const override {
    if (!open_ || !player_) return PlayerMode::NotOpen;
    return player_->playbackState() == QMediaPlayer::PlayingState ? PlayerMode::Playing : PlayerMode::Stopped;
  }

  bool HasOutput() const override { return !QMediaDevices::audioOutputs().isEmpty(); }

 private:
  void Ensure() {
    if (player_) return;
    player_ = std::make_unique<QMediaPlayer>();
    output_ = std::make_unique<QAudioOutput>();
    player_->setAudioOutput(output_.get());
    // The end of playback (or a stop) is the completion notification.
    QObject::connect(player_.get(), &QMediaPlayer::playbackStateChanged, [this](QMediaPlayer::PlaybackState state) {
      if (state == QMediaPlayer::StoppedState && open_ && onNotify) onNotify();
    });
    QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, [this](QMediaPlayer::Error, const QString& text) {
      error_ = text;
      if (open_ && onNotify) onNotify();
    });
  }

  std::unique_ptr<QAudioOutput> output_;
  std::unique_ptr<QMediaPlayer> player_;
  bool open_ = false;
  QString error_;
};

}  // namespace

std::unique_ptr<IMediaPlayer> CreatePlatformMediaPlayer() { return std::make_unique<QtMediaPlayer>(); }
