#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress window of long batch work (Extract all, Save all tiles): which
// file is being written, how far the run is, and a Cancel button. It is told
// the progress; it knows nothing of the bundle.
class TExtractForm : public QWidget {
  Q_OBJECT

 public:
  explicit TExtractForm(QWidget* parent = nullptr);

  QLabel* CurFilename = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* lCounts = nullptr;  // "12 of 300 entries, 1.2 MiB"
  QPushButton* btCancel = nullptr;

  // Shows the window for a new run of `total` items, the bar at 0.
  void Begin(const QString& title, int total);
  // `done` items finished; `current` is the file being written now.
  void SetProgress(int done, int total, qint64 bytes, const QString& current);
  // One large copy: `done` of `total` bytes, the bar in per cent.
  void SetShare(qint64 done, qint64 total, const QString& text);
  // The run has ended: the bar full, the window hidden.
  void Finish();
  // Asks to cancel, as the Cancel button does (once).
  void RequestCancel();

 signals:
  void cancelRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
