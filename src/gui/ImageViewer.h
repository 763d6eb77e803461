#pragma once

#include <QWidget>

class TMainForm;

class TImageForm : public QWidget {
  Q_OBJECT

 public:
  explicit TImageForm(TMainForm& main);

 private:
  TMainForm& main_;
};
