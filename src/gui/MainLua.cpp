#include <QPlainTextEdit>

#include "core/lua/LuaDump.h"
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

void TMainForm::btnShowLua() {
  int i = SelectedIndex();
  if (i < 0 || !FBundleOpen) return;
  // No size check: an empty or short chunk is reported by the loader. The
  // diagnostic log discards the listing and trace lines.
  const std::string name = FReader->GetName(i);
  std::string source = vld::DumpLuaChunk(FReader->ReadEntryBytes(i), name, {});
  textForm_->LoadText(vld::AsSpan(source), name);
  textForm_->ShowNonModal();
}
