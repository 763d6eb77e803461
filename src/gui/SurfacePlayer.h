#pragma once

#include <QWidget>

class TMainForm;

class TSurfacePlayerForm : public QWidget {
  Q_OBJECT

 public:
  explicit TSurfacePlayerForm(TMainForm& main);

 private:
  TMainForm& main_;
};
