#include "gui/Main.h"
#include "gui/SurfacePlayer.h"

void TMainForm::btnPlaySurface() {
  int i = SelectedIndex();
  if (i < 0 || !FBundleOpen) return;
  if (RefuseEmptyEntry(i)) return;
  surfaceForm_->LoadSurface(FReader->ReadEntryBytes(i));
  platform_.ShowModal(surfaceForm_);
}
