#include "core/browser/HexView.h"
#include "core/bundle/LabReader.h"
#include "gui/EntryList.h"
#include "gui/GuiText.h"
#include "gui/HexViewForm.h"
#include "gui/Main.h"

void TMainForm::ShowHexView() {
  const int i = SelectedIndex();
  if (i < 0) return;
  vld::THexSource source;
  QString title;
  if (FBundleOpen && FReader) {
    source = vld::EntryHexSource(*FReader, i);
    title = Latin1(FReader->GetName(i));
  } else if (FSingleBink || FSingleSmush) {
    source = vld::WholeFileSource(FsPath(FFileName));
    title = FileNamePart(FFileName);
  } else {
    return;
  }
  // Each view reads through a handle of its own, so it may stay open while
  // another entry or another file is looked at.
  auto* view = new THexViewForm(std::move(source), title, this);
  view->setAttribute(Qt::WA_DeleteOnClose);
  view->SetPlatform(&platform_);
  std::erase_if(hexForms_, [](const QPointer<THexViewForm>& w) { return w.isNull(); });
  hexForms_.emplace_back(view);
  view->show();
  view->raise();
  view->activateWindow();
}
