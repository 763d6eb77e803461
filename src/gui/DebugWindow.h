#pragma once

#include <QWidget>

class QPlainTextEdit;
class TMainForm;

// Created hidden at start; nothing shows it or writes to it.
class TDebugForm : public QWidget {
  Q_OBJECT

 public:
  explicit TDebugForm(TMainForm& main);
  QPlainTextEdit* Memo1 = nullptr;
};
