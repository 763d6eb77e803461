#pragma once

#include <QWidget>

class TMainForm;

class TExtractForm : public QWidget {
  Q_OBJECT

 public:
  explicit TExtractForm(TMainForm& main);

 private:
  TMainForm& main_;
};
