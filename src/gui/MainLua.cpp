#include <QPlainTextEdit>

#include "gui/Main.h"
#include "gui/TextViewer.h"

void TMainForm::btnViewText() {
  int i = SelectedIndex();
  if (i < 0 || !FBundleOpen) return;
  if (RefuseEmptyEntry(i)) return;
  vld::Bytes bytes = FReader->ReadEntryBytes(i);
  textForm_->LoadText(bytes, FReader->GetName(i));
  if (textForm_->isVisible()) {
    // Already open without blocking (a script's text): the new text replaces
    // the old and the viewer comes to the front.
    textForm_->ShowNonModal();
    return;
  }
  platform_.ShowModal(textForm_);
}

// Filled in when the Lua loader lands.
void TMainForm::btnShowLua() {}
