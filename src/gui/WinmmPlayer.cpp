// Sound on Windows through the system's own multimedia interface (MCI,
// the "waveaudio" device of winmm): no Qt Multimedia, no codec pack.
#include <windows.h>
// After windows.h, which it builds on.
#include <mmsystem.h>

#include <string>

#include <QString>

#include "core/common/Errors.h"
#include "gui/Platform.h"

namespace {

constexpr wchar_t kAlias[] = L"vldsound";
constexpr wchar_t kWindowClass[] = L"VldMciNotify";

std::string MciErrorText(MCIERROR error) {
  wchar_t text[256] = {};
  if (!mciGetErrorStringW(error, text, 256)) return "MCI error " + std::to_string(error);
  return QString::fromWCharArray(text).toStdString();
}

class WinmmPlayer : public IMediaPlayer {
 public:
  WinmmPlayer() = default;
  ~WinmmPlayer() override {
    if (open_) mciSendStringW(L"close vldsound", nullptr, 0, nullptr);
    if (window_) DestroyWindow(window_);
  }

  void Open(const QString& path) override {
    if (!HasOutput()) throw vld::VldError("No audio output device is available, so the sound cannot be played.");
    Close();
    // The path is quoted: MCI splits its command at spaces.
    const std::wstring command =
        L"open \"" + QString(path).replace('/', '\\').toStdWString() + L"\" type waveaudio alias " + kAlias;
    if (MCIERROR error = mciSendStringW(command.c_str(), nullptr, 0, nullptr))
      throw vld::VldError("The sound device cannot play this file: " + MciErrorText(error));
    open_ = true;
  }

  void Play() override {
    if (!open_) return;
    // The notification (end of playback, or a stop) arrives as a window
    // message on this thread, which Qt's event loop dispatches.
    const std::wstring command = std::wstring(L"play ") + kAlias + L" from 0 notify";
    mciSendStringW(command.c_str(), nullptr, 0, NotifyWindow());
  }

  void Stop() override {
    if (open_) mciSendStringW((std::wstring(L"stop ") + kAlias).c_str(), nullptr, 0, nullptr);
  }

  void Close() override {
    if (!open_) return;
    open_ = false;
    mciSendStringW((std::wstring(L"close ") + kAlias).c_str(), nullptr, 0, nullptr);
  }

  PlayerMode Mode() const override {
    if (!open_) return PlayerMode::NotOpen;
    wchar_t mode[64] = {};
    if (mciSendStringW((std::wstring(L"status ") + kAlias + L" mode").c_str(), mode, 64, nullptr) != 0)
      return PlayerMode::Stopped;
    return std::wstring(mode) == L"playing" ? PlayerMode::Playing : PlayerMode::Stopped;
  }

  bool HasOutput() const override { return waveOutGetNumDevs() > 0; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_MCINOTIFY) {
      auto* self = reinterpret_cast<WinmmPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      // A superseded play is followed by the notification of the one that replaced it.
      if (self && wParam != MCI_NOTIFY_SUPERSEDED && self->onNotify) self->onNotify();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND NotifyWindow() {
    if (window_) return window_;
    static const bool registered = [] {
      WNDCLASSW windowClass = {};
      windowClass.lpfnWndProc = &WinmmPlayer::WindowProc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = kWindowClass;
      return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) return nullptr;
    // A message-only window: never shown, only receives the notifications.
    window_ =
        CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return window_;
  }

  bool open_ = false;
  HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<IMediaPlayer> CreatePlatformMediaPlayer() { return std::make_unique<WinmmPlayer>(); }
