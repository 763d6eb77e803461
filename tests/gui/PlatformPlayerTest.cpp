// The real sound player of this platform (Qt Multimedia on Linux, winmm's MCI
// on Windows), driven as the main window drives it. Where the machine has no
// audio output, the refusal is what is checked.
#include <cstring>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/audio/AifAudio.h"
#include "core/common/Errors.h"
#include "gui/Platform.h"

namespace {

vld::Bytes ShortWave(double seconds) {
  const std::uint32_t rate = 22050;
  const auto frames = static_cast<std::uint32_t>(rate * seconds);
  vld::Bytes wave = vld::BuildWaveHeader(1, rate, 16, frames * 2);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const auto sample = static_cast<std::int16_t>((i % 50 < 25) ? 3000 : -3000);
    wave.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    wave.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  return wave;
}

void WriteFile(const QString& path, const vld::Bytes& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())),
           static_cast<qint64>(bytes.size()));
}

}  // namespace

class PlatformPlayerTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

 private slots:
  void PlaysToTheEndAndNotifiesOrSaysThereIsNoDevice() {
    std::unique_ptr<IMediaPlayer> player = CreatePlatformMediaPlayer();
    QCOMPARE(player->Mode(), PlayerMode::NotOpen);
    // An accented folder: the path reaches the device as Unicode.
    const QString folder = dir_.filePath(QString::fromUtf8("s\xc3\xb6und"));
    QVERIFY(QDir().mkpath(folder));
    const QString wave = folder + "/temp.wav";
    WriteFile(wave, ShortWave(0.3));

    int notified = 0;
    player->onNotify = [&] { ++notified; };
    if (!player->HasOutput()) {
      try {
        player->Open(wave);
        QFAIL("a player without an output device opened a file");
      } catch (const vld::VldError& e) {
        QCOMPARE(QString(e.what()), QString("No audio output device is available, so the sound cannot be played."));
      }
      QCOMPARE(player->Mode(), PlayerMode::NotOpen);
      QSKIP("This machine has no audio output device; the refusal was checked, playback was not.");
    }

    player->Open(wave);
    QVERIFY(player->Mode() != PlayerMode::NotOpen);
    player->Play();
    QElapsedTimer clock;
    clock.start();
    while (notified == 0 && clock.elapsed() < 10000) QTest::qWait(20);
    QVERIFY2(notified > 0, "no notification at the end of playback");
    QVERIFY(player->Mode() != PlayerMode::Playing);
    player->Close();
    QCOMPARE(player->Mode(), PlayerMode::NotOpen);
    // The file is free again once closed: the next play rewrites it.
    QVERIFY(QFile::remove(wave));
  }

  void AFileThatIsNoSoundIsRefusedWithTheDevicesWords() {
    std::unique_ptr<IMediaPlayer> player = CreatePlatformMediaPlayer();
    if (!player->HasOutput()) QSKIP("This machine has no audio output device.");
    const QString bad = dir_.filePath("bad.wav");
    WriteFile(bad, vld::Bytes{'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'u', 'n', 'd'});
    bool refused = false;
    try {
      player->Open(bad);
      player->Play();
      QTest::qWait(500);
    } catch (const vld::VldError& e) {
      refused = std::strlen(e.what()) > 0;
    }
    // Qt Multimedia may accept the file and fail while playing; either way
    // nothing plays.
    QVERIFY(refused || player->Mode() != PlayerMode::Playing);
    player->Close();
  }
};

QTEST_MAIN(PlatformPlayerTest)
#include "PlatformPlayerTest.moc"
