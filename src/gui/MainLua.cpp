#include <QPlainTextEdit>

#include "core/bundle/LabReader.h"
#include "core/common/FileIO.h"
#include "gui/EntryList.h"
#include "gui/GuiText.h"
#include "gui/Main.h"
#include "gui/TextViewer.h"

void TMainForm::btnViewText() {
  int i = SelectedIndex();
  if (i < 0 || !FBundleOpen) return;
  if (RefuseEmptyEntry(i)) return;
  const std::string name(FReader->GetName(i));
  DecodeSelected(vld::FormatForType(".tab"), [this, name](vld::TDecoded& d) {
    textForm_->LoadText(vld::AsSpan(d.text), name);
    if (textForm_->isVisible()) {
      // Already open without blocking (a script's text): the new text replaces
      // the old and the viewer comes to the front.
      textForm_->ShowNonModal();
      return;
    }
    platform_.ShowModal(textForm_);
  });
}

void TMainForm::btnShowLua() {
  int i = SelectedIndex();
  if (i < 0 || !FBundleOpen) return;
  if (RefuseWhileBusy()) return;
  // No size check: an empty or short chunk is reported by the loader. The
  // diagnostic log discards the listing and trace lines.
  const std::string name(FReader->GetName(i));
  DecodeSelected(*vld::FormatForAction(".lua"), [this, name](vld::TDecoded& d) {
    textForm_->LoadText(vld::AsSpan(d.text), name);
    textForm_->ShowNonModal();
  });
}

void TMainForm::SaveTextFromViewer(const QString& suggestedName, const vld::Bytes& text) {
  std::optional<QString> path = RunSaveDialog(suggestedName, "Text files (*.txt)|*.txt", "txt");
  if (!path) return;
  vld::WriteFileAtomic(FsPath(*path), text);
}
