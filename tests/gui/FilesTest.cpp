#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "GuiTestSupport.h"
#include "TestFiles.h"
#include "core/bundle/LabWriter.h"
#include "core/common/Errors.h"
#include "gui/ExtractAll.h"
#include "samples/LabSamples.h"

using vld::Bytes;
using vld::LabWriter;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

Bytes SmushWithBinkAt(std::size_t offset, std::size_t binkSize) {
  Bytes b = {'S', 'M', 'U', 'S'};
  b.resize(offset, 0);
  b.insert(b.end(), {'B', 'I', 'K', 'i'});
  for (std::size_t i = 4; i < binkSize; ++i) b.push_back(static_cast<std::uint8_t>(i));
  return b;
}

std::vector<std::string> Tree(const std::filesystem::path& root) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    out.push_back(std::filesystem::relative(e.path(), root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

// Counts the events of one type a widget gets, and how often a condition
// held at that moment.
class TEventSpy : public QObject {
 public:
  TEventSpy(QObject* target, QEvent::Type type, std::function<bool()> condition)
      : type_(type), condition_(std::move(condition)) {
    target->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) {
      ++seen;
      if (condition_()) ++held;
    }
    return false;
  }
  int seen = 0;
  int held = 0;

 private:
  QEvent::Type type_;
  std::function<bool()> condition_;
};

#ifndef Q_OS_WIN
// A shell script in the system's temporary folder that stands in for a
// movie player.
QString WritePlayerScript(const QTemporaryDir& scratch, const QString& body) {
  const QString path = scratch.filePath("fake player.sh");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return QString();
  file.write("#!/bin/sh\n" + body.toUtf8());
  file.close();
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return path;
}
#endif

}  // namespace

class FilesTest : public QObject {
  Q_OBJECT

 private:
  QString Bundle(vld::TTempDir& dir, const std::string& file,
                 const std::vector<std::pair<std::string, Bytes>>& entries) {
    LabWriter w;
    for (const auto& [name, data] : entries) w.Add(name, data);
    w.Write(dir.File(file));
    return Q(dir.File(file));
  }

 private slots:
  void SavesABundleEntryUnderTheChosenName() {
    vld::TTempDir dir;
    TViewerFixture f;
    f.Open(Bundle(dir, "b.lab", {{"gfx\\a.til", Bytes{1, 2, 3}}, {"empty.til", {}}}));
    f.platform.saveAnswers.push_back(Q(dir.File("saved")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.saveRequests.size(), size_t(1));
    QCOMPARE(f.platform.saveRequests[0].suggestedName, QString("a.til"));
    QCOMPARE(f.platform.saveRequests[0].filter, QString("All files (*.*)|*.*"));
    QCOMPARE(f.platform.saveRequests[0].defaultExt, QString());  // a typed name stays as typed
    QCOMPARE(vld::ReadWholeFile(dir.File("saved")), (Bytes{1, 2, 3}));
    QCOMPARE(f.Main().StatusText(1), QString());
    QVERIFY(f.platform.boxes.empty());

    f.Select(1);
    f.platform.saveAnswers.push_back(Q(dir.File("empty.out")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{vld::kEmptyEntryRefusal});
    QVERIFY(!std::filesystem::exists(dir.File("empty.out")));
    QCOMPARE(f.Main().StatusText(1), QString());

    f.platform.ClearRecords();
    f.platform.saveAnswers.push_back(QString());  // cancelled
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QVERIFY(f.platform.boxes.empty());
  }

  // Saving anything over the file that is open (the bundle, or a stand-alone
  // animation) is refused: it would destroy what is being read.
  void NothingIsSavedOverTheOpenFile() {
    vld::TTempDir dir;
    TViewerFixture f;
    const QString bundle = Bundle(dir, "b.lab", {{"gfx\\a.til", Bytes{1, 2, 3}}, {"t.tab", Bytes{'x'}}});
    const Bytes before = vld::ReadWholeFile(FsPath(bundle));
    f.Open(bundle);
    const QString refusal = bundle +
                            " is the file that is open here; saving over it would destroy it. Choose "
                            "another name.";
    f.platform.saveAnswers.push_back(bundle);
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{refusal});
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Error);
    QVERIFY(vld::ReadWholeFile(FsPath(bundle)) == before);

    Bytes bink = {'B', 'I', 'K', 'i', 1, 2, 3};
    dir.Write("movie.bik", bink);
    f.Open(Q(dir.File("movie.bik")));
    f.platform.ClearRecords();
    f.platform.saveAnswers.push_back(Q(dir.File("movie.bik")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts().size(), 1);
    QVERIFY(f.platform.BoxTexts()[0].startsWith(Q(dir.File("movie.bik")) + " is the file that is open here"));
    QVERIFY(vld::ReadWholeFile(dir.File("movie.bik")) == bink);
  }

  void ReplacesAnExistingFileAndReportsATruncatedEntry() {
    vld::TTempDir dir;
    vld::samples::TRawLab lab;
    lab.count = 1;
    lab.namesPosition = vld::kNamesOffsetConstant + 36;
    Bytes name = vld::samples::MaskedName("cut.dat");
    lab.records.push_back({0, static_cast<std::int32_t>(36 + name.size()), 1000});
    lab.tail = name;
    lab.tail.insert(lab.tail.end(), {5, 6, 7});
    dir.Write("cut.lab", lab.Build());
    dir.Write("target", Bytes(50, 9));
    TViewerFixture f;
    f.Open(Q(dir.File("cut.lab")));
    QCOMPARE(f.platform.BoxTexts(),
             QStringList{"This bundle is shorter than its directory says: 1 entries cannot be read."});
    f.platform.ClearRecords();
    f.platform.saveAnswers.push_back(Q(dir.File("target")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(vld::ReadWholeFile(dir.File("target")), (Bytes{5, 6, 7}));
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Warning);
  }

  void SavesStandAloneAnimations() {
    vld::TTempDir dir;
    Bytes bink = {'B', 'I', 'K', 'i'};
    for (int i = 0; i < 70000; ++i) bink.push_back(static_cast<std::uint8_t>(i * 13));
    dir.Write("movie.bik", bink);
    TViewerFixture f;
    f.Open(Q(dir.File("movie.bik")));
    f.platform.saveAnswers.push_back(Q(dir.File("copy.bik")));
    f.Main().btSaveFile->click();
    QVERIFY(f.Main().Busy());  // copied on the worker
    WaitIdle(f.Main());
    QCOMPARE(f.platform.saveRequests.back().filter, QString("Bink animations (*.bik)|*.bik"));
    QCOMPARE(f.platform.saveRequests.back().suggestedName, QString("movie.bik"));
    QVERIFY(vld::ReadWholeFile(dir.File("copy.bik")) == bink);

    Bytes smush = SmushWithBinkAt(15872, 3000);
    dir.Write("wrapped.snm", smush);
    f.Open(Q(dir.File("wrapped.snm")));
    f.platform.saveAnswers.push_back(Q(dir.File("inner.bik")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QVERIFY(vld::ReadWholeFile(dir.File("inner.bik")) == Bytes(smush.begin() + 15872, smush.end()));

    dir.Write("odd.snm", SmushWithBinkAt(700, 100));
    f.Open(Q(dir.File("odd.snm")));
    f.platform.ClearRecords();
    f.platform.saveAnswers.push_back(Q(dir.File("none.bik")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{"This seems to be a non-standard Smush wrapped animation."});
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Information);
    QVERIFY(!std::filesystem::exists(dir.File("none.bik")));

    // A file that got shorter after it was opened: what exists is saved, and a box says so.
    dir.Write("shrinks.bik", bink);
    f.Open(Q(dir.File("shrinks.bik")));
    std::filesystem::resize_file(dir.File("shrinks.bik"), 1000);
    f.platform.ClearRecords();
    f.platform.saveAnswers.push_back(Q(dir.File("short.bik")));
    f.Main().btSaveFile->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(),
             QStringList{"The file is shorter than when it was opened: only 1000 of its 70004 bytes were saved."});
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Warning);
    QVERIFY(vld::ReadWholeFile(dir.File("short.bik")) == Bytes(bink.begin(), bink.begin() + 1000));
  }

  void ExtractAllNeedsABundle() {
    TViewerFixture f;
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{"You have to open a bundle first!"});
    QVERIFY(f.platform.folderTitles.isEmpty());
  }

  void ExtractsEveryEntryBelowTheBundleStem() {
    vld::TTempDir dir;
    QString bundle =
        Bundle(dir, "data001.lab",
               {{"gfx\\a.til", Bytes{1}}, {"b.til", Bytes{2, 2}}, {"empty.dat", {}}, {"..\\..\\evil.txt", Bytes{6}}});
    TViewerFixture f;
    f.Open(bundle);
    std::filesystem::create_directories(dir.File("out"));
    f.platform.folderAnswers.push_back(Q(dir.File("out")));
    bool disabledDuringRun = false;
    QObject::connect(f.windows.extract->ProgressBar1, &QProgressBar::valueChanged, [&] {
      if (!f.Main().InputEnabled() && f.windows.extract->isVisible()) disabledDuringRun = true;
    });
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.folderTitles, QStringList{"Select the directory to extract the files to."});
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Plain);
    QCOMPARE(f.platform.boxes[0].text, "path = " + Q(dir.File("out") / "data001"));
    QVERIFY(disabledDuringRun);
    QVERIFY(f.Main().InputEnabled());
    QVERIFY(!f.windows.extract->isVisible());
    QCOMPARE(f.windows.extract->windowTitle(), QString("Extracting all files"));
    QVERIFY(f.windows.extract->CurFilename->text().startsWith("Extracting "));
    QCOMPARE(vld::ReadWholeFile(dir.File("out/data001/gfx/a.til")), Bytes{1});
    QCOMPARE(vld::ReadWholeFile(dir.File("out/data001/b.til")), (Bytes{2, 2}));
    QCOMPARE(std::filesystem::file_size(dir.File("out/data001/empty.dat")), uintmax_t(0));
    // Nothing lands outside the destination, whatever the name says.
    for (const std::string& p : Tree(dir.Path()))
      QVERIFY2(p.rfind("out/", 0) == 0 || p == "out" || p == "data001.lab", p.c_str());

    // The end of the run has a word of its own, with a way to the files.
    const QString done = "4 entries written to " + Q(dir.File("out") / "data001");
    QCOMPARE(f.Main().StatusText(1), done);
    QCOMPARE(f.platform.choices.size(), size_t(1));
    QCOMPARE(f.platform.choices[0].kind, BoxKind::Information);
    QCOMPARE(f.platform.choices[0].text, done);
    QCOMPARE(f.platform.choices[0].buttons, QStringList({"Open folder", "OK"}));
    QVERIFY(f.platform.openedFolders.isEmpty());  // OK was pressed

    // A second run starts with an empty bar, not with the full one the first left.
    TEventSpy shown(f.windows.extract, QEvent::Show, [&] { return f.windows.extract->ProgressBar1->value() == 0; });
    f.platform.ClearRecords();
    f.platform.folderAnswers.push_back(Q(dir.File("out2")));
    f.platform.choiceAnswers.push_back(0);
    f.platform.openFolderSucceeds = false;
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(shown.seen, 1);
    QCOMPARE(shown.held, 1);
    QCOMPARE(f.platform.openedFolders, QStringList{Q(dir.File("out2") / "data001")});
    QCOMPARE(f.Main().StatusText(1), "The file manager could not be started for " + Q(dir.File("out2") / "data001"));
  }

  void AFileAndAFolderOfOneNameBothGetAPlace() {
    vld::TTempDir dir;
    // "a" is written as a file, so the folder "a" of the next entry gets a numbered name.
    QString bundle = Bundle(dir, "clash.lab", {{"first.dat", Bytes{1}}, {"a", Bytes{2}}, {"a\\b", Bytes{3}}});
    TViewerFixture f;
    f.Open(bundle);
    f.platform.folderAnswers.push_back(Q(dir.Path()));
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.boxes.size(), size_t(2));  // the path notice, then where the entry went
    QCOMPARE(f.platform.boxes[1].kind, BoxKind::Information);
    QVERIFY(f.platform.boxes[1].text.contains("a/b -> a~2/b"));
    QVERIFY(f.Main().InputEnabled());
    QVERIFY(!f.windows.extract->isVisible());
    QCOMPARE(vld::ReadWholeFile(dir.File("clash/first.dat")), Bytes{1});
    QCOMPARE(vld::ReadWholeFile(dir.File("clash/a")), Bytes{2});
    QCOMPARE(vld::ReadWholeFile(dir.File("clash/a~2/b")), Bytes{3});
    QCOMPARE(f.Main().StatusText(1), "3 entries written to " + Q(dir.File("clash")));
  }

  void AnErrorLeavesTheWindowUsable() {
    vld::TTempDir dir;
    QString bundle = Bundle(dir, "clash.lab", {{"first.dat", Bytes{1}}});
    dir.Write("clash", Bytes{9});  // a file where the destination folder should be
    TViewerFixture f;
    f.Open(bundle);
    f.platform.folderAnswers.push_back(Q(dir.Path()));
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.boxes.size(), size_t(2));  // the path notice, then the error
    QCOMPARE(f.platform.boxes[1].kind, BoxKind::Error);
    QVERIFY(f.platform.boxes[1].text.contains("clash"));
    QVERIFY(f.Main().InputEnabled());
    QVERIFY(!f.windows.extract->isVisible());
    QCOMPARE(vld::ReadWholeFile(dir.File("clash")), Bytes{9});
  }

  void AnEmptyBundleExtractsNothing() {
    vld::TTempDir dir;
    TViewerFixture f;
    f.Open(Bundle(dir, "none", {}));
    f.platform.folderAnswers.push_back(Q(dir.File("dest")));
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.BoxTexts(), QStringList{"path = " + Q(dir.File("dest"))});  // no "." in the bundle name
    QVERIFY(f.Main().InputEnabled());
    QVERIFY(!f.windows.extract->isVisible());
  }

  void OpeningDuringAnExtractionIsRefusedAndTheRunFinishes() {
    vld::TTempDir dir;
    std::vector<std::pair<std::string, Bytes>> entries;
    for (int i = 0; i < 200; ++i)
      entries.push_back({"d\\e" + std::to_string(i) + ".dat", Bytes(65536, std::uint8_t(i))});
    QString bundle = Bundle(dir, "big.lab", entries);
    QString other = Bundle(dir, "other.lab", {{"x.dat", Bytes{1}}});
    TViewerFixture f;
    f.Open(bundle);
    f.platform.folderAnswers.push_back(Q(dir.File("out")));
    bool tried = false;
    auto tryOpen = [&] {
      if (tried || !f.Main().Busy()) return;
      tried = true;
      f.Main().OpenFile(other);  // as a drop onto the window would
    };

    f.Main().Extractall1->trigger();
    QVERIFY(f.Main().Busy());  // the worker has the bundle until the run ends
    tryOpen();
    WaitIdle(f.Main());
    QVERIFY(tried);
    QVERIFY(f.Main().StatusHistory().join("\n").contains("Extraction is still running"));
    QCOMPARE(PathQt(f.Main().File().Path()), bundle);  // the bundle stayed open
    QCOMPARE(f.Main().FileBox->count(), 200);
    QCOMPARE(Tree(dir.File("out/big/d")).size(), size_t(200));
    QCOMPARE(vld::ReadWholeFile(dir.File("out/big/d/e199.dat")), Bytes(65536, std::uint8_t(199)));
    QCOMPARE(f.Main().StatusText(1), "200 entries written to " + Q(dir.File("out") / "big"));
  }

  void ALargeSaveShowsProgressAndCancelLeavesNothing() {
    vld::TTempDir dir;
    const std::size_t size = std::size_t{256} << 20;
    QString bundle = Bundle(dir, "huge.lab", {{"movies\\big.dat", Bytes(size, 7)}});
    TViewerFixture f;
    f.Open(bundle);
    QObject::connect(f.windows.extract->ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
      if (value > 0 && f.windows.extract->btCancel->isEnabled()) f.windows.extract->btCancel->click();
    });
    f.platform.saveAnswers.push_back(Q(dir.File("big.dat")));
    f.Main().btSaveFile->click();
    QVERIFY(f.windows.extract->isVisible());
    WaitIdle(f.Main());
    QVERIFY(!f.windows.extract->isVisible());
    QCOMPARE(f.Main().StatusText(1), QString("Saving cancelled: nothing was written."));
    QCOMPARE(Tree(dir.Path()), std::vector<std::string>{"huge.lab"});  // no file, no temporary file
  }

  void CancelLeavesOnlyWholeFiles() {
    vld::TTempDir dir;
    const std::size_t size = 1 << 20;
    std::vector<std::pair<std::string, Bytes>> entries;
    for (int i = 0; i < 300; ++i) entries.push_back({"e" + std::to_string(i) + ".dat", Bytes(size, std::uint8_t(i))});
    QString bundle = Bundle(dir, "big.lab", entries);
    entries.clear();
    TViewerFixture f;
    f.Open(bundle);
    f.platform.folderAnswers.push_back(Q(dir.File("out")));
    QObject::connect(f.windows.extract->ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
      if (value > 0 && f.windows.extract->btCancel->isEnabled()) f.windows.extract->btCancel->click();
    });
    f.Main().Extractall1->trigger();
    WaitIdle(f.Main());
    QVERIFY(f.Main().InputEnabled());
    QVERIFY(!f.windows.extract->isVisible());
    std::vector<std::string> written = Tree(dir.File("out/big"));
    QVERIFY2(written.size() < 300, "the run was not cancelled");
    for (const std::string& name : written) {
      QVERIFY2(name.size() > 4 && name.substr(name.size() - 4) == ".dat", name.c_str());  // no temporary file
      const int i = std::stoi(name.substr(1));
      QVERIFY(vld::ReadWholeFile(dir.File("out/big/" + name)) == Bytes(size, std::uint8_t(i)));
    }
    QCOMPARE(f.Main().StatusText(1),
             QString("Extraction cancelled: %1 of 300 entries were written.").arg(written.size()));
  }

  void PlaysAnimationsWithTheConfiguredPlayer() {
    vld::TTempDir dir;
    qputenv("VLD_BINK_PLAYER", "/opt/player/bin/play movie");
    dir.Write("my movie.bik", Bytes{'B', 'I', 'K', 'i', 1});
    TViewerFixture f;
    f.Open(Q(dir.File("my movie.bik")));
    f.Main().btAction->click();
    WaitIdle(f.Main());
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.started.size(), size_t(2));  // twice, and no file written
    QCOMPARE(f.platform.started[0].first, QString("/opt/player/bin/play movie"));
    QCOMPARE(f.platform.started[0].second, QStringList{Q(dir.File("my movie.bik"))});

    Bytes smush = SmushWithBinkAt(512, 64);
    dir.Write("wrapped.snm", smush);
    f.Open(Q(dir.File("wrapped.snm")));
    f.platform.ClearRecords();
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.started.size(), size_t(1));
    QString temp = f.platform.started[0].second.value(0);
    QVERIFY(temp.endsWith("temp.bik"));
    QVERIFY(vld::ReadWholeFile(FsPath(temp)) == Bytes(smush.begin() + 512, smush.end()));

    dir.Write("odd.snm", SmushWithBinkAt(513, 64));
    f.Open(Q(dir.File("odd.snm")));
    f.platform.ClearRecords();
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QVERIFY(f.platform.started.empty());  // no Bink data: the player is not started
    QCOMPARE(f.platform.BoxTexts(), QStringList{"This seems to be a non-standard Smush wrapped animation."});

    f.Open(Bundle(dir, "in.lab", {{"movies\\x.bik", Bytes{'B', 'I', 'K', 'i'}}}));
    f.platform.ClearRecords();
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QVERIFY(f.platform.started.empty());
    QVERIFY(f.platform.boxes.empty());
    QCOMPARE(f.Main().StatusText(1), QString("Save the movie (Save file...) and open the saved file to play it."));
    qunsetenv("VLD_BINK_PLAYER");
  }

  void APlayerThatFailsAtOnceIsReportedWithWhatItPrinted() {
#ifdef Q_OS_WIN
    QSKIP("the stand-in player is a shell script");
#else
    QTemporaryDir scratch(QDir::tempPath() + "/vld-player-XXXXXX");
    QVERIFY(scratch.isValid());
    const QString player = WritePlayerScript(scratch, "echo \"cannot play $1\"\necho 'no video stream' >&2\nexit 1\n");
    vld::TTempDir dir;
    dir.Write("m.bik", Bytes{'B', 'I', 'K', 'i', 1});
    qputenv("VLD_BINK_PLAYER", player.toLocal8Bit());
    TViewerFixture f;
    f.platform.runPrograms = true;
    f.platform.programOutputFile = scratch.filePath("output.txt");
    f.Open(Q(dir.File("m.bik")));
    f.platform.ClearRecords();
    f.Main().btAction->click();
    QCOMPARE(f.Main().StatusText(1), "Started " + player);
    QTRY_COMPARE_WITH_TIMEOUT(f.platform.boxes.size(), size_t(1), 20000);
    QCOMPARE(f.platform.boxes[0].kind, BoxKind::Error);
    const QString text = f.platform.boxes[0].text;
    QVERIFY2(text.startsWith("The Bink player " + player + " stopped with exit code 1"), qPrintable(text));
    QVERIFY2(text.contains("cannot play " + Q(dir.File("m.bik"))), qPrintable(text));
    QVERIFY2(text.contains("no video stream"), qPrintable(text));

    // A player that plays and ends well is not reported.
    QFile::remove(player);
    WritePlayerScript(scratch, "echo played > \"$(dirname \"$0\")/played\"\nexit 0\n");
    f.platform.ClearRecords();
    f.Main().btAction->click();
    QCOMPARE(f.Main().StatusText(1), "Started " + player);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(scratch.filePath("played")), 20000);
    QTest::qWait(300);  // its end reaches the window
    QVERIFY(f.platform.boxes.empty());

    // One that cannot be started at all says how to choose another.
    qputenv("VLD_BINK_PLAYER", scratch.filePath("no such player").toLocal8Bit());
    f.platform.ClearRecords();
    f.Main().btAction->click();
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY(f.platform.boxes[0].text.contains("could not be started"));
    QVERIFY(f.platform.boxes[0].text.contains("VLD_BINK_PLAYER"));
    qunsetenv("VLD_BINK_PLAYER");
#endif
  }

  void WithoutAPlayerTheBoxSaysHowToChooseOne() {
    vld::TTempDir dir;
    dir.Write("m.bik", Bytes{'B', 'I', 'K', 'i', 1});
    std::filesystem::create_directories(dir.File("empty-path"));
    const QByteArray path = qgetenv("PATH");
    qunsetenv("VLD_BINK_PLAYER");
    qputenv("PATH", QFile::encodeName(Q(dir.File("empty-path"))));
    TViewerFixture f;
    f.Open(Q(dir.File("m.bik")));
    f.platform.ClearRecords();
    f.Main().btAction->click();
    qputenv("PATH", path);
#ifndef Q_OS_WIN
    QVERIFY(f.platform.started.empty());
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY(f.platform.boxes[0].text.startsWith("No Bink player was found"));
    QVERIFY(f.platform.boxes[0].text.contains("VLD_BINK_PLAYER"));
#endif
  }

  void SaysSoWhenNoPlayerCanBeStarted() {
    vld::TTempDir dir;
    dir.Write("m.bik", Bytes{'B', 'I', 'K', 'i', 1});
    qputenv("VLD_BINK_PLAYER", "missing-player");
    TViewerFixture f;
    f.platform.startSucceeds = false;
    f.Open(Q(dir.File("m.bik")));
    f.platform.ClearRecords();
    f.Main().btAction->click();
    WaitIdle(f.Main());
    QCOMPARE(f.platform.boxes.size(), size_t(1));
    QVERIFY(f.platform.boxes[0].text.contains("missing-player"));
    QVERIFY(f.platform.boxes[0].text.contains("VLD_BINK_PLAYER"));
    qunsetenv("VLD_BINK_PLAYER");
  }
};

QTEST_MAIN(FilesTest)
#include "FilesTest.moc"
