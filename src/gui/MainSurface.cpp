#include "core/bundle/LabReader.h"
#include "gui/EntryList.h"
#include "gui/GuiText.h"
#include "gui/Main.h"
#include "gui/SurfacePlayer.h"
#include "gui/Work.h"

void TMainForm::btnPlaySurface() {
  int i = SelectedIndex();
  if (i < 0 || !FBundleOpen) return;
  if (RefuseEmptyEntry(i)) return;
  vld::TLabReader* reader = FReader.get();
  const std::string name(reader->GetName(i));
  vld::StatusFn status = WorkerStatus();
  work_->Start<vld::TSurfaceLoad>(
      "Loading the surface",
      [reader, i, status](Cancel) {
        vld::Bytes description = reader->ReadEntryBytesAt(i);
        return vld::LoadSurfaceFrames(
            *reader, description, [reader](int k) { return reader->ReadEntryBytesAt(k); }, status);
      },
      [this, name](vld::TSurfaceLoad& load) {
        SetStatus(1, "");
        // An empty texture is refused as its own view would be.
        for (int k = 0; k < load.emptyFrames; ++k) platform_.MessageBox(BoxKind::Error, kSizeRefusal);
        surfaceForm_->LoadSurface(load, Latin1(name));
        if (load.list.cut || load.skipped > 0) {
          platform_.MessageBox(
              BoxKind::Warning,
              QString("Not every frame of this surface could be loaded: %1 textures were damaged or too large%2.")
                  .arg(load.skipped)
                  .arg(load.list.cut ? QString(", and only the first %1 lines are listed").arg(vld::kMaxSurfaceItems)
                                     : QString()));
        }
        platform_.ShowModal(surfaceForm_);
      },
      [this](std::exception_ptr e) {
        SetStatus(1, "");
        ShowError(e);
      });
}
