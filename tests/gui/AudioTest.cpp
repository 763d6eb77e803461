#include <QPlainTextEdit>
#include <QTest>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/audio/AifAudio.h"
#include "core/audio/WvcAudio.h"
#include "core/bundle/LabWriter.h"
#include "samples/AifBuilder.h"
#include "samples/WvcEncoder.h"

using vld::Bytes;
namespace smp = vld::samples;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

class AudioTest : public QObject {
  Q_OBJECT

 private:
  vld::TTempDir dir_;
  Bytes aif_ = smp::BuildAif(smp::ChordSound(22050, 2, 0.2, {262, 330, 392}));
  Bytes wvc_ = smp::EncodeWvc(smp::VoiceSound(22050, 0.2));

  void OpenBundle(TViewerFixture& f) {
    vld::LabWriter w;
    w.Add("sound\\chord.aif", aif_);  // 0
    w.Add("voices\\line.wvc", wvc_);  // 1
    w.Add("sound\\silent.aif", {});   // 2
    w.Add("text.tab", Bytes{'x'});    // 3
    w.Write(dir_.File("a.lab"));
    f.Open(Q(dir_.File("a.lab")));
  }

 private slots:
  void PlaysThroughTheTemporaryWave() {
    TViewerFixture f;
    OpenBundle(f);
    TMainForm& m = f.Main();
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.player.calls.size(), qsizetype(2));
    QVERIFY(f.platform.player.calls[0].startsWith("open "));
    QVERIFY(f.platform.player.calls[0].endsWith("temp.wav"));
    QCOMPARE(f.platform.player.calls[1], QString("play"));
    QVERIFY(m.Actions()->PlayerOpen());
    QVERIFY(vld::ReadWholeFile(FsPath(f.platform.player.openedPath)) == vld::ConvertAifToWav(aif_));

    // A second play stops and closes the first, then starts again.
    f.platform.player.calls.clear();
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.player.calls.value(0), QString("stop"));
    QCOMPARE(f.platform.player.calls.value(1), QString("close"));
    QVERIFY(f.platform.player.calls.value(2).startsWith("open "));
    QCOMPARE(f.platform.player.calls.value(3), QString("play"));

    // The end of playback closes the player.
    f.platform.player.calls.clear();
    f.platform.player.Finish();
    QCOMPARE(f.platform.player.calls, QStringList{"close"});
    QVERIFY(!m.Actions()->PlayerOpen());
  }

  void PlayingAVoiceStopsTheSound() {
    TViewerFixture f;
    OpenBundle(f);
    TMainForm& m = f.Main();
    m.btAction->click();
    WaitIdle(m);
    f.Select(1);
    f.platform.player.calls.clear();
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.player.calls.value(0), QString("stop"));
    QCOMPARE(f.platform.player.calls.value(1), QString("close"));
    QVERIFY(vld::ReadWholeFile(FsPath(f.platform.player.openedPath)) == vld::ConvertWvcToWav(wvc_));
    QVERIFY(m.Memo1->toPlainText().contains(". "));  // the block table echo
  }

  void RefusedEntriesOpenNothing() {
    TViewerFixture f;
    OpenBundle(f);
    TMainForm& m = f.Main();
    m.btAction->click();
    WaitIdle(m);
    f.Select(2);
    f.platform.player.calls.clear();
    m.btAction->click();
    WaitIdle(m);
    QCOMPARE(f.platform.player.calls, (QStringList{"stop", "close"}));  // the open player was closed first
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QVERIFY(!m.Actions()->PlayerOpen());
  }

  void ADeviceThatRefusesIsReported() {
    TViewerFixture f;
    OpenBundle(f);
    f.platform.player.failOpenWith = "No audio output device is available, so the sound cannot be played.";
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{f.platform.player.failOpenWith});
    QVERIFY(!f.Main().Actions()->PlayerOpen());
  }

  void SaveAsWaveWritesWhatThePlayerPlays() {
    TViewerFixture f;
    OpenBundle(f);
    TMainForm& m = f.Main();
    f.platform.saveAnswers.push_back(Q(dir_.File("chord.wav")));
    m.btSaveWav->click();
    WaitIdle(m);
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("chord.wav"));
    QCOMPARE(f.platform.saveRequests.back().filter, QString("Wave audio files (*.wav)|*.wav"));
    QVERIFY(vld::ReadWholeFile(dir_.File("chord.wav")) == vld::ConvertAifToWav(aif_));

    f.Select(1);
    f.platform.saveAnswers.push_back(Q(dir_.File("line.wav")));
    m.btSaveWav->click();
    WaitIdle(m);
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("line.wav"));
    QVERIFY(vld::ReadWholeFile(dir_.File("line.wav")) == vld::ConvertWvcToWav(wvc_));

    f.Select(2);
    f.platform.saveAnswers.push_back(Q(dir_.File("silent.wav")));
    m.btSaveWavClick();
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QVERIFY(!std::filesystem::exists(dir_.File("silent.wav")));
    QVERIFY(f.platform.player.calls.isEmpty());  // saving never touches the player
  }
};

QTEST_MAIN(AudioTest)
#include "AudioTest.moc"
