#include "gui/EntryPanel.h"

#include <algorithm>

#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/browser/OpenFile.h"
#include "gui/GuiText.h"

TEntryPanel::TEntryPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("EntryPanel");
  auto* layout = new QVBoxLayout(this);
  BuildInfo();
  BuildActions();
  layout->addWidget(gbFileInfo);
  layout->addWidget(gbActions);
  layout->addStretch(1);
  // Hidden helpers used by the tile batch command and the WVC converter.
  Label5 = new QLabel(this);
  Label5->setObjectName("Label5");
  Label5->hide();
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->hide();
  Clear();
}

void TEntryPanel::BuildInfo() {
  gbFileInfo = new QGroupBox("File info", this);
  auto* info = new QGridLayout(gbFileInfo);
  const char* captions[] = {"Filename:", "Offset:", "Size:", "Type:"};
  QLabel** values[] = {&lFilename, &lOffset, &lSize, &lType};
  const char* names[] = {"lFilename", "lOffset", "lSize", "lType"};
  for (int row = 0; row < 4; ++row) {
    info->addWidget(new QLabel(captions[row], gbFileInfo), row, 0);
    *values[row] = new QLabel(gbFileInfo);
    (*values[row])->setObjectName(names[row]);
    (*values[row])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long name must not widen the pane (and move the splitter).
    (*values[row])->setMinimumWidth(1);
    info->addWidget(*values[row], row, 1);
  }
  info->setColumnStretch(1, 1);
}

void TEntryPanel::BuildActions() {
  gbActions = new QGroupBox("Actions", this);
  auto* actions = new QGridLayout(gbActions);
  const char* texts[] = {"[Action]", "Save as BMP...", "Save as PNG...", "Save file...", "Save as Wave..."};
  const char* names[] = {"btAction", "btSaveBMP", "btSavePNG", "btSaveFile", "btSaveWav"};
  QPushButton** buttons[] = {&btAction, &btSaveBMP, &btSavePNG, &btSaveFile, &btSaveWav};
  const int places[][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}};
  for (int k = 0; k < 5; ++k) {
    *buttons[k] = new QPushButton(texts[k], gbActions);
    (*buttons[k])->setObjectName(names[k]);
    actions->addWidget(*buttons[k], places[k][0], places[k][1]);
  }
  // The action button is as wide as its longest caption from the start, so
  // selecting another entry never changes the pane's width.
  int widest = 0;
  for (const char* caption : {"View BMP image", "View TGA image", "Show Lua source", "Play animation"})
    widest = std::max(widest, btAction->fontMetrics().horizontalAdvance(caption));
  btAction->setMinimumWidth(widest + 24);
}

void TEntryPanel::Clear() {
  for (QLabel* l : {lFilename, lOffset, lSize, lType}) l->clear();
  for (QPushButton* b : {btAction, btSaveBMP, btSavePNG, btSaveFile, btSaveWav}) b->setEnabled(false);
  btAction->setText("[Action]");
}

void TEntryPanel::ShowEntry(const vld::TOpenFile& file, int index) {
  if (index < 0 || index >= file.EntryCount()) {
    Clear();
    return;
  }
  const std::string name = file.EntryName(index);
  lFilename->setText(Latin1(name));
  // New bytes get their place in the file when the bundle is saved.
  lOffset->setText(file.EntryHasNewBytes(index) ? QString(kUnsavedOffset)
                                                : QString::fromStdString(vld::FormatOffset(file.EntryOffset(index))));
  lSize->setText(QString::fromStdString(vld::FormatSize(file.EntrySize(index))));
  lType->setText(Latin1(file.EntryTypeText(index)));
  const vld::TFormat& row = vld::FormatForType(name);
  const vld::TFormat* action = vld::FormatForAction(name);
  if (!action) {
    // What has no view of its own is shown as bytes.
    btAction->setText(kHexViewCaption);
    btAction->setEnabled(true);
  } else {
    // A row without a caption of its own (a script) says what Enter and
    // double click run, instead of keeping the previous entry's caption.
    btAction->setText(row.caption ? row.caption : action->caption ? action->caption : kScriptCaption);
    btAction->setEnabled(true);
  }
  btSaveBMP->setEnabled(row.saveBmp);
  btSavePNG->setEnabled(row.saveBmp);
  btSaveWav->setEnabled(row.saveWav);
  btSaveFile->setEnabled(row.saveFile);
}
