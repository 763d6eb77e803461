#include "core/common/Errors.h"
#include "gui/Platform.h"

namespace {

// Stand-in until sound playback lands: it reports that nothing can be played.
class NoMediaPlayer : public IMediaPlayer {
 public:
  void Open(const QString&) override { throw vld::VldError("Sound playback is not available in this build."); }
  void Play() override {}
  void Stop() override {}
  void Close() override {}
  PlayerMode Mode() const override { return PlayerMode::NotOpen; }
  bool HasOutput() const override { return false; }
};

}  // namespace

std::unique_ptr<IMediaPlayer> CreateQtMediaPlayer() { return std::make_unique<NoMediaPlayer>(); }
