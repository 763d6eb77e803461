#pragma once

#include <memory>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "core/browser/HexView.h"
#include "gui/HexArea.h"

class IPlatform;
class QAction;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TWorkRunner;
struct TFindProgress;

// A top-level window showing any bytes as offset / 16 bytes hex / Latin-1
// text, with Go to and Find. It is handed the source and reads only what it
// shows or searches; Find runs on a worker and can be cancelled.
class THexViewForm : public QWidget {
  Q_OBJECT

 public:
  THexViewForm(vld::THexSource source, const QString& entryName, QWidget* parent = nullptr);
  ~THexViewForm() override;

  THexArea* Area = nullptr;
  QLineEdit* edOffset = nullptr;
  QPushButton* btGoTo = nullptr;
  QLineEdit* edFind = nullptr;
  QComboBox* cbFindMode = nullptr;  // Text, Hex bytes (in vld::FindMode order)
  QPushButton* btFind = nullptr;
  QPushButton* btFindNext = nullptr;
  QProgressBar* pbFind = nullptr;
  QPushButton* btCancel = nullptr;
  QLabel* lStatus = nullptr;
  QLabel* lNote = nullptr;  // "Only N of M bytes are in the file." when the file ends early
  QLabel* lSize = nullptr;
  QAction* acGoTo = nullptr;      // Ctrl+G: to the offset field
  QAction* acFind = nullptr;      // Ctrl+F: to the find field
  QAction* acFindNext = nullptr;  // F3

  // Message boxes go through the platform when one is set, else Qt's own.
  void SetPlatform(IPlatform* platform) { platform_ = platform; }

  const vld::THexSource& Source() const { return source_; }
  qint64 TopOffset() const;
  THexSelection Selection() const { return Area->Selection(); }
  QString StatusText() const;

  // Brings the line of offset to the top and marks the byte; an offset past
  // the end is refused with a box and changes nothing.
  bool GoToOffset(qint64 offset);
  // Go to the offset typed in edOffset.
  void GoToClick();
  // Searches for edFind's pattern from the marked byte (or the top line),
  // going on from the start when the end is reached.
  void FindClick();
  // Goes on after the last match (the same pattern), else like FindClick.
  void FindNextClick();
  void CancelFind();
  bool Finding() const;
  // Runs the event loop until a running find has finished and shown its result.
  void WaitForFind();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLayout* BuildFindRow();
  QLayout* BuildStatusRow();
  void ConnectCommands();
  void StartFind(bool next);
  void FindDone(qint64 offset, bool cancelled, bool wrapped, qint64 length);
  void ShowProgress();
  void SetFinding(bool finding);
  void Box(const QString& text);
  QString OffsetText(qint64 offset) const;
  qint64 Caret() const;

  vld::THexSource source_;
  IPlatform* platform_ = nullptr;
  TWorkRunner* runner_ = nullptr;
  QTimer* progressTimer_ = nullptr;
  std::shared_ptr<TFindProgress> progress_;  // how far the running find has come
  qint64 lastMatch_ = -1;
  vld::Bytes lastPattern_;
};
