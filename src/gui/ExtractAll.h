#pragma once

#include <filesystem>

#include <QWidget>

class QLabel;
class QProgressBar;
class TMainForm;

// Shows which file is being written while every entry of the open bundle is
// extracted into a folder tree.
class TExtractForm : public QWidget {
  Q_OBJECT

 public:
  explicit TExtractForm(TMainForm& main);

  QLabel* CurFilename = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

  // Extracts every entry below `destination`. The main window takes no input
  // meanwhile; it is enabled again and this window hidden after every
  // outcome, an error part-way included.
  void ExtractAll(const std::filesystem::path& destination);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TMainForm& main_;
};
