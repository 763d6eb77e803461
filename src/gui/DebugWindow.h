#pragma once

#include <QWidget>

class QPlainTextEdit;

// Created hidden at start; nothing shows it or writes to it.
class TDebugForm : public QWidget {
  Q_OBJECT

 public:
  explicit TDebugForm(QWidget* parent = nullptr);
  QPlainTextEdit* Memo1 = nullptr;
};
