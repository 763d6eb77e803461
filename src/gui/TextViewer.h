#pragma once

#include <QWidget>

class TMainForm;

class TTextViewerForm : public QWidget {
  Q_OBJECT

 public:
  explicit TTextViewerForm(TMainForm& main);

 private:
  TMainForm& main_;
};
